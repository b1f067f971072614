// Bicubic and Lanczos-3 on the CPU: the row worker against the reference, and both against the same
// filter evaluated in double.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "cpu/filter_rows.h"
#include "plan/filter_tables.h"
#include "tests/support/frames.h"

namespace {

constexpr ResizeMethod kFilterMethods[] = {ResizeMethod::bicubic, ResizeMethod::lanczos3};

ResizeRequest filter_request(ResizeMethod method, std::int32_t src_w, std::int32_t src_h, std::int32_t dst_w,
                             std::int32_t dst_h, std::int32_t stride, std::int32_t clip_left = 0,
                             std::int32_t clip_top = 0)
{
    return ResizeRequest{src_w, src_h, dst_w, dst_h, stride, clip_left, clip_top, method, 32, 1, 0};
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
        const double step_x = std::ldexp(1.0, -plan.columns.filter_weight_bits);
        const double step_y = std::ldexp(1.0, -plan.rows.filter_weight_bits);
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

// The row worker at every level gives the reference's bytes, and none writes outside the output
// picture (its columns past dst_w keep their guards), on random sizes both ways (to an eighth and to
// three times), crops, strides above the width, one-row and one-column outputs, and values over the
// whole 16-bit range.
TEST(FilterRows, EveryLevelMatchesTheReference)
{
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
        GuardedFrame src(stride, clip_top + src_h), expected(stride, dst_h);
        std::mt19937 values(trial);
        fill_random(src, values, trial % 3 == 0 ? -32768 : -2048, trial % 3 == 0 ? 32767 : 4096);
        const PIXEL_YC* picture = src.pixels() + static_cast<std::ptrdiff_t>(clip_top) * stride;
        filter_rows_reference(plan, 0, dst_h, picture, expected.pixels());
        ASSERT_TRUE(expected.guards_intact());
        for (CpuLevel level : {CpuLevel::scalar, CpuLevel::sse2, CpuLevel::avx2, CpuLevel::avx512}) {
            if (level > best_cpu_level()) continue;
            GuardedFrame got(stride, dst_h);
            // Some runs in two parts, as the device band and the CPU's bands split the rows.
            const std::int32_t split = trial % 4 == 0 ? dst_h / 2 : 0;
            ASSERT_EQ(filter_rows_at(level, filter_job(plan, 0, split, picture, got.pixels())), level);
            ASSERT_EQ(filter_rows_at(level, filter_job(plan, split, dst_h - split, picture, got.pixels())), level);
            ASSERT_EQ(first_difference(got, expected), -1)
                << cpu_level_name(level) << ": " << src_w << "x" << src_h << " -> " << dst_w << "x" << dst_h;
        }
    }
}

// Within the editor's ranges every output is within 1 of the filter in double on gradients, edges,
// noise and bars, and within the rule's bound on values that alternate from pixel to pixel.
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
                filter_rows_reference(plan, 0, s[3], src.pixels(), got.pixels());
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

// A constant picture stays exactly constant wherever the intermediate holds it (|value| < 8192,
// twice the editor's ranges); beyond, the intermediate saturates and nothing wraps around.
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
        for (std::int16_t value : {-8192, -2048, 0, 1, 4096, 8191, 32767, -32768}) {
            GuardedFrame src(plan.request.stride, src_h), got(plan.request.stride, dst_h);
            std::fill(src.pixels(), src.pixels() + src.max_w * src_h, PIXEL_YC{value, value, value});
            filter_rows_reference(plan, 0, dst_h, src.pixels(), got.pixels());
            const std::int16_t expected = static_cast<std::int16_t>(std::clamp<int>(value, -8192, 8192));
            for (std::int32_t i = 0; i < dst_h; ++i)
                for (std::int32_t j = 0; j < dst_w; ++j)
                    ASSERT_TRUE(same_pixel(got.at(i, j), {expected, expected, expected})) << value;
        }
    }
}

}  // namespace
