// The command line of vantreo-host.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/png_image.h"

namespace vantreo_host {

// A command line that makes no sense; the message names the option and the problem.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Size {
    std::int32_t w;
    std::int32_t h;
};

// One --set (a track bar value) or --select (a check box), in command-line order.
struct ControlSetting {
    bool select;
    std::string label;
    std::int32_t value;
};

struct ToolOptions {
    std::string plugin;  // "" for the default
    std::vector<ControlSetting> settings;
    std::optional<Size> buffer;
    std::optional<Size> size;
    std::string format;  // "yc", "y4m", or "" to go by file extension
    std::int64_t png_every = 0;  // with png_directory: every Nth output frame as a PNG file
    std::string png_directory;
    ColourMatrix matrix = ColourMatrix::kBt601;
    bool quiet = false;
    bool list_controls = false;
    bool list_devices = false;
    std::optional<std::int32_t> device;  // --device N: the plug-in's device, by its --list-devices index
    bool demo = false;
    bool help = false;
    bool version = false;
    std::string input;   // "" with --demo
    std::string output;  // "" with --demo for the default demo files
};

// The default demo outputs, relative to the working directory.
constexpr const char* kDemoDirectory = "demo";
constexpr const char* kDemoOutput = "demo/out.y4m";
constexpr const char* kDemoComparison = "demo/before-after.png";

// Whether a label names a control the user set with --set.
bool sets_track(const ToolOptions& options, const std::string& label);

ToolOptions parse_tool_options(const std::vector<std::string>& args);

// "WxH" with both sides 1..16384 and at most kMaxBufferPixels pixels; throws UsageError naming `option`.
Size parse_size(const std::string& option, const std::string& text);

const char* tool_usage();

}  // namespace vantreo_host
