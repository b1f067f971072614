// vantreo-host: a stand-in for the editor that runs the filter plug-in over a video file.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/console_streams.h"
#include "host/executable_path.h"
#include "host/file_system.h"
#include "host/frame_streams.h"
#include "host/host_error.h"
#include "host/output_file.h"
#include "host/plugin_host.h"
#include "host/png_image.h"
#include "host/progress_line.h"
#include "host/temporary_files.h"
#include "host/test_pattern.h"
#include "host/tool_options.h"
#include "platform/cuda/cuda_runtime.h"

#ifndef VANTREO_BUILT_PLUGIN
#define VANTREO_BUILT_PLUGIN "vantreo.auf"
#endif
#ifndef VANTREO_VERSION
#define VANTREO_VERSION "unknown"
#endif

namespace vantreo_host {
namespace {

constexpr BufferSize kDefaultBuffer{1600, 1200};
// The filter leaves a picture wider or taller than this as it is.
constexpr std::int32_t kFilterMaxSide = 1600;
// Grey columns between the pictures of the demo's before-and-after image.
constexpr std::int32_t kComparisonGap = 16;

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

enum class Format { kYc, kY4m, kPng };

// The format of an INPUT or OUTPUT argument: its extension, else --format.
Format format_of(const ToolOptions& options, const std::string& path, bool output)
{
    if (path != "-") {
        const std::string extension = lower_extension(path);
        if (extension == ".yc") return Format::kYc;
        if (extension == ".y4m") return Format::kY4m;
        if (extension == ".png") {
            if (!output) throw UsageError("\"" + path + "\": PNG is an output format only");
            return Format::kPng;
        }
    }
    if (options.format == "yc") return Format::kYc;
    if (options.format == "y4m") return Format::kY4m;
    if (path == "-") throw UsageError("\"-\" (standard input or output) needs --format yc or --format y4m");
    throw UsageError("\"" + path + "\": unknown format (known: .yc, .y4m, .png), or give --format");
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

// Text for the user on standard output that reached no one (a full disk) is an error, not a success.
void finish_standard_output()
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw HostError(std::string("cannot write standard output: ") + std::strerror(errno ? errno : EIO));
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

bool has_track(const PluginHost& host, const std::string& label)
{
    for (const TrackBar& bar : host.track_bars())
        if (bar.label == label) return true;
    return false;
}

bool same_picture(const Picture& a, const Picture& b)
{
    return a.w == b.w && a.h == b.h &&
           std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size() * sizeof(PIXEL_YC)) == 0;
}

std::string size_text(std::int32_t w, std::int32_t h) { return std::to_string(w) + "x" + std::to_string(h); }

std::unique_ptr<FrameSource> open_source(const ToolOptions& options)
{
    if (options.demo) {
        const Size size = options.size.value_or(Size{kDemoWidth, kDemoHeight});
        return open_demo_source(size.w, size.h, kDemoFrames);
    }
    if (format_of(options, options.input, false) == Format::kYc) {
        if (!options.size) throw UsageError("\"" + options.input + "\": .yc input needs --size WxH");
        return open_yc_source(options.input, options.size->w, options.size->h);
    }
    if (options.size)
        throw UsageError("--size is for .yc input and --demo; \"" + options.input + "\" gives its own size");
    return open_y4m_source(options.input);
}

std::unique_ptr<FrameSink> make_sink(Format format, const std::string& path, const FrameSource& source,
                                     ColourMatrix matrix)
{
    switch (format) {
    case Format::kYc:
        return make_yc_sink(path);
    case Format::kY4m:
        return make_y4m_sink(path, source.y4m_format());
    case Format::kPng:
        break;
    }
    return make_png_sink(path, matrix);
}

void print_progress(const std::string& text)
{
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

// The devices as the plug-in lists them: its device runtime, linked here too, sees the same machine.
void list_devices()
{
    int count = 0;
    cudaGetDeviceCount(&count);
    for (int device = 0; device < count; ++device) {
        cudaDeviceProp properties{};
        if (cudaGetDeviceProperties(&properties, device) != cudaSuccess) continue;
        std::printf("%d  %-8s  %s\n", device, vantreoDeviceBackend(device), properties.name);
    }
}

// The device the plug-in runs its device rows on: as it chooses at start-up, index and name.
std::string device_text(const ToolOptions& options)
{
    int count = 0;
    cudaGetDeviceCount(&count);
    if (count <= 0) return "no device";
    const int device = std::min(options.device.value_or(0), count - 1);
    cudaDeviceProp properties{};
    cudaGetDeviceProperties(&properties, device);
    return "device " + std::to_string(device) + ": " + properties.name;
}

// The plug-in reads the device asked for from the environment at its start-up.
void ask_for_device(std::int32_t device)
{
    const std::string text = std::to_string(device);
#if defined(_WIN32)
    _putenv_s("VANTREO_DEVICE", text.c_str());
#else
    setenv("VANTREO_DEVICE", text.c_str(), 1);
#endif
}

int run(const ToolOptions& options)
{
    if (options.list_devices) {
        list_devices();
        finish_standard_output();
        return 0;
    }
    if (options.device) ask_for_device(*options.device);
    const std::string plugin = options.plugin.empty() ? default_plugin_path() : options.plugin;
    if (options.list_controls) {
        PluginHost host(plugin);
        apply_settings(host, options);
        list_controls(host);
        finish_standard_output();
        return 0;
    }

    const bool demo_files = options.demo && options.output.empty();
    const std::string output_path = demo_files ? kDemoOutput : options.output;
    const Format output_format = format_of(options, output_path, true);

    // Writing the file being read would destroy it (or, appending to it, never end).
    if (!options.demo && same_regular_file(options.input, output_path))
        throw UsageError("INPUT \"" + options.input + "\" and OUTPUT \"" + output_path + "\" are the same file");

    // The input's header is checked before anything is written.
    const std::unique_ptr<FrameSource> source = open_source(options);
    const std::int32_t in_w = source->width();
    const std::int32_t in_h = source->height();

    BufferSize buffer{std::max(in_w, kDefaultBuffer.w), std::max(in_h, kDefaultBuffer.h)};
    if (options.buffer) {
        buffer = {options.buffer->w, options.buffer->h};
        if (buffer.w < in_w || buffer.h < in_h)
            throw UsageError("--buffer " + size_text(buffer.w, buffer.h) + " is smaller than the input " +
                             size_text(in_w, in_h));
    }

    PluginHost host(plugin, buffer);
    // The demo shows area averaging unless the user chose a method.
    if (options.demo && !sets_track(options, "Method") && has_track(host, "Method")) host.set_track("Method", 1);
    apply_settings(host, options);

    // Every output is created before the filter starts, so one that cannot be written fails first.
    if (demo_files) make_directory(kDemoDirectory);
    const std::unique_ptr<FrameSink> sink = make_sink(output_format, output_path, *source, options.matrix);
    std::unique_ptr<OutputFile> comparison;
    if (demo_files) comparison = std::make_unique<OutputFile>(kDemoComparison);
    std::unique_ptr<PngSeries> series;
    if (options.png_every > 0) series = std::make_unique<PngSeries>(options.png_directory, options.png_every, options.matrix);

    const std::optional<std::int64_t> total =
        output_format == Format::kPng ? std::optional<std::int64_t>{1} : source->frame_count();
    const auto frame_n = static_cast<std::int32_t>(std::min<std::int64_t>(source->frame_count().value_or(0), INT32_MAX));
    const std::int64_t comparison_frame = kDemoFrames / 2;

    host.init();
    const Stopwatch clock;
    ProgressLine progress(!options.quiet && is_terminal(stderr), total, print_progress);
    Picture input;
    Picture output;
    Picture before;
    Picture after;
    std::vector<unsigned char> original;
    std::int64_t frames = 0;
    bool passed_through = false;
    while (sink->wants_more() && source->next(input, original)) {
        output = host.process(input, static_cast<std::int32_t>(std::min<std::int64_t>(frames, INT32_MAX)), frame_n);
        if (!passed_through && (input.w > kFilterMaxSide || input.h > kFilterMaxSide) && output.w == input.w &&
            output.h == input.h) {
            std::fprintf(stderr, "vantreo-host: frames larger than %d pixels a side (here %s) pass through unfiltered\n",
                         static_cast<int>(kFilterMaxSide), size_text(input.w, input.h).c_str());
            passed_through = true;
        }
        const bool unchanged = !original.empty() && same_picture(input, output);
        sink->write(output, unchanged ? &original : nullptr);
        if (series) series->write(frames, output);
        if (comparison && frames == comparison_frame) {
            before = input;
            after = output;
        }
        ++frames;
        progress.update(frames, clock.seconds());
    }
    const double seconds = clock.seconds();
    progress.finish(frames, seconds);

    if (comparison) {
        if (frames <= comparison_frame) throw HostError("the demo ended before frame " + std::to_string(comparison_frame));
        write_png(*comparison, side_by_side(to_rgb(before, options.matrix), to_rgb(after, options.matrix), kComparisonGap));
        comparison->close();
    }
    // Everything written and closed before any output takes its name: a run that fails leaves none.
    sink->finish();
    if (series) series->commit();
    if (comparison) comparison->commit();
    sink->commit();

    if (!options.quiet) {
        std::string summary = std::to_string(frames) + (frames == 1 ? " frame " : " frames ") + size_text(in_w, in_h);
        if (frames > 0) summary += " -> " + size_text(output.w, output.h);
        char timing[64];
        std::snprintf(timing, sizeof timing, " in %.2f s, ", seconds);
        summary += timing + speed_text(frames, seconds) + "; wrote " + (output_path == "-" ? "standard output" : output_path);
        if (comparison) summary += std::string(" and ") + kDemoComparison;
        if (series) summary += ", " + std::to_string(series->written()) + " PNG frames in " + options.png_directory;
        std::fprintf(stderr, "vantreo-host: %s\n", summary.c_str());
        std::fprintf(stderr, "vantreo-host: device rows on %s\n", device_text(options).c_str());
    }
    host.shutdown();
    return 0;
}

}  // namespace
}  // namespace vantreo_host

int main(int argc, char** argv)
{
    using namespace vantreo_host;
    open_closed_standard_streams();
    remove_temporaries_on_ending_signals();
    try {
        const ToolOptions options = parse_tool_options(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help || options.version) {
            std::fputs(options.help ? tool_usage() : "vantreo-host " VANTREO_VERSION "\n", stdout);
            finish_standard_output();
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
