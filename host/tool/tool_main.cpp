// vantreo-host: a stand-in for the editor that runs the filter plug-in over a video file.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "host/editor/frame_filter.h"
#include "host/editor/plugin_host.h"
#include "host/editor/size_controls.h"
#include "host/os/console_streams.h"
#include "host/os/executable_path.h"
#include "host/os/file_system.h"
#include "host/os/host_error.h"
#include "host/os/output_file.h"
#include "host/os/temporary_files.h"
#include "host/tool/frame_pipeline.h"
#include "host/tool/progress_line.h"
#include "host/tool/tool_options.h"
#include "host/video/frame_streams.h"
#include "host/video/png_image.h"
#include "host/video/test_pattern.h"
#include "platform/device_runtime/cuda_runtime.h"
#include "platform/printable_text.h"
#include "settings/plugin_settings.h"

#ifndef VANTREO_BUILT_PLUGIN
#define VANTREO_BUILT_PLUGIN "vantreo.auf"
#endif
#ifndef VANTREO_VERSION
#define VANTREO_VERSION "unknown"
#endif

namespace vantreo_host {
namespace {

constexpr BufferSize kEditorBuffer{1600, 1200};
// The demo's output width, unless the user gives a size.
constexpr std::int32_t kDemoOutputWidth = 640;
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
    const std::string beside = directory + "/vantreo.auf";
    if (!directory.empty() && file_exists(beside)) return beside;
    if (file_exists(VANTREO_BUILT_PLUGIN)) return VANTREO_BUILT_PLUGIN;
    throw HostError("found no plug-in: neither \"" + beside + "\" nor \"" VANTREO_BUILT_PLUGIN
                    "\" (the one built with this program) is there; give --plugin PATH, or install the tool "
                    "and the plug-in together (cmake --install)");
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

// Says `text` on standard error after the tool's name. File names and labels come from the user and
// the plug-in: their control characters (all but the line breaks of a message) show as \xHH, so
// that none reaches the terminal as a command; other bytes, such as those of UTF-8 names, stay.
void say(const std::string& text)
{
    std::string shown = "vantreo-host: ";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\n') || byte == 0x7f)
            append_hex_escape(shown, byte);
        else
            shown += c;
    }
    shown += '\n';
    std::fputs(shown.c_str(), stderr);
}

enum class Format { kYc, kY4m, kPng };

// The format of INPUT (`input` empty) or OUTPUT: its extension, else --format; "-" without --format
// is YUV4MPEG2 in and the input's format out, as is a device or pipe out.
Format format_of(const ToolOptions& options, const std::string& path, std::optional<Format> input)
{
    const bool output = input.has_value();
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
    if (path == "-") return output ? *input : Format::kY4m;
    // A device or pipe (/dev/null) names no format: the output takes the input's.
    if (output && path_kind(path) == PathKind::kOther) return *input;
    if (output)
        throw UsageError("\"" + path + "\": unknown format (known: .y4m, .yc, .png, or give --format)\n"
                         "  to write other video, pipe YUV4MPEG2 to ffmpeg: vantreo-host [options] " +
                         (options.demo ? std::string("--demo") : options.input) +
                         (*input == Format::kY4m ? "" : " --format y4m") + " - | ffmpeg -i - " + path);
    throw UsageError("\"" + path + "\": unknown format (known: .y4m, .yc, or give --format)\n"
                     "  to read other video, pipe it from ffmpeg as YUV4MPEG2: ffmpeg -i " + path +
                     " -f yuv4mpegpipe - | vantreo-host [options] - " +
                     (lower_extension(options.output) == ".y4m" ? options.output : std::string("out.y4m")));
}

// A control the command line names that is not there, or a value outside its range, is a command
// line that makes no sense.
template <class Set> void as_usage_error(Set set, const std::string& prefix = "")
{
    try {
        set();
    } catch (const HostError& error) {
        throw UsageError(prefix + error.what());
    }
}

// The controls in command-line order. A --resize side that follows the source's aspect is worked out
// last, from the clipped source and the other side as they then are; without a source (listing the
// controls) it stays as it is.
void apply_settings(PluginHost& host, const std::vector<ControlSetting>& settings, std::optional<Size> source)
{
    // The last --resize, while one of its sides (kKeepAspect or kKeepAspectEven) is still to follow.
    Size aspect{0, 0};
    auto follows = [&] { return aspect.w < 0 || aspect.h < 0; };
    auto set_resize_side = [&](const char* label, std::int32_t value) {
        as_usage_error([&] { host.set_track(label, value); }, "--resize: ");
    };
    for (const ControlSetting& setting : settings) {
        switch (setting.kind) {
        case ControlSetting::Kind::kTrack:
            as_usage_error([&] { host.set_track(setting.label, setting.value); });
            // A later --set of the side that was to follow the aspect takes its place.
            if (follows() && label_key(setting.label) == label_key(aspect.w < 0 ? kWidthLabel : kHeightLabel))
                aspect = {0, 0};
            break;
        case ControlSetting::Kind::kSelect:
            as_usage_error([&] { host.select(setting.label); });
            break;
        case ControlSetting::Kind::kResize:
            host.select(kOtherLabel);
            if (setting.size.w > 0) set_resize_side(kWidthLabel, setting.size.w);
            if (setting.size.h > 0) set_resize_side(kHeightLabel, setting.size.h);
            aspect = setting.size;
            break;
        }
    }
    if (!follows() || !source) return;
    const Size clipped = clipped_size(read_clips(host), *source);
    const Size now{host.track(kWidthLabel), host.track(kHeightLabel)};
    const Size size = resolve_resize({aspect.w < 0 ? aspect.w : now.w, aspect.h < 0 ? aspect.h : now.h}, clipped);
    if (aspect.w < 0) set_resize_side(kWidthLabel, size.w);
    if (aspect.h < 0) set_resize_side(kHeightLabel, size.h);
}

// Whether the command line asks for an output size: --resize, Width or Height, or a preset button.
bool asks_for_size(const ToolOptions& options)
{
    return sets_track(options, kWidthLabel) || sets_track(options, kHeightLabel) ||
           std::any_of(options.settings.begin(), options.settings.end(),
                       [](const ControlSetting& setting) { return setting.kind != ControlSetting::Kind::kTrack; });
}

// The demo shows area averaging, kDemoOutputWidth wide in the pattern's aspect, as far as the user
// chose neither a method nor a size (and the filter has the controls).
std::vector<ControlSetting> demo_defaults(const PluginHost& host, const ToolOptions& options)
{
    std::vector<ControlSetting> settings;
    if (!sets_track(options, kMethodLabel) && host.has_track(kMethodLabel))
        settings.push_back({ControlSetting::Kind::kTrack, kMethodLabel, 1});
    if (!asks_for_size(options) && host.has_check(kOtherLabel) && host.has_track(kWidthLabel) && host.has_track(kHeightLabel)) {
        ControlSetting resize{ControlSetting::Kind::kResize, ""};
        resize.size = {kDemoOutputWidth, kKeepAspectEven};
        settings.push_back(resize);
    }
    return settings;
}

// Width and Height do nothing while a preset button is on: the user who set them is told so.
void warn_about_preset(const PluginHost& host, const ToolOptions& options)
{
    if (!sets_track(options, kWidthLabel) && !sets_track(options, kHeightLabel)) return;
    const std::string preset = preset_in_force(host);
    if (preset.empty()) return;
    say(std::string("warning: Width and Height apply only with \"") + kOtherLabel + "\" selected, and the preset \"" +
        preset + "\" is on; add --select " + kOtherLabel + ", or give the size as --resize WxH");
}

bool same_picture(const Picture& a, const Picture& b)
{
    return a.w == b.w && a.h == b.h &&
           std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size() * sizeof(PIXEL_YC)) == 0;
}

