// Video samples to the host's scale and back, chroma resampling, YUV4MPEG2 streams, PNG images and
// the progress line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/tool/progress_line.h"
#include "host/video/chroma_resampling.h"
#include "host/video/png_image.h"
#include "host/video/sample_levels.h"
#include "host/video/y4m_format.h"
#include "tests/host/png_reading.h"
#include "tests/host/test_support.h"

using namespace vantreo_host;
using namespace host_test;

namespace {

TEST(SampleLevels, LimitedRangeEndsAndMidpoints)
{
    const SampleLevels levels = sample_levels(8, false);
    EXPECT_EQ(luma_to_host(16, levels), 0);
    EXPECT_EQ(luma_to_host(235, levels), 4096);
    EXPECT_EQ(chroma_to_host(16, levels), -2048);
    EXPECT_EQ(chroma_to_host(128, levels), 0);
    EXPECT_EQ(chroma_to_host(240, levels), 2048);

    EXPECT_EQ(host_to_luma(0, levels), 16);
    EXPECT_EQ(host_to_luma(4096, levels), 235);
    EXPECT_EQ(host_to_luma(2048, levels), 126) << "109.5 above black rounds up";
    EXPECT_EQ(host_to_chroma(-2048, levels), 16);
    EXPECT_EQ(host_to_chroma(0, levels), 128);
    EXPECT_EQ(host_to_chroma(2048, levels), 240);

    // Back to codes, values are clamped to what 8 bits hold, not to the legal range.
    EXPECT_EQ(host_to_luma(-32768, levels), 0);
    EXPECT_EQ(host_to_luma(32767, levels), 255);
    EXPECT_EQ(host_to_luma(4200, levels), 241);
    EXPECT_EQ(host_to_chroma(-2400, levels), 0);
    EXPECT_EQ(host_to_chroma(2400, levels), 255);
    EXPECT_LT(luma_to_host(0, levels), 0) << "sub-black stays below black";
    EXPECT_GT(chroma_to_host(255, levels), 2048);
}

TEST(SampleLevels, DeeperAndFullRangeSamples)
{
    const SampleLevels sixteen = sample_levels(16, false);
    EXPECT_EQ(luma_to_host(16 * 256, sixteen), 0);
    EXPECT_EQ(luma_to_host(235 * 256, sixteen), 4096);
    EXPECT_EQ(chroma_to_host(128 * 256, sixteen), 0);
    EXPECT_EQ(chroma_to_host(240 * 256, sixteen), 2048);
    EXPECT_EQ(host_to_luma(4096, sixteen), 235 * 256);
    EXPECT_EQ(host_to_chroma(-2048, sixteen), 16 * 256);
    EXPECT_EQ(host_to_luma(32767, sixteen), 65535);

    const SampleLevels ten = sample_levels(10, false);
    EXPECT_EQ(luma_to_host(64, ten), 0);
    EXPECT_EQ(luma_to_host(940, ten), 4096);
    EXPECT_EQ(host_to_chroma(2048, ten), 960);

    const SampleLevels full = sample_levels(8, true);
    EXPECT_EQ(luma_to_host(0, full), 0);
    EXPECT_EQ(luma_to_host(255, full), 4096);
    EXPECT_EQ(chroma_to_host(128, full), 0);
    EXPECT_EQ(host_to_luma(4096, full), 255);
}

TEST(SampleLevels, EveryCodeSurvivesTheRoundTripUpTo12Bits)
{
    for (int depth : {8, 10, 12})
        for (bool full_range : {false, true}) {
            const SampleLevels levels = sample_levels(depth, full_range);
            for (std::int32_t code = 0; code <= levels.max_code; ++code) {
                ASSERT_EQ(host_to_luma(luma_to_host(code, levels), levels), code)
                    << depth << "-bit luma, full range " << full_range;
                ASSERT_EQ(host_to_chroma(chroma_to_host(code, levels), levels), code)
                    << depth << "-bit chroma, full range " << full_range;
            }
        }
}

TEST(SampleLevels, RowConversionsGiveTheFormulasValues)
{
    // Every code a sample's bytes can hold (stray high bits of deep samples too) and every 16-bit value,
    // in rows whose length leaves a tail.
    for (int depth : {8, 9, 10, 12, 14, 16})
        for (bool full_range : {false, true})
            for (bool chroma : {false, true}) {
                SCOPED_TRACE(std::to_string(depth) + "-bit, full range " + std::to_string(full_range) + ", chroma " +
                             std::to_string(chroma));
                const SampleLevels levels = sample_levels(depth, full_range);
                const RowLevels rows(levels, chroma);
                const std::int32_t codes = depth > 8 ? 65536 : 256;
                const std::size_t size = depth > 8 ? 2 : 1;
                std::vector<unsigned char> bytes(65536 * size);
                for (std::int32_t code = 0; code < codes; ++code)
                    for (std::size_t b = 0; b < size; ++b) bytes[code * size + b] = static_cast<unsigned char>(code >> (8 * b));
                std::vector<std::int16_t> values(65536);
                rows.to_host(bytes.data(), codes - 3, values.data());
                rows.to_host(bytes.data() + (codes - 3) * size, 3, values.data() + codes - 3);
                for (std::int32_t code = 0; code < codes; ++code)
                    ASSERT_EQ(values[code], chroma ? chroma_to_host(code, levels) : luma_to_host(code, levels)) << code;

                for (std::int32_t v = -32768; v < 32768; ++v) values[v + 32768] = static_cast<std::int16_t>(v);
                rows.to_codes(values.data(), 65533, bytes.data());
                rows.to_codes(values.data() + 65533, 3, bytes.data() + 65533 * size);
                for (std::int32_t v = -32768; v < 32768; ++v) {
                    const std::size_t at = static_cast<std::size_t>(v + 32768) * size;
                    ASSERT_EQ(size == 2 ? bytes[at] | bytes[at + 1] << 8 : bytes[at],
                              chroma ? host_to_chroma(v, levels) : host_to_luma(v, levels)) << v;
                }
            }
}

Plane row(std::vector<std::int16_t> samples)
{
    Plane plane;
    plane.resize(static_cast<std::int32_t>(samples.size()), 1);
    plane.samples = std::move(samples);
    return plane;
}

TEST(ChromaResampling, InterpolatesAndAveragesAtTheSitedPositions)
{
    ChromaGrid centred;
    centred.halve_width = true;
    ChromaGrid cosited = centred;
    cosited.horizontal = Siting::kCoSited;
    Plane out;

    // Centred: each pair keeps its sample's mean and tilts by (c[i-1] - c[i+1]) / 8, edges repeated.
    upsample_chroma(row({0, 400}), centred, 4, 1, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{-50, 50, 350, 450}));
    upsample_chroma(row({0, 400}), cosited, 4, 1, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{0, 200, 400, 400}));
    upsample_chroma(row({0, 400}), centred, 3, 1, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{-50, 50, 400})) << "odd width: the last sample as it is";
    // Halves of the tilt round away from zero, so a mirrored line gives the mirrored pixels.
    upsample_chroma(row({4, 0, 0}), centred, 6, 1, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{5, 3, 1, -1, 0, 0}));
    upsample_chroma(row({0, 0, 4}), centred, 6, 1, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{0, 0, -1, 1, 3, 5}));

    downsample_chroma(row({0, 100, 300, 400}), centred, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{50, 350}));
    downsample_chroma(row({0, 100, 300}), centred, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{50, 300})) << "the last site covers one pixel";
    // Co-sited: [-1, 2, 6, 2, -1] / 8 around each sample's pixel.
    downsample_chroma(row({0, 0, 0, 0, 800, 0, 0, 0, 0, 0}), cosited, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{0, -100, 600, -100, 0}));
    downsample_chroma(row({0, 0, 0, 800, 0, 0, 0, 0}), cosited, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{0, 200, 200, 0}));

    // Halves round upwards for either sign.
    downsample_chroma(row({-1, 0, 1, 0, -3, -2}), centred, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{0, 1, -2}));

    // Vertically, a column is treated as a row is.
    ChromaGrid tall;
    tall.halve_height = true;
    Plane column;
    column.resize(1, 2);
    column.samples = {-400, 400};
    upsample_chroma(column, tall, 1, 4, out);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{-500, -300, 300, 500}));
}

