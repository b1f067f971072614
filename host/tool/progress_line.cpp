#include "host/tool/progress_line.h"

#include <cstdio>
#include <utility>

namespace vantreo_host {

namespace {

constexpr double kQuietSeconds = 1.0;
constexpr double kRedrawSeconds = 0.25;

}  // namespace

std::string speed_text(std::int64_t frames, double seconds)
{
    if (seconds <= 0.0) return "- fps";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f fps", static_cast<double>(frames) / seconds);
    return text;
}

std::string progress_text(std::int64_t frames, std::optional<std::int64_t> total, double seconds)
{
    std::string text = "frame " + std::to_string(frames);
    if (total && *total > 0) text += " of " + std::to_string(*total) + " (" + std::to_string(frames * 100 / *total) + "%)";
    return text + ", " + speed_text(frames, seconds);
}

ProgressLine::ProgressLine(bool enabled, std::optional<std::int64_t> total, Sink sink)
    : enabled_(enabled), total_(total), sink_(std::move(sink))
{
}

void ProgressLine::draw(std::int64_t frames, double seconds)
{
    std::string text = progress_text(frames, total_, seconds);
    // Spaces over whatever a longer previous line left.
    const std::size_t length = text.size();
    if (length < width_) text.append(width_ - length, ' ');
    width_ = length;
    sink_("\r" + text);
    shown_ = true;
    last_draw_ = seconds;
}

void ProgressLine::update(std::int64_t frames, double seconds)
{
    if (!enabled_ || seconds < kQuietSeconds) return;
    if (shown_ && seconds - last_draw_ < kRedrawSeconds) return;
    draw(frames, seconds);
}

void ProgressLine::finish(std::int64_t frames, double seconds)
{
    if (!shown_) return;
    draw(frames, seconds);
    sink_("\n");
}

}  // namespace vantreo_host