// The stream's bytes of a frame, decoded into the scratch `check`, are `picture`.
struct DecodeCheck {
    Picture picture;
    Y4mConversion conversion;
};

bool decodes_to(const Y4mFormat& format, const std::vector<unsigned char>& bytes, const Picture& picture,
                DecodeCheck& check)
{
    if (bytes.size() != format.frame_bytes()) return false;
    decode_y4m_frame(format, bytes.data(), check.picture, check.conversion);
    return same_picture(check.picture, picture);
}

std::string size_text(std::int32_t w, std::int32_t h) { return std::to_string(w) + "x" + std::to_string(h); }

// Without a size the filter's preset holds; a source of other proportions comes out stretched.
void warn_about_default_size(Size asked, Size source)
{
    const double change = static_cast<double>(asked.w) * source.h / (static_cast<double>(asked.h) * source.w);
    if (change > 0.99 && change < 1.01) return;
    say("warning: no size given, so the filter's preset " + size_text(asked.w, asked.h) + " changes the aspect of the " +
        size_text(source.w, source.h) + " source; --resize " + std::to_string(asked.w) + "x-2 keeps it");
}

// How to get the size the filter could not give.
std::string size_hint(unsigned rules)
{
    std::string hint;
    if (rules & kNeverEnlarges) hint += "; --method bicubic, lanczos or point enlarges";
    if (rules & kEighthFloor) hint += "; a second run goes down another eighth";
    return hint;
}

