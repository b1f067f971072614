#include "host/tool/frame_pipeline.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "host/os/host_error.h"

namespace vantreo_host {

namespace {

// Three frames keep reader, filter and writer busy at once. A 32-bit process has 2 GiB to share with
// the plug-in's buffers and plan, so it keeps less there.
constexpr std::size_t kMostInFlight = 3;
constexpr std::size_t kInFlightBudget = sizeof(void*) >= 8 ? std::size_t{1536} << 20 : std::size_t{384} << 20;

}  // namespace

std::size_t frames_in_flight(std::size_t frame_bytes)
{
    return std::clamp<std::size_t>(kInFlightBudget / std::max<std::size_t>(frame_bytes, 1), 1, kMostInFlight);
}

FramePipeline::FramePipeline(FrameSource& source, FrameSink& sink, std::size_t in_flight,
                             std::optional<std::int64_t> limit)
{
    for (std::size_t i = 0; i < std::max<std::size_t>(in_flight, 1); ++i) {
        frames_.push_back(std::make_unique<Frame>());
        free_.push_back(frames_.back().get());
    }
    try {
        reader_ = std::thread([this, &source, limit] { read_frames(source, limit); });
        writer_ = std::thread([this, &sink] { write_frames(sink); });
    } catch (const std::system_error& error) {
        stop();
        throw HostError(std::string("cannot start the threads that read and write the frames: ") +
                        std::strerror(error.code().value()));
    }
}

FramePipeline::~FramePipeline() { stop(); }

void FramePipeline::stop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        writing_closed_ = true;
    }
    changed_.notify_all();
    if (reader_.joinable()) reader_.join();
    if (writer_.joinable()) writer_.join();
}

void FramePipeline::read_frames(FrameSource& source, std::optional<std::int64_t> limit)
{
    for (std::int64_t count = 0;; ++count) {
        Frame* frame = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !free_.empty(); });
            if (stopping_) return;
            frame = free_.front();
            free_.pop_front();
        }
        bool got = false;
        std::exception_ptr error;
        try {
            got = (!limit || count < *limit) && source.next(frame->input, frame->original);
        } catch (...) {
            error = std::current_exception();
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (got) {
                read_.push_back(frame);
            } else {
                free_.push_back(frame);
                read_error_ = error;
                reading_done_ = true;
            }
        }
        changed_.notify_all();
        if (!got) return;
    }
}

void FramePipeline::write_frames(FrameSink& sink)
{
    for (;;) {
        Frame* frame = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return writing_closed_ || !to_write_.empty(); });
            if (to_write_.empty()) return;
            frame = to_write_.front();
            to_write_.pop_front();
        }
        std::exception_ptr error;
        try {
            sink.write(frame->output, frame->unchanged ? &frame->original : nullptr);
        } catch (...) {
            error = std::current_exception();
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            free_.push_back(frame);
            write_error_ = error;
        }
        changed_.notify_all();
        if (error) return;
    }
}

FramePipeline::Frame* FramePipeline::next()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return write_error_ || reading_done_ || !read_.empty(); });
    if (write_error_) std::rethrow_exception(write_error_);
    if (read_.empty()) {
        if (read_error_) std::rethrow_exception(read_error_);
        return nullptr;
    }
    Frame* frame = read_.front();
    read_.pop_front();
    return frame;
}

void FramePipeline::write(Frame* frame)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (write_error_) std::rethrow_exception(write_error_);
        to_write_.push_back(frame);
    }
    changed_.notify_all();
}

void FramePipeline::finish()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        writing_closed_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable()) writer_.join();
    if (write_error_) std::rethrow_exception(write_error_);
}

}  // namespace vantreo_host
