// vantreo-host with YUV4MPEG2 video and PNG pictures, next to Debian's ffmpeg as a user would run them.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/host/png_reading.h"
#include "tests/host/subprocess.h"
#include "tests/host/test_support.h"

using host_test::read_file;
using host_test::read_png;
using host_test::run_program;
using host_test::RunResult;
using host_test::TempDir;
using host_test::write_file;
using vantreo_host::RgbImage;

namespace {

// Without `input`, standard input stays open with nobody typing, as in a console.
RunResult run_tool(std::vector<std::string> args, const std::string& input = "", const std::string& directory = "")
{
    args.insert(args.begin(), VANTREO_HOST_TOOL);
    return run_program(args, input, input.empty(), directory);
}

RunResult shell(const std::string& command) { return run_program({"/bin/bash", "-c", "set -o pipefail; " + command}); }

bool have_ffmpeg()
{
    static const bool found = shell("command -v ffmpeg && command -v ffprobe").status == 0;
    return found;
}

#define REQUIRE_FFMPEG() \
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe are not installed (scripts/setup.sh installs them)"

const std::string kTool = VANTREO_HOST_TOOL;
const std::string kTestSource = "ffmpeg -loglevel error -f lavfi -i testsrc2=size=320x240:rate=30000/1001 ";

// "WIDTH,HEIGHT,PIXEL_FORMAT,FRAMES" as ffprobe reads the video.
std::string probe(const std::string& input)
{
    const RunResult run = shell("ffprobe -v error -count_frames -show_entries "
                                "stream=width,height,pix_fmt,nb_read_frames -of csv=p=0 " + input);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out.substr(0, run.out.find('\n'));
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

// A YUV4MPEG2 file: the header line and each frame's planes after a plain FRAME line.
std::string y4m_file(const std::string& header, const std::vector<std::string>& frames)
{
    std::string file = header + "\n";
    for (const std::string& planes : frames) file += "FRAME\n" + planes;
    return file;
}

// The planes of each frame of a YUV4MPEG2 file whose frames are `frame_bytes` long.
std::vector<std::string> y4m_frames(const std::string& file, std::size_t frame_bytes)
{
    std::vector<std::string> frames;
    std::size_t at = file.find('\n') + 1;
    while (at < file.size()) {
        EXPECT_EQ(file.compare(at, 6, "FRAME\n"), 0) << "at byte " << at;
        at += 6;
        frames.push_back(file.substr(at, frame_bytes));
        EXPECT_EQ(frames.back().size(), frame_bytes);
        at += frame_bytes;
    }
    return frames;
}

// A w x h 8-bit frame of one colour in 4:4:4.
std::string flat_444(int w, int h, int y, int cb, int cr)
{
    const std::size_t n = static_cast<std::size_t>(w) * h;
    return std::string(n, static_cast<char>(y)) + std::string(n, static_cast<char>(cb)) +
           std::string(n, static_cast<char>(cr));
}

// A 16x16 4:4:4 frame holding each 8-bit code once in each plane, each plane in its own order.
std::string all_codes_444(int order)
{
    std::string planes(3 * 256, '\0');
    for (int i = 0; i < 256; ++i) {
        planes[i] = static_cast<char>(i);
        planes[256 + i] = static_cast<char>((i * (91 + 2 * order)) & 255);
        planes[512 + i] = static_cast<char>((255 - i * (37 + 2 * order)) & 255);
    }
    return planes;
}

TEST(ToolVideo, FfmpegClipsComeBackResizedInTheirOwnFormat)
{
    REQUIRE_FFMPEG();
    TempDir dir;
    for (const char* format : {"yuv420p", "yuv422p", "yuv444p", "yuv420p16le", "yuv444p16le", "yuv422p10le"}) {
        SCOPED_TRACE(format);
        const std::string clip = dir.file(std::string(format) + ".y4m");
        const std::string out = dir.file(std::string(format) + "-out.y4m");
        ASSERT_EQ(shell(kTestSource + "-vf setsar=4/3 -frames:v 5 -strict -1 -pix_fmt " + format + " " + clip).status, 0);
        const RunResult run = run_tool({"--select", "other", "--set", "Width=160", "--set", "Height=100", "--set",
                                        "Method=1", clip, out});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(probe(out), std::string("160,100,") + format + ",5");

        // Rate, interlacing and comments as they were; the size is new, and the pixel aspect keeps the
        // display aspect: 4:3 x (320 / 240) / (160 / 100) = 10:9.
        std::string expected = first_line(read_file(clip));
        ASSERT_NE(expected.find(" W320 H240 F30000:1001 Ip A4:3 C"), std::string::npos) << expected;
        expected.replace(expected.find("W320 H240"), 9, "W160 H100");
        expected.replace(expected.find("A4:3"), 4, "A10:9");
        EXPECT_EQ(first_line(read_file(out)), expected);
    }
}

// Luma, Cb and Cr PSNR in dB between two clips of the same size and format.
std::map<char, double> psnr(const std::string& a, const std::string& b)
{
    const RunResult run = shell("ffmpeg -hide_banner -i " + a + " -i " + b + " -lavfi psnr -f null - 2>&1");
    std::map<char, double> result;
    const std::string::size_type at = run.out.find("PSNR y:");
    double y = 0;
    double u = 0;
    double v = 0;
    if (at == std::string::npos || std::sscanf(run.out.c_str() + at, "PSNR y:%lf u:%lf v:%lf", &y, &u, &v) != 3) {
        ADD_FAILURE() << run.out;
        return result;
    }
    return {{'y', y}, {'u', u}, {'v', v}};
}

TEST(ToolVideo, AreaAveragingAgreesWithFfmpegsAreaScaler)
{
    REQUIRE_FFMPEG();
    TempDir dir;
    // Halving both sides: every output pixel is the mean of four; only the chroma handling
    // differs from ffmpeg's, which scales the subsampled planes themselves.
    for (const char* format : {"yuv420p", "yuv444p", "yuv420p16le"}) {
        SCOPED_TRACE(format);
        const std::string clip = dir.file("clip.y4m");
        const std::string ours = dir.file("ours.y4m");
        const std::string theirs = dir.file("theirs.y4m");
        ASSERT_EQ(shell(kTestSource + "-frames:v 3 -strict -1 -pix_fmt " + format + " -y " + clip).status, 0);
        ASSERT_EQ(shell("ffmpeg -loglevel error -i " + clip + " -vf scale=160:120:flags=area -strict -1 -pix_fmt " +
                        format + " -y " + theirs).status, 0);
        const RunResult run = run_tool({"--select", "other", "--set", "Width=160", "--set", "Height=120", "--set",
                                        "Method=1", clip, ours});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::map<char, double> db = psnr(ours, theirs);
        EXPECT_GT(db.at('y'), 50.0);
        EXPECT_GT(db.at('u'), 35.0);
        EXPECT_GT(db.at('v'), 35.0);
    }
}

TEST(ToolVideo, PipesFromFfmpegThroughTheToolIntoFfprobe)
{
    REQUIRE_FFMPEG();
    // Standard input is YUV4MPEG2, and standard output takes the input's format.
    const RunResult run = shell(kTestSource + "-frames:v 7 -pix_fmt yuv420p -f yuv4mpegpipe - | " + kTool +
                                " -q --resize 200x-2 - - | "
                                "ffprobe -v error -count_frames -show_entries stream=width,height,pix_fmt,nb_read_frames "
                                "-of csv=p=0 -i -");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "200,150,yuv420p,7\n");
    EXPECT_EQ(run.err, "") << "-q: nothing but warnings and errors";
}

TEST(ToolVideo, Unfiltered444CodesComeBackExactly)
{
    TempDir dir;
    const std::string header = "YUV4MPEG2 W16 H16 F25:1 Ip A1:1 C444";
    const std::string input = y4m_file(header, {all_codes_444(0), all_codes_444(1)});
    write_file(dir.file("codes.y4m"), input);

    // Point sampling at the same size leaves the frames as they are.
    RunResult run = run_tool({"--select", "other", "--set", "Width=16", "--set", "Height=16", "--set", "Method=0",
                              dir.file("codes.y4m"), dir.file("same.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(read_file(dir.file("same.y4m")) == input);

    // At twice the size every output pixel is some input pixel, through the host's scale and back.
    run = run_tool({"--select", "other", "--set", "Width=32", "--set", "Height=32", dir.file("codes.y4m"),
                    dir.file("double.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string output = read_file(dir.file("double.y4m"));
    EXPECT_EQ(first_line(output), "YUV4MPEG2 W32 H32 F25:1 Ip A1:1 C444");
    // Without frames, the header the frames would have had.
    write_file(dir.file("empty.y4m"), header + "\n");
    const RunResult empty = run_tool({"--resize", "32x32", dir.file("empty.y4m"), dir.file("empty-out.y4m")});
    EXPECT_NE(empty.err.find("vantreo-host: 0 frames 16x16 -> 32x32 in "), std::string::npos) << empty.err;
    EXPECT_EQ(read_file(dir.file("empty-out.y4m")), first_line(output) + "\n");
    const std::vector<std::string> frames = y4m_frames(output, 3 * 32 * 32);
    ASSERT_EQ(frames.size(), 2u);
    for (int f = 0; f < 2; ++f) {
        const std::string source = all_codes_444(f);
        std::set<int> codes;
        for (int i = 0; i < 32 * 32; ++i) {
            const auto y = static_cast<unsigned char>(frames[f][i]);
            codes.insert(y);
            ASSERT_EQ(frames[f][1024 + i], source[256 + y]) << "frame " << f << " pixel " << i;
            ASSERT_EQ(frames[f][2048 + i], source[512 + y]) << "frame " << f << " pixel " << i;
        }
        EXPECT_EQ(codes.size(), 256u) << "every input pixel is in the output";
    }
}

TEST(ToolVideo, FramesTheFilterLeavesAloneAreWrittenBitForBit)
{
    TempDir dir;
    // Wider than the filter takes: it hands every frame back untouched, and the tool says so once.
    std::string planes(1700 * 4 + 2 * 850 * 2, '\0');
    for (std::size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<char>((i * 7919) >> 3);
    std::string second = planes;
    std::reverse(second.begin(), second.end());
    const std::string wide = y4m_file("YUV4MPEG2 W1700 H4 F24:1 Ib A10:11 C420mpeg2", {planes, second});
    write_file(dir.file("wide.y4m"), wide);
    RunResult run = run_tool({"--editor-limits", dir.file("wide.y4m"), dir.file("wide-out.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(read_file(dir.file("wide-out.y4m")) == wide);
    const std::string note = "vantreo-host: asked for 640x480, writing 1700x4: sources wider or taller than 1600 "
                             "pixels pass through unfiltered (the source is 1700x4); --plugin-setting "
                             "max_source_side=1700 (or that line in vantreo.ini beside the plug-in) raises the limit\n";
    const std::string::size_type at = run.err.find(note);
    EXPECT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(note, at + 1), std::string::npos) << "said once";
    // With the limit raised as the note says, the same frames are resized.
    run = run_tool({"--plugin-setting", "max_source_side=1700", dir.file("wide.y4m"), dir.file("wide-out.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir.file("wide-out.y4m")).rfind("YUV4MPEG2 W640 H480 ", 0), 0u);
    EXPECT_EQ(run.err.find("unfiltered"), std::string::npos) << run.err;
    // A limit a settings file beside the plug-in raised, not far enough: the note names it.
    ASSERT_EQ(mkdir(dir.file("beside").c_str(), 0700), 0);
    write_file(dir.file("beside/vantreo.auf"), read_file(VANTREO_PLUGIN_PATH));
    write_file(dir.file("beside/vantreo.ini"), "max_source_side=1650\n");
    run = run_tool({"--editor-limits", "--plugin", dir.file("beside/vantreo.auf"), dir.file("wide.y4m"),
                    dir.file("wide-out.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("sources wider or taller than 1650 pixels pass through"), std::string::npos) << run.err;
    // The settings window the editor builds has the file's ranges.
    run = run_tool({"--editor-limits", "--plugin", dir.file("beside/vantreo.auf"), "--list-controls"});
    EXPECT_NE(run.out.find("  Width    default 640, range 1..1650\n  Height   default 480, range 1..1650\n"),
              std::string::npos) << run.out;

    // 4:2:0 at the size the filter is asked for: chroma is not resampled.
    std::string small(640 * 480 * 3 / 2, '\0');
    for (std::size_t i = 0; i < small.size(); ++i) small[i] = static_cast<char>(i * 31 / 7);
    const std::string vga = y4m_file("YUV4MPEG2 W640 H480 F25:1 Ip A1:1", {small});
    write_file(dir.file("vga.y4m"), vga);
    run = run_tool({dir.file("vga.y4m"), dir.file("vga-out.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(read_file(dir.file("vga-out.y4m")) == vga);
    EXPECT_EQ(run.err.find("unfiltered"), std::string::npos);

    // A filter that works in the frame it is handed, which at the buffers' size is the tool's own:
    // what it wrote is what goes out, not the stream's bytes.
    for (const char* shift : {"0", "18"}) {
        SCOPED_TRACE(std::string("Y shifted in place by ") + shift);
        run = run_tool({"--plugin", HOST_TEST_PROBE, "--set", "Mode=2", "--set", std::string("Shift=") + shift,
                        dir.file("vga.y4m"), dir.file("vga-out.y4m")});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string out = read_file(dir.file("vga-out.y4m"));
        EXPECT_EQ(out == vga, std::string(shift) == "0");
        EXPECT_EQ(out.size(), vga.size());
    }
}

// An interlaced clip whose two fields differ: in each field a vertical edge (white left of it, black
// right), further right in the bottom field and moving right from frame to frame, and each field's own
// chroma (the even chroma rows the top field's).
constexpr int kFieldChroma[2][2] = {{90, 200}, {60, 180}};  // Cb, Cr of the top and bottom field
int field_edge(int frame, int field) { return 8 + 4 * frame + 12 * field; }

// The planes of frame `frame`, w x h luma and cw x ch chroma.
std::string field_frame(int w, int h, int cw, int ch, int frame)
{
    std::string planes;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) planes += static_cast<char>(x < field_edge(frame, y % 2) ? 235 : 16);
    for (int plane = 0; plane < 2; ++plane)
        for (int y = 0; y < ch; ++y)
            planes += std::string(static_cast<std::size_t>(cw), static_cast<char>(kFieldChroma[plane][y % 2]));
    return planes;
}

// Whether an output frame of the clip above keeps its fields apart: luma only white or black (no blend
// of the two), every row of a field the same, the top field's edge left of the bottom's, and each
// chroma row its own field's values.
bool fields_apart(const std::string& planes, int w, int h, int cw, int ch)
{
    std::string rows[2];
    for (int y = 0; y < h; ++y) {
        const std::string row = planes.substr(static_cast<std::size_t>(y * w), static_cast<std::size_t>(w));
        if (row.find_first_not_of(std::string("\xeb\x10", 2)) != std::string::npos) return false;
        if (y < 2) rows[y] = row;
        if (row != rows[y % 2]) return false;
    }
    const auto white = [](const std::string& row) { return std::count(row.begin(), row.end(), '\xeb'); };
    if (h > 1 && white(rows[0]) >= white(rows[1])) return false;
    for (int plane = 0; plane < 2; ++plane)
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                if (static_cast<unsigned char>(planes[w * h + (plane * ch + y) * cw + x]) != kFieldChroma[plane][y % 2])
                    return false;
    return true;
}

TEST(ToolFields, NothingOfOneFieldReachesTheOther)
{
    TempDir dir;
    const struct {
        const char* name;
        const char* header;  // of a 32x16 clip
        std::vector<std::string> args;
        int out_h;
        bool mixed;
    } cases[] = {
        {"It 4:2:0 area", "YUV4MPEG2 W32 H16 F25:1 It A1:1 C420jpeg", {"--method", "area", "--resize", "16x8"}, 8, false},
        // 10 rows: the bottom field has one chroma row fewer than a 5-row picture.
        {"It 4:2:0 area, 10 rows", "YUV4MPEG2 W32 H16 F25:1 It C420paldv", {"--method", "area", "--resize", "16x10"}, 10,
         false},
        {"Ib 4:4:4 point, odd height", "YUV4MPEG2 W32 H16 F25:1 Ib C444", {"--resize", "16x7"}, 7, false},
        {"It 4:2:0 area, clipped", "YUV4MPEG2 W32 H16 F30000:1001 It C420mpeg2",
         {"--method", "area", "--set", "Clip U=2", "--set", "Clip D=1", "--resize", "16x13"}, 13, false},
        {"It 4:2:0 area, preset", "YUV4MPEG2 W32 H16 F25:1 It C420", {"--method", "point", "--select", "320 x 240"}, 240, false},
        // Whole frames mix the fields: what the test looks for is there to be found.
        {"It 4:2:0 area, --progressive", "YUV4MPEG2 W32 H16 F25:1 It A1:1 C420jpeg",
         {"--progressive", "--method", "area", "--resize", "16x8"}, 8, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool halved = std::string(c.header).find("C444") == std::string::npos;
        std::vector<std::string> frames;
        for (int f = 0; f < 2; ++f) frames.push_back(field_frame(32, 16, halved ? 16 : 32, halved ? 8 : 16, f));
        write_file(dir.file("in.y4m"), y4m_file(c.header, frames));
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {dir.file("in.y4m"), dir.file("out.y4m")});
        const RunResult run = run_tool(args);
        ASSERT_EQ(run.status, 0) << run.err;

        const int w = c.out_h == 240 ? 320 : 16;
        std::string header = c.header;
        header.replace(header.find("W32 H16"), 7, "W" + std::to_string(w) + " H" + std::to_string(c.out_h));
        const std::string output = read_file(dir.file("out.y4m"));
        EXPECT_EQ(first_line(output), header) << "the interlacing flag as it was";
        const int cw = halved ? w / 2 : w;
        const int ch = halved ? (c.out_h + 1) / 2 : c.out_h;
        const std::vector<std::string> planes = y4m_frames(output, static_cast<std::size_t>(w * c.out_h + 2 * cw * ch));
        ASSERT_EQ(planes.size(), 2u);
        for (int f = 0; f < 2; ++f) EXPECT_EQ(fields_apart(planes[f], w, c.out_h, cw, ch), !c.mixed) << "frame " << f;
    }
}

void expect_all_pixels(const RgbImage& image, int r, int g, int b, const std::string& what)
{
    ASSERT_FALSE(image.rgb.empty()) << what;
    std::set<std::vector<int>> seen;
    for (std::int32_t y = 0; y < image.h; ++y)
        for (std::int32_t x = 0; x < image.w; ++x) {
            const std::uint8_t* p = image.at(x, y);
            seen.insert({p[0], p[1], p[2]});
        }
    ASSERT_EQ(seen.size(), 1u) << what << ": one colour";
    const std::vector<int> colour = *seen.begin();
    EXPECT_NEAR(colour[0], r, 1) << what;
    EXPECT_NEAR(colour[1], g, 1) << what;
    EXPECT_NEAR(colour[2], b, 1) << what;
}

TEST(ToolPng, FirstOutputFrameInKnownColours)
{
    TempDir dir;
    const std::string header = "YUV4MPEG2 W8 H6 F25:1 Ip A1:1 C444";
    const struct {
        const char* name;
        std::string frame;
        const char* matrix;
        int r, g, b;
    } cases[] = {
        {"white", flat_444(8, 6, 235, 128, 128), "601", 255, 255, 255},
        {"black", flat_444(8, 6, 16, 128, 128), "601", 0, 0, 0},
        {"red601", flat_444(8, 6, 81, 90, 240), "601", 255, 0, 0},
        {"red709", flat_444(8, 6, 63, 102, 240), "709", 255, 0, 0},
        {"blue709", flat_444(8, 6, 32, 240, 118), "709", 0, 0, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir.file(std::string(c.name) + ".y4m");
        const std::string out = dir.file(std::string(c.name) + ".png");
        // A second frame of another colour: only the first is written.
        write_file(in, y4m_file(header, {c.frame, flat_444(8, 6, 126, 200, 60)}));
        const RunResult run = run_tool({"--matrix", c.matrix, in, out});
        ASSERT_EQ(run.status, 0) << run.err;
        const RgbImage image = read_png(read_file(out));
        EXPECT_EQ(image.w, 640);
        EXPECT_EQ(image.h, 480);
        expect_all_pixels(image, c.r, c.g, c.b, c.name);
    }
}

TEST(ToolPng, EveryNthFrameIntoADirectory)
{
    TempDir dir;
    std::vector<std::string> frames;
    for (int i = 0; i < 7; ++i) frames.push_back(flat_444(8, 6, 16 + 30 * i, 128, 128));
    write_file(dir.file("greys.y4m"), y4m_file("YUV4MPEG2 W8 H6 F25:1 C444", frames));
    const RunResult run = run_tool({"--png-every", "3", dir.file("pngs"), "--select", "320 x 240",
                                    dir.file("greys.y4m"), dir.file("out.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(dir.names(), (std::set<std::string>{"greys.y4m", "out.y4m", "pngs"}));
    const std::vector<std::string> expected = {"frame-000000.png", "frame-000003.png", "frame-000006.png"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        const RgbImage image = read_png(read_file(dir.file("pngs/" + expected[i])));
        EXPECT_EQ(image.w, 320);
        EXPECT_EQ(image.h, 240);
        const int grey = static_cast<int>(90.0 * static_cast<double>(i) * 255.0 / 219.0 + 0.5);
        expect_all_pixels(image, grey, grey, grey, "frame grey");
    }
    const RunResult files = shell("ls " + dir.file("pngs"));
    EXPECT_EQ(files.out, "frame-000000.png\nframe-000003.png\nframe-000006.png\n");
}

TEST(ToolVideoErrors, ReportedWithoutLeavingOutputBehind)
{
    TempDir dir;
    const std::string header = "YUV4MPEG2 W8 H6 F25:1 C420jpeg";
    const std::string frame(8 * 6 * 3 / 2, '\x80');
    const std::string good = y4m_file(header, {frame, frame});
    const std::map<std::string, std::string> inputs = {
        {"good.y4m", good},
        {"short.y4m", good.substr(0, good.size() - 1)},
        {"bad-frame.y4m", header + "\nFRAME\n" + frame + "FRAMEX\n" + frame},
        {"mono.y4m", "YUV4MPEG2 W8 H6 F25:1 Cmono\n"},
        {"alpha.y4m", "YUV4MPEG2 W8 H6 F25:1 C444alpha\n"},
        {"zero.y4m", "YUV4MPEG2 W0 H6 F25:1\n"},
        {"huge.y4m", "YUV4MPEG2 W20000 H6 F25:1\n"},
        {"odd.y4m", "YUV4MPEG2 W8 H6 F25:1 C420 Q1\n"},
        {"not-video.y4m", "RIFF....AVI LIST"},
        {"empty.y4m", header + "\n"},
        {"interlaced.y4m", "YUV4MPEG2 W8 H6 F25:1 It C420jpeg\nFRAME\n" + frame},
        {"notdir", "a file"},
    };
    for (const auto& [name, bytes] : inputs) write_file(dir.file(name), bytes);
    std::set<std::string> names;
    for (const auto& input : inputs) names.insert(input.first);

    const std::string in = dir.file("good.y4m");
    const std::string out = dir.file("out.y4m");
    const struct {
        std::vector<std::string> args;
        const char* message;
        int status;
    } cases[] = {
        {{dir.file("none.y4m"), out}, "cannot open input", 1},
        {{dir.file("short.y4m"), out}, "frame 1 is truncated", 1},
        {{dir.file("bad-frame.y4m"), out}, "frame 1 does not start with a FRAME line", 1},
        {{dir.file("mono.y4m"), out}, "monochrome", 1},
        {{dir.file("alpha.y4m"), out}, "alpha plane", 1},
        {{dir.file("zero.y4m"), out}, "width must be 1..16384", 1},
        {{dir.file("huge.y4m"), out}, "width must be 1..16384", 1},
        {{dir.file("odd.y4m"), out}, "\"Q1\": unknown parameter", 1},
        {{dir.file("not-video.y4m"), out}, "not a YUV4MPEG2 stream", 1},
        {{in, dir.file("no/such/dir/out.y4m")}, "no/such/dir/out.y4m", 1},
        {{in, dir.path()}, "unknown format", 2},
        {{in, "--format", "y4m", dir.path()}, "is a directory", 1},
        {{"--plugin", dir.file("none.auf"), in, out}, "cannot load plug-in", 1},
        {{"--plugin", HOST_TEST_NO_EXPORT, in, out}, "GetFilterTable", 1},
        {{dir.file("empty.y4m"), dir.file("out.png")}, "no frame to write", 1},
        {{"--png-every", "2", dir.file("notdir"), in, out}, "something else has that name", 1},
        {{"--png-every", "1", dir.file("pngs"), dir.file("short.y4m"), out}, "frame 1 is truncated", 1},
        {{"--png-every", "0", dir.file("pngs"), in, out}, "--png-every \"0\"", 2},
        {{"--size", "8x6", in, out}, "--size is for .yc input", 2},
        {{"--matrix", "2020", in, out}, "--matrix \"2020\"", 2},
        {{dir.file("good.png"), out}, "PNG is an output format only", 2},
        {{"--format", "avi", in, out}, "--format \"avi\"", 2},
        {{"--set", "Clip U=3", dir.file("interlaced.y4m"), out}, "an odd \"Clip U\" (3) would swap the fields' rows", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const RunResult run = run_tool(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find("vantreo-host: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("ENTER"), std::string::npos) << "no exit callback after an error";
        EXPECT_EQ(dir.names(), names) << "no output, no temporary file";
    }

    // A --png-every folder whose files' paths would be too long fails before the first frame is read.
    std::string deep = dir.file("deep");
    ASSERT_EQ(mkdir(deep.c_str(), 0777), 0);
    while (deep.size() < 4085) {
        deep += "/" + std::string(std::min<std::size_t>(200, 4085 - deep.size() - 1), 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0777), 0);
    }
    write_file(dir.file("deep/cut.y4m"), header + "\nFRAME\nxx");
    const RunResult too_deep = run_tool({"--png-every", "1", deep + "/pngs", dir.file("deep/cut.y4m"), out});
    EXPECT_EQ(too_deep.status, 1);
    EXPECT_NE(too_deep.err.find("frame-000000.png"), std::string::npos) << too_deep.err;
    EXPECT_EQ(too_deep.err.find("truncated"), std::string::npos) << too_deep.err;
    EXPECT_EQ(std::system(("rm -rf '" + dir.file("deep") + "'").c_str()), 0);

    // Into a pipe, the frames before the broken one go out and the run stops with the error.
    const RunResult piped = run_tool({"--format", "y4m", "--select", "other", "--set", "Width=8", "--set", "Height=6",
                                      "-", "-"}, read_file(dir.file("short.y4m")));
    EXPECT_EQ(piped.status, 1);
    EXPECT_NE(piped.err.find("\"-\": frame 1 is truncated"), std::string::npos) << piped.err;
    EXPECT_EQ(piped.out, header + "\nFRAME\n" + frame);

    // A failed run leaves an earlier series as it was.
    ASSERT_EQ(mkdir(dir.file("pngs").c_str(), 0777), 0);
    write_file(dir.file("pngs/frame-000000.png"), "earlier");
    EXPECT_EQ(run_tool({"--png-every", "1", dir.file("pngs"), dir.file("short.y4m"), out}).status, 1);
    EXPECT_EQ(dir.names("pngs"), std::set<std::string>{"frame-000000.png"});
    EXPECT_EQ(read_file(dir.file("pngs/frame-000000.png")), "earlier");
}

// Whether `done` becomes true within ten seconds.
template <typename Condition>
bool eventually(Condition done)
{
    for (int i = 0; i < 1000 && !done(); ++i) usleep(10000);
    return done();
}

TEST(ToolSignals, EndingSignalsRemoveTheTemporaryOutput)
{
    // A stream that has not ended: the run waits for more frames with its output open. The system's
    // OpenCL loader is reached, as outside the tests, so that the drivers it loads (PoCL's LLVM sets
    // handlers of its own) are there too.
    const std::string start = "YUV4MPEG2 W8 H6 F25:1 C444\nFRAME\n" + flat_444(8, 6, 126, 128, 128);
    const std::vector<std::string> run = {"/usr/bin/env", "-u", "VANTREO_TEST_OPENCL_LIBRARY", kTool, "-q", "--format",
                                          "y4m", "-", "out.y4m"};
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                             SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        SCOPED_TRACE(strsignal(signal));
        TempDir dir;
        host_test::ChildProcess tool(run, dir.path());
        tool.write_input(start);
        ASSERT_TRUE(eventually([&] { return dir.names().size() == 1; })) << "the temporary output appears";
        kill(tool.pid(), signal);
        EXPECT_EQ(tool.wait().status, 128 + signal);
        EXPECT_EQ(dir.names(), std::set<std::string>{});
    }

    // A hang-up ignored by whoever started the run (nohup) stays ignored: the run goes on to its end.
    {
        TempDir dir;
        std::vector<std::string> nohup = {"/bin/sh", "-c", "trap '' HUP; exec \"$0\" \"$@\""};
        nohup.insert(nohup.end(), run.begin(), run.end());
        host_test::ChildProcess tool(nohup, dir.path());
        tool.write_input(start);
        ASSERT_TRUE(eventually([&] { return dir.names().size() == 1; })) << "the temporary output appears";
        kill(tool.pid(), SIGHUP);
        tool.write_input("FRAME\n" + flat_444(8, 6, 126, 128, 128));
        tool.close_input();
        const RunResult ended = tool.wait();
        EXPECT_EQ(ended.status, 0) << ended.err;
        EXPECT_EQ(dir.names(), std::set<std::string>{"out.y4m"});
    }

    // With a PNG series whose first frame is written, and its directory made by the run.
    TempDir dir;
    host_test::ChildProcess tool({kTool, "-q", "--format", "y4m", "--png-every", "1", "pngs", "-", "out.y4m"}, dir.path());
    tool.write_input(start);
    ASSERT_TRUE(eventually([&] { return dir.names("pngs").size() == 1; })) << "the first frame's PNG appears";
    kill(tool.pid(), SIGTERM);
    EXPECT_EQ(tool.wait().status, 128 + SIGTERM);
    EXPECT_EQ(dir.names(), std::set<std::string>{});
}

TEST(ToolSignals, ASignalAfterTheOutputIsInPlaceEndsNothing)
{
    TempDir dir;
    // Standard error is a FIFO kept full here: the summary, said once the output is in place, waits.
    ASSERT_EQ(mkfifo(dir.file("err").c_str(), 0600), 0);
    const int held = open(dir.file("err").c_str(), O_RDWR | O_NONBLOCK);
    while (write(held, "x", 1) == 1) {
    }
    host_test::ChildProcess tool(
        {"/bin/sh", "-c", "exec \"$0\" --demo --size 64x48 --resize 32x24 out.y4m 2>err", kTool}, dir.path());
    ASSERT_TRUE(eventually([&] { return dir.names().count("out.y4m") == 1; })) << "the output is in place";
    kill(tool.pid(), SIGTERM);
    std::string said(1 << 17, '\0');
    EXPECT_GT(read(held, &said[0], said.size()), 0) << "room for the summary";
    EXPECT_EQ(tool.wait().status, 0);
    EXPECT_GT(read(held, &said[0], said.size()), 0);
    close(held);
    EXPECT_NE(said.find(" frames 64x48 -> 32x24 in "), std::string::npos);
    EXPECT_EQ(y4m_frames(read_file(dir.file("out.y4m")), 32 * 24 * 3 / 2).size(), 60u);
}

TEST(ToolDemo, WritesTheClipAndABeforeAndAfterPicture)
{
    TempDir dir;
    // The main command as the README gives it, with standard input open and nobody typing.
    const RunResult run = run_tool({"--demo"}, "", dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(dir.names(), std::set<std::string>{"demo"});
    const std::string clip = read_file(dir.file("demo/out.y4m"));
    // Area averaging to 640 pixels wide, in the pattern's aspect.
    const std::string header = "YUV4MPEG2 W640 H360 F25:1 Ip A1:1 C420jpeg\n";
    EXPECT_EQ(clip.compare(0, header.size(), header), 0) << first_line(clip);
    EXPECT_EQ(y4m_frames(clip, 640 * 360 * 3 / 2).size(), 60u);
    const RgbImage pair = read_png(read_file(dir.file("demo/before-after.png")));
    EXPECT_EQ(pair.w, 1280 + 16 + 640);
    EXPECT_EQ(pair.h, 720);

    EXPECT_NE(run.err.find("vantreo-host: 60 frames 1280x720 -> 640x360 in "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" fps, area averaging, device: Vantreo emulated device (CPU); wrote demo/out.y4m and "
                           "demo/before-after.png\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << "no progress line when standard error is no terminal";
    EXPECT_EQ(run.out, "");
}

TEST(ToolDemo, AreaAveragingUnlessTheUserChoosesAMethod)
{
    TempDir dir;
    const std::vector<std::string> small = {"--demo", "--size", "64x48", "--select", "other", "--set", "Width=40",
                                            "--set", "Height=30"};
    auto demo = [&](std::vector<std::string> extra, const std::string& output) {
        std::vector<std::string> args = small;
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(dir.file(output));
        const RunResult run = run_tool(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return read_file(dir.file(output));
    };
    const std::string by_default = demo({"-q"}, "default.yc");
    const std::string area = demo({"-q", "--set", "Method=1"}, "area.yc");
    const std::string point = demo({"-q", "--set", "Method=0"}, "point.yc");
    EXPECT_EQ(by_default.size(), 60u * 40 * 30 * 6);
    EXPECT_TRUE(by_default == area);
    EXPECT_FALSE(by_default == point);

    const RunResult quiet = run_tool({"--demo", "--size", "64x48", "-q", dir.file("quiet.y4m")});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err.find("frames 64x48"), std::string::npos) << "--quiet: no summary";
    EXPECT_EQ(first_line(read_file(dir.file("quiet.y4m"))), "YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg")
        << "area averaging never enlarges";
}

}  // namespace
