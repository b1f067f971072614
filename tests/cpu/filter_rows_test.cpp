// Bicubic and Lanczos-3 on the CPU: the row worker against the reference, both against rows worked
// out by hand, and the reference against the same filter evaluated in double.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cpu/plan_rows.h"
#include "plan/filter_tables.h"
#include "tests/support/cpu_levels.h"
#include "tests/support/frames.h"

namespace {

constexpr ResizeMethod kFilterMethods[] = {ResizeMethod::bicubic, ResizeMethod::lanczos3};

ResizeRequest filter_request(ResizeMethod method, std::int32_t src_w, std::int32_t src_h, std::int32_t dst_w,
                             std::int32_t dst_h, std::int32_t stride, std::int32_t clip_left = 0,
                             std::int32_t clip_top = 0)
{
    return ResizeRequest{src_w, src_h, dst_w, dst_h, stride, clip_left, clip_top, method, 32, 1, 0, PixelLayout::editor_frame};
}

// The filter of `plan` in double over the clipped picture of `src`: the window weights of
// filter_window, no rounding before the result. Channel c of output (i, j).
struct DoubleFilter {
    std::vector<FilterWindow> rows, columns;
    DoubleFilter(const ResizeRequest& r)
    {
        for (std::int32_t i = 0; i < r.dst_h; ++i) rows.push_back(filter_window(r.method, r.dst_h, r.src_h, i));
        for (std::int32_t j = 0; j < r.dst_w; ++j) columns.push_back(filter_window(r.method, r.dst_w, r.src_w, j));
    }
    // Also the bound of plan/arithmetic.h for the pixel (for channel c).
    double value(const ResamplePlan& plan, const GuardedFrame& src, std::int32_t i, std::int32_t j, int c,
                 double* bound) const
    {
        const ResizeRequest& r = plan.request;
        const double step_x = std::ldexp(1.0, -plan.filter.columns.weight_bits);
        const double step_y = std::ldexp(1.0, -plan.filter.rows.weight_bits);
        const FilterWindow& wy = rows[i];
        const FilterWindow& wx = columns[j];
        auto at = [&](std::int32_t k, std::int32_t n) {
            const PIXEL_YC& p = src.at(r.clip_top + k, r.clip_left + n);
            return static_cast<double>(c == 0 ? p.y : c == 1 ? p.cb : p.cr);
        };
        double sum = 0, variation_x = 0, variation_y = 0, previous = 0, magnitude_x = 0;
        for (std::size_t t = 0; t < wx.weight.size(); ++t) {
            double column = 0, variation = 0;
            for (std::size_t u = 0; u < wy.weight.size(); ++u) {
                column += wy.weight[u] * at(wy.first + static_cast<std::int32_t>(u), wx.first + static_cast<std::int32_t>(t));
                if (u > 0)
                    variation += std::fabs(at(wy.first + static_cast<std::int32_t>(u), wx.first + static_cast<std::int32_t>(t)) -
                                           at(wy.first + static_cast<std::int32_t>(u) - 1, wx.first + static_cast<std::int32_t>(t)));
            }
            sum += wx.weight[t] * column;
            variation_y = std::max(variation_y, variation);
            if (t > 0) variation_x += std::fabs(column - previous);
            previous = column;
            magnitude_x += std::fabs(wx.weight[t]) + step_x;  // a weight moves by at most 2^-b
        }
        *bound = 0.5 + step_x / 2 * variation_x + magnitude_x * (0.125 + step_y / 2 * variation_y) + 1e-9;
        return sum;
    }
};

enum class Picture { gradient, edges, noise, bars, alternating };

std::int16_t picture_value(Picture picture, std::int32_t k, std::int32_t n, int c, std::mt19937& rng)
{
    const int high = c == 0 ? 4096 : 2048, low = c == 0 ? 0 : -2048;
    switch (picture) {
    case Picture::gradient: return static_cast<std::int16_t>(low + (k * 37 + n * 23 + c * 500) % (high - low));
    case Picture::edges: return static_cast<std::int16_t>(((k / 7 + n / 5) % 2) ? high : low);
    case Picture::noise: return static_cast<std::int16_t>(std::uniform_int_distribution<int>(low, high)(rng));
    case Picture::bars: return static_cast<std::int16_t>((n / 16) % 2 ? high - (k % 64) * 8 : low + 100 * (k % 3));
    case Picture::alternating: return static_cast<std::int16_t>((k + n) % 2 ? high : low);
    }
    return 0;
}

void fill_picture(GuardedFrame& frame, Picture picture, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    for (std::int32_t k = 0; k < frame.max_h; ++k)
        for (std::int32_t n = 0; n < frame.max_w; ++n)
            frame.at(k, n) = PIXEL_YC{picture_value(picture, k, n, 0, rng), picture_value(picture, k, n, 1, rng),
                                      picture_value(picture, k, n, 2, rng)};
}

// The row worker at each level.
class FilterRowsAtLevel : public EachCpuLevel {};
INSTANTIATE_TEST_SUITE_P(Levels, FilterRowsAtLevel, every_cpu_level(), cpu_level_test_name);

// The row worker gives the reference's bytes (a vector level the scalar worker's, which the scalar
// level checks against the reference), and writes nothing outside the output picture (its columns
// past dst_w keep their guards), on random sizes both ways (to an eighth and to three times), crops,
// strides above the width, one-row and one-column outputs, and values over the whole 16-bit range.
TEST_P(FilterRowsAtLevel, MatchesTheReference)
{
    const CpuLevel level = GetParam();
    std::mt19937 rng(77);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (int trial = 0; trial < 300; ++trial) {
        const ResizeMethod method = kFilterMethods[trial % 2];
        const std::int32_t src_w = pick(1, trial % 10 == 0 ? 1600 : 120), src_h = pick(1, trial % 10 == 0 ? 300 : 90);
        // The frame entry never reduces below an eighth.
        const std::int32_t dst_w = std::max(1, src_w >> 3) + (trial % 7 == 0 ? 0 : pick(0, 3 * src_w));
        const std::int32_t dst_h = std::max(1, src_h >> 3) + (trial % 11 == 0 ? 0 : pick(0, 3 * src_h));
        const std::int32_t clip_left = pick(0, 3), clip_top = pick(0, 3);
        const std::int32_t stride = std::max(dst_w, clip_left + src_w) + pick(0, 5);
        const ResizeRequest request = filter_request(method, src_w, src_h, dst_w, dst_h, stride, clip_left, clip_top);
        ResamplePlan plan{};
        build_plan(request, plan);
        GuardedFrame src(stride, clip_top + src_h), expected(stride, dst_h), got(stride, dst_h);
        std::mt19937 values(trial);
        fill_random(src, values, trial % 3 == 0 ? -32768 : -2048, trial % 3 == 0 ? 32767 : 4096);
        const PIXEL_YC* picture = src.pixels() + static_cast<std::ptrdiff_t>(clip_top) * stride;
        if (level == CpuLevel::scalar)
            filter_rows_reference(plan_row_job(plan, 0, dst_h, picture, expected.pixels()));
        else
            run_plan_rows(CpuLevel::scalar, plan, 0, dst_h, picture, expected.pixels());
        ASSERT_TRUE(expected.guards_intact());
        // Some runs in two parts, as the device band and the CPU's bands split the rows.
        const std::int32_t split = trial % 4 == 0 ? dst_h / 2 : 0;
        ASSERT_EQ(run_plan_rows(level, plan, 0, split, picture, got.pixels()), level);
        ASSERT_EQ(run_plan_rows(level, plan, split, dst_h - split, picture, got.pixels()), level);
        ASSERT_EQ(first_difference(got, expected), -1) << src_w << "x" << src_h << " -> " << dst_w << "x" << dst_h;
    }
}

// One row of each filter method worked out by hand from the rule alone (output x at source position
// (x + 0.5) x src / dst - 0.5, taps outside the picture on its edge pixel, a reduction's kernel widened
// by the ratio, weights normalised), resized along the columns (src x 1 -> dst x 1) and down the rows
// (1 x src -> 1 x dst). S is the sum of weight x value. Along the columns, the vertical pass keeps
// 4 x value (a single weight of 1, saturated to 16 bits: 32767 holds 8191.75) and the store rounds S
// half up; down the rows, the vertical pass rounds S to a quarter first (half up), so an S of 859.375
// stores 859 along and 860 down. Cb alternates 32767 and -32768: along, the intermediates saturate at
// 8191.75 and -8192 before the filter's overshoot (output 0 of bicubic 4 -> 8:
// (137 x 8191.75 + 9 x 8192) / 128 = 9343.7, stores 9344); down, S saturates first. Cr is -2048
// throughout and stays so.
struct HandRow {
    ResizeMethod method;
    std::vector<std::int16_t> y, cb;              // the source
    std::vector<std::int16_t> y_along, cb_along;  // src x 1 -> dst x 1
    std::vector<std::int16_t> y_down, cb_down;    // 1 x src -> 1 x dst
};
const HandRow kHandRows[] = {
    // Bicubic (Keys, a = -0.5) weighs 111, 29, -9, -3 / 128 at distances 0.25, 0.75, 1.25, 1.75.
    // 4 -> 8: output j at j / 2 - 0.25; output 0 reads sources -2 .. 1 (-3, 29, 111, -9), the first
    // three on source 0: (137, -9); outputs 1 .. 3: (102, 29, -3), (26, 111, -9), (-9, 111, 29, -3);
    // 4 .. 7 mirror them. S0 = (137 x 1000 - 9 x 3000) / 128 = 859.375.
    {ResizeMethod::bicubic, {1000, 3000, 2000, 0}, {32767, -32768, 32767, -32768},
     {859, 1430, 2664, 2984, 2391, 1523, 383, -141}, {9344, 4480, -6016, -5632, 5632, 6016, -4480, -9344},
     {860, 1430, 2664, 2985, 2391, 1524, 383, -140}, {8192, 8192, -8192, -8192, 8192, 8192, -8192, -8192}},
    // 8 -> 4: output j at 2j + 0.5, the kernel widened twice: sources at 0.5 .. 3.5 weigh the same
    // eight numbers over 256. Output 0 reads -3 .. 4: (128, 111, 29, -9, -3), output 1 reads -1 .. 6:
    // (-12, 29, 111, 111, 29, -9, -3); 2 and 3 mirror them. S0 = 2021.484375, a quarter 2021.5 down.
    {ResizeMethod::bicubic,
     {1000, 3000, 2000, 0, 500, 4000, 4000, 100},
     {32767, -32768, 32767, -32768, 32767, -32768, 32767, -32768},
     {2021, 1029, 2294, 2220}, {1664, -192, 192, -1664},
     {2022, 1029, 2294, 2220}, {6656, -768, 768, -6656}},
    // Lanczos-3, sinc(x) sinc(x / 3), at 0.25, 0.75, 1.25, 1.75, 2.25, 2.75: 0.890067, 0.270190,
    // -0.132871, -0.067791, 0.030021, 0.007356 (every window adds up to 0.996972). 4 -> 8: output 0
    // reads -3 .. 2, source 0 taking the first four: (1.099821, -0.132871, 0.030021); outputs 1 .. 3:
    // (0.787217, 0.270190, -0.067791, 0.007356), (0.209754, 0.890067, -0.132871, 0.030021),
    // (-0.102850, 0.890067, 0.270190, -0.060435); normalised, and in 14 bits (1.103162 does not fit
    // 15) by rounding the running sums: (18074, -2183, 493), (12937, 4440, -1114, 121),
    // (3447, 14627, -2183, 493), (-1690, 14627, 4440, -993); 4 .. 7 mirror them.
    // S0 = (18074 x 1000 - 2183 x 3000 + 493 x 2000) / 16384 = 763.61; S6 = 345.398, a quarter 345.5.
    {ResizeMethod::lanczos3, {1000, 3000, 2000, 0}, {32767, -32768, 32767, -32768},
     {764, 1467, 2622, 3117, 2538, 1416, 345, -176}, {10375, 3631, -6928, -5442, 5442, 6928, -3631, -10375},
     {764, 1467, 2622, 3117, 2538, 1416, 346, -176}, {8192, 8192, -8192, -8192, 8192, 8192, -8192, -8192}},
};

// The Y, then Cb, then Cr of every pixel of a frame (guards past the picture too).
std::vector<int> channels_of(const GuardedFrame& frame)
{
    std::vector<int> values;
    for (const auto member : {&PIXEL_YC::y, &PIXEL_YC::cb, &PIXEL_YC::cr})
        for (std::int32_t k = 0; k < frame.max_w * frame.max_h; ++k) values.push_back(frame.pixels()[k].*member);
    return values;
}

TEST_P(FilterRowsAtLevel, GivesTheRowsWorkedOutByHand)
{
    for (const HandRow& row : kHandRows)
        for (bool along : {true, false}) {
            const std::int32_t src = static_cast<std::int32_t>(row.y.size());
            const std::int32_t dst = static_cast<std::int32_t>(row.y_along.size());
            SCOPED_TRACE(std::to_string(src) + " -> " + std::to_string(dst) + (along ? " along" : " down"));
            const ResizeRequest request = along ? filter_request(row.method, src, 1, dst, 1, std::max(src, dst))
                                                : filter_request(row.method, 1, src, 1, dst, 1);
            ResamplePlan plan{};
            build_plan(request, plan);
            GuardedFrame source(request.stride, request.src_h), expected(request.stride, request.dst_h),
                reference = expected, got = expected;
            // One row, or one column of stride 1: pixel k either way.
            for (std::int32_t k = 0; k < src; ++k) source.pixels()[k] = PIXEL_YC{row.y[k], row.cb[k], -2048};
            for (std::int32_t k = 0; k < dst; ++k)
                expected.pixels()[k] = along ? PIXEL_YC{row.y_along[k], row.cb_along[k], -2048}
                                             : PIXEL_YC{row.y_down[k], row.cb_down[k], -2048};
            filter_rows_reference(plan_row_job(plan, 0, request.dst_h, source.pixels(), reference.pixels()));
            run_plan_rows(GetParam(), plan, 0, request.dst_h, source.pixels(), got.pixels());
            EXPECT_EQ(channels_of(reference), channels_of(expected));
            EXPECT_EQ(channels_of(got), channels_of(expected));
            EXPECT_TRUE(reference.guards_intact() && got.guards_intact());
        }
}

// Within the editor's ranges every output is within 1 of the filter in double on gradients, edges,
// noise and bars, and within the rule's bound on values that alternate from pixel to pixel.
// The workers filter a run of outputs from one buffer of source columns on their stack: every run
// cut must fit that room, however wide the windows (a reduction to an eighth) and however long the row.
TEST(FilterRows, EveryRunFitsItsRoom)
{
    for (ResizeMethod method : kFilterMethods)
        for (const std::int32_t src_w : {8, 500, 4096, 8192})
            for (const std::int32_t dst_w : {src_w / 8, src_w / 3 + 1, src_w - 1, src_w * 2}) {
                ResamplePlan plan{};
                build_plan(filter_request(method, src_w, 1, dst_w, 1, std::max(src_w, dst_w)), plan);
                const FilterTaps columns = plan.filter.columns.view();
                for (const std::int32_t room : {256, 512, 1024})
                    for (std::int32_t j0 = 0; j0 < dst_w;) {
                        const std::int32_t j1 = filter_run_end(columns, dst_w, j0, room);
                        ASSERT_GT(j1, j0);
                        ASSERT_LE(columns.first[j1 - 1] + columns.taps - columns.first[j0], room)
                            << src_w << " -> " << dst_w << ", outputs " << j0 << ".." << j1 - 1;
                        j0 = j1;
                    }
            }
}

TEST(FilterRows, StaysWithinTheBoundOfTheDoubleFilter)
{
    const std::int32_t sizes[][4] = {{64, 48, 160, 120}, {160, 120, 64, 48}, {90, 60, 37, 29},  {37, 29, 90, 60},
                                     {200, 30, 25, 30},  {30, 200, 30, 25},  {17, 13, 100, 91}, {120, 80, 119, 79}};
    for (ResizeMethod method : kFilterMethods)
        for (const auto& s : sizes)
            for (Picture picture : {Picture::gradient, Picture::edges, Picture::noise, Picture::bars, Picture::alternating}) {
                const ResizeRequest request = filter_request(method, s[0], s[1], s[2], s[3], std::max(s[0], s[2]));
                ResamplePlan plan{};
                build_plan(request, plan);
                GuardedFrame src(request.stride, s[1]), got(request.stride, s[3]);
                fill_picture(src, picture, 5);
                filter_rows_reference(plan_row_job(plan, 0, s[3], src.pixels(), got.pixels()));
                const DoubleFilter filter(request);
                double worst = 0;
                for (std::int32_t i = 0; i < s[3]; ++i)
                    for (std::int32_t j = 0; j < s[2]; ++j)
                        for (int c = 0; c < 3; ++c) {
                            double bound = 0;
                            const double exact = filter.value(plan, src, i, j, c, &bound);
                            const PIXEL_YC& p = got.at(i, j);
                            const double error = std::fabs((c == 0 ? p.y : c == 1 ? p.cb : p.cr) - exact);
                            ASSERT_LE(error, bound) << i << "," << j;
                            worst = std::max(worst, error);
                        }
                if (picture != Picture::alternating) {
                    EXPECT_LE(worst, 1.0) << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3] << " picture " << static_cast<int>(picture) << " method " << static_cast<int>(method);
                }
            }
}

