#include "host/tool/tool_options.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <limits>

#include "host/editor/plugin_host.h"
#include "host/editor/size_controls.h"
#include "settings/plugin_settings.h"

namespace vantreo_host {

namespace {

const char kUsage[] =
    "usage: vantreo-host [options] INPUT OUTPUT\n"
    "       vantreo-host [options] --demo [OUTPUT]\n"
    "       vantreo-host [--plugin PATH] --list-controls\n"
    "       vantreo-host --list-devices\n"
    "Resizes video through the Vantreo filter plug-in, run the way AviUtl runs it: each frame of\n"
    "INPUT goes through the plug-in's frame callback and the frames it hands back go to OUTPUT.\n"
    "e.g.  vantreo-host --resize 640x-2 --method area in.y4m out.y4m\n"
    "      ffmpeg -i in.mp4 -f yuv4mpegpipe - | vantreo-host --resize 960x540 --method area - - |\n"
    "        ffmpeg -i - -i in.mp4 -map 0:v -map 1:a? -c:a copy out.mp4   (the audio of in.mp4 kept)\n"
    "Size and method:\n"
    "  -s, --resize WxH     the output size (selects \"other\" and sets Width and Height); one side\n"
    "                       may be -1 (keep the source's aspect) or -2 (the same, rounded to an\n"
    "                       even number), e.g. --resize 640x-2\n"
    "  --method point|area|bicubic|lanczos\n"
    "                       point sampling (the nearest pixel; the default), area averaging\n"
    "                       (smooth, never enlarges), bicubic or Lanczos-3 (smooth both ways,\n"
    "                       Lanczos the sharper; either turns extended_methods on)\n"
    "  --allow-other-size   write the size the filter gives when it cannot give the one asked for\n"
    "                       (area averaging asked to enlarge, a side below an eighth of the\n"
    "                       source's, a source over the limit); without it that stops the run\n"
    "  --set \"LABEL=VALUE\"  set a track bar, e.g. --set \"T. Rate=128\" --set \"Clip L=8\"\n"
    "  --select \"LABEL\"     turn a check box on (in a radio group the others go off),\n"
    "                       e.g. --select \"320 x 240\"\n"
    "                       Labels match ignoring case, spaces and dots (\"t.rate\", \"640x480\").\n"
    "  --list-controls      print the filter's controls and stop\n"
    "  --progressive        resize interlaced frames (It, Ib) whole; by default each field is\n"
    "                       resized as a picture of its own and the fields are woven back\n"
    "Input and output:\n"
    "  --format yc|y4m      the format of \"-\" and of files whose name ends in none of .yc, .y4m,\n"
    "                       .png (default for \"-\": y4m in; out, the input's format)\n"
    "  --size WxH           the input picture size (required for .yc input; with --demo the\n"
    "                       pattern size, default 1280x720)\n"
    "  --png-every N DIR    also write every Nth output frame (the first, the N+1th, ...) as\n"
    "                       DIR/frame-000000.png, DIR/frame-00000N.png, ...\n"
    "  --matrix 601|709     the YCbCr to RGB matrix of PNG files (default 601)\n"
    "  --demo               take a built-in moving test pattern (60 frames) as the input and\n"
    "                       resize it by area averaging to 640 pixels wide in its aspect, as far\n"
    "                       as no option sets the method or the size;\n"
    "                       without OUTPUT it writes demo/out.y4m and demo/before-after.png\n"
    "                       (the middle frame before and after, side by side)\n"
    "Running:\n"
    "  --plugin PATH        the plug-in file (default: vantreo.auf beside this program, else the\n"
    "                       one built with it)\n"
    "  --buffer WxH         the host's frame buffers, max_w x max_h (default: the input size and\n"
    "                       the size asked for; with --editor-limits at least 1600x1200; at\n"
    "                       most 67108864 pixels, as 8192x8192, or 33554432 in a 32-bit build)\n"
    "  --list-devices       print the devices the plug-in can run its device rows on (index,\n"
    "                       backend, name; OpenCL GPUs first, the emulated device last) and stop\n"
    "  --device N           run the device rows on device N of --list-devices (default 0)\n"
    "  --plugin-setting max_source_side=N\n"
    "                       filter sources, and allow Width and Height, up to N pixels a side\n"
    "                       (1600..8192; the tool's default 8192, or VANTREO_MAX_SOURCE_SIDE)\n"
    "  --plugin-setting extended_methods=1\n"
    "                       offer bicubic (Method 2) and Lanczos-3 (Method 3) besides the\n"
    "                       editor's two (or VANTREO_EXTENDED_METHODS=1)\n"
    "  --editor-limits      the plug-in's settings as in the editor: its own default (1600, or\n"
    "                       what vantreo.ini beside it or VANTREO_MAX_SOURCE_SIDE says), to check\n"
    "                       what the editor will do\n"
    "  -q, --quiet          only warnings and errors on standard error: no progress line, no\n"
    "                       summary, none of the plug-in's start-up and shut-down lines\n"
    "  -v, --verbose        also the plug-in's own start-up and shut-down lines, and its path\n"
    "  -h, --help           print this help\n"
    "  --version            print the version of this program\n"
    "Formats:\n"
    "  .y4m  YUV4MPEG2 video: 4:2:0 (C420jpeg, C420mpeg2, C420paldv, C420), 4:2:2 (C422) and\n"
    "        4:4:4 (C444), 8-bit or 9..16-bit (C420p16, C444p16, ...). The output has the\n"
    "        input's format, frame rate (F), pixel aspect (A, below), interlacing (I) and X comments,\n"
    "        at the new size; from .yc or --demo it is C420jpeg, F25:1, Ip, A1:1. Samples map\n"
    "        to the filter's scale as Y 16..235 -> 0..4096 and Cb, Cr 16..240 -> -2048..2048\n"
    "        (times 2^(bits-8) for deeper samples; XCOLORRANGE=FULL: the whole code range), and\n"
    "        back clamped to the codes the depth holds. Chroma goes to full size and back down\n"
    "        by an exact pair (a frame the filter hands back as it was comes back bit for bit up\n"
    "        to 10 bits), centred between luma samples (420jpeg, 420, deep 4:2:0) or co-sited\n"
    "        with the left one (420mpeg2, 420paldv, 4:2:2); in interlaced 4:2:0 each field's\n"
    "        chroma rows apart. Frames the filter hands back unchanged are written as they\n"
    "        came. The pixel aspect (A) is scaled to keep the display aspect. Monochrome,\n"
    "        alpha, 4:1:1 and mixed-interlace (Im) streams are refused; FRAME parameters are\n"
    "        ignored. Other video goes through ffmpeg's yuv4mpegpipe, as in the example above.\n"
    "  .yc   raw host frames: per pixel Y, Cb, Cr as little-endian signed 16-bit values, rows\n"
    "        packed, frames back to back; output frames are at the output size\n"
    "  .png  the first output frame as 8-bit RGB (full range, --matrix)\n"
    "The filter bounds the size: area averaging never enlarges, no side goes below an eighth of\n"
    "the source's, none beyond the buffer, and sources over the limit (--plugin-setting) pass\n"
    "through; when it cannot give the size asked for, the tool says why and stops before writing\n"
    "(--allow-other-size: it says so and goes on). Without a size the filter's preset, 640 x 480,\n"
    "holds; the tool warns when that changes the picture's aspect.\n"
    "A progress line appears on standard error, when it is a terminal, for runs over a second.\n";

std::string trimmed(const std::string& text)
{
    std::string::size_type begin = 0;
    std::string::size_type end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// A decimal number, optionally signed, that fits `limit`; false otherwise.
bool parse_int(const std::string& text, std::int64_t limit, std::int64_t& value)
{
    std::string::size_type i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit + 1) return false;
    }
    value = negative ? -magnitude : magnitude;
    return value >= -limit - 1 && value <= limit;
}


ControlSetting parse_set(const std::string& text)
{
    const std::string::size_type equals = text.rfind('=');
    if (equals == std::string::npos)
        throw UsageError("--set \"" + text + "\": expected \"LABEL=VALUE\", e.g. --set \"Method=1\"");
    const std::string label = trimmed(text.substr(0, equals));
    const std::string number = trimmed(text.substr(equals + 1));
    std::int64_t value = 0;
    if (label.empty()) throw UsageError("--set \"" + text + "\": the label is empty");
    if (!parse_int(number, std::numeric_limits<std::int32_t>::max(), value))
        throw UsageError("--set \"" + text + "\": \"" + number + "\" is not a whole number");
    return {ControlSetting::Kind::kTrack, label, static_cast<std::int32_t>(value)};
}

// "WxH" for --resize: each side 1..kMaxBufferSide, or one of them kKeepAspect or kKeepAspectEven.
Size parse_resize(const std::string& option, const std::string& text)
{
    const std::string::size_type x = text.find_first_of("xX:");
    std::int64_t w = 0;
    std::int64_t h = 0;
    auto side_ok = [](std::int64_t side) { return side >= 1 || side == kKeepAspect || side == kKeepAspectEven; };
    if (x == std::string::npos || !parse_int(text.substr(0, x), kMaxBufferSide, w) ||
        !parse_int(text.substr(x + 1), kMaxBufferSide, h) || !side_ok(w) || !side_ok(h))
        throw UsageError(option + " \"" + text + "\": expected WIDTHxHEIGHT, each side a size in pixels or -1 " +
                         "(keep the aspect) or -2 (keep it, even), e.g. 960x540 or 640x-2");
    if (w < 0 && h < 0) throw UsageError(option + " \"" + text + "\": only one side may follow the aspect");
    return {static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)};
}

}  // namespace

