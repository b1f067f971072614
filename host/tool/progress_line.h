// The progress of a long run: one line on standard error, redrawn in place with "\r".
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vantreo_host {

class Stopwatch {
public:
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// "12.3 fps" for `frames` in `seconds` ("- fps" before any time has passed).
std::string speed_text(std::int64_t frames, double seconds);

// "frame 120 of 600 (20%), 45.6 fps", or without the total when it is unknown.
std::string progress_text(std::int64_t frames, std::optional<std::int64_t> total, double seconds);

class ProgressLine {
public:
    using Sink = std::function<void(const std::string&)>;

    // Shows nothing unless `enabled`; `sink` receives the text (standard error in the tool).
    ProgressLine(bool enabled, std::optional<std::int64_t> total, Sink sink);

    // After each frame, with the seconds since the run started: nothing during the first second
    // (a short run stays quiet), then a redraw at most four times a second.
    void update(std::int64_t frames, double seconds);

    // Draws the final count and ends the line, if the line was ever shown.
    void finish(std::int64_t frames, double seconds);

private:
    void draw(std::int64_t frames, double seconds);

    bool enabled_;
    std::optional<std::int64_t> total_;
    Sink sink_;
    bool shown_ = false;
    double last_draw_ = 0.0;
    std::size_t width_ = 0;
};

}  // namespace vantreo_host