// A constant picture stays exactly constant within the intermediate's quarters, -8192 to 8191.75
// (twice the editor's ranges), and at 8192, which saturates to 8191.75 and rounds back; beyond, the
// intermediate saturates, nothing wraps around, and the picture comes out as -8192 or 8192.
TEST(FilterRows, KeepsAConstantPictureAndSaturatesBeyond)
{
    std::mt19937 rng(3);
    for (int trial = 0; trial < 60; ++trial) {
        const ResizeMethod method = kFilterMethods[trial % 2];
        const std::int32_t src_w = 1 + static_cast<std::int32_t>(rng() % 90), src_h = 1 + static_cast<std::int32_t>(rng() % 60);
        const std::int32_t dst_w = std::max(1, src_w / 8) + static_cast<std::int32_t>(rng() % (3 * src_w));
        const std::int32_t dst_h = std::max(1, src_h / 8) + static_cast<std::int32_t>(rng() % (3 * src_h));
        ResamplePlan plan{};
        build_plan(filter_request(method, src_w, src_h, dst_w, dst_h, std::max(src_w, dst_w)), plan);
        for (std::int16_t value : {-8192, -2048, 0, 1, 4096, 8191, 8192, 8193, -8193, 32767, -32768}) {
            GuardedFrame src(plan.request.stride, src_h), got(plan.request.stride, dst_h);
            std::fill(src.pixels(), src.pixels() + src.max_w * src_h, PIXEL_YC{value, value, value});
            filter_rows_reference(plan_row_job(plan, 0, dst_h, src.pixels(), got.pixels()));
            const std::int16_t expected = static_cast<std::int16_t>(std::clamp<int>(value, -8192, 8192));
            for (std::int32_t i = 0; i < dst_h; ++i)
                for (std::int32_t j = 0; j < dst_w; ++j)
                    ASSERT_TRUE(same_pixel(got.at(i, j), {expected, expected, expected})) << value;
        }
    }
}

}  // namespace
