// The size the filter's controls ask for, read by the labels its documentation names (the clip bars
// "Clip U", "Clip D", "Clip L", "Clip R", "Width", "Height", "Method", and preset buttons labelled
// "W x H" beside "other"), and the bounds that explain why a picture came back at another size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/editor/plugin_host.h"
#include "host/video/picture.h"

namespace vantreo_host {

constexpr const char* kWidthLabel = "Width";
constexpr const char* kHeightLabel = "Height";
constexpr const char* kMethodLabel = "Method";
constexpr const char* kDeviceShareLabel = "T. Rate";
constexpr const char* kOtherLabel = "other";
constexpr const char* kClipTopLabel = "Clip U";
constexpr const char* kClipBottomLabel = "Clip D";
constexpr const char* kClipLeftLabel = "Clip L";
constexpr const char* kClipRightLabel = "Clip R";

// The filter leaves a source wider or taller than its limit (after the clip bars) as it is: this by
// default; its setting max_source_side (--plugin-setting, or its settings file) raises the limit up to
// kLargestMaxSourceSide.
constexpr std::int32_t kMaxSourceSide = 1600;
constexpr std::int32_t kLargestMaxSourceSide = 8192;

// Rows or columns the clip bars take off each side (0 for a bar the filter lacks).
struct Clips {
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    std::int32_t left = 0;
    std::int32_t right = 0;
};

Clips read_clips(const PluginHost& host);

// What the clip bars leave of a frame: at least one column and one row.
Size clipped_size(const Clips& clips, Size frame);

// The label of the preset button that is on ("640 x 480"), or "" when "other" is on or the filter has
// no presets.
std::string preset_in_force(const PluginHost& host);

// The output size the controls ask for: the preset that is on, else "Width" x "Height"; nothing for a
// filter without these controls.
std::optional<Size> asked_size(const PluginHost& host);

// Whether the controls ask for area averaging.
bool area_averaging(const PluginHost& host);

// The bounds that make the filter write another size than the one asked for.
enum SizeRule : unsigned {
    kEighthFloor = 1u << 0,     // no side below an eighth of the source's
    kNeverEnlarges = 1u << 1,   // area averaging never enlarges
    kWithinBuffer = 1u << 2,    // no side beyond the frame buffer
    kSourceLimit = 1u << 3,     // sources over the source limit pass through
    kPassedThrough = 1u << 4,   // the frame came back as it went in, for no rule above
    kOtherChange = 1u << 5,     // none of the above explains it
};

// One picture through the filter: the size asked for, the picture's size and what the clip bars left
// of it, the buffer, the method, and the source limit as far as the tool knows it.
struct SizeCall {
    Size asked;
    Size input;
    Size clipped;
    BufferSize buffer;
    bool area;
    std::int32_t source_limit;
};

// The rules that explain `written` for `call` (0 when it is the size asked for).
unsigned size_rules(const SizeCall& call, Size written);

// "asked for 120x68, writing 160x90: no side goes below an eighth of the source's (the source is
// 1280x720)", naming each rule in `rules`; `clipped` is what the clip bars leave of `source`. A source
// over `source_limit` gets the setting that would raise the limit for it.
std::string size_note(Size asked, Size written, Size source, Size clipped, BufferSize buffer, unsigned rules,
                      std::int32_t source_limit);

}  // namespace vantreo_host