// Whether the device took rows of the last frame: a method other than point sampling, with a device
// share.
bool device_rows_ran(const PluginHost& host)
{
    return host.has_track(kMethodLabel) && host.track(kMethodLabel) >= 1 && host.has_track(kDeviceShareLabel) &&
           host.track(kDeviceShareLabel) > 0;
}

// The method the controls ask for, for the summary; empty for a filter without the "Method" bar.
std::string method_name(const PluginHost& host)
{
    if (!host.has_track(kMethodLabel)) return "";
    const char* const names[] = {"point sampling", "area averaging", "bicubic", "Lanczos-3"};
    const std::int32_t method = host.track(kMethodLabel);
    return method >= 0 && method < 4 ? names[method] : "";
}

// "-", or a name of the process's own descriptor 1.
bool names_standard_output(const std::string& path)
{
    return path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
}

// What the user wants on standard output cannot go into a closed one (now /dev/null).
void require_open_standard_output()
{
    if (standard_output_was_closed()) throw HostError("cannot write standard output: it is closed");
}

// Text for the user on standard output that reached no one (closed, or a full disk) is an error, not a
// success. The caller clears errno before writing, so that a write that failed before the flush names
// its cause.
void finish_standard_output()
{
    require_open_standard_output();
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
        if (box.button) std::printf("  <%s> (a button)\n", box.label.c_str());
        else std::printf("  [%c] %s\n", box.default_value ? 'x' : ' ', box.label.c_str());
    if (boxes.empty()) std::printf("  (none)\n");
    const std::string information = host.information();
    if (!information.empty()) std::printf("Information: %s\n", information.c_str());
}


std::unique_ptr<FrameSource> open_source(const ToolOptions& options, Format format)
{
    if (options.demo) {
        const Size size = options.size.value_or(Size{kDemoWidth, kDemoHeight});
        return open_demo_source(size.w, size.h, kDemoFrames);
    }
    if (format == Format::kYc) {
        if (!options.size) throw UsageError("\"" + options.input + "\": .yc input needs --size WxH");
        return open_yc_source(options.input, options.size->w, options.size->h);
    }
    if (options.size)
        throw UsageError("--size is for .yc input and --demo; \"" + options.input + "\" gives its own size");
    return open_y4m_source(options.input, options.progressive);
}

// Starts the plug-in with its "Using device N: NAME" line held back: it becomes the device of the
// summary (with --verbose it is shown too, and on failure it goes to standard error with the reason).
// Everything else the plug-in and the drivers it loads say goes on to standard error as it comes,
// even when quiet, so that a driver that ends the process is still heard. Returns the device's name.
std::string start_plugin(PluginHost& host, const ToolOptions& options)
{
    const std::string device_line = "Using device ";
    std::string held;
    try {
        capture_console([&] { host.init(); }, device_line, held);
    } catch (...) {
        std::fputs(held.c_str(), stderr);
        throw;
    }
    // The OpenCL drivers the plug-in loaded may have taken signals over.
    remove_temporaries_on_ending_signals();
    if (options.verbose) std::fputs(held.c_str(), stderr);
    std::string device;
    std::string::size_type at = 0;
    while (at < held.size()) {
        const std::string::size_type end = std::min(held.find('\n', at), held.size());
        std::string line = held.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string::size_type colon = line.find(": ");
        if (colon != std::string::npos) device = line.substr(colon + 2);
    }
    return device;
}

