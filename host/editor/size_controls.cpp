#include "host/editor/size_controls.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace vantreo_host {

namespace {

std::string size_text(Size size) { return std::to_string(size.w) + "x" + std::to_string(size.h); }

std::int32_t track_or_zero(const PluginHost& host, const char* label)
{
    return host.has_track(label) ? host.track(label) : 0;
}

// The size a preset label names ("640 x 480", any case and spacing), if it names one.
std::optional<Size> preset_size(const std::string& label)
{
    const std::string key = label_key(label);
    const std::string::size_type x = key.find('x');
    auto digits = [](const std::string& text) {
        return !text.empty() && text.size() <= 5 &&
               std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    };
    if (x == std::string::npos || !digits(key.substr(0, x)) || !digits(key.substr(x + 1))) return std::nullopt;
    return Size{std::stoi(key.substr(0, x)), std::stoi(key.substr(x + 1))};
}

// The rules that explain one side: `asked` came back as `written` from a source side of `source`.
unsigned side_rules(std::int32_t asked, std::int32_t written, std::int32_t source, std::int32_t buffer, bool area)
{
    if (written == asked) return 0;
    if (written > asked && written == source >> 3) return kEighthFloor;
    // Raised by the floor and held down again by the buffer.
    if (written > asked && written == buffer && buffer < source >> 3) return kEighthFloor | kWithinBuffer;
    if (written < asked && area && written == source) return kNeverEnlarges;
    if (written < asked && written == buffer) return kWithinBuffer;
    return kOtherChange;
}

}  // namespace

Clips read_clips(const PluginHost& host)
{
    return {track_or_zero(host, kClipTopLabel), track_or_zero(host, kClipBottomLabel),
            track_or_zero(host, kClipLeftLabel), track_or_zero(host, kClipRightLabel)};
}

Size clipped_size(const Clips& clips, Size frame)
{
    return {std::max(frame.w - clips.left - clips.right, 1), std::max(frame.h - clips.top - clips.bottom, 1)};
}

std::string preset_in_force(const PluginHost& host)
{
    for (const CheckBox& box : host.check_boxes())
        if (host.check(box.label) == 1 && preset_size(box.label)) return box.label;
    return "";
}

std::optional<Size> asked_size(const PluginHost& host)
{
    const std::string preset = preset_in_force(host);
    if (!preset.empty()) return preset_size(preset);
    if (!host.has_track(kWidthLabel) || !host.has_track(kHeightLabel)) return std::nullopt;
    return Size{host.track(kWidthLabel), host.track(kHeightLabel)};
}

bool area_averaging(const PluginHost& host) { return track_or_zero(host, kMethodLabel) == 1; }

unsigned size_rules(const SizeCall& call, Size written)
{
    if (written == call.asked) return 0;
    if ((call.clipped.w > call.source_limit || call.clipped.h > call.source_limit) && written == call.input)
        return kSourceLimit;
    const unsigned rules = side_rules(call.asked.w, written.w, call.clipped.w, call.buffer.w, call.area) |
                           side_rules(call.asked.h, written.h, call.clipped.h, call.buffer.h, call.area);
    if ((rules & kOtherChange) && written == call.input) return kPassedThrough;
    return rules;
}

std::string size_note(Size asked, Size written, Size source, Size clipped, BufferSize buffer, unsigned rules,
                      std::int32_t source_limit)
{
    const std::int32_t side = std::max(clipped.w, clipped.h);
    const std::string raise = side <= kLargestMaxSourceSide
                                  ? "; --plugin-setting max_source_side=" + std::to_string(side) +
                                        " (or that line in vantreo.ini beside the plug-in) raises the limit"
                                  : "; the limit goes no higher than " + std::to_string(kLargestMaxSourceSide);
    const struct {
        SizeRule rule;
        std::string text;
    } names[] = {
        {kEighthFloor, "no side goes below an eighth of the source's"},
        {kNeverEnlarges, "area averaging never enlarges"},
        {kWithinBuffer, "no side goes beyond the frame buffer, " + size_text({buffer.w, buffer.h}) + " (--buffer)"},
        {kSourceLimit, "sources wider or taller than " + std::to_string(source_limit) +
                           " pixels pass through unfiltered"},
        {kPassedThrough, "the filter passed the frame through unfiltered"},
        {kOtherChange, "the filter chose that size"},
    };
    std::string reasons;
    for (const auto& name : names)
        if (rules & name.rule) reasons += (reasons.empty() ? "" : "; ") + name.text;
    std::string note = "asked for " + size_text(asked) + ", writing " + size_text(written) + ": " + reasons +
                       " (the source is " + size_text(clipped);
    if (clipped != source) note += " after the clip bars";
    return note + ")" + (rules & kSourceLimit ? raise : "");
}

}  // namespace vantreo_host