// The resampling rule written out plainly, a line at a time, to hold the fast code to.
int floor_half(int v, int shift) { return v >= 0 ? v >> shift : -((-v + (1 << shift) - 1) >> shift); }

std::vector<int> plain_up(const std::vector<int>& c, int n, Siting siting)
{
    const int m = static_cast<int>(c.size());
    const auto at = [&](int i) { return c[std::clamp(i, 0, m - 1)]; };
    std::vector<int> p(n);
    for (int i = 0; i < m; ++i) {
        const int d = at(i - 1) - at(i + 1);
        const int t = siting == Siting::kCentred && 2 * i + 1 < n ? (d < 0 ? -((-d + 4) / 8) : (d + 4) / 8) : 0;
        p[2 * i] = c[i] + t;
        if (2 * i + 1 < n) p[2 * i + 1] = siting == Siting::kCentred ? c[i] - t : floor_half(c[i] + at(i + 1) + 1, 1);
    }
    return p;
}

std::vector<int> plain_down(const std::vector<int>& p, Siting siting)
{
    const int n = static_cast<int>(p.size());
    const auto at = [&](int k) {  // mirrored about the end pixels
        if (n == 1) return p[0];
        k = std::abs(k) % (2 * (n - 1));
        return p[k < n ? k : 2 * (n - 1) - k];
    };
    const auto r = [&](int k) { return at(k) - floor_half(at(k - 1) + at(k + 1) + 1, 1); };
    std::vector<int> c((n + 1) / 2);
    for (int i = 0; i < static_cast<int>(c.size()); ++i)
        if (siting == Siting::kCoSited)
            c[i] = p[2 * i] + floor_half(r(2 * i - 1) + r(2 * i + 1) + 1, 2);
        else
            c[i] = 2 * i + 1 < n ? floor_half(p[2 * i] + p[2 * i + 1] + 1, 1) : p[2 * i];
    return c;
}

