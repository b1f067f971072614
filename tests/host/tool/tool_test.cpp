// vantreo-host run as a separate program, as a user or a script would.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "host/os/console_streams.h"
#include "host/video/picture.h"
#include "host/video/yc_format.h"
#include "tests/host/subprocess.h"
#include "tests/host/test_support.h"

using host_test::read_file;
using host_test::run_program;
using host_test::RunResult;
using host_test::TempDir;
using host_test::write_file;
using vantreo_host::Picture;

namespace {

std::atomic<bool> refusing_other_threads{false};  // allocations fail off the thread that set it
std::thread::id allocating_thread;

}  // namespace

void* operator new(std::size_t size)
{
    const bool refused = refusing_other_threads && std::this_thread::get_id() != allocating_thread;
    void* block = refused ? nullptr : std::malloc(size ? size : 1);
    return block ? block : throw std::bad_alloc();
}
// Not inlined where the compiler would see free() meet a block from operator new.
[[gnu::noinline]] void operator delete(void* block) noexcept { std::free(block); }
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

RunResult run_tool(std::vector<std::string> args, const std::string& input = "", bool hold_input_open = false)
{
    args.insert(args.begin(), VANTREO_HOST_TOOL);
    return run_program(args, input, hold_input_open);
}

// Every input pixel carries its own position and frame number, so each output pixel tells where
// it was taken from; a pixel from outside the picture (never written, zero) tells nothing.
PIXEL_YC tag(std::int32_t x, std::int32_t y, std::int32_t frame)
{
    return {static_cast<std::int16_t>(1000 + frame), static_cast<std::int16_t>(x + 1), static_cast<std::int16_t>(y + 1)};
}

std::string tagged_frames(std::int32_t w, std::int32_t h, std::int32_t frames)
{
    std::string bytes;
    for (std::int32_t f = 0; f < frames; ++f) {
        Picture picture(w, h);
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x) picture.at(x, y) = tag(x, y, f);
        std::vector<unsigned char> encoded;
        vantreo_host::encode_yc(picture, encoded);
        bytes.append(encoded.begin(), encoded.end());
    }
    return bytes;
}

std::vector<Picture> decode_frames(const std::string& bytes, std::int32_t w, std::int32_t h)
{
    const std::size_t frame_bytes = static_cast<std::size_t>(w) * h * vantreo_host::kYcBytesPerPixel;
    EXPECT_EQ(bytes.size() % frame_bytes, 0u) << "whole " << w << "x" << h << " frames";
    std::vector<Picture> frames;
    for (std::size_t at = 0; at + frame_bytes <= bytes.size(); at += frame_bytes) {
        frames.emplace_back(w, h);
        vantreo_host::decode_yc(reinterpret_cast<const unsigned char*>(bytes.data()) + at, frames.back());
    }
    return frames;
}

// The source column of each output column and the source row of each output row, checking on the
// way that every pixel is a pixel of frame `frame` inside the src_w x src_h picture and that
// positions are separable (the column depends on x only, the row on y only).
struct Positions {
    std::vector<int> columns;
    std::vector<int> rows;
};

Positions source_positions(const Picture& out, std::int32_t src_w, std::int32_t src_h, std::int32_t frame)
{
    Positions positions;
    for (std::int32_t y = 0; y < out.h; ++y)
        for (std::int32_t x = 0; x < out.w; ++x) {
            const PIXEL_YC& p = out.at(x, y);
            const int sx = p.cb - 1;
            const int sy = p.cr - 1;
            EXPECT_EQ(p.y, 1000 + frame) << "pixel " << x << "," << y;
            EXPECT_TRUE(sx >= 0 && sx < src_w && sy >= 0 && sy < src_h)
                << "pixel " << x << "," << y << " came from outside the picture: " << sx << "," << sy;
            if (y == 0) positions.columns.push_back(sx);
            if (x == 0) positions.rows.push_back(sy);
            if (y > 0) {
                EXPECT_EQ(sx, positions.columns[x]) << "pixel " << x << "," << y;
            }
            if (x > 0) {
                EXPECT_EQ(sy, positions.rows[y]) << "pixel " << x << "," << y;
            }
        }
    return positions;
}

// Point sampling takes, for output position i, the source position nearest to i * src / dst, held
// inside the picture.
void expect_nearest(const std::vector<int>& taken, std::int32_t src, std::int32_t dst)
{
    ASSERT_EQ(taken.size(), static_cast<std::size_t>(dst));
    for (std::int32_t i = 0; i < dst; ++i) {
        const double exact = std::min(static_cast<double>(i) * src / dst, src - 1.0);
        EXPECT_LE(std::fabs(taken[i] - exact), 0.5 + 1e-6) << "position " << i << " of " << dst;
        if (i > 0) {
            EXPECT_GE(taken[i], taken[i - 1]);
        }
    }
}

