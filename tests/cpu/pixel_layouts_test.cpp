// Every layout through every method and CPU level: each channel of a picture comes out as that
// channel alone does as a plane, and every level gives the plain workers' bytes (for the filter
// methods, the pixel-by-pixel reference's).
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "cpu/plan_rows.h"
#include "cpu/point_sampler.h"
#include "tests/support/cpu_levels.h"
#include "tests/support/frames.h"

namespace {

// A picture of stride x rows pixels of one layout, every sample a guard until written.
struct Picture {
    PixelLayout layout;
    std::int32_t stride;
    std::vector<std::int16_t> samples;

    Picture(PixelLayout l, std::int32_t s, std::int32_t rows)
        : layout(l), stride(s), samples(static_cast<std::size_t>(s) * rows * channel_count(l), kGuard)
    {
    }
    std::int16_t& at(std::int32_t row, std::int32_t column, std::int32_t channel)
    {
        return samples[(static_cast<std::size_t>(row) * stride + column) * channel_count(layout) + channel];
    }
};

// The request's output of `src` into a picture full of guards: by the workers of `level`, or for the
// filter methods by the pixel-by-pixel reference when `level` is empty.
Picture resized(ResizeRequest request, std::optional<CpuLevel> level, const Picture& src, std::int32_t rows)
{
    request.layout = src.layout;
    ResamplePlan plan{};
    build_plan(request, plan);
    Picture dst(src.layout, request.stride, rows);
    const std::int16_t* picture =
        src.samples.data() + static_cast<std::ptrdiff_t>(request.clip_top) * request.stride * channel_count(src.layout);
    if (request.method == ResizeMethod::point_sample)
        point_sample_frame(plan, src.samples.data(), dst.samples.data());
    else if (!level && is_filter_method(request.method))
        filter_rows_reference(plan_row_job(plan, 0, request.dst_h, picture, dst.samples.data()));
    else
        EXPECT_EQ(run_plan_rows(level.value_or(CpuLevel::scalar), plan, 0, request.dst_h, picture, dst.samples.data()),
                  level.value_or(CpuLevel::scalar));
    return dst;
}

class PixelLayouts : public EachCpuLevel {};
INSTANTIATE_TEST_SUITE_P(Levels, PixelLayouts, every_cpu_level(), cpu_level_test_name);

TEST_P(PixelLayouts, EachChannelIsResizedAsAPlaneAtEveryLevel)
{
    std::mt19937 rng(3201);
    auto side = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (int trial = 0; trial < 120; ++trial) {
        const auto method = static_cast<ResizeMethod>(trial % 4);
        const std::int32_t src_w = side(1, trial % 8 == 0 ? 700 : 90), src_h = side(1, 60);
        // Area averaging reduces; the filter methods reach from an eighth to twice the size.
        const bool reduce = method == ResizeMethod::area_average || side(0, 1) == 0;
        const std::int32_t dst_w = reduce ? side(std::max(1, src_w >> 3), src_w) : side(src_w, 2 * src_w);
        const std::int32_t dst_h = reduce ? side(std::max(1, src_h >> 3), src_h) : side(src_h, 2 * src_h);
        const std::int32_t clip_left = side(0, 5), clip_top = side(0, 3);
        const std::int32_t stride = std::max(src_w + clip_left, dst_w) + side(0, 9);
        const std::int32_t rows = std::max(src_h + clip_top, dst_h) + 1;
        const ResizeRequest request{src_w, src_h, dst_w, dst_h, stride, clip_left, clip_top, method, 32, 1, 0, PixelLayout::editor_frame};

        Picture rgba(PixelLayout::rgba, stride, rows);
        for (std::int16_t& sample : rgba.samples)
            sample = static_cast<std::int16_t>(trial % 5 == 0 ? (side(0, 1) ? 32767 : -32768) : side(-32768, 32767));
        // Each channel alone, resized by the references, makes the expected picture of each layout.
        std::vector<Picture> expected;
        for (PixelLayout layout : {PixelLayout::plane, PixelLayout::editor_frame, PixelLayout::rgba})
            expected.emplace_back(layout, stride, rows);
        for (std::int32_t c = 0; c < 4; ++c) {
            Picture plane(PixelLayout::plane, stride, rows);
            for (std::int32_t i = 0; i < rows; ++i)
                for (std::int32_t j = 0; j < stride; ++j) plane.at(i, j, 0) = rgba.at(i, j, c);
            const Picture out = resized(request, std::nullopt, plane, rows);
            for (Picture& picture : expected)
                if (c < channel_count(picture.layout))
                    for (std::int32_t i = 0; i < rows; ++i)
                        for (std::int32_t j = 0; j < stride; ++j)
                            picture.at(i, j, c) = out.samples[static_cast<std::size_t>(i) * stride + j];
        }
        for (const Picture& want : expected) {
            Picture src(want.layout, stride, rows);
            for (std::int32_t i = 0; i < rows; ++i)
                for (std::int32_t j = 0; j < stride; ++j)
                    for (std::int32_t c = 0; c < channel_count(want.layout); ++c) src.at(i, j, c) = rgba.at(i, j, c);
            const Picture got = resized(request, GetParam(), src, rows);
            const auto mismatch = std::mismatch(want.samples.begin(), want.samples.end(), got.samples.begin());
            ASSERT_TRUE(mismatch.first == want.samples.end())
                << "method " << static_cast<int>(method) << ", layout " << static_cast<int>(want.layout) << ", "
                << src_w << "x" << src_h << " -> " << dst_w << "x" << dst_h << ": first difference at sample "
                << mismatch.first - want.samples.begin();
        }
    }
}

// Planes wider than a run of intermediates at every level (a run's pairs start anew, and the last
// run's words past its whole registers take the plain way), reducing and enlarging.
TEST_P(PixelLayouts, WidePlanesMatchTheReferenceAtEveryLevel)
{
    std::mt19937 rng(77);
    for (const auto& [method, src_w, dst_w, src_h, dst_h] :
         {std::tuple{ResizeMethod::bicubic, 4501, 2999, 9, 6}, std::tuple{ResizeMethod::lanczos3, 4501, 6007, 5, 11}}) {
        const std::int32_t stride = std::max(src_w + 1, dst_w) + 3, rows = std::max(src_h + 2, dst_h) + 1;
        const ResizeRequest request{src_w, src_h, dst_w, dst_h, stride, 1, 2, method, 32, 1, 0, PixelLayout::plane};
        Picture src(PixelLayout::plane, stride, rows);
        for (std::int16_t& sample : src.samples) sample = static_cast<std::int16_t>(rng());
        EXPECT_EQ(resized(request, GetParam(), src, rows).samples, resized(request, std::nullopt, src, rows).samples)
            << src_w << " -> " << dst_w;
    }
}

}  // namespace