// `line` applied to each row (horizontal) or column of a w x h plane.
template <typename Line>
std::vector<int> each_line(const std::vector<int>& plane, int w, int h, bool rows, Line line)
{
    std::vector<int> out;
    for (int a = 0; a < (rows ? h : w); ++a) {
        std::vector<int> in;
        for (int b = 0; b < (rows ? w : h); ++b) in.push_back(plane[rows ? a * w + b : b * w + a]);
        const std::vector<int> result = line(in);
        const int n = static_cast<int>(result.size());
        out.resize(static_cast<std::size_t>(n) * (rows ? h : w));
        for (int b = 0; b < n; ++b) out[rows ? a * n + b : b * w + a] = result[b];
    }
    return out;
}

// Both axes: up vertically then horizontally, down the other way round.
std::vector<int> plain_up(const Plane& chroma, const ChromaGrid& grid, int w, int h)
{
    std::vector<int> plane(chroma.samples.begin(), chroma.samples.end());
    if (grid.halve_height)
        plane = each_line(plane, chroma.w, chroma.h, false, [&](const auto& c) { return plain_up(c, h, grid.vertical); });
    if (grid.halve_width)
        plane = each_line(plane, chroma.w, h, true, [&](const auto& c) { return plain_up(c, w, grid.horizontal); });
    return plane;
}

std::vector<int> plain_down(const Plane& full, const ChromaGrid& grid)
{
    std::vector<int> plane(full.samples.begin(), full.samples.end());
    if (grid.halve_width)
        plane = each_line(plane, full.w, full.h, true, [&](const auto& p) { return plain_down(p, grid.horizontal); });
    if (grid.halve_height)
        plane = each_line(plane, grid.width(full.w), full.h, false, [&](const auto& p) { return plain_down(p, grid.vertical); });
    return plane;
}

TEST(ChromaResampling, DownUndoesUpAndStaysWithinOneOfSmallChanges)
{
    std::mt19937 rng(5);
    const struct {
        const char* name;
        int low, high;
        bool either_sign;
    } contents[] = {{"random", -2400, 2400, false}, {"near zero", -2, 2, false}, {"extremes", 2399, 2400, true}};
    for (int layout = 0; layout < 16; ++layout)  // halved width, height; co-sited horizontally, vertically
        for (int w : {1, 2, 3, 5, 8, 17, 18, 19, 35, 40})
            for (int h : {1, 2, 3, 4, 7, 18})
                for (const auto& content : contents) {
                    const ChromaGrid grid{(layout & 1) != 0, (layout & 2) != 0, layout & 4 ? Siting::kCoSited : Siting::kCentred,
                                          layout & 8 ? Siting::kCoSited : Siting::kCentred};
                    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " " + content.name + ", layout " +
                                 std::to_string(layout));
                    Plane chroma;
                    chroma.resize(grid.width(w), grid.height(h));
                    std::uniform_int_distribution<int> value(content.low, content.high);
                    for (std::int16_t& v : chroma.samples)
                        v = static_cast<std::int16_t>(value(rng) * (content.either_sign && rng() % 2 ? -1 : 1));
                    Plane full;
                    upsample_chroma(chroma, grid, w, h, full);
                    ASSERT_EQ(std::vector<int>(full.samples.begin(), full.samples.end()), plain_up(chroma, grid, w, h));
                    Plane back;
                    downsample_chroma(full, grid, back);
                    ASSERT_EQ(back.samples, chroma.samples);

                    // Area averaging at the same size adds 1 to negative values; any 0 or 1 added comes back
                    // within 1 (2 co-sited both ways, which no layout is), and from anything the fast code
                    // gives the plain rule's values.
                    const int bound = layout == 15 ? 2 : 1;
                    for (bool area : {true, false}) {
                        Plane changed = full;
                        for (std::int16_t& v : changed.samples) v = static_cast<std::int16_t>(v + (area ? v < 0 : rng() % 2));
                        downsample_chroma(changed, grid, back);
                        for (std::size_t i = 0; i < back.samples.size(); ++i)
                            ASSERT_LE(std::abs(back.samples[i] - chroma.samples[i]), bound) << i;
                        ASSERT_EQ(std::vector<int>(back.samples.begin(), back.samples.end()), plain_down(changed, grid));
                    }
                }
}