TEST(ToolControls, ListedAsTheSettingsWindowShowsThem)
{
    // The tool's own limit raises the size bars as the setting does in the editor.
    const RunResult raised = run_tool({"--list-controls"});
    EXPECT_NE(raised.out.find("  Width    default 640, range 1..8192\n  Height   default 480, range 1..8192\n"),
              std::string::npos) << raised.out;
    // A limit in the environment that is no limit is said once, and the tool's own holds.
    const RunResult junk =
        run_program({"/usr/bin/env", "VANTREO_MAX_SOURCE_SIDE=abc", VANTREO_HOST_TOOL, "--list-controls"});
    EXPECT_NE(junk.out.find("  Width    default 640, range 1..8192\n"), std::string::npos) << junk.out;
    EXPECT_EQ(junk.err, "vantreo-host: warning: VANTREO_MAX_SOURCE_SIDE: max_source_side must be a whole number from "
                        "1600 to 8192, not 'abc'; using 8192\n");

    const RunResult run = run_tool({"--editor-limits", "--list-controls"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Vantreo\n", 0), 0u) << run.out;
    const char* const lines[] = {"Clip U   default 0, range 0..512\n",   "Width    default 640, range 1..1600\n",
                                 "T. Rate  default 256, range 0..256\n", "CPU T.   default 3, range 1..16\n",
                                 "Radio buttons (one is on):\n",         "[ ] 320 x 240\n",
                                 "[x] 640 x 480\n",                      "[ ] other\n",
                                 "Information: Vantreo by Elsom 200809211840\n"};
    std::string::size_type at = 0;
    for (const char* line : lines) {
        const std::string::size_type found = run.out.find(line, at);
        EXPECT_NE(found, std::string::npos) << "in order: " << line << run.out;
        if (found != std::string::npos) at = found;
    }
}

// A filter built from the editor's SDK: ranges it leaves out are 0..256, and a button is listed (and
// refused by --select, with the other command-line errors).
TEST(ToolControls, SdkFilterRangesAndButtons)
{
    const RunResult listed = run_tool({"--plugin", HOST_TEST_SDK_LAYOUT, "--list-controls"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("Level  default 0, range 0..256\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("[ ] Invert\n  <Reset> (a button)\n"), std::string::npos) << listed.out;
}

TEST(ToolInformation, VersionHelpAndControlsFailOnAFullDiskOrAClosedOutput)
{
    const RunResult version = run_tool({"--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, "vantreo-host " VANTREO_VERSION "\n");
    EXPECT_NE(run_tool({"--help"}).out.find("--version"), std::string::npos);
    for (const char* option : {"--help", "--list-controls", "--version"}) {
        SCOPED_TRACE(option);
        const RunResult full = run_program({"/bin/sh", "-c", "exec \"$0\" \"$1\" >/dev/full", VANTREO_HOST_TOOL, option});
        EXPECT_EQ(full.status, 1);
        EXPECT_NE(full.err.find("vantreo-host: cannot write standard output: No space left on device"), std::string::npos)
            << full.err;
    }
    // Nor is anything, video included, written to a closed standard output.
    for (const char* command :
         {"--help", "--list-controls", "--version", "--list-devices", "--demo -", "--format yc --demo -",
          "--demo /dev/stdout"}) {
        SCOPED_TRACE(command);
        const RunResult closed =
            run_program({"/bin/sh", "-c", std::string("exec \"$0\" ") + command + " >&-", VANTREO_HOST_TOOL});
        EXPECT_EQ(closed.status, 1);
        EXPECT_EQ(closed.err, "vantreo-host: cannot write standard output: it is closed\n");
    }
}

TEST(ToolResize, DefaultSettingsGive640x480ByPointSampling)
{
    TempDir dir;
    write_file(dir.file("in.yc"), tagged_frames(80, 60, 1));
    // Standard input stays open with nothing typed: the exit prompt must not wait for it.
    const RunResult run = run_tool({"--size", "80x60", dir.file("in.yc"), dir.file("out.yc")}, "", true);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const std::vector<Picture> frames = decode_frames(read_file(dir.file("out.yc")), 640, 480);
    ASSERT_EQ(frames.size(), 1u);
    const Positions positions = source_positions(frames[0], 80, 60, 0);
    expect_nearest(positions.columns, 80, 640);
    expect_nearest(positions.rows, 60, 480);
}

TEST(ToolResize, OtherSizeTakesTheNearestSourcePixelsOfEveryFrame)
{
    TempDir dir;
    write_file(dir.file("in.yc"), tagged_frames(7, 5, 3));
    const RunResult run = run_tool({"--size", "7x5", "--select=other", "--set=Width=10", "--set", " Height = 6 ",
                                    dir.file("in.yc"), dir.file("out.yc")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Picture> frames = decode_frames(read_file(dir.file("out.yc")), 10, 6);
    ASSERT_EQ(frames.size(), 3u);
    for (std::int32_t f = 0; f < 3; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        const Positions positions = source_positions(frames[f], 7, 5, f);
        EXPECT_EQ(positions.columns, (std::vector<int>{0, 1, 1, 2, 3, 3, 4, 5, 6, 6}));
        EXPECT_EQ(positions.rows, (std::vector<int>{0, 1, 2, 2, 3, 4}));
    }
}

TEST(ToolResize, BufferBoundsTheOutputAndOversizedPicturesPassThrough)
{
    TempDir dir;
    write_file(dir.file("in.yc"), tagged_frames(7, 5, 1));
    RunResult run = run_tool({"--size", "7x5", "--buffer", "8x6", "--select", "other", "--set", "Width=10",
                              "--allow-other-size", dir.file("in.yc"), dir.file("out.yc")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Picture> frames = decode_frames(read_file(dir.file("out.yc")), 8, 6);
    ASSERT_EQ(frames.size(), 1u);
    const Positions positions = source_positions(frames[0], 7, 5, 0);
    expect_nearest(positions.columns, 7, 8);
    expect_nearest(positions.rows, 5, 6);

    // Wider than the filter takes: the frame comes back untouched, at its own size.
    const std::string wide = tagged_frames(1700, 2, 1);
    write_file(dir.file("wide.yc"), wide);
    run = run_tool({"--editor-limits", "--size", "1700x2", dir.file("wide.yc"), dir.file("wide-out.yc")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(read_file(dir.file("wide-out.yc")) == wide);
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(ToolOptions, SizesMethodsAndLabels)
{
    TempDir dir;
    write_file(dir.file("in.yc"), tagged_frames(320, 180, 1));
    // The pixel aspect keeps the display aspect of what is shown: 1:1 x (320 / 180) / (W / H), reduced.
    const struct {
        std::vector<std::string> args;
        const char* result;  // the output size, or a part of the error
        const char* aspect = nullptr;  // the pixel aspect written, for a size
    } cases[] = {
        {{"--resize", "160x90"}, "160x90", "1:1"},
        {{"-s", "160x-1"}, "160x90", "1:1"},
        {{"--resize=90x-1"}, "90x51", "136:135"},  // 50.625
        {{"--resize", "90x-2"}, "90x50", "80:81"},
        {{"--resize", "-1x75"}, "133x75", "400:399"},  // 133.33
        {{"--resize", "-2x75"}, "134x75", "200:201"},
        // The aspect of what the clip bars leave (280x180), wherever they are given.
        {{"--set", "Clip L=20", "--resize", "160x-1", "--set", "clip r=20"}, "160x103", "721:720"},
        {{"--resize", "640x-2", "--set", "Height=100"}, "640x100", "5:18"},
        {{"--resize", "200x100", "--select", "320 x 240"}, "320x240", "4:3"},
        {{"--select", "OTHER", "--set", "width=200", "--set", "HEIGHT = 100"}, "200x100", "8:9"},
        {{"--select", "512X384", "--set", "T.Rate=0", "--set", "cpu t.=2", "--method", "area", "--allow-other-size"},
         "320x180", "1:1"},
        {{"--resize", "1700x-1"}, "1700x956", "3824:3825"},
        {{"--resize", "0x90"}, "--resize \"0x90\": expected WIDTHxHEIGHT"},
        {{"--resize", "-1x-2"}, "--resize \"-1x-2\": only one side may follow the aspect"},
        {{"--resize", "9000x-1"}, "--resize: \"Width\" must be 1..8192 (got 9000)"},
        {{"--editor-limits", "--resize", "1700x-1"}, "--resize: \"Width\" must be 1..1600 (got 1700)"},
        {{"--method", "cubic"}, "--method \"cubic\": expected point, area, bicubic or lanczos"},
        {{"--set", "Rate=1"}, "no track bar \"Rate\""},
        {{"--select", "800x600"}, "no check box \"800x600\""},
        {{"-q", "-v"}, "--quiet and --verbose ask for opposite things"},
        {{"--plugin-setting", "max_source_side=8193"}, "max_source_side must be a whole number from 1600 to 8192"},
        {{"--plugin-setting", "extended_methods=2"}, "extended_methods must be a whole number from 0 to 1"},
        {{"--plugin-setting", "max_side=2000"}, "expected max_source_side=N or extended_methods=0|1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        std::vector<std::string> args = {"--size", "320x180"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {dir.file("in.yc"), dir.file("out.y4m")});
        const RunResult run = run_tool(args);
        if (std::isdigit(static_cast<unsigned char>(c.result[0]))) {
            ASSERT_EQ(run.status, 0) << run.err;
            const std::string size = std::string(c.result);
            EXPECT_EQ(first_line(read_file(dir.file("out.y4m"))),
                      "YUV4MPEG2 W" + size.substr(0, size.find('x')) + " H" + size.substr(size.find('x') + 1) +
                          " F25:1 Ip A" + c.aspect + " C420jpeg");
        } else {
            EXPECT_NE(run.status, 0);
            EXPECT_NE(run.err.find(c.result), std::string::npos) << run.err;
        }
    }
}

TEST(ToolMessages, SizeChangesPresetsFormatsAndQuietness)
{
    TempDir dir;
    write_file(dir.file("in.yc"), tagged_frames(400, 240, 2));
    const std::string in = dir.file("in.yc");
    const std::string out = dir.file("out.y4m");
    const std::string plugin = std::string("vantreo-host: plug-in ") + VANTREO_PLUGIN_PATH + "\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        // A size the filter cannot give stops the run before anything is written, unless allowed.
        {{"--method", "area", "--resize", "300x300", in, out}, 1,
         {"vantreo-host: asked for 300x300, writing 300x240: area averaging never enlarges (the source is 400x240); "
          "--method bicubic, lanczos or point enlarges; nothing written (--allow-other-size writes that size)\n"}, {"frames"}},
        // A preset asks for a size as --resize does.
        {{"--method", "area", "--select", "640 x 480", in, out}, 1,
         {"vantreo-host: asked for 640x480, writing 400x240: area averaging never enlarges (the source is 400x240); "
          "--method bicubic, lanczos or point enlarges; nothing written (--allow-other-size writes that size)\n"}, {"frames"}},
        {{"--select", "640 x 480", in, out}, 0, {"-> 640x480 in "}, {"warning"}},
        {{"--resize", "40x20", "--allow-other-size", in, out}, 0,
         {"vantreo-host: asked for 40x20, writing 50x30: no side goes below an eighth of the source's (the source "
          "is 400x240)\n"}, {}},
        {{"--buffer", "400x240", "--resize", "500x200", "--allow-other-size", in, out}, 0,
         {"vantreo-host: asked for 500x200, writing 400x200: no side goes beyond the frame buffer, 400x240 (--buffer)"}, {}},
        {{"--set", "Clip U=40", "--method", "area", "--resize", "400x240", "--allow-other-size", in, out}, 0,
         {"writing 400x200: area averaging never enlarges (the source is 400x200 after the clip bars)\n"}, {}},
        {{"--set", "Width=200", in, out}, 0,
         {"vantreo-host: warning: Width and Height apply only with \"other\" selected, and the preset \"640 x 480\" is "
          "on; add --select other, or give the size as --resize WxH\n"}, {}},
        {{"--select", "other", "--set", "Width=200", in, out}, 0, {"-> 200x480"}, {"warning"}},
        // Without a size the preset holds; the tool warns that it stretches the picture.
        {{in, out}, 0,
         {"vantreo-host: warning: no size given, so the filter's preset 640x480 changes the aspect of the 400x240 "
          "source; --resize 640x-2 keeps it\n", "vantreo-host: 2 frames 400x240 -> 640x480 in "},
         {"device", "Using device", "ENTER", "plug-in"}},
        // The plug-in's start-up and shut-down lines: the device in the summary when it took rows, the
        // rest held back; with --verbose its lines, but never the prompt that waits for nothing.
        {{"--method", "area", "--resize", "200x120", in, out}, 0,
         {" fps, area averaging, device: Vantreo emulated device (CPU); wrote "},
         {"Using device", "ENTER", "plug-in", "warning"}},
        // The filter methods enlarge, with the setting that offers them turned on for the run.
        {{"--method", "bicubic", "--resize", "800x480", in, out}, 0, {"-> 800x480 in ", " fps, bicubic, device: "},
         {"warning", "asked for"}},
        {{"--method", "lanczos", "--plugin-setting", "extended_methods=0", "--resize", "800x480", in, out}, 2,
         {"\"Method\" must be 0..1 (got 3)"}, {}},
        {{"--verbose", "--method", "area", "--resize", "200x120", in, out}, 0,
         {plugin, "Using device 0: Vantreo emulated device (CPU)\n", "device: "}, {"ENTER"}},
        {{"-q", "--method", "area", in, out}, 0, {"vantreo-host: asked for 640x480, writing 400x240"},
         {"frames", "device", "ENTER"}},
        {{"-q", "-s", "640x480", in, out}, 0, {}, {"vantreo-host", "device", "ENTER"}},
        // A device names no format: it takes the input's.
        {{"-s", "200x120", in, "/dev/null"}, 0, {"; wrote /dev/null\n"}, {}},
        // Other video: the ffmpeg pipe that reads or writes it.
        {{dir.file("in.mp4"), out}, 2,
         {"in.mp4\": unknown format", "\n  to read other video, pipe it from ffmpeg as YUV4MPEG2: ffmpeg -i " +
                                            dir.file("in.mp4") + " -f yuv4mpegpipe - | vantreo-host [options] - " + out},
         {}},
        {{in, dir.file("out.mp4")}, 2,
         {"\n  to write other video, pipe YUV4MPEG2 to ffmpeg: vantreo-host [options] " + in +
          " --format y4m - | ffmpeg -i - " + dir.file("out.mp4")},
         {}},
    };
    for (const auto& c : cases) {
        std::string command;
        for (const std::string& arg : c.args) command += " " + arg;
        SCOPED_TRACE(command);
        std::vector<std::string> args = {"--size", "400x240"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult run = run_tool(args);
        EXPECT_EQ(run.status, c.status) << run.err;
        for (const std::string& part : c.present) EXPECT_NE(run.err.find(part), std::string::npos) << part << "\n" << run.err;
        for (const std::string& part : c.absent) EXPECT_EQ(run.err.find(part), std::string::npos) << part << "\n" << run.err;
        const std::string::size_type note = run.err.find("asked for");
        EXPECT_TRUE(note == std::string::npos || run.err.find("asked for", note + 1) == std::string::npos)
            << "said once: " << run.err;
    }

    // Quiet keeps the plug-in's warnings.
    const RunResult warned = run_program({"/usr/bin/env", "VANTREO_DEVICE=junk", VANTREO_HOST_TOOL, "-q", "--demo",
                                          "--size", "64x48", "--resize", "32x24", out});
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.err, "Vantreo: VANTREO_DEVICE names none of the 1 devices (0..0); using device 0\n");
}

TEST(ToolStreams, PipesFramesFromStdinToStdout)
{
    TempDir dir;
    const std::string input = tagged_frames(7, 5, 2);
    write_file(dir.file("in.yc"), input);
    const std::vector<std::string> settings = {"--size", "7x5", "--resize", "10x6"};
    auto run_with = [&](std::vector<std::string> args, const std::string& in) {
        args.insert(args.begin(), settings.begin(), settings.end());
        return run_tool(args, in);
    };
    ASSERT_EQ(run_with({dir.file("in.yc"), dir.file("out.yc")}, "").status, 0);
    const std::string expected = read_file(dir.file("out.yc"));
    ASSERT_EQ(expected.size(), 2u * 10 * 6 * 6);

    // Frames and nothing else on standard output: through both pipes with --format, and from a .yc
    // file to "-" in the input's format without it.
    for (const RunResult& run : {run_with({"--format", "yc", "-", "-"}, input), run_with({dir.file("in.yc"), "-"}, "")}) {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out == expected);
    }

    // Video is not written to a terminal.
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    const RunResult shown =
        run_program({"/bin/sh", "-c", "exec \"$0\" --size 7x5 \"$1\" - >\"$2\"", VANTREO_HOST_TOOL, dir.file("in.yc"),
                     ptsname(terminal)});
    close(terminal);
    EXPECT_EQ(shown.status, 2);
    EXPECT_NE(shown.err.find("OUTPUT \"-\" is a terminal"), std::string::npos) << shown.err;

    // Standard input is YUV4MPEG2, which gives its own size, unless --format says otherwise.
    const RunResult unformatted = run_with({"-", dir.file("out.yc")}, input);
    EXPECT_EQ(unformatted.status, 2);
    EXPECT_NE(unformatted.err.find("--size is for .yc input and --demo; \"-\" gives its own size"), std::string::npos)
        << unformatted.err;
}

TEST(ToolStreams, ClosedStandardStreamsStayOutOfTheOutput)
{
    TempDir dir;
    // The output file must not take a closed stream's descriptor, or what goes to that stream ends up in it.
    const std::string run = "exec \"$0\" --demo --size 16x12 --select other --set Width=10 --set Height=6 ";
    ASSERT_EQ(run_program({"/bin/sh", "-c", run + "open.yc", VANTREO_HOST_TOOL}, "", false, dir.path()).status, 0);
    const std::string expected = read_file(dir.file("open.yc"));
    ASSERT_EQ(expected.size(), 60u * 10 * 6 * 6);
    for (const char* closed : {"<&-", ">&-", "2>&-", "<&- >&- 2>&-"}) {
        SCOPED_TRACE(closed);
        const RunResult closed_run =
            run_program({"/bin/sh", "-c", run + "closed.yc " + closed, VANTREO_HOST_TOOL}, "", false, dir.path());
        EXPECT_EQ(closed_run.status, 0) << closed_run.err;
        EXPECT_TRUE(read_file(dir.file("closed.yc")) == expected);
    }
}

// Only the lines that begin with the held prefix are held; the others go on to standard error, as a
// driver's last words before it ends the process must. Out of memory, the held lines are dropped but
// the pipe is still drained.
TEST(ToolStreams, CaptureHoldsItsLinesAndPassesTheRestOn)
{
    TempDir dir;
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int file = open(dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_TRUE(saved >= 0 && file >= 0 && dup2(file, STDERR_FILENO) == STDERR_FILENO);
    close(file);
    std::string held;
    const auto speak = [] {
        std::printf("warning one\nUsing device 0: X\nUsing\n");
        std::fflush(stdout);
        std::fprintf(stderr, "Using device 1: Y\nwarn");
    };
    vantreo_host::capture_console(speak, "Using device ", held);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(read_file(dir.file("stderr.txt")), "warning one\nUsing\nwarn");
    EXPECT_EQ(held, "Using device 0: X\nUsing device 1: Y\n");

    const std::string lines(1 << 20, 'x');
    allocating_thread = std::this_thread::get_id();
    refusing_other_threads = true;
    vantreo_host::capture_console([&] { EXPECT_EQ(write(STDOUT_FILENO, lines.data(), lines.size()), 1 << 20); }, "",
                                  held);
    refusing_other_threads = false;
    EXPECT_EQ(held, "");
}

TEST(ToolShutdown, ExitPromptOnlyWithVerboseAndNeverWaiting)
{
    TempDir dir;
    const std::string input = tagged_frames(4, 2, 2);
    write_file(dir.file("in.yc"), input);
    // The probe's exit callback prompts on standard output, waits for a key and says it is done on
    // standard error, like the filter's; standard input stays open with nothing typed.
    for (const bool verbose : {false, true}) {
        SCOPED_TRACE(verbose ? "--verbose" : "default");
        std::vector<std::string> args = {"--plugin", HOST_TEST_PROBE, "--format", "yc", "--size", "4x2", dir.file("in.yc"), "-"};
        if (verbose) args.insert(args.begin(), "--verbose");
        const RunResult run = run_tool(args, "", true);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out == input) << "standard output holds the frames and nothing else";
        EXPECT_EQ(run.err.find("probe exit callback done") != std::string::npos, verbose) << run.err;
        EXPECT_EQ(run.err.find("Press ENTER to exit..."), std::string::npos) << run.err;
    }

    // Without an exit callback the tool ends by itself, with the output in place.
    const RunResult minimal =
        run_tool({"--plugin", HOST_TEST_MINIMAL, "--size", "4x2", dir.file("in.yc"), dir.file("out.yc")}, "", true);
    ASSERT_EQ(minimal.status, 0) << minimal.err;
    EXPECT_TRUE(read_file(dir.file("out.yc")) == input);
}

TEST(ToolShutdown, AFilterThatCannotStartFailsTheRunAndLeavesNoOutput)
{
    TempDir dir;
    write_file(dir.file("in.yc"), tagged_frames(4, 2, 2));
    setenv("VANTREO_TEST_EMU_DEVICE_COUNT", "0", 1);
    const RunResult run = run_tool({"--size", "4x2", "-s", "4x2", dir.file("in.yc"), dir.file("out.yc")});
    unsetenv("VANTREO_TEST_EMU_DEVICE_COUNT");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("cutil error: no devices supporting CUDA.\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("the init callback reported failure"), std::string::npos) << run.err;
    EXPECT_EQ(std::fopen(dir.file("out.yc").c_str(), "rb"), nullptr);
    // Nothing is made before the plug-in has started, not even the demo's folder.
    const RunResult demo = run_program({"/usr/bin/env", "VANTREO_TEST_EMU_DEVICE_COUNT=0", VANTREO_HOST_TOOL, "--demo"},
                                       "", false, dir.path());
    EXPECT_EQ(demo.status, 1);
    EXPECT_EQ(dir.names(), std::set<std::string>{"in.yc"});
}

TEST(ToolErrors, ReportedWithoutLeavingOutputBehind)
{
    TempDir dir;
    const std::string good = tagged_frames(7, 5, 2);
    write_file(dir.file("in.yc"), good);
    write_file(dir.file("short.yc"), good.substr(0, good.size() - 6));
    const std::string in = dir.file("in.yc");
    const std::string out = dir.file("out.yc");
    const struct {
        std::vector<std::string> args;
        const char* message;
        int status = 0;  // 2 for a command line that makes no sense; 0 for any failure
    } cases[] = {
        {{"--size", "7x5", "--set", "Bogus=1", in, out}, "no track bar \"Bogus\"", 2},
        {{"--size", "7x5", "--set", "T. Rate=300", in, out}, "\"T. Rate\" must be 0..256", 2},
        {{"--size", "7x5", "--set", "Width=0", in, out}, "\"Width\" must be 1..8192", 2},
        {{"--size", "7x5", "--select", "800 x 600", in, out}, "\"800 x 600\"", 2},
        {{"--size", "7x5", "--device", "9", in, out}, "--device 9: the devices are 0..", 2},
        {{"--plugin", HOST_TEST_SDK_LAYOUT, "--size", "7x5", "--select", "Reset", in, out},
         "\"Reset\" is a button, which the tool cannot press", 2},
        {{"--size", "7x5", "--png-every", "2", dir.file("pngs"), in, dir.file("out.png")}, "a .png OUTPUT", 2},
        {{"--size", "7x5", dir.file("none.yc"), out}, "none.yc"},
        // A name's control characters are shown, not sent to the terminal.
        {{"--size", "7x5", dir.file("a\x1b[2Jb.yc"), out}, "a\\x1b[2Jb.yc\": No such file"},
        {{"--size", "7by5", in, out}, "--size \"7by5\""},
        {{in, out}, "--size"},
        {{"--size", "7x5", "--frobnicate", in, out}, "--frobnicate"},
        {{"--size", "7x5", "--buffer", "6x6", in, out}, "--buffer"},
        // Checked before the input is opened or any buffer allocated.
        {{"--size", "7x5", "--buffer", "9000x9000", dir.file("none.yc"), out},
         "--buffer \"9000x9000\": 81000000 pixels, more than the "},
        {{"--size", "9000x9000", dir.file("none.yc"), out}, "--size \"9000x9000\": 81000000 pixels"},
        {{"--size", "7x5", in, dir.file("out.avi")}, "out.avi"},
        {{"--plugin", dir.file("none.auf"), "--size", "7x5", in, out}, "cannot load plug-in"},
        {{"--plugin", HOST_TEST_NO_EXPORT, "--size", "7x5", in, out}, "GetFilterTable"},
        {{"--size", "7x5", in, dir.file("no/such/dir/out.yc")}, "no/such/dir/out.yc"},
        {{"--size", "7x5", dir.file("short.yc"), out}, "frame 1 is truncated"},
        {{"--size", "7x5", "--method", "area", "--resize", "14x10", in, out}, "area averaging never enlarges"},
    };
    for (const auto& c : cases) {
        const RunResult run = run_tool(c.args);
        SCOPED_TRACE(c.message);
        EXPECT_NE(run.status, 0);
        if (c.status != 0) {
            EXPECT_EQ(run.status, c.status);
        }
        EXPECT_NE(run.err.find("vantreo-host: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("ENTER"), std::string::npos) << "no exit callback after an error";
        EXPECT_EQ(dir.names(), (std::set<std::string>{"in.yc", "short.yc"})) << "no output, no temporary file";
    }

    // A failed run leaves an earlier output as it was.
    write_file(out, "earlier");
    EXPECT_NE(run_tool({"--size", "7x5", dir.file("short.yc"), out}).status, 0);
    EXPECT_EQ(read_file(out), "earlier");

    // Through the probe, whose exit callback would say so: an error ends the run without it.
    const RunResult probe = run_tool({"--plugin", HOST_TEST_PROBE, "--size", "7x5", "--format", "yc", "-", "-"},
                                     good.substr(0, 100));
    EXPECT_NE(probe.status, 0);
    EXPECT_NE(probe.err.find("truncated"), std::string::npos) << probe.err;
    EXPECT_EQ(probe.err.find("probe exit callback"), std::string::npos) << probe.err;
    EXPECT_TRUE(probe.out.empty());

    // A plug-in that ends the process in the middle of a run leaves no temporary file either.
    const RunResult ended = run_tool({"--plugin", HOST_TEST_PROBE, "--set", "Shift=100", "--size", "7x5", in, out});
    EXPECT_EQ(ended.status, 3);
    EXPECT_EQ(dir.names(), (std::set<std::string>{"in.yc", "short.yc", "out.yc"}));
    EXPECT_EQ(read_file(out), "earlier");
}

TEST(ToolErrors, ResourceLimitsEndTheRunWithAMessageAndNoOutput)
{
    TempDir dir;
    const std::string demo = "; exec \"$0\" --demo --size 64x48 --resize 32x24 out.y4m";
    // Past the file size limit (in KiB) a write fails rather than SIGXFSZ ending the tool.
    const RunResult limited =
        run_program({"/bin/bash", "-c", "ulimit -f 8" + demo, VANTREO_HOST_TOOL}, "", false, dir.path());
    EXPECT_EQ(limited.status, 1);
    EXPECT_EQ(limited.err, "vantreo-host: cannot write output \"out.y4m\": File too large (the file size limit, "
                           "ulimit -f, was reached)\n");
}

// With few descriptors to spare a run fails before writing anything or goes through, one line said.
TEST(ToolErrors, TooFewDescriptorsEndTheRunWithOneLine)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's runtime needs descriptors of its own to check memory";
#endif
    TempDir dir;
    const std::string demo = "; exec \"$0\" --demo --size 64x48 --resize 32x24 out.y4m";
    for (const char* descriptors : {"4", "5", "6", "7", "8", "9"}) {
        SCOPED_TRACE(descriptors);
        const std::string limit = "exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&-; ulimit -n " + std::string(descriptors);
        const RunResult run = run_program({"/bin/bash", "-c", limit + demo, VANTREO_HOST_TOOL}, "", false, dir.path());
        EXPECT_EQ(run.err.rfind(run.status == 0 ? "vantreo-host: 60 frames " : "vantreo-host: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(dir.names().size(), run.status == 0 ? 1u : 0u);
        std::remove(dir.file("out.y4m").c_str());
    }
}

TEST(ToolErrors, InputAndOutputTheSameFileRefusedBeforeReading)
{
    TempDir dir;
    const std::string input = tagged_frames(7, 5, 2);
    const std::string in = dir.file("in.yc");
    const std::string tool = VANTREO_HOST_TOOL;
    // A tool that reads what it appends would fill the disk: the file size limit bounds it.
    const std::string limited = "ulimit -f 65536; exec \"$0\" --size 7x5 --format yc ";
    const std::vector<std::string> commands[] = {
        {tool, "--size", "7x5", in, in},
        {tool, "--size", "7x5", in, dir.file("soft.yc")},
        {tool, "--size", "7x5", dir.file("hard.yc"), dir.path() + "/./in.yc"},
        {"/bin/sh", "-c", limited + "- in.yc <in.yc", tool},
        {"/bin/sh", "-c", limited + "in.yc - >>in.yc", tool},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command.back());
        for (const char* name : {"in.yc", "soft.yc", "hard.yc"}) std::remove(dir.file(name).c_str());
        write_file(in, input);
        ASSERT_EQ(symlink(in.c_str(), dir.file("soft.yc").c_str()), 0);
        ASSERT_EQ(link(in.c_str(), dir.file("hard.yc").c_str()), 0);
        const RunResult run = run_program(command, "", false, dir.path());
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("are the same file"), std::string::npos) << run.err;
        EXPECT_TRUE(read_file(in) == input);
        EXPECT_EQ(dir.names(), (std::set<std::string>{"in.yc", "soft.yc", "hard.yc"}));
    }
}

TEST(ToolDemo, RunsTheMovingPatternThroughTheFilter)
{
    TempDir dir;
    const RunResult run = run_tool({"--demo", "--size", "64x48", "--select", "other", "--set", "Width=32", "--set",
                                    "Height=24", dir.file("demo.yc")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Picture> frames = decode_frames(read_file(dir.file("demo.yc")), 32, 24);
    ASSERT_EQ(frames.size(), 60u);
    EXPECT_NE(std::memcmp(frames[0].pixels.data(), frames[59].pixels.data(), frames[0].pixels.size() * sizeof(PIXEL_YC)), 0)
        << "the pattern moves";
}

}  // namespace