const char* tool_usage() { return kUsage; }

bool sets_track(const ToolOptions& options, const std::string& label)
{
    for (const ControlSetting& setting : options.settings)
        if (setting.kind == ControlSetting::Kind::kTrack && label_key(setting.label) == label_key(label)) return true;
    return false;
}

Size resolve_resize(Size resize, Size source)
{
    // The free side, rounded to the nearest whole (or even) number: other * source_this / source_other.
    auto follow = [](std::int64_t other, std::int64_t source_this, std::int64_t source_other, bool even) {
        const std::int64_t step = even ? 2 : 1;
        const std::int64_t side = (2 * other * source_this + step * source_other) / (2 * step * source_other) * step;
        return static_cast<std::int32_t>(std::max(side, step));
    };
    if (resize.w < 0) return {follow(resize.h, source.w, source.h, resize.w == kKeepAspectEven), resize.h};
    if (resize.h < 0) return {resize.w, follow(resize.w, source.h, source.w, resize.h == kKeepAspectEven)};
    return resize;
}

Size parse_size(const std::string& option, const std::string& text)
{
    const std::string::size_type x = text.find_first_of("xX");
    std::int64_t w = 0;
    std::int64_t h = 0;
    if (x == std::string::npos || text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        x + 1 >= text.size() || !std::isdigit(static_cast<unsigned char>(text[x + 1])) ||
        !parse_int(text.substr(0, x), kMaxBufferSide, w) || !parse_int(text.substr(x + 1), kMaxBufferSide, h) ||
        w < 1 || h < 1)
        throw UsageError(option + " \"" + text + "\": expected WIDTHxHEIGHT with each side 1.." +
                         std::to_string(kMaxBufferSide) + ", e.g. 640x480");
    // Both the buffers and the input (which must fit them) are bounded by the pixels a buffer holds.
    if (w * h > kMaxBufferPixels)
        throw UsageError(option + " \"" + text + "\": " + std::to_string(w * h) + " pixels, more than the " +
                         std::to_string(kMaxBufferPixels) + " a frame buffer holds");
    return {static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)};
}