TEST(ChromaResampling, FlatChromaStaysFlatAtAnySize)
{
    for (bool cosited : {false, true})
        for (std::int32_t w : {1, 2, 5, 8})
            for (std::int32_t h : {1, 3, 4}) {
                ChromaGrid grid;
                grid.halve_width = true;
                grid.halve_height = true;
                grid.horizontal = cosited ? Siting::kCoSited : Siting::kCentred;
                Plane chroma;
                chroma.resize(grid.width(w), grid.height(h));
                std::fill(chroma.samples.begin(), chroma.samples.end(), std::int16_t{-1234});
                Plane full;
                upsample_chroma(chroma, grid, w, h, full);
                ASSERT_EQ(full.w, w);
                ASSERT_EQ(full.h, h);
                EXPECT_EQ(std::set<std::int16_t>(full.samples.begin(), full.samples.end()), std::set<std::int16_t>{-1234});
                Plane back;
                downsample_chroma(full, grid, back);
                EXPECT_EQ(back.samples, chroma.samples) << w << "x" << h;
            }
}

TEST(Y4mHeader, ReadsTheLayoutsItSupports)
{
    const struct {
        const char* colour;
        int depth;
        bool halve_width;
        bool halve_height;
        Siting horizontal;
        bool full_range;
    } cases[] = {
        {"", 8, true, true, Siting::kCentred, false},
        {" C420jpeg", 8, true, true, Siting::kCentred, false},
        {" C420", 8, true, true, Siting::kCentred, false},
        {" C420mpeg2 XYSCSS=420MPEG2", 8, true, true, Siting::kCoSited, false},
        {" C420paldv", 8, true, true, Siting::kCoSited, false},
        {" C422 XCOLORRANGE=LIMITED", 8, true, false, Siting::kCoSited, false},
        {" C444 XCOLORRANGE=FULL", 8, false, false, Siting::kCentred, true},
        {" C420p16 XYSCSS=420P16", 16, true, true, Siting::kCentred, false},
        {" C422p10", 10, true, false, Siting::kCoSited, false},
        {" C444p16", 16, false, false, Siting::kCentred, false},
        {" XYSCSS=444", 8, false, false, Siting::kCentred, false},
    };
    for (const auto& c : cases) {
        const std::string line = std::string("YUV4MPEG2 W33 H25 F25:1 Ip A1:1") + c.colour;
        SCOPED_TRACE(line);
        const Y4mFormat format = parse_y4m_header(line, "in.y4m");
        EXPECT_EQ(format.w, 33);
        EXPECT_EQ(format.h, 25);
        EXPECT_EQ(format.depth, c.depth);
        EXPECT_EQ(format.grid.halve_width, c.halve_width);
        EXPECT_EQ(format.grid.halve_height, c.halve_height);
        if (c.halve_width) {
            EXPECT_EQ(format.grid.horizontal, c.horizontal);
        }
        EXPECT_EQ(format.full_range, c.full_range);
    }
    // Odd sizes round the chroma planes up.
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W33 H25", "-").frame_bytes(), 33u * 25 + 2 * 17 * 13);
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W33 H25 C422p16", "-").frame_bytes(), 2u * (33 * 25 + 2 * 17 * 25));
    // 8K UHD everywhere; 8192x4320 and up to 8192x8192 where a 64-bit process has the room.
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W7680 H4320", "-").w, 7680);
    const bool wide = sizeof(void*) >= 8;
    for (const char* line : {"YUV4MPEG2 W8192 H4320", "YUV4MPEG2 W8192 H8192"})
        EXPECT_EQ(error_of([&] { parse_y4m_header(line, "-"); }).empty(), wide) << line;
}

TEST(Y4mHeader, OutputKeepsEveryParameterAndTheDisplayAspect)
{
    // The pixel aspect scales by (source w / h) / (output w / h), reduced: 128:117 x 15/16 = 40:39.
    Y4mFormat format =
        parse_y4m_header("YUV4MPEG2 W720 H576 F30000:1001 It A128:117 C422 XYSCSS=422 XTOOL=abc", "in.y4m");
    EXPECT_EQ(format.header(640, 480), "YUV4MPEG2 W640 H480 F30000:1001 It A40:39 C422 XYSCSS=422 XTOOL=abc\n");
    EXPECT_EQ(format.header(720, 576), "YUV4MPEG2 W720 H576 F30000:1001 It A128:117 C422 XYSCSS=422 XTOOL=abc\n");
    format.shown = Size{704, 576};  // the clip bars took 16 columns: what is shown keeps its aspect
    EXPECT_EQ(format.header(704, 576), "YUV4MPEG2 W704 H576 F30000:1001 It A128:117 C422 XYSCSS=422 XTOOL=abc\n");
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W720 H480 A10:11", "in").header(640, 480), "YUV4MPEG2 W640 H480 A45:44\n");
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W720 H480 A0:0", "in").header(640, 360), "YUV4MPEG2 W640 H360 A0:0\n");
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W1920 H1080 A2:4", "in").header(1280, 720), "YUV4MPEG2 W1280 H720 A2:4\n");
    // A result too large for 32-bit terms becomes the nearest ratio that fits: the largest, a
    // convergent of the continued fraction, or a fraction part of the way to the next one.
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W16383 H1 A2147483647:1", "in").header(1, 16383),
              "YUV4MPEG2 W1 H16383 A2147483647:1\n");
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W720 H480 A9999999967:9999999991", "in").header(700, 480),
              "YUV4MPEG2 W700 H480 A1321428567:1284722221\n");
    EXPECT_EQ(parse_y4m_header("YUV4MPEG2 W720 H576 A3000000019:2000000011", "in").header(640, 480),
              "YUV4MPEG2 W640 H480 A2137500006:1520000003\n");
    EXPECT_EQ(default_y4m_format(64, 48).header(64, 48), "YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg\n");
}

