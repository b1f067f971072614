// vantreo-host: a stand-in for the editor that runs the filter plug-in over a video file.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/executable_path.h"
#include "host/host_error.h"
#include "host/output_file.h"
#include "host/plugin_host.h"
#include "host/test_pattern.h"
#include "host/tool_options.h"
#include "host/yc_format.h"

#ifndef VANTREO_BUILT_PLUGIN
#define VANTREO_BUILT_PLUGIN "vantreo.auf"
#endif

namespace vantreo_host {
namespace {

constexpr BufferSize kDefaultBuffer{1600, 1200};

bool file_exists(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file) std::fclose(file);
    return file != nullptr;
}

// vantreo.auf beside the program, else the one this program was built with.
std::string default_plugin_path()
{
    const std::string directory = executable_directory();
    if (!directory.empty()) {
        const std::string beside = directory + "/vantreo.auf";
        if (file_exists(beside)) return beside;
    }
    return VANTREO_BUILT_PLUGIN;
}

std::string lower_extension(const std::string& path)
{
    const std::string::size_type dot = path.rfind('.');
    const std::string::size_type separator = path.find_last_of("/\\");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// The format of an INPUT or OUTPUT argument: --format if given, else the file extension.
std::string format_of(const ToolOptions& options, const std::string& path)
{
    if (!options.format.empty()) return options.format;
    if (path == "-") throw UsageError("\"-\" (standard input or output) needs --format yc");
    if (lower_extension(path) == ".yc") return "yc";
    throw UsageError("\"" + path + "\": unknown format (known: .yc), or give --format yc");
}

void apply_settings(PluginHost& host, const ToolOptions& options)
{
    for (const ControlSetting& setting : options.settings) {
        if (setting.select)
            host.select(setting.label);
        else
            host.set_track(setting.label, setting.value);
    }
}

void list_controls(const PluginHost& host)
{
    std::printf("%s\n", host.filter_name().c_str());
    const std::vector<TrackBar> bars = host.track_bars();
    std::size_t width = 0;
    for (const TrackBar& bar : bars) width = std::max(width, bar.label.size());
    std::printf("Track bars:\n");
    for (const TrackBar& bar : bars)
        std::printf("  %-*s  default %d, range %d..%d\n", static_cast<int>(width), bar.label.c_str(),
                    static_cast<int>(bar.default_value), static_cast<int>(bar.minimum),
                    static_cast<int>(bar.maximum));
    if (bars.empty()) std::printf("  (none)\n");
    const std::vector<CheckBox> boxes = host.check_boxes();
    std::printf(host.check_boxes_are_radio_group() ? "Radio buttons (one is on):\n" : "Check boxes:\n");
    for (const CheckBox& box : boxes)
        std::printf("  [%c] %s\n", box.default_value ? 'x' : ' ', box.label.c_str());
    if (boxes.empty()) std::printf("  (none)\n");
    const std::string information = host.information();
    if (!information.empty()) std::printf("Information: %s\n", information.c_str());
}

int run(const ToolOptions& options)
{
    const std::string plugin = options.plugin.empty() ? default_plugin_path() : options.plugin;
    if (options.list_controls) {
        PluginHost host(plugin);
        apply_settings(host, options);
        list_controls(host);
        std::fflush(stdout);
        return std::ferror(stdout) ? 1 : 0;
    }

    Size size = options.demo ? Size{kDemoWidth, kDemoHeight} : Size{0, 0};
    if (options.size) size = *options.size;
    if (!options.demo) {
        if (format_of(options, options.input) == "yc" && !options.size)
            throw UsageError("\"" + options.input + "\": .yc input needs --size WxH");
    }
    format_of(options, options.output);

    BufferSize buffer{std::max(size.w, kDefaultBuffer.w), std::max(size.h, kDefaultBuffer.h)};
    if (options.buffer) {
        buffer = {options.buffer->w, options.buffer->h};
        if (buffer.w < size.w || buffer.h < size.h)
            throw UsageError("--buffer " + std::to_string(buffer.w) + "x" + std::to_string(buffer.h) +
                             " is smaller than the input " + std::to_string(size.w) + "x" + std::to_string(size.h));
    }

    PluginHost host(plugin, buffer);
    apply_settings(host, options);

    std::unique_ptr<YcReader> reader;
    if (!options.demo) reader = std::make_unique<YcReader>(options.input, size.w, size.h);

    OutputFile output(options.output);
    host.init();
    if (options.demo) {
        for (std::int32_t i = 0; i < kDemoFrames; ++i)
            write_yc_frame(output, host.process(test_pattern_frame(size.w, size.h, i, kDemoFrames), i, kDemoFrames));
    } else {
        Picture frame;
        while (reader->read(frame)) {
            const auto index = static_cast<std::int32_t>(reader->frames_read() - 1);
            write_yc_frame(output, host.process(frame, index));
        }
    }
    output.commit();
    host.shutdown();
}

}  // namespace
}  // namespace vantreo_host

int main(int argc, char** argv)
{
    using namespace vantreo_host;
    try {
        const ToolOptions options = parse_tool_options(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(tool_usage(), stdout);
            return 0;
        }
        return run(options);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "vantreo-host: %s (see --help)\n", error.what());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vantreo-host: out of memory\n");
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vantreo-host: %s\n", error.what());
        return 1;
    }
}
