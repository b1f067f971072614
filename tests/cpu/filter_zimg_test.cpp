// The filter methods beside zimg's resize of the same filters (Catmull-Rom as bicubic with b = 0,
// c = 0.5, Lanczos with 3 taps) and the same centre alignment, on float planes: away from the
// picture's edges, which zimg treats its own way, every output is within 1 of zimg's rounded result.
// The filter benchmark prints the differences (vantreo_filter_bench --differences).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "cpu/plan_rows.h"
#include "host/video/test_pattern.h"
#include "tests/support/frames.h"
#include "tests/support/zimg_reference.h"

namespace {

using zimg_reference::away_from_edges;
using zimg_reference::zimg_resize;

enum class Source { pattern, noise, gradient };

GuardedFrame source_frame(Source source, std::int32_t w, std::int32_t h)
{
    GuardedFrame frame(w, h);
    if (source == Source::pattern) {
        const vantreo_host::Picture picture = vantreo_host::test_pattern_frame(w, h, 17, vantreo_host::kDemoFrames);
        std::copy(picture.pixels.begin(), picture.pixels.end(), frame.pixels());
    } else if (source == Source::noise) {
        std::mt19937 rng(5);
        std::uniform_int_distribution<int> luma(0, 4096), chroma(-2048, 2048);
        for (std::int32_t i = 0; i < w * h; ++i)
            frame.pixels()[i] = PIXEL_YC{static_cast<std::int16_t>(luma(rng)), static_cast<std::int16_t>(chroma(rng)),
                                         static_cast<std::int16_t>(chroma(rng))};
    } else {
        for (std::int32_t k = 0; k < h; ++k)
            for (std::int32_t n = 0; n < w; ++n)
                frame.at(k, n) = PIXEL_YC{static_cast<std::int16_t>(4096 * n / std::max(1, w - 1)),
                                          static_cast<std::int16_t>(-2048 + 4096 * k / std::max(1, h - 1)),
                                          static_cast<std::int16_t>(2048 - 4096 * (n + k) / std::max(1, w + h - 2))};
    }
    return frame;
}

TEST(FilterBesideZimg, WithinOneOfZimgAwayFromTheEdges)
{
    const std::int32_t pairs[][4] = {
        {1920, 1080, 1280, 720}, {1280, 720, 1920, 1080}, {720, 480, 1440, 960}, {1600, 1200, 640, 480},
        {640, 360, 1600, 900},   {1280, 720, 320, 180},   {320, 180, 1280, 720}, {1000, 700, 1440, 1080},
        {1440, 1080, 1000, 700}, {799, 601, 211, 157},    {211, 157, 799, 601},  {1280, 720, 1279, 719},
    };
    const char* const source_names[] = {"pattern", "noise", "gradient"};
    const char* const plane_names[] = {"Y", "Cb", "Cr"};
    for (ResizeMethod method : {ResizeMethod::bicubic, ResizeMethod::lanczos3})
        for (const auto& p : pairs)
            for (Source source : {Source::pattern, Source::noise, Source::gradient}) {
                const ResizeRequest request{p[0], p[1], p[2], p[3], std::max(p[0], p[2]), 0, 0, method, 32, 1, 0, PixelLayout::editor_frame};
                ResamplePlan plan{};
                build_plan(request, plan);
                const GuardedFrame src = source_frame(source, request.stride, p[1]);
                GuardedFrame ours(request.stride, p[3]);
                run_plan_rows(best_cpu_level(), plan, 0, p[3], src.pixels(), ours.pixels());
                for (int c = 0; c < 3; ++c) {
                    auto channel = [c](const PIXEL_YC& pixel) { return c == 0 ? pixel.y : c == 1 ? pixel.cb : pixel.cr; };
                    std::vector<float> plane(static_cast<std::size_t>(p[0]) * p[1]);
                    for (std::int32_t k = 0; k < p[1]; ++k)
                        for (std::int32_t n = 0; n < p[0]; ++n) plane[static_cast<std::size_t>(k) * p[0] + n] = channel(src.at(k, n));
                    const std::vector<float> theirs = zimg_resize(method, plane, p[0], p[1], p[2], p[3]);
                    ASSERT_EQ(theirs.size(), static_cast<std::size_t>(p[2]) * p[3]);
                    double largest = 0;
                    for (std::int32_t i = 0; i < p[3]; ++i)
                        for (std::int32_t j = 0; j < p[2]; ++j) {
                            const double rounded = std::floor(theirs[static_cast<std::size_t>(i) * p[2] + j] + 0.5);
                            if (away_from_edges(method, i, p[3], p[1]) && away_from_edges(method, j, p[2], p[0]))
                                largest = std::max(largest, std::fabs(channel(ours.at(i, j)) - rounded));
                        }
                    EXPECT_LE(largest, 1.0) << p[0] << "x" << p[1] << " -> " << p[2] << "x" << p[3] << " "
                                            << source_names[static_cast<int>(source)] << " " << plane_names[c];
                }
            }
}

}  // namespace