TEST(Y4mHeader, RefusesWhatItCannotHonour)
{
    using namespace std::string_literals;
    const struct {
        std::string line;
        const char* message;
    } cases[] = {
        {"YUV4MPEG W8 H8", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG2W8 H8", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG2 W8 H8 Cmono", "monochrome"},
        {"YUV4MPEG2 W8 H8 C444alpha", "alpha"},
        {"YUV4MPEG2 W8 H8 C411", "4:1:1"},
        {"YUV4MPEG2 W8 H8 C420p8", "unknown colour space"},
        {"YUV4MPEG2 W8 H8 Crgb", "colour space Crgb"},
        {"YUV4MPEG2 W8 H8 C XYSCSS=420JPEG", "colour space C:"},
        {"YUV4MPEG2 W8 H8 XYSCSS=MONO", "XYSCSS=mono"},
        {"YUV4MPEG2 W0 H8", "width must be 1..16384"},
        {"YUV4MPEG2 W-8 H8", "width must be 1..16384"},
        {"YUV4MPEG2 W8 H16385", "height must be 1..16384"},
        {"YUV4MPEG2 W99999999999 H8", "width must be"},
        {"YUV4MPEG2 W16384 H16384", "has more than "},
        {"YUV4MPEG2 W8", "no picture height"},
        {"YUV4MPEG2 W8 H8 W9", "\"W9\": given twice"},
        {"YUV4MPEG2 W8 H8 Im", "mixed interlacing"},
        {"YUV4MPEG2 W8 H8 Ix", "unknown interlacing"},
        {"YUV4MPEG2 W8 H8 F25", "frame rate as N:D"},
        {"YUV4MPEG2 W8 H8 A1:x", "pixel aspect as N:D"},
        {"YUV4MPEG2 W8 H8 XCOLORRANGE=TV", "unknown colour range"},
        {"YUV4MPEG2 W8 H8 Z1", "\"Z1\": unknown parameter"},
        // Bytes of the file reach a terminal only as printable text, and a NUL does not cut the message.
        {"YUV4MPEG2 W8 H8 Z\x1b]2;x\x07\x9b\\\0!"s, "\"Z\\x1b]2;x\\x07\\x9b\\\\\\x00!\": unknown parameter"},
        {"YUV4MPEG2 W8 H8 C\x1b[2J", "colour space C\\x1b[2J:"},
        {"YUV4MPEG2 W8 H8 XYSCSS=\xff", "XYSCSS=\\xff:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string message = error_of([&] { parse_y4m_header(c.line, "clip.y4m"); });
        EXPECT_NE(message.find("\"clip.y4m\""), std::string::npos) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_TRUE(std::all_of(message.begin(), message.end(), [](char ch) { return ch >= 0x20 && ch < 0x7f; }))
            << message;
    }
}

// A 16x16 4:4:4 frame holding each 8-bit code once in each plane, in different orders.
std::string all_codes_444_frame()
{
    std::string planes(3 * 256, '\0');
    for (int i = 0; i < 256; ++i) {
        planes[i] = static_cast<char>(i);
        planes[256 + i] = static_cast<char>(255 - i);
        planes[512 + i] = static_cast<char>((i * 91) & 255);
    }
    return planes;
}

TEST(Y4mFrames, EightBit444CodesComeBackExactly)
{
    const Y4mFormat format = parse_y4m_header("YUV4MPEG2 W16 H16 F25:1 C444", "-");
    const std::string planes = all_codes_444_frame();
    Picture picture;
    decode_y4m_frame(format, reinterpret_cast<const unsigned char*>(planes.data()), picture);
    ASSERT_EQ(picture.w, 16);
    EXPECT_EQ(picture.at(0, 0).y, -299) << "code 0 lies below black";
    EXPECT_EQ(picture.at(15, 15).cb, -2341) << "code 0 lies below the chroma minimum";
    std::vector<unsigned char> bytes;
    encode_y4m_frame(format, picture, bytes);
    EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == planes);
}

