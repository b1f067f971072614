#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "cpu/plan_rows.h"
#include "plan/arithmetic.h"
#include "tests/support/cpu_levels.h"
#include "tests/support/frames.h"
#include "tests/support/reference.h"

namespace {

ResamplePlan cpu_plan(std::int32_t src_w, std::int32_t src_h, std::int32_t dst_w, std::int32_t dst_h, std::int32_t stride,
                      std::int32_t clip_left = 0, std::int32_t clip_top = 0)
{
    ResizeRequest r = area_request(src_w, src_h, dst_w, dst_h, stride, 0, 32, 1);
    r.clip_left = clip_left;
    r.clip_top = clip_top;
    ResamplePlan plan{};
    build_plan(r, plan);
    return plan;
}

TEST(StoreRule, AddsOneHalfTruncatesTowardZeroAndSaturates)
{
    EXPECT_EQ(store_channel(2.5f), 3);
    EXPECT_EQ(store_channel(-2.5f), -2);
    EXPECT_EQ(store_channel(-0.5f), 0);
    EXPECT_EQ(store_channel(-3.7f), -3);
    EXPECT_EQ(store_channel(-5.0f), -4);
    EXPECT_EQ(store_channel(32766.6f), 32767);
    EXPECT_EQ(store_channel(32767.5f), 32767);  // the low 16 bits would give -32768
    EXPECT_EQ(store_channel(-32769.0f), -32768);
    EXPECT_EQ(store_channel_single(-2.5f), -2);
    EXPECT_EQ(store_channel_single(32768.0f), 32767);
    // Where the half's addition rounds: one half minus 2^-25 plus 0.5 is 1 in single precision only.
    EXPECT_EQ(store_channel(0.49999997f), 0);
    EXPECT_EQ(store_channel_single(0.49999997f), 1);
}

TEST(TapRules, CpuRoundsEachTapOnceFromDoubleAndTheDeviceFuses)
{
    // 3 x single(1/3) is 1 + 2^-25: a fused multiply-add keeps the 2^-25, an unfused one loses it.
    const float third = 1.0f / 3.0f;
    EXPECT_EQ(device_accumulate(-1.0f, 3.0f, third), std::ldexp(1.0f, -25));
    EXPECT_EQ(accumulate(-1.0f, 3, third), std::ldexp(1.0f, -25));
    EXPECT_EQ(span_weight(0.25f, 1.0f, true), 0.75f);
    EXPECT_EQ(span_weight(0.25f, 1.0f, false), 0.25f);
    EXPECT_EQ(span_weight(1.0f, 1.0f, true), 1.0f);
}

// The worker's rules at every level.
class AreaRows : public EachCpuLevel {};
INSTANTIATE_TEST_SUITE_P(Levels, AreaRows, every_cpu_level(), cpu_level_test_name);

TEST_P(AreaRows, ThreeColumnsToTwo)
{
    GuardedFrame src(3, 1), dst(3, 1);
    src.at(0, 0) = PIXEL_YC{30, -30, 0};
    src.at(0, 1) = PIXEL_YC{60, -60, 0};
    src.at(0, 2) = PIXEL_YC{90, -90, 0};
    ResamplePlan plan = cpu_plan(3, 1, 2, 1, 3);
    run_rows(plan, 0, 1, src.pixels(), dst.pixels());
    EXPECT_EQ(dst.at(0, 0).y, 40);
    EXPECT_EQ(dst.at(0, 1).y, 80);
    EXPECT_EQ(dst.at(0, 0).cb, -39);
    EXPECT_EQ(dst.at(0, 1).cb, -79);
    EXPECT_EQ(dst.at(0, 2).y, kGuard);
    EXPECT_TRUE(dst.guards_intact());
}

TEST_P(AreaRows, EqualSizesCopyWithNegativeValuesMovedUpByOne)
{
    GuardedFrame src = random_frame(20, 9, 7), dst(20, 9);
    ResamplePlan plan = cpu_plan(17, 9, 17, 9, 20);
    run_rows(plan, 0, 9, src.pixels(), dst.pixels());
    auto expected = [](std::int16_t v) { return v < 0 ? v + 1 : v; };
    for (std::int32_t row = 0; row < 9; ++row)
        for (std::int32_t col = 0; col < 17; ++col) {
            ASSERT_EQ(dst.at(row, col).y, expected(src.at(row, col).y));
            ASSERT_EQ(dst.at(row, col).cr, expected(src.at(row, col).cr));
        }
}

TEST_P(AreaRows, WritesOnlyTheAskedRowsAndColumns)
{
    GuardedFrame src = random_frame(64, 40, 3), dst(64, 40);
    ResamplePlan plan = cpu_plan(60, 40, 25, 17, 64);
    run_rows(plan, 5, 4, src.pixels(), dst.pixels());
    run_rows(plan, 12, 0, src.pixels(), dst.pixels());
    run_rows(plan, 13, -3, src.pixels(), dst.pixels());
    for (std::int32_t row = 0; row < 40; ++row)
        for (std::int32_t col = 0; col < 64; ++col) {
            const bool written = row >= 5 && row < 9 && col < 25;
            ASSERT_EQ(dst.at(row, col).y == kGuard && dst.at(row, col).cb == kGuard, !written) << row << "," << col;
        }
    EXPECT_TRUE(dst.guards_intact());
}

TEST_P(AreaRows, EmptySpansStoreZero)
{
    GuardedFrame src = random_frame(4, 4, 5), dst(4, 4);
    ResamplePlan plan = cpu_plan(4, 4, 2, 2, 4);
    plan.area.rows.last[1] = plan.area.rows.first[1] - 1;
    plan.area.columns.last[0] = plan.area.columns.first[0] - 1;
    run_rows(plan, 0, 2, src.pixels(), dst.pixels());
    EXPECT_TRUE(same_pixel(dst.at(1, 1), PIXEL_YC{0, 0, 0}));
    EXPECT_TRUE(same_pixel(dst.at(0, 0), PIXEL_YC{0, 0, 0}));
    EXPECT_FALSE(same_pixel(dst.at(0, 1), PIXEL_YC{0, 0, 0}));
}

TEST_P(AreaRows, UniformMaximumAreaDoesNotWrap)
{
    // The weights of the last column add up to slightly more than 1 here.
    GuardedFrame src(1597, 3), dst(1597, 3);
    for (auto& p : src.storage) p = PIXEL_YC{32767, -32768, 32767};
    ResamplePlan plan = cpu_plan(1597, 3, 533, 2, 1597);
    run_rows(plan, 0, 2, src.pixels(), dst.pixels());
    for (std::int32_t col = 0; col < 533; ++col) {
        ASSERT_GE(dst.at(1, col).y, 32766) << col;
        ASSERT_LE(dst.at(1, col).cb, -32766) << col;
    }
    EXPECT_EQ(dst.at(1, 532).y, 32767);
}

// Every source column of a 16 -> 16 plan weighs 0.5 - 2^-25 (set by hand): a value of 1 sums to that
// weight and stores 0, as the half is added in double (in single precision the sum would round to 1).
TEST_P(AreaRows, AddsTheHalfInDoubleBeforeTruncating)
{
    ResamplePlan plan = cpu_plan(16, 1, 16, 1, 16);
    const float weight = 0.49999997f;
    plan.area.columns.full_weight = weight;
    std::fill(plan.area.columns.weight.begin(), plan.area.columns.weight.end(), weight);
    resolve_tap_weights(plan);
    GuardedFrame src(16, 1), dst(16, 1);
    const std::int16_t values[16] = {1, -1, 3, -3, 32767, -32768, 32765, 0, 2, 5, -5, 7, 101, -101, 4095, 16383};
    for (std::int32_t n = 0; n < 16; ++n) src.at(0, n) = PIXEL_YC{values[n], values[n], values[n]};
    run_rows(plan, 0, 1, src.pixels(), dst.pixels());
    for (std::int32_t n = 0; n < 16; ++n)
        ASSERT_EQ(dst.at(0, n).y, store_channel(accumulate(0.0f, values[n], weight))) << values[n];
    EXPECT_EQ(dst.at(0, 0).y, 0);
}

// Every output channel lies within 1 of the exact area average, for clipped pictures of many sizes.
TEST(ScalarAreaRows, AgreesWithTheExactAreaAverage)
{
    std::mt19937 rng(20261207);
    const std::int32_t sides[] = {1, 2, 3, 7, 11, 127, 129, 131, 256, 997};
    int compared = 0;
    for (int trial = 0; trial < 60; ++trial) {
        std::uniform_int_distribution<int> pick(0, 9);
        const std::int32_t src_w = trial < 20 ? sides[pick(rng)] : std::uniform_int_distribution<int>(1, 400)(rng);
        const std::int32_t src_h = trial < 20 ? sides[pick(rng)] : std::uniform_int_distribution<int>(1, 300)(rng);
        // Ratios near 1 as well as strong reductions.
        const std::int32_t dst_w = trial % 3 == 0 ? std::max(1, src_w - 1) : std::uniform_int_distribution<int>(1, src_w)(rng);
        const std::int32_t dst_h = trial % 4 == 0 ? std::max(1, src_h - 1) : std::uniform_int_distribution<int>(1, src_h)(rng);
        const std::int32_t clip_left = trial % 5, clip_top = trial % 3;
        const std::int32_t stride = src_w + clip_left + 3;
        GuardedFrame src(stride, src_h + clip_top + 1), dst(stride, dst_h);
        fill_random(src, rng, 0, 4096);
        ResamplePlan plan = cpu_plan(src_w, src_h, dst_w, dst_h, stride, clip_left, clip_top);
        const PIXEL_YC* picture_rows = src.pixels() + static_cast<std::ptrdiff_t>(clip_top) * stride;
        run_plan_rows(CpuLevel::scalar, plan, 0, dst_h, picture_rows, dst.pixels());
        for (std::int32_t row = 0; row < dst_h; ++row)
            for (std::int32_t col = 0; col < dst_w; ++col) {
                const ReferenceChannels ref = exact_area_average(picture_rows + clip_left, stride, src_w, src_h,
                                                                 dst_w, dst_h, row, col);
                const PIXEL_YC got = dst.at(row, col);
                ASSERT_LE(std::abs(got.y - reference_store(ref.y)), 1)
                    << src_w << "x" << src_h << " -> " << dst_w << "x" << dst_h << " at " << row << "," << col;
                ASSERT_LE(std::abs(got.cb - reference_store(ref.cb)), 1);
                ASSERT_LE(std::abs(got.cr - reference_store(ref.cr)), 1);
                ++compared;
            }
        ASSERT_TRUE(dst.guards_intact());
    }
    EXPECT_GT(compared, 10000);
}

}  // namespace
