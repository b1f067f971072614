#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "plan/resample_plan.h"
#include "plan/window_tables.h"
#include "tests/support/area_rules.h"
#include "tests/support/frames.h"

namespace {

TEST(PlanTables, ThreeHalvesSpanCutsEveryThirdRow)
{
    ResamplePlan plan{};
    build_plan(area_request(10, 1080, 10, 720), plan);
    EXPECT_EQ(plan.area.rows.span, 1.5f);
    EXPECT_EQ(plan.area.rows.full_weight, 0.666666686534881591796875f);
    EXPECT_EQ(std::vector<std::int32_t>(plan.area.rows.first.begin(), plan.area.rows.first.begin() + 5),
              (std::vector<std::int32_t>{0, 1, 3, 4, 6}));
    EXPECT_EQ(plan.area.rows.first.back(), 1080);
    EXPECT_EQ(std::vector<std::int32_t>(plan.area.rows.last.begin(), plan.area.rows.last.begin() + 5),
              (std::vector<std::int32_t>{1, 2, 4, 5, 7}));
    EXPECT_EQ(plan.area.rows.last.back(), 1079);
    ASSERT_EQ(plan.area.rows.weight.size(), 1080u);
    for (std::size_t k = 0; k < 1080; ++k)
        ASSERT_EQ(plan.area.rows.weight[k], k % 3 == 1 ? 0.3333333432674407958984375f : plan.area.rows.full_weight) << k;
}

TEST(PlanTables, ExactBoundaryLeavesTheSourceRowToTheNextOutputRow)
{
    ResamplePlan plan{};
    build_plan(area_request(10, 1000, 10, 300), plan);
    EXPECT_EQ(plan.area.rows.last[2], 9);
    EXPECT_EQ(plan.area.rows.first[3], 10);
    EXPECT_EQ(plan.area.rows.weight[10], 0.300000011920928955078125f);
    EXPECT_EQ(plan.area.rows.weight[3], 0.09999997913837432861328125f);
    EXPECT_EQ(plan.area.rows.weight[6], 0.1999999582767486572265625f);
}

TEST(PlanTables, LastEntryIsLimitedToThePicture)
{
    ResamplePlan plan{};
    build_plan(area_request(10, 11, 10, 7), plan);
    EXPECT_EQ(plan.area.rows.span, 1.57142865657806396484375f);
    EXPECT_EQ(plan.area.rows.first, (std::vector<std::int32_t>{0, 1, 3, 4, 6, 7, 9, 11}));
    EXPECT_EQ(plan.area.rows.last, (std::vector<std::int32_t>{1, 3, 4, 6, 7, 9, 10}));
    EXPECT_EQ(plan.area.rows.weight[1], 0.3636364042758941650390625f);
}

TEST(PlanTables, SpansAreReciprocalsOfRoundedScales)
{
    ResamplePlan plan{};
    build_plan(area_request(7, 10, 2, 10), plan);
    EXPECT_EQ(plan.area.columns.span, 3.4999997615814208984375f);
    EXPECT_EQ(plan.area.columns.full_weight, 0.2857142984867095947265625f);
    EXPECT_EQ(plan.area.columns.first, (std::vector<std::int32_t>{0, 3, 7}));
    EXPECT_EQ(plan.area.columns.last, (std::vector<std::int32_t>{3, 6}));
    for (std::size_t k = 0; k < 7; ++k)
        EXPECT_EQ(plan.area.columns.weight[k], k == 3 ? 0.14285708963871002197265625f : 0.2857142984867095947265625f);

    // Equal sizes: one source index per output, all weights 1.
    for (std::int32_t j = 0; j < 10; ++j) {
        EXPECT_EQ(plan.area.rows.first[j], j);
        EXPECT_EQ(plan.area.rows.last[j], j);
        EXPECT_EQ(plan.area.rows.weight[j], 1.0f);
    }
}

TEST(PlanTables, ColumnEntriesIncludeTheLeftClip)
{
    ResamplePlan plan{};
    ResizeRequest r = area_request(10, 4, 5, 4);
    r.clip_left = 5;
    build_plan(r, plan);
    EXPECT_EQ(plan.area.columns.span, 2.0f);
    EXPECT_EQ(plan.area.columns.first, (std::vector<std::int32_t>{5, 7, 9, 11, 13, 15}));
    EXPECT_EQ(plan.area.columns.last, (std::vector<std::int32_t>{6, 8, 10, 12, 14}));
    EXPECT_EQ(plan.area.columns.weight, std::vector<float>(10, 0.5f));
}

TEST(PlanTables, WorkSplitAndBlockCounts)
{
    ResamplePlan plan{};
    build_plan(area_request(700, 480, 640, 480, 1600, 256), plan);
    EXPECT_EQ(plan.device_rows, 480);
    EXPECT_EQ(plan.rows_per_thread, 0);
    build_plan(area_request(700, 480, 640, 480, 1600, 0), plan);
    EXPECT_EQ(plan.device_rows, 0);
    EXPECT_EQ(plan.rows_per_thread, 160);
    EXPECT_EQ(plan.grid_blocks, 1);
    build_plan(area_request(10, 1, 10, 1, 1600, 128), plan);
    EXPECT_EQ(plan.device_rows, 1);
    build_plan(area_request(10, 1, 10, 1, 1600, 127), plan);
    EXPECT_EQ(plan.device_rows, 0);
    build_plan(area_request(700, 480, 640, 480, 1600, 128, 32, 3), plan);
    EXPECT_EQ(plan.device_rows, 240);
    EXPECT_EQ(plan.grid_blocks, 4800);
    build_plan(area_request(700, 480, 640, 480, 1600, 128, 33, 3), plan);
    EXPECT_EQ(plan.grid_blocks, 4655);
}

TEST(PlanTables, TablesKeepTheirStorageWhenLargeEnough)
{
    ResamplePlan plan{};
    build_plan(area_request(1600, 1600, 1000, 1000), plan);
    const std::int32_t* first = plan.area.rows.first.data();
    const float* weights = plan.area.columns.weight.data();
    build_plan(area_request(900, 900, 500, 500), plan);
    EXPECT_EQ(plan.area.rows.first.data(), first);
    EXPECT_EQ(plan.area.columns.weight.data(), weights);
    EXPECT_EQ(plan.area.rows.first.size(), 501u);
}

TEST(PlanTables, PointSamplingRequestKeepsTheAreaTables)
{
    ResamplePlan plan{};
    build_plan(area_request(10, 11, 10, 7), plan);
    const std::vector<std::int32_t> rows = plan.area.rows.first;
    ResizeRequest r = area_request(10, 11, 10, 7);
    r.method = ResizeMethod::point_sample;
    build_plan(r, plan);
    EXPECT_EQ(plan.request, r);
    EXPECT_EQ(plan.area.rows.first, rows);
}

// Each output's resolved weights are those of the independent rule, listed from its first source
// index; the least weights are their minimum, for both axes, cropped or not, shrinking or not.
TEST(PlanTables, ResolvedTapWeightsAndLeastWeights)
{
    ResamplePlan plan{};
    const std::int32_t sizes[][4] = {{1440, 1080, 1000, 700}, {11, 7, 11, 7}, {997, 5, 613, 1}, {1600, 3, 1, 2}};
    for (const auto& size : sizes) {
        ResizeRequest r = area_request(size[0], size[1], size[2], size[3], 1610);
        r.clip_left = 7;
        r.window = {0, 0, static_cast<double>(size[0]), 0};  // the picture itself, which is no window
        build_plan(r, plan);
        const AreaCpuAxis cols(size[0], size[2]), rows(size[1], size[3]);
        auto check = [](const AreaCpuAxis& axis, const std::vector<std::int32_t>& start,
                        const std::vector<float>& weights, const std::vector<float>& least) {
            ASSERT_EQ(start.size(), axis.first.size() + 1);
            ASSERT_EQ(least.size(), axis.first.size());
            for (std::size_t j = 0; j < axis.first.size(); ++j) {
                float smallest = 1.0f;
                for (std::int32_t k = axis.first[j]; k <= axis.last[j]; ++k) {
                    ASSERT_EQ(weights[start[j] + k - axis.first[j]], axis.weight(k, static_cast<std::int32_t>(j)))
                        << j << "," << k;
                    smallest = std::min(smallest, axis.weight(k, static_cast<std::int32_t>(j)));
                }
                ASSERT_EQ(start[j + 1] - start[j], axis.last[j] - axis.first[j] + 1) << j;
                ASSERT_EQ(least[j], smallest) << j;
            }
            EXPECT_EQ(static_cast<std::size_t>(start.back()), weights.size());
        };
        check(cols, plan.area.columns.tap_start, plan.area.columns.tap_weight, plan.area.columns.least_weight);
        check(rows, plan.area.rows.tap_start, plan.area.rows.tap_weight, plan.area.rows.least_weight);
    }
    // 1440 columns to 1000: a boundary rounded one float step past a source column leaves a sliver.
    build_plan(area_request(1440, 1080, 1000, 700), plan);
    EXPECT_LT(*std::min_element(plan.area.columns.least_weight.begin(), plan.area.columns.least_weight.end()), 0x1p-13f);
}

using Weights = std::vector<float>;
Weights weight_row(const std::vector<float>& table, std::int32_t taps, std::int32_t row)
{
    return Weights(table.begin() + row * taps, table.begin() + (row + 1) * taps);
}

TEST(TapWeights, DenseRowsMatchTheSpans)
{
    const float third = 0.3333333432674407958984375f, two_thirds = 0.666666686534881591796875f;
    std::vector<float> t = tap_weight_rows(1.5f, 3, 720 + 512);
    EXPECT_EQ(weight_row(t, 3, 0), (Weights{two_thirds, third, 0}));
    EXPECT_EQ(weight_row(t, 3, 1), (Weights{third, two_thirds, 0}));
    EXPECT_EQ(weight_row(t, 3, 720), (Weights{two_thirds, third, 0}));

    const float span_1000_300 = 1.0f / static_cast<float>(300.0 / 1000.0);
    t = tap_weight_rows(span_1000_300, 5, 300);
    const float w3 = 0.300000011920928955078125f;
    EXPECT_EQ(weight_row(t, 5, 3), (Weights{w3, w3, w3, 0.099999904632568359375f, 0}));
    EXPECT_EQ(weight_row(t, 5, 1), (Weights{0.20000003278255462646484375f, w3, w3, 0.1999999582767486572265625f, 0}));

    EXPECT_EQ(weight_row(tap_weight_rows(2.0f, 4, 5), 4, 3), (Weights{0.5f, 0.5f, 0, 0}));
    EXPECT_EQ(weight_row(tap_weight_rows(1.0f, 3, 9), 3, 8), (Weights{1, 0, 0}));

    const float span_7_1 = 1.0f / static_cast<float>(1.0 / 7.0);
    EXPECT_EQ(span_7_1, 6.999999523162841796875f);
    const float seventh = 0.14285714924335479736328125f;
    EXPECT_EQ(weight_row(tap_weight_rows(span_7_1, 8, 1), 8, 0),
              (Weights{seventh, seventh, seventh, seventh, seventh, seventh, 0.14285708963871002197265625f, 0}));

    // 11 rows to 7: the last tap of the last row lies one float step past the picture.
    EXPECT_EQ(weight_row(tap_weight_rows(1.57142865657806396484375f, 3, 7), 3, 6),
              (Weights{0.3636361658573150634765625f, 0.63636362552642822265625f,
                       0.0000006068836455597192980349063873291015625f}));
}

// Area taps over fractional windows against each index's coverage in double, both axes: left-sited 4:2:0
// chroma shifts 0.25 (1 - S) down and up, a crop, a fraction, outputs past both edges; the device's alike.
TEST(PlanWindows, AreaTapsAreTheCoverage)
{
    const struct { std::int32_t src, dst; double offset, size; } cases[] = {{960, 640, 0.25 * (1 - 1.5), 960},
        {640, 960, 0.25 * (1 - 2 / 3.0), 640}, {100, 20, 10, 50}, {37, 9, 2.3, 20.7}, {10, 6, -8, 30}};
    for (const auto& c : cases) {
        ResamplePlan plan{};
        build_plan(ResizeRequest{c.src, c.src, c.dst, c.dst, 1600, 3, 0, ResizeMethod::area_average, 32, 1, 0,
                                 PixelLayout::plane, {c.offset, c.offset, c.size, c.size}}, plan);
        const WindowTables device = build_window_tables(plan);
        for (const auto& [axis, windows, clip] : {std::make_tuple(&plan.area.rows, &device.rows, 0),
                                                  std::make_tuple(&plan.area.columns, &device.columns, 3)})
            for (std::int32_t j = 0; j < c.dst; ++j) {
                const double lower = c.offset + j * (c.size / c.dst), upper = c.offset + (j + 1) * (c.size / c.dst);
                std::vector<double> share(c.src);
                for (std::int32_t k = 0; k < c.src; ++k)
                    share[k] = std::max(0.0, std::min({k + 1.0, upper, c.src + 0.0}) - std::max({k + 0.0, lower, 0.0}));
                double total = std::accumulate(share.begin(), share.end(), 0.0);
                if (total == 0) share[lower < 0 ? 0 : c.src - 1] = total = 1;
                const std::int32_t first = axis->first[j] - clip, count = axis->tap_start[j + 1] - axis->tap_start[j];
                const float* weights = &axis->tap_weight[axis->tap_start[j]];
                ASSERT_EQ(std::make_tuple(axis->last[j] - clip, axis->least_weight[j], windows->start[j]),
                          std::make_tuple(first + count - 1, *std::min_element(weights, weights + count), first));
                for (std::int32_t t = -first; t < c.src - first; ++t) {
                    const float weight = t >= 0 && t < count ? weights[t] : 0.0f;
                    ASSERT_FLOAT_EQ(weight, share[first + t] / total) << j << "," << t;
                    ASSERT_EQ(weight > 0, t >= 0 && t < count);
                    ASSERT_TRUE(t < 0 || t >= windows->taps || windows->weight[j * windows->taps + t] == weight);
                }
            }
    }
}

// Lanczos-3 over windows inside the picture, at scale 1 (a centre tap of 1: 14 bits; half a pixel off,
// 15) and reducing by 4: taps weigh the kernel at their distance over the scale, and add up to 2^b.
TEST(PlanWindows, FilterTablesOverWindows)
{
    const double pi = 3.141592653589793;
    auto kernel = [pi](double x) { return x ? 3 * std::sin(pi * x) * std::sin(pi * x / 3) / (pi * pi * x * x) : 1; };
    const struct { int dst; double left, size; int bits; } cases[]{{56, 4, 56, 14}, {56, 4.5, 56, 15}, {8, 16, 32, 15}};
    for (const auto& c : cases) {
        ResamplePlan plan{};
        build_plan(ResizeRequest{64, 64, c.dst, c.dst, 1600, 0, 0, ResizeMethod::lanczos3, 32, 1, 0, PixelLayout::plane,
                                 {c.left, 0, c.size, 0}}, plan);
        const FilterAxis& axis = plan.filter.columns;
        EXPECT_EQ(axis.weight_bits, c.bits);
        const double scale = std::max(c.size / c.dst, 1.0);
        for (std::int32_t j = 0; j < c.dst; ++j) {
            const auto w = axis.weight.begin() + j * axis.taps;
            EXPECT_EQ(std::accumulate(w, w + axis.taps, 0), 1 << c.bits) << j;
            const double centre = c.left + (j + 0.5) * (c.size / c.dst) - 0.5, first = axis.first[j];
            double total = 0;
            for (std::int32_t t = 0; t < axis.taps; ++t) total += kernel((first + t - centre) / scale);
            for (std::int32_t t = 0; t < axis.taps; ++t)
                EXPECT_NEAR(w[t], kernel((first + t - centre) / scale) / total * (1 << c.bits), 1.0) << j;
        }
    }
}

}  // namespace