TEST(Y4mFrames, InterlacedChromaStaysInItsFieldAtEveryHeight)
{
    // Even chroma rows belong to the top field, odd ones to the bottom field; each field's chroma is
    // flat, so resampling it field by field brings every pixel and every code back exactly.
    const int field_cb[2] = {90, 200};
    for (int h = 3; h <= 10; ++h)
        for (int w = 1; w <= 3; ++w) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
            const Y4mFormat format =
                parse_y4m_header("YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " It C420jpeg", "-");
            std::string planes(static_cast<std::size_t>(w * h), '\x80');
            for (int plane = 0; plane < 2; ++plane)
                for (int y = 0; y < format.chroma_h(); ++y)
                    planes += std::string(static_cast<std::size_t>(format.chroma_w()), static_cast<char>(field_cb[y % 2]));
            Picture picture;
            decode_y4m_frame(format, reinterpret_cast<const unsigned char*>(planes.data()), picture);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    ASSERT_EQ(picture.at(x, y).cb, chroma_to_host(field_cb[y % 2], format.levels())) << x << "," << y;
                    ASSERT_EQ(picture.at(x, y).cr, picture.at(x, y).cb);
                }
            std::vector<unsigned char> bytes;
            encode_y4m_frame(format, picture, bytes);
            EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == planes);
        }
}

TEST(Y4mFrames, DeepPlanesInTheirOrder)
{
    // 3x2 4:2:0 at 16 bits: six Y samples, then two Cb, then two Cr, each little-endian.
    const Y4mFormat format = parse_y4m_header("YUV4MPEG2 W3 H2 C420p16", "-");
    std::vector<unsigned char> bytes;
    for (int v : {4096, 60160, 4096, 60160, 4096, 60160, 4096, 4096, 61440, 61440})
        for (int shift : {0, 8}) bytes.push_back(static_cast<unsigned char>(v >> shift));
    ASSERT_EQ(bytes.size(), format.frame_bytes());
    Picture picture;
    decode_y4m_frame(format, bytes.data(), picture);
    EXPECT_EQ(picture.at(0, 0).y, 0);
    EXPECT_EQ(picture.at(1, 0).y, 4096);
    EXPECT_EQ(picture.at(0, 1).y, 4096);
    EXPECT_EQ(picture.at(2, 1).cb, -2048);
    EXPECT_EQ(picture.at(2, 1).cr, 2048);
    std::vector<unsigned char> again;
    encode_y4m_frame(format, picture, again);
    EXPECT_EQ(again, bytes);
}

TEST(Y4mFrames, SameSizePassesComeBackThroughTheHostScale)
{
    // Decoded, handed back as a same-size pass of the filter does (unchanged, or with 1 added to
    // negative values by area averaging) and encoded: up to 10 bits every code comes back; deeper,
    // where a code is about a host unit or less, within a unit of its value.
    std::mt19937 rng(9);
    Y4mConversion decoding;  // each shared by every format and size
    Y4mConversion encoding;
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 2}, {3, 5}, {7, 3}, {5, 10}, {18, 6}, {35, 7}};
    for (const char* layout : {"C420jpeg", "C420mpeg2", "C420paldv", "C422", "C444", "C420p9", "C420p10", "C422p10",
                               "C444p10", "C420p12", "C422p14", "C420p16"})
        for (const char* range : {"LIMITED", "FULL"})
            for (const char* interlacing : {"Ip", "It"})
                for (const auto& [w, h] : sizes)
                    for (bool near_black : {false, true}) {
                        const std::string header = "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " " +
                                                   interlacing + " " + layout + " XCOLORRANGE=" + range;
                        SCOPED_TRACE(header + (near_black ? ", near black" : ", random"));
                        const Y4mFormat format = parse_y4m_header(header, "-");
                        const SampleLevels levels = format.levels();
                        const std::size_t luma = static_cast<std::size_t>(w) * h;
                        const std::size_t samples = luma + 2 * static_cast<std::size_t>(format.chroma_w()) * format.chroma_h();
                        const std::size_t size = format.depth > 8 ? 2 : 1;
                        std::vector<int> codes(samples);
                        std::vector<unsigned char> bytes(samples * size);
                        for (std::size_t i = 0; i < samples; ++i) {
                            // Near black and no colour the values straddle 0, where area averaging adds 1.
                            const int offset = i < luma ? levels.luma_offset : levels.chroma_offset;
                            codes[i] = near_black ? std::clamp(offset + static_cast<int>(rng() % 5) - 2, 0, levels.max_code)
                                                  : static_cast<int>(rng() % (levels.max_code + 1));
                            for (std::size_t b = 0; b < size; ++b) bytes[i * size + b] = static_cast<unsigned char>(codes[i] >> (8 * b));
                        }
                        Picture picture;
                        decode_y4m_frame(format, bytes.data(), picture, decoding);
                        for (bool area : {false, true}) {
                            Picture passed = picture;
                            for (PIXEL_YC& p : passed.pixels)
                                for (std::int16_t* v : {&p.y, &p.cb, &p.cr}) *v = static_cast<std::int16_t>(*v + (area && *v < 0));
                            std::vector<unsigned char> out;
                            encode_y4m_frame(format, passed, out, encoding);
                            ASSERT_EQ(out.size(), bytes.size());
                            for (std::size_t i = 0; i < samples; ++i) {
                                const bool is_luma = i < luma;
                                const int value = is_luma ? luma_to_host(codes[i], levels) : chroma_to_host(codes[i], levels);
                                const auto code = [&](int v) { return is_luma ? host_to_luma(v, levels) : host_to_chroma(v, levels); };
                                const int got = size == 2 ? out[2 * i] | out[2 * i + 1] << 8 : out[i];
                                if (!area || format.depth <= 10)
                                    ASSERT_EQ(got, code(value)) << "sample " << i << ", area " << area;
                                else
                                    ASSERT_TRUE(got == code(value - 1) || got == code(value) || got == code(value + 1))
                                        << "sample " << i << ": " << got << " from " << codes[i];
                            }
                        }
                    }
}

