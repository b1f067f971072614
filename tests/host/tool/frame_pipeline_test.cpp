// Frames through the reader and writer threads: order, the frames before a failure, and the end.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "host/os/host_error.h"
#include "host/tool/frame_pipeline.h"
#include "tests/host/test_support.h"

using namespace vantreo_host;

namespace {

// Frames of one pixel whose Y is the frame's number; the frame `failing` throws.
class CountingSource : public FrameSource {
public:
    CountingSource(int frames, int failing) : frames_(frames), failing_(failing) {}
    std::int32_t width() const override { return 1; }
    std::int32_t height() const override { return 1; }
    bool next(Picture& picture, std::vector<unsigned char>& original) override
    {
        if (index_ == failing_) throw HostError("frame " + std::to_string(index_) + " is bad");
        if (index_ == frames_) return false;
        picture = Picture(1, 1);
        picture.at(0, 0).y = static_cast<std::int16_t>(index_++);
        original.assign(1, 0);
        return true;
    }
    std::optional<std::int64_t> frame_count() const override { return frames_; }

private:
    int frames_;
    int failing_;
    int index_ = 0;
};

// Records the Y of each frame written; the write of `failing` throws.
class RecordingSink : public FrameSink {
public:
    RecordingSink(const std::string& path, int failing) : FrameSink(path), failing_(failing) {}
    void write(const Picture& picture, const std::vector<unsigned char>*) override
    {
        if (static_cast<int>(written.size()) == failing_) throw HostError("disk full");
        written.push_back(picture.at(0, 0).y);
    }
    std::vector<int> written;

private:
    int failing_;
};

// Runs `frames` through a pipeline of `in_flight` frames, the filter adding 1000; returns the error.
std::string run(int frames, int bad_read, int bad_write, std::size_t in_flight, std::optional<std::int64_t> limit,
                std::vector<int>& written)
{
    host_test::TempDir dir;
    CountingSource source(frames, bad_read);
    RecordingSink sink(dir.file("out"), bad_write);
    std::string error;
    try {
        FramePipeline pipeline(source, sink, in_flight, limit);
        while (FramePipeline::Frame* frame = pipeline.next()) {
            frame->output = frame->input;
            frame->output.at(0, 0).y = static_cast<std::int16_t>(frame->output.at(0, 0).y + 1000);
            pipeline.write(frame);
        }
        pipeline.finish();
    } catch (const HostError& e) {
        error = e.what();
    }
    written = sink.written;
    return error;
}

std::vector<int> numbered(int from, int count)
{
    std::vector<int> values;
    for (int i = 0; i < count; ++i) values.push_back(from + i);
    return values;
}

TEST(FramePipelineTest, OrderKeptAndFailuresAfterTheFramesBeforeThem)
{
    const struct {
        int frames, bad_read, bad_write;
        std::size_t in_flight;
        std::optional<std::int64_t> limit;
        int written;
        const char* error;
    } cases[] = {
        {200, -1, -1, 3, std::nullopt, 200, ""},
        {200, -1, -1, 1, std::nullopt, 200, ""},
        {0, -1, -1, 3, std::nullopt, 0, ""},
        {200, -1, -1, 3, 1, 1, ""},  // a sink that takes one frame
        {200, 57, -1, 3, std::nullopt, 57, "frame 57 is bad"},
        {200, 0, -1, 2, std::nullopt, 0, "frame 0 is bad"},
        {200, -1, 40, 3, std::nullopt, 40, "disk full"},
        {200, -1, 199, 1, std::nullopt, 199, "disk full"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames, bad read " + std::to_string(c.bad_read) + ", bad write " +
                     std::to_string(c.bad_write) + ", " + std::to_string(c.in_flight) + " in flight");
        std::vector<int> written;
        EXPECT_EQ(run(c.frames, c.bad_read, c.bad_write, c.in_flight, c.limit, written), c.error);
        EXPECT_EQ(written, numbered(1000, c.written));
    }
}

TEST(FramePipelineTest, InFlightFramesBoundedByTheirSize)
{
    EXPECT_EQ(frames_in_flight(1920 * 1080 * 18), 3u);
    EXPECT_EQ(frames_in_flight(std::size_t{1} << 31), 1u);
}

}  // namespace
