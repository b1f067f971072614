// The command line of vantreo-host.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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
    std::string format;  // "" to go by file extension
    bool list_controls = false;
    bool demo = false;
    bool help = false;
    std::string input;  // "" with --demo
    std::string output;
};

ToolOptions parse_tool_options(const std::vector<std::string>& args);

// "WxH" with both sides 1..16384; throws UsageError naming `option`.
Size parse_size(const std::string& option, const std::string& text);

const char* tool_usage();

}  // namespace vantreo_host
