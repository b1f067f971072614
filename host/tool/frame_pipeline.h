// Frames from a source to a sink on two threads of their own while the caller's thread filters them:
// the next frames are read and converted while one is filtered and the ones before it are converted
// and written. Frames keep their order, and no more than a fixed number are in flight at once.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "host/video/frame_streams.h"
#include "host/video/picture.h"

namespace vantreo_host {

class FramePipeline {
public:
    struct Frame {
        Picture input;
        std::vector<unsigned char> original;  // the frame as the stream held it (FrameSource::next)
        Picture output;
        bool unchanged = false;  // the output is the input: the sink may write `original`
    };

    // Starts reading at once, at most `limit` frames when given. `in_flight` (at least 1) frames
    // circulate: the memory the pipeline takes. Throws HostError when its threads cannot start.
    FramePipeline(FrameSource& source, FrameSink& sink, std::size_t in_flight, std::optional<std::int64_t> limit);
    // Stops reading, lets the writer write what it was handed (so that what came before a failure
    // reaches a pipe), and waits for both threads.
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // The next frame read, or nullptr after the last. The frames before a read error all come first;
    // then the error is thrown. A write error is thrown as soon as it is known.
    Frame* next();
    // Hands a frame from next(), now filtered, to the writer.
    void write(Frame* frame);
    // Waits until every frame handed over is written; throws the writer's error, if any.
    void finish();

private:
    void read_frames(FrameSource& source, std::optional<std::int64_t> limit);
    void write_frames(FrameSink& sink);
    void stop();

    std::vector<std::unique_ptr<Frame>> frames_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Frame*> free_;
    std::deque<Frame*> read_;
    std::deque<Frame*> to_write_;
    bool reading_done_ = false;
    bool writing_closed_ = false;
    bool stopping_ = false;
    std::exception_ptr read_error_;
    std::exception_ptr write_error_;
    std::thread reader_;
    std::thread writer_;
};

// How many frames may be in flight for frames of `frame_bytes` each (input, output and the stream's
// bytes together): up to 3, fewer when they would take more than a share of the address space.
std::size_t frames_in_flight(std::size_t frame_bytes);

}  // namespace vantreo_host