std::string y4m_stream(const std::string& header, const std::vector<std::string>& frame_lines, std::size_t frame_bytes)
{
    std::string stream = header + "\n";
    char value = 0;
    for (const std::string& line : frame_lines) {
        stream += line + "\n";
        for (std::size_t i = 0; i < frame_bytes; ++i) stream += value++;
    }
    return stream;
}

TEST(Y4mReaderTest, ReadsFramesAndCountsThemWhenItCan)
{
    TempDir dir;
    const std::string header = "YUV4MPEG2 W4 H2 F25:1 C420jpeg";
    write_file(dir.file("plain.y4m"), y4m_stream(header, {"FRAME", "FRAME", "FRAME"}, 12));
    write_file(dir.file("tagged.y4m"), y4m_stream(header, {"FRAME Ib XTIME=1", "FRAME"}, 12));
    std::vector<unsigned char> bytes;

    Y4mReader plain(dir.file("plain.y4m"));
    EXPECT_EQ(plain.frame_count(), std::optional<std::int64_t>{3});
    int frames = 0;
    while (plain.read(bytes)) ++frames;
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(bytes.size(), 12u);
    EXPECT_EQ(bytes[0], 24) << "the last frame's own bytes";

    Y4mReader tagged(dir.file("tagged.y4m"));
    EXPECT_FALSE(tagged.frame_count()) << "FRAME parameters make the count unknowable";
    EXPECT_TRUE(tagged.read(bytes) && tagged.read(bytes));
    EXPECT_EQ(bytes[0], 12);
    EXPECT_FALSE(tagged.read(bytes));
}

