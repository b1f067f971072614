#include "host/video/frame_streams.h"

#include <cstdio>

#include "host/os/file_system.h"
#include "host/os/host_error.h"
#include "host/os/temporary_files.h"
#include "host/video/test_pattern.h"
#include "host/video/yc_format.h"

namespace vantreo_host {

namespace {

class DemoSource : public FrameSource {
public:
    DemoSource(std::int32_t w, std::int32_t h, std::int32_t frames) : w_(w), h_(h), frames_(frames) {}
    std::int32_t width() const override { return w_; }
    std::int32_t height() const override { return h_; }
    bool next(Picture& picture, std::vector<unsigned char>& original) override
    {
        original.clear();
        if (index_ >= frames_) return false;
        picture = test_pattern_frame(w_, h_, index_++, frames_);
        return true;
    }
    std::optional<std::int64_t> frame_count() const override { return frames_; }

private:
    std::int32_t w_;
    std::int32_t h_;
    std::int32_t frames_;
    std::int32_t index_ = 0;
};

class YcSource : public FrameSource {
public:
    YcSource(const std::string& name, std::int32_t w, std::int32_t h) : reader_(name, w, h), w_(w), h_(h) {}
    std::int32_t width() const override { return w_; }
    std::int32_t height() const override { return h_; }
    bool next(Picture& picture, std::vector<unsigned char>& original) override
    {
        original.clear();
        return reader_.read(picture);
    }
    std::optional<std::int64_t> frame_count() const override { return reader_.frame_count(); }

private:
    YcReader reader_;
    std::int32_t w_;
    std::int32_t h_;
};

class Y4mSource : public FrameSource {
public:
    Y4mSource(const std::string& name, bool progressive) : reader_(name), format_(reader_.format())
    {
        if (progressive) format_.interlaced = false;
    }
    std::int32_t width() const override { return format_.w; }
    std::int32_t height() const override { return format_.h; }
    bool next(Picture& picture, std::vector<unsigned char>& original) override
    {
        if (!reader_.read(original)) return false;
        decode_y4m_frame(format_, original.data(), picture, conversion_);
        return true;
    }
    std::optional<std::int64_t> frame_count() const override { return reader_.frame_count(); }
    Y4mFormat y4m_format() const override { return format_; }

private:
    Y4mReader reader_;
    Y4mFormat format_;
    Y4mConversion conversion_;
};

class YcSink : public FrameSink {
public:
    explicit YcSink(const std::string& path) : FrameSink(path) {}
    void write(const Picture& picture, const std::vector<unsigned char>*) override
    {
        write_yc_frame(output_, picture, bytes_);
    }

private:
    std::vector<unsigned char> bytes_;
};

class Y4mSink : public FrameSink {
public:
    Y4mSink(const std::string& path, const Y4mFormat& format) : FrameSink(path), writer_(output_, format) {}
    void write(const Picture& picture, const std::vector<unsigned char>* original) override
    {
        writer_.write(picture, original);
    }
    void set_size_without_frames(Size size) override { size_without_frames_ = size; }
    // A stream without frames still gets its header, with the size they would have had when known.
    void finish() override
    {
        writer_.finish(size_without_frames_);
        FrameSink::finish();
    }

private:
    Y4mWriter writer_;
    std::optional<Size> size_without_frames_;
};

class PngSink : public FrameSink {
public:
    PngSink(const std::string& path, ColourMatrix matrix) : FrameSink(path), matrix_(matrix) {}
    void write(const Picture& picture, const std::vector<unsigned char>*) override
    {
        if (written_) return;
        write_png(output_, to_rgb(picture, matrix_));
        written_ = true;
    }
    std::optional<std::int64_t> frames_wanted() const override { return 1; }
    void finish() override
    {
        if (!written_) throw HostError("output \"" + output_.path() + "\": the input has no frame to write");
        FrameSink::finish();
    }

private:
    ColourMatrix matrix_;
    bool written_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> open_demo_source(std::int32_t w, std::int32_t h, std::int32_t frames)
{
    return std::make_unique<DemoSource>(w, h, frames);
}

std::unique_ptr<FrameSource> open_yc_source(const std::string& name, std::int32_t w, std::int32_t h)
{
    return std::make_unique<YcSource>(name, w, h);
}

std::unique_ptr<FrameSource> open_y4m_source(const std::string& name, bool progressive)
{
    return std::make_unique<Y4mSource>(name, progressive);
}

std::unique_ptr<FrameSink> make_yc_sink(const std::string& path) { return std::make_unique<YcSink>(path); }

std::unique_ptr<FrameSink> make_y4m_sink(const std::string& path, const Y4mFormat& format)
{
    return std::make_unique<Y4mSink>(path, format);
}

std::unique_ptr<FrameSink> make_png_sink(const std::string& path, ColourMatrix matrix)
{
    return std::make_unique<PngSink>(path, matrix);
}

PngSeries::PngSeries(const std::string& directory, std::int64_t every, ColourMatrix matrix)
    : directory_(directory), every_(every), matrix_(matrix)
{
    if (every_ < 1) throw HostError("PNG frames: every " + std::to_string(every_) + "th frame makes no sense");
    made_directory_ = make_temporary([&] { return make_directory(directory_) ? directory_ : std::string(); }, true);
    // The first frame's file is made now, so that a folder whose files cannot be made fails before
    // any frame is read.
    first_ = std::make_unique<OutputFile>(directory_ + "/" + file_name(0));
}

PngSeries::~PngSeries()
{
    // The files first (each removes its own unless committed), then the directory, if this made it.
    first_.reset();
    files_.clear();
    remove_temporary(made_directory_);
}

std::string PngSeries::file_name(std::int64_t index)
{
    char name[40];
    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(index));
    return name;
}

void PngSeries::write(std::int64_t index, const Picture& picture)
{
    if (index % every_ != 0) return;
    files_.push_back(index == 0 && first_ ? std::move(first_)
                                          : std::make_unique<OutputFile>(directory_ + "/" + file_name(index)));
    write_png(*files_.back(), to_rgb(picture, matrix_));
    files_.back()->close();
}

void PngSeries::commit()
{
    for (const std::unique_ptr<OutputFile>& file : files_) file->commit();
    keep_temporary(made_directory_);
    made_directory_ = nullptr;
}

}  // namespace vantreo_host