// The plug-in's shut-down, after the tool has said everything. Its prompt on standard output ("Press
// ENTER to exit...") is for the editor's console and waits for nothing here (standard input reads
// nothing), so it is never shown; with --verbose what it says on standard error is, and otherwise
// nothing it says, which needs no descriptor to spare.
void stop_plugin(PluginHost& host, const ToolOptions& options)
{
    if (!options.verbose) silence_standard_error();
    host.shutdown(true);
}

std::unique_ptr<FrameSink> make_sink(Format format, const std::string& path, const Y4mFormat& y4m_format,
                                     ColourMatrix matrix)
{
    switch (format) {
    case Format::kYc:
        return make_yc_sink(path);
    case Format::kY4m:
        return make_y4m_sink(path, y4m_format);
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

// The plug-in reads the device asked for, and its settings, from the environment at its start-up.
void set_plugin_variable(const char* name, std::int32_t value)
{
    const std::string text = std::to_string(value);
#if defined(_WIN32)
    _putenv_s(name, text.c_str());
#else
    setenv(name, text.c_str(), 1);
#endif
}

// The tool is no editor: unless asked for the editor's limits, it filters sources up to the largest
// limit, and Width and Height go as far. A limit from the environment holds; one that is no limit is
// reported here, once, and the tool's own holds (the plug-in then finds nothing to report).
void set_source_limit(const ToolOptions& options)
{
    if (options.max_source_side) {
        set_plugin_variable(kMaxSourceSideVariable, *options.max_source_side);
        return;
    }
    if (options.editor_limits) return;
    if (const char* given = std::getenv(kMaxSourceSideVariable)) {
        PluginSettings from_environment;
        from_environment.max_source_side = 0;  // left so when the variable is no limit
        std::string problems;
        apply_settings_environment(from_environment, problems);
        if (from_environment.max_source_side != 0) return;
        say(std::string("warning: ") + kMaxSourceSideVariable + ": " +
            bad_setting_value(*find_setting_key("max_source_side"), given) + "; using " +
            std::to_string(kLargestMaxSourceSide));
    }
    set_plugin_variable(kMaxSourceSideVariable, kLargestMaxSourceSide);
}

// The plug-in's source limit, read as the plug-in reads it: the settings file beside `plugin`, then
// the environment, which --plugin-setting sets. The plug-in reports their problems itself.
std::int32_t source_limit_in_force(const std::string& plugin)
{
    const std::string folder = directory_part(plugin);
    std::string problems;
    return read_plugin_settings(folder.empty() ? "./" : folder, problems).max_source_side;
}

int run(const ToolOptions& options)
{
    if (options.list_devices) {
        list_devices();
        finish_standard_output();
        return 0;
    }
    if (options.device) {
        int count = 0;
        cudaGetDeviceCount(&count);
        if (*options.device >= count)
            throw UsageError("--device " + std::to_string(*options.device) + ": the devices are 0.." +
                             std::to_string(count - 1) + "; --list-devices shows them");
        set_plugin_variable("VANTREO_DEVICE", *options.device);
    }
    set_source_limit(options);
    if (options.extended_methods) set_plugin_variable(kExtendedMethodsVariable, *options.extended_methods);
    const std::string plugin = options.plugin.empty() ? default_plugin_path() : options.plugin;
    if (options.verbose) say("plug-in " + plugin);
    if (options.list_controls) {
        PluginHost host(plugin);
        apply_settings(host, options.settings, std::nullopt);
        errno = 0;
        list_controls(host);
        finish_standard_output();
        return 0;
    }

    const bool demo_files = options.demo && options.output.empty();
    const std::string output_path = demo_files ? kDemoOutput : options.output;
    const Format input_format = options.demo ? Format::kY4m : format_of(options, options.input, std::nullopt);
    const Format output_format = format_of(options, output_path, input_format);
    if (output_format == Format::kPng && options.png_every > 0)
        throw UsageError("a .png OUTPUT is the first frame alone, --png-every a series: for every Nth frame give "
                         "OUTPUT as .y4m or .yc beside --png-every");
    if (names_standard_output(output_path)) require_open_standard_output();
    if (names_standard_output(output_path) && is_terminal(stdout))
        throw UsageError("OUTPUT \"" + output_path + "\" is a terminal, where video would show as binary garbage; redirect it "
                         "(> out.y4m) or pipe it on (| ffmpeg -i - out.mp4)");

    // Writing the file being read would destroy it (or, appending to it, never end).
    if (!options.demo && same_regular_file(options.input, output_path))
        throw UsageError("INPUT \"" + options.input + "\" and OUTPUT \"" + output_path + "\" are the same file");

    // The input's header is checked before anything is written.
    const std::unique_ptr<FrameSource> source = open_source(options, input_format);
    const std::int32_t in_w = source->width();
    const std::int32_t in_h = source->height();

    // The tool fits the buffers to the frames (the plug-in copies whole buffer rows, and a frame of the
    // buffers' size needs no copy into them); the editor's are at least 1600x1200.
    const BufferSize least = options.editor_limits ? kEditorBuffer : BufferSize{1, 1};
    BufferSize buffer{std::max(in_w, least.w), std::max(in_h, least.h)};
    if (options.buffer) {
        buffer = {options.buffer->w, options.buffer->h};
        if (buffer.w < in_w || buffer.h < in_h)
            throw UsageError("--buffer " + size_text(buffer.w, buffer.h) + " is smaller than the input " +
                             size_text(in_w, in_h));
    }

    PluginHost host(plugin, buffer);
    std::vector<ControlSetting> settings = options.demo ? demo_defaults(host, options) : std::vector<ControlSetting>{};
    settings.insert(settings.end(), options.settings.begin(), options.settings.end());
    apply_settings(host, settings, Size{in_w, in_h});
    warn_about_preset(host, options);
    const std::optional<Size> asked = asked_size(host);
    // The buffer also holds the output asked for: enlarging past 1600x1200 needs no --buffer.
    if (!options.buffer && asked)
        host.set_buffer_size({std::max(buffer.w, asked->w), std::max(buffer.h, asked->h)});
    const bool sized = asks_for_size(options);
    const Size shown = clipped_size(read_clips(host), {in_w, in_h});
    if (!sized && !options.demo && asked) warn_about_default_size(*asked, shown);
    const bool fields = source->y4m_format().interlaced;
    FrameFilter filter(host, fields, source_limit_in_force(plugin));

    // The plug-in starts before any output is made: a start-up that ends the process (an OpenCL
    // driver's abort) leaves nothing behind.
    const std::string device = start_plugin(host, options);
    // Every output is made before the first frame is read, so one that cannot be written fails first.
    if (demo_files) make_directory(kDemoDirectory);
    Y4mFormat y4m_format = source->y4m_format();
    y4m_format.shown = shown;
    const std::unique_ptr<FrameSink> sink = make_sink(output_format, output_path, y4m_format, options.matrix);
    std::unique_ptr<OutputFile> comparison;
    if (demo_files) comparison = std::make_unique<OutputFile>(kDemoComparison);
    std::unique_ptr<PngSeries> series;
    if (options.png_every > 0) series = std::make_unique<PngSeries>(options.png_directory, options.png_every, options.matrix);

    const std::optional<std::int64_t> wanted = sink->frames_wanted();
    const std::optional<std::int64_t> total = wanted ? wanted : source->frame_count();
    const auto frame_n = static_cast<std::int32_t>(std::min<std::int64_t>(source->frame_count().value_or(0), INT32_MAX));
    const std::int64_t comparison_frame = kDemoFrames / 2;

    const Stopwatch clock;
    ProgressLine progress(!options.quiet && is_terminal(stderr), total, print_progress);
    Picture before;
    Picture after;
    DecodeCheck check;
    std::optional<Size> written;
    std::int64_t frames = 0;
    std::int64_t filtered = 0;
    // Checked once, at the first frame whose size differs (before any progress line is drawn).
    bool size_checked = false;
    const auto check_size = [&] {
        const std::string note = size_checked ? "" : filter.size_note();
        if (note.empty()) return;
        if (sized && !options.allow_other_size)
            throw HostError(note + size_hint(filter.applied_rules()) +
                            "; nothing written (--allow-other-size writes that size)");
        say(note);
        size_checked = true;
    };
    {
        const std::size_t pixels = static_cast<std::size_t>(in_w) * static_cast<std::size_t>(in_h);
        FramePipeline pipeline(*source, *sink, frames_in_flight(pixels * 3 * sizeof(PIXEL_YC)), wanted);
        while (FramePipeline::Frame* frame = pipeline.next()) {
            const bool lent = filter.process(frame->input, frame->output,
                                             static_cast<std::int32_t>(std::min<std::int64_t>(frames, INT32_MAX)), frame_n);
            check_size();
            // A frame that lent its storage to the filter may have been written into: the stream's own
            // bytes tell what it was.
            frame->unchanged = same_picture(frame->input, frame->output) &&
                               (!lent || decodes_to(y4m_format, frame->original, frame->output, check));
            if (!frame->unchanged) ++filtered;
            if (series) series->write(frames, frame->output);
            if (comparison && frames == comparison_frame) {
                before = frame->input;
                after = frame->output;
            }
            written = frame->output.size();
            pipeline.write(frame);
            ++frames;
            progress.update(frames, clock.seconds());
        }
        pipeline.finish();
    }
    // A stream without frames still tells the size its frames would have had: a blank frame of the
    // input's size through the filter finds it.
    if (frames == 0 && output_format == Format::kY4m) {
        Picture blank(in_w, in_h);
        Picture output;
        filter.process(blank, output, 0, 0);
        check_size();
        written = output.size();
        sink->set_size_without_frames(*written);
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
    // From the first rename on, a signal no longer undoes the run: it waits, and the run ends as done.
    hold_ending_signals_until_exit();
    if (series) series->commit();
    if (comparison) comparison->commit();
    sink->commit();

    if (!options.quiet) {
        // Interlaced sizes carry an "i" when the fields went through apart.
        const char* scan = fields ? "i" : "";
        std::string summary =
            std::to_string(frames) + (frames == 1 ? " frame " : " frames ") + size_text(in_w, in_h) + scan;
        if (written) summary += " -> " + size_text(written->w, written->h) + scan;
        char timing[64];
        std::snprintf(timing, sizeof timing, " in %.2f s, ", seconds);
        summary += timing + speed_text(frames, seconds);
        if (!method_name(host).empty()) summary += ", " + method_name(host);
        if (!device.empty() && filtered > 0 && device_rows_ran(host)) summary += ", device: " + device;
        summary += "; wrote " + (output_path == "-" ? "standard output" : output_path);
        if (comparison) summary += std::string(" and ") + kDemoComparison;
        if (series) summary += ", " + std::to_string(series->written()) + " PNG frames in " + options.png_directory;
        say(summary);
    }
    stop_plugin(host, options);
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
            errno = 0;
            std::fputs(options.help ? tool_usage() : "vantreo-host " VANTREO_VERSION "\n", stdout);
            finish_standard_output();
            return 0;
        }
        return run(options);
    } catch (const UsageError& error) {
        // A hint on lines of its own follows the pointer to the help.
        const std::string message = error.what();
        const std::string::size_type end = std::min(message.find('\n'), message.size());
        say(message.substr(0, end) + " (see --help)" + message.substr(end));
        return 2;
    } catch (const std::bad_alloc&) {
        say("out of memory");
        return 1;
    } catch (const std::exception& error) {
        // A write past the file size limit fails with EFBIG ("File too large"), which names no limit.
        const char* limit = file_size_limit_reached() ? " (the file size limit, ulimit -f, was reached)" : "";
        say(error.what() + std::string(limit));
        return 1;
    } catch (...) {
        say("an unexpected error ended the run");
        return 1;
    }
}