TEST(Y4mReaderTest, BrokenStreamsNameTheFileAndTheFrame)
{
    TempDir dir;
    const std::string good = y4m_stream("YUV4MPEG2 W4 H2", {"FRAME", "FRAME"}, 12);
    const struct {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty.y4m", "", "is empty"},
        {"short.y4m", good.substr(0, good.size() - 1), "frame 1 is truncated (11 of 12 bytes for 4x2)"},
        {"cut.y4m", good.substr(0, good.size() - 15), "frame 1 FRAME line is cut off"},
        {"garbage.y4m", y4m_stream("YUV4MPEG2 W4 H2", {"FRAME", "FRAMES"}, 12), "frame 1 does not start with a FRAME line"},
        {"endless.y4m", "YUV4MPEG2 W4 H2 X" + std::string(5000, 'x'), "longer than 4096 bytes"},
        {"claims-8k.y4m", "YUV4MPEG2 W8192 H4096 C444p16\nFRAME\nabcd", "frame 0 is truncated (4 of 201326592 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(dir.file(c.name), c.bytes);
        std::vector<unsigned char> bytes;
        const std::string message = error_of([&] {
            Y4mReader reader(dir.file(c.name));
            while (reader.read(bytes)) {
            }
        });
        EXPECT_NE(message.find(c.name), std::string::npos) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        // Memory follows the bytes that came, not the size a header claims.
        EXPECT_LE(bytes.capacity(), std::size_t{1} << 20);
    }
    EXPECT_NE(error_of([&] { Y4mReader reader(dir.file("none.y4m")); }).find("cannot open input"), std::string::npos);
}

PIXEL_YC from_codes(int y, int cb, int cr)
{
    const SampleLevels levels = sample_levels(8, false);
    return {luma_to_host(y, levels), chroma_to_host(cb, levels), chroma_to_host(cr, levels)};
}

void expect_rgb_near(const std::uint8_t* rgb, int r, int g, int b, const char* what)
{
    EXPECT_NEAR(rgb[0], r, 1) << what;
    EXPECT_NEAR(rgb[1], g, 1) << what;
    EXPECT_NEAR(rgb[2], b, 1) << what;
}

TEST(PngImage, KnownColoursUnderEitherMatrix)
{
    Picture picture(4, 1);
    picture.at(0, 0) = from_codes(235, 128, 128);
    picture.at(1, 0) = from_codes(16, 128, 128);
    picture.at(2, 0) = from_codes(81, 90, 240);   // BT.601 red
    picture.at(3, 0) = from_codes(63, 102, 240);  // BT.709 red
    const RgbImage sd = to_rgb(picture, ColourMatrix::kBt601);
    expect_rgb_near(sd.at(0, 0), 255, 255, 255, "white");
    expect_rgb_near(sd.at(1, 0), 0, 0, 0, "black");
    expect_rgb_near(sd.at(2, 0), 255, 0, 0, "BT.601 red");
    const RgbImage hd = to_rgb(picture, ColourMatrix::kBt709);
    expect_rgb_near(hd.at(0, 0), 255, 255, 255, "white");
    expect_rgb_near(hd.at(3, 0), 255, 0, 0, "BT.709 red");
    EXPECT_LT(sd.at(3, 0)[0], 240) << "the matrices differ";

    // Out-of-range values clamp instead of wrapping.
    Picture extreme(2, 1);
    extreme.at(0, 0) = {32767, 32767, -32768};
    extreme.at(1, 0) = {-32768, 0, 0};
    const RgbImage clamped = to_rgb(extreme, ColourMatrix::kBt601);
    EXPECT_EQ(clamped.at(0, 0)[0], 0);
    EXPECT_EQ(clamped.at(0, 0)[2], 255);
    EXPECT_EQ(clamped.at(1, 0)[1], 0);
}

TEST(PngImage, FileReadsBackPixelForPixel)
{
    RgbImage image(5, 3);
    for (std::size_t i = 0; i < image.rgb.size(); ++i) image.rgb[i] = static_cast<std::uint8_t>(i * 17);
    const std::vector<unsigned char> encoded = encode_png(image);
    const RgbImage back = read_png(std::string(encoded.begin(), encoded.end()));
    EXPECT_EQ(back.w, 5);
    EXPECT_EQ(back.h, 3);
    EXPECT_EQ(back.rgb, image.rgb);

    const RgbImage pair = side_by_side(RgbImage(2, 3, 10), RgbImage(1, 1, 200), 2);
    ASSERT_EQ(pair.w, 5);
    ASSERT_EQ(pair.h, 3);
    EXPECT_EQ(pair.at(1, 2)[0], 10);
    EXPECT_EQ(pair.at(2, 0)[0], 128) << "gap";
    EXPECT_EQ(pair.at(4, 0)[1], 200);
    EXPECT_EQ(pair.at(4, 1)[2], 128) << "below the shorter picture";

    TempDir dir;
    {
        OutputFile output(dir.file("pair.png"));
        write_png(output, pair);
        output.commit();
    }
    EXPECT_EQ(read_png(read_file(dir.file("pair.png"))).rgb, pair.rgb);
}

TEST(ProgressLineTest, QuietForShortRunsThenRedrawnInPlace)
{
    std::string shown;
    const auto sink = [&](const std::string& text) { shown += text; };

    ProgressLine off(false, 100, sink);
    off.update(50, 5.0);
    off.finish(100, 10.0);
    EXPECT_EQ(shown, "") << "disabled (--quiet, or standard error is no terminal)";

    ProgressLine short_run(true, 100, sink);
    short_run.update(10, 0.5);
    short_run.finish(20, 0.9);
    EXPECT_EQ(shown, "") << "a run under a second shows nothing";

    ProgressLine known(true, 200, sink);
    known.update(25, 1.0);
    known.update(26, 1.1);
    known.update(40, 1.6);
    known.finish(200, 8.0);
    EXPECT_EQ(shown, "\rframe 25 of 200 (12%), 25.0 fps\rframe 40 of 200 (20%), 25.0 fps"
                     "\rframe 200 of 200 (100%), 25.0 fps\n");

    shown.clear();
    ProgressLine unknown(true, std::nullopt, sink);
    unknown.update(1000, 1.0);
    unknown.update(1001, 2.0);
    unknown.finish(1001, 2.0);
    EXPECT_EQ(shown, "\rframe 1000, 1000.0 fps\rframe 1001, 500.5 fps \rframe 1001, 500.5 fps\n")
        << "a shorter line covers the longer one's tail";
}

}  // namespace
