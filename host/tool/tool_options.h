// The command line of vantreo-host.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/video/picture.h"
#include "host/video/png_image.h"

namespace vantreo_host {

// A command line that makes no sense; the message names the option and the problem.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A side of --resize that follows the source's aspect: rounded to the nearest whole number, or to the
// nearest even one.
constexpr std::int32_t kKeepAspect = -1;
constexpr std::int32_t kKeepAspectEven = -2;

// One control setting, in command-line order: --set and --method (a track bar), --select (a check
// box), --resize (the "other" size, whose sides may be kKeepAspect or kKeepAspectEven).
struct ControlSetting {
    enum class Kind { kTrack, kSelect, kResize };
    Kind kind;
    std::string label;       // kTrack, kSelect
    std::int32_t value = 0;  // kTrack
    Size size{0, 0};         // kResize
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
    bool verbose = false;
    bool progressive = false;  // interlaced frames resized whole, not field by field
    bool list_controls = false;
    bool list_devices = false;
    std::optional<std::int32_t> device;  // --device N: the plug-in's device, by its --list-devices index
    std::optional<std::int32_t> max_source_side;  // --plugin-setting max_source_side=N
    // --plugin-setting extended_methods=0|1; 1 also with --method bicubic or lanczos
    std::optional<std::int32_t> extended_methods;
    bool editor_limits = false;     // the plug-in's settings as the editor has them, not the tool's 8192
    bool allow_other_size = false;  // write what the filter gives when it cannot give the size asked for
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

// Whether the user set the track bar `label` names (case, spaces and dots aside) with --set or --method.
bool sets_track(const ToolOptions& options, const std::string& label);

// The size --resize asks for from a source of `source`: a kKeepAspect or kKeepAspectEven side follows the
// other side in the source's proportions (at least 1, or 2 when even).
Size resolve_resize(Size resize, Size source);

ToolOptions parse_tool_options(const std::vector<std::string>& args);

// "WxH" with both sides 1..16384 and at most kMaxBufferPixels pixels; throws UsageError naming `option`.
Size parse_size(const std::string& option, const std::string& text);

const char* tool_usage();

}  // namespace vantreo_host