ToolOptions parse_tool_options(const std::vector<std::string>& args)
{
    ToolOptions options;
    std::vector<std::string> positional;
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_done || arg == "-" || arg.empty() || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        // "--name value" or "--name=value" for the options that take a value.
        std::string name = arg;
        std::optional<std::string> inline_value;
        const std::string::size_type equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            inline_value = arg.substr(equals + 1);
        }
        auto value = [&]() -> std::string {
            if (inline_value) return *inline_value;
            if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
            return args[++i];
        };
        auto no_value = [&]() {
            if (inline_value) throw UsageError(name + " takes no value");
        };

        if (name == "--plugin") {
            options.plugin = value();
            if (options.plugin.empty()) throw UsageError("--plugin: the path is empty");
        } else if (name == "--set") {
            options.settings.push_back(parse_set(value()));
        } else if (name == "--select") {
            const std::string label = trimmed(value());
            if (label.empty()) throw UsageError("--select: the label is empty");
            options.settings.push_back({ControlSetting::Kind::kSelect, label});
        } else if (name == "--resize" || name == "-s") {
            ControlSetting setting{ControlSetting::Kind::kResize, ""};
            setting.size = parse_resize(name, value());
            options.settings.push_back(setting);
        } else if (name == "--method") {
            const std::string method = value();
            const char* const methods[] = {"point", "area", "bicubic", "lanczos"};
            const auto found = std::find(std::begin(methods), std::end(methods), method);
            if (found == std::end(methods))
                throw UsageError("--method \"" + method + "\": expected point, area, bicubic or lanczos");
            const std::int32_t number = static_cast<std::int32_t>(found - std::begin(methods));
            options.settings.push_back({ControlSetting::Kind::kTrack, kMethodLabel, number});
            if (number >= 2) options.extended_methods = 1;
        } else if (name == "--buffer") {
            options.buffer = parse_size("--buffer", value());
        } else if (name == "--size") {
            options.size = parse_size("--size", value());
        } else if (name == "--format") {
            options.format = value();
            if (options.format != "yc" && options.format != "y4m")
                throw UsageError("--format \"" + options.format + "\": unknown format (known: yc, y4m)");
        } else if (name == "--png-every") {
            std::int64_t every = 0;
            const std::string text = value();
            if (!parse_int(text, std::numeric_limits<std::int32_t>::max(), every) || every < 1)
                throw UsageError("--png-every \"" + text + "\": expected a whole number of frames, 1 or more");
            if (i + 1 >= args.size() || args[i + 1].empty())
                throw UsageError("--png-every needs a number and a directory, e.g. --png-every 25 frames");
            options.png_every = every;
            options.png_directory = args[++i];
        } else if (name == "--matrix") {
            const std::string matrix = value();
            if (matrix == "601")
                options.matrix = ColourMatrix::kBt601;
            else if (matrix == "709")
                options.matrix = ColourMatrix::kBt709;
            else
                throw UsageError("--matrix \"" + matrix + "\": expected 601 or 709");
        } else if (name == "--quiet" || name == "-q") {
            no_value();
            options.quiet = true;
        } else if (name == "--verbose" || name == "-v") {
            no_value();
            options.verbose = true;
        } else if (name == "--progressive") {
            no_value();
            options.progressive = true;
        } else if (name == "--list-controls") {
            no_value();
            options.list_controls = true;
        } else if (name == "--list-devices") {
            no_value();
            options.list_devices = true;
        } else if (name == "--device") {
            const std::string text = value();
            std::int64_t device = 0;
            if (!parse_int(text, 63, device) || device < 0) throw UsageError("--device \"" + text + "\": expected a device index");
            options.device = static_cast<std::int32_t>(device);
        } else if (name == "--plugin-setting") {
            // A key of the plug-in's settings file, checked as the plug-in checks it.
            const std::string text = value();
            const std::string::size_type equals = text.find('=');
            const SettingKey* key = equals == std::string::npos ? nullptr : find_setting_key(text.substr(0, equals));
            if (!key)
                throw UsageError("--plugin-setting \"" + text + "\": expected max_source_side=N or extended_methods=0|1");
            PluginSettings settings;
            const std::string setting = text.substr(equals + 1);
            if (!apply_setting(*key, setting, settings))
                throw UsageError("--plugin-setting \"" + text + "\": " + bad_setting_value(*key, setting));
            if (key->value == &PluginSettings::max_source_side)
                options.max_source_side = settings.max_source_side;
            else
                options.extended_methods = settings.extended_methods;
        } else if (name == "--editor-limits") {
            no_value();
            options.editor_limits = true;
        } else if (name == "--allow-other-size") {
            no_value();
            options.allow_other_size = true;
        } else if (name == "--demo") {
            no_value();
            options.demo = true;
        } else if (name == "--help" || name == "-h") {
            no_value();
            options.help = true;
        } else if (name == "--version") {
            no_value();
            options.version = true;
        } else {
            throw UsageError("unknown option " + name);
        }
    }
    if (options.help || options.version) return options;
    if (options.quiet && options.verbose) throw UsageError("--quiet and --verbose ask for opposite things");

    if (options.list_devices) {
        if (!positional.empty()) throw UsageError("--list-devices takes no INPUT or OUTPUT");
        return options;
    }
    if (options.list_controls) {
        if (!positional.empty()) throw UsageError("--list-controls takes no INPUT or OUTPUT");
        return options;
    }
    if (options.demo) {
        if (positional.size() > 1) throw UsageError("--demo takes at most an OUTPUT and no INPUT");
        if (!positional.empty()) options.output = positional[0];
    } else {
        if (positional.size() != 2) throw UsageError("expected INPUT and OUTPUT");
        options.input = positional[0];
        options.output = positional[1];
    }
    return options;
}

}  // namespace vantreo_host
