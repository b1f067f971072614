// The vector row workers against the scalar one, and the arithmetic their fused path rests on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cpu/plan_rows.h"
#include "plan/arithmetic.h"
#include "tests/support/cpu_levels.h"
#include "tests/support/frames.h"

namespace {

TEST(CpuLevelSetting, NamesALevelNoHigherThanTheCpusBest)
{
    for (CpuLevel level : {CpuLevel::scalar, CpuLevel::sse2, CpuLevel::avx2, CpuLevel::avx512}) {
        CpuLevel parsed = CpuLevel::scalar;
        EXPECT_TRUE(parse_cpu_level(cpu_level_name(level), parsed));
        EXPECT_EQ(parsed, level);
    }
    CpuLevel unchanged = CpuLevel::avx2;
    EXPECT_FALSE(parse_cpu_level("sse4", unchanged));
    EXPECT_FALSE(parse_cpu_level("", unchanged));
    EXPECT_EQ(unchanged, CpuLevel::avx2);

    EXPECT_EQ(cpu_level_for_setting("scalar", CpuLevel::avx512), CpuLevel::scalar);
    EXPECT_EQ(cpu_level_for_setting("sse2", CpuLevel::avx2), CpuLevel::sse2);
    EXPECT_EQ(cpu_level_for_setting("avx512", CpuLevel::avx2), CpuLevel::avx2);
    EXPECT_EQ(cpu_level_for_setting("avx2", CpuLevel::sse2), CpuLevel::sse2);
    EXPECT_EQ(cpu_level_for_setting(nullptr, CpuLevel::avx2), CpuLevel::avx2);
    EXPECT_EQ(cpu_level_for_setting("fastest", CpuLevel::avx512), CpuLevel::avx512);
    // Case aside; a name of no level, or a level above the CPU's best, is reported when asked.
    std::string problems;
    EXPECT_EQ(cpu_level_for_setting("AVX2", CpuLevel::avx512, &problems), CpuLevel::avx2);
    EXPECT_EQ(cpu_level_for_setting("avx512", CpuLevel::avx2, &problems), CpuLevel::avx2);
    EXPECT_EQ(cpu_level_for_setting("sse4", CpuLevel::sse2, &problems), CpuLevel::sse2);
    EXPECT_EQ(problems, "Vantreo: VANTREO_CPU_LEVEL asks for avx512, which this CPU lacks; using avx2\n"
                        "Vantreo: VANTREO_CPU_LEVEL must be scalar, sse2, avx2 or avx512, not 'sse4'; using sse2\n");
    EXPECT_GE(best_cpu_level(), CpuLevel::sse2);
    EXPECT_LE(cpu_level_from_environment(), best_cpu_level());
}

// A single-precision fused multiply-add equals accumulate() when the pixel's weights are 0 or at
// least 2^-13 and add up to less than 3: millions of taps of random pixels, with random values (the
// extremes often) and weights (small ones often, 2^-13 itself and 0 among them).
TEST(FusedTap, EqualsTheRuleWhenEveryWeightIsAtLeastTwoToTheMinus13)
{
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> value(-32768, 32767), pick(0, 15), taps(1, 24);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    long compared = 0;
    while (compared < 4000000) {
        const int count = taps(rng);
        // Weights below 2^(top+1) <= 3 / count, so that they add up to less than 3.
        const int top = static_cast<int>(std::floor(std::log2(3.0 / count))) - 1;
        std::uniform_int_distribution<int> exponent(-13, top);
        float sum = 0.0f;
        for (int m = 0; m < count; ++m, ++compared) {
            const int kind = pick(rng);
            const float weight = kind == 0 ? 0.0f
                                 : kind == 1 ? 0x1p-13f
                                             : static_cast<float>(std::ldexp(mantissa(rng), exponent(rng)));
            const std::int16_t v = static_cast<std::int16_t>(kind == 2 ? 32767 : kind == 3 ? -32768 : value(rng));
            const float expected = accumulate(sum, v, weight);
            ASSERT_EQ(std::fma(static_cast<float>(v), weight, sum), expected)
                << "value " << v << ", weight " << weight << ", sum " << sum;
            sum = expected;
        }
    }
}

// With a smaller weight the fused tap can differ: 32627 x w exceeds 2^-24 by less than half a
// double step at 1, so 1 + 32627 x w rounds in double onto the midpoint between 1 and the next single,
// which then goes to 1 (even); the fused tap rounds the exact value, just past the midpoint, up.
TEST(FusedTap, SmallerWeightCanDifferFromTheRule)
{
    const float w = 0x1.011b38p-39f;
    ASSERT_LT(w, 0x1p-13f);
    EXPECT_EQ(accumulate(1.0f, 32627, w), 1.0f);
    EXPECT_EQ(std::fma(32627.0f, w, 1.0f), 0x1.000002p+0f);
}

// One comparison: a plan, a row range and the source values.
struct AreaCase {
    std::int32_t src_w, src_h, dst_w, dst_h, clip_left, clip_top, stride, first_row, row_count;
    int pattern;
};

std::ostream& operator<<(std::ostream& out, const AreaCase& c)
{
    return out << c.src_w << "x" << c.src_h << " -> " << c.dst_w << "x" << c.dst_h << ", clip " << c.clip_left << ","
               << c.clip_top << ", stride " << c.stride << ", rows " << c.first_row << "+" << c.row_count
               << ", pattern " << c.pattern;
}

// Ratios near 1, near 1/8, any, and single rows or columns; sides mostly small, some up to 1600.
std::int32_t random_output_side(std::mt19937& rng, std::int32_t src)
{
    switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
    case 0: return std::max(1, src - std::uniform_int_distribution<int>(0, 3)(rng));
    case 1: return std::clamp(src / 8 + std::uniform_int_distribution<int>(-1, 1)(rng), 1, src);
    case 2: return 1;
    default: return std::uniform_int_distribution<int>(1, src)(rng);
    }
}

AreaCase random_case(std::mt19937& rng)
{
    auto side = [&rng]() {
        return std::uniform_int_distribution<int>(0, 5)(rng) == 0 ? std::uniform_int_distribution<int>(1, 1600)(rng)
                                                                  : std::uniform_int_distribution<int>(1, 300)(rng);
    };
    AreaCase c{};
    c.src_w = side();
    c.src_h = side();
    c.dst_w = random_output_side(rng, c.src_w);
    c.dst_h = random_output_side(rng, c.src_h);
    c.clip_left = std::uniform_int_distribution<int>(0, 9)(rng);
    c.clip_top = std::uniform_int_distribution<int>(0, 3)(rng);
    c.stride = c.src_w + c.clip_left + std::uniform_int_distribution<int>(0, 12)(rng);
    c.first_row = std::uniform_int_distribution<int>(0, c.dst_h - 1)(rng);
    // Rows enough to fill several groups, but a bounded count of taps.
    const double taps = (static_cast<double>(c.src_w) / c.dst_w + 1) * (static_cast<double>(c.src_h) / c.dst_h + 1);
    const std::int32_t budget = std::max(1, static_cast<std::int32_t>(150000 / (taps * c.dst_w)));
    c.row_count = std::uniform_int_distribution<int>(1, std::min(c.dst_h - c.first_row, budget))(rng);
    c.pattern = std::uniform_int_distribution<int>(0, 4)(rng);
    return c;
}

// Full 16-bit range; the two extremes; one constant; -1, 0 and 1; video-like 0 .. 4096.
std::int16_t pattern_value(std::mt19937& rng, int pattern, std::int16_t constant)
{
    switch (pattern) {
    case 0: return static_cast<std::int16_t>(std::uniform_int_distribution<int>(-32768, 32767)(rng));
    case 1: return std::uniform_int_distribution<int>(0, 1)(rng) ? 32767 : -32768;
    case 2: return constant;
    case 3: return static_cast<std::int16_t>(std::uniform_int_distribution<int>(-1, 1)(rng));
    default: return static_cast<std::int16_t>(std::uniform_int_distribution<int>(0, 4096)(rng));
    }
}

class AreaWorker : public EachCpuLevel {};
INSTANTIATE_TEST_SUITE_P(Levels, AreaWorker, ::testing::Values(CpuLevel::sse2, CpuLevel::avx2, CpuLevel::avx512),
                         cpu_level_test_name);

// The level's rows equal the scalar worker's byte for byte, and neither writes anything else of the
// rows around them (each starts full of guard values).
TEST_P(AreaWorker, MatchesTheScalarWorkerByteForByte)
{
    std::mt19937 rng(4242);
    ResamplePlan plan{};
    for (int trial = 0; trial < 300; ++trial) {
        const AreaCase c = random_case(rng);
        ResizeRequest request = area_request(c.src_w, c.src_h, c.dst_w, c.dst_h, c.stride, 0, 32, 1);
        request.clip_left = c.clip_left;
        request.clip_top = c.clip_top;
        build_plan(request, plan);

        // Only the source rows the range reads get values; rows are whole strides.
        std::vector<PIXEL_YC> src(static_cast<std::size_t>(c.stride) * (c.clip_top + c.src_h));
        const PIXEL_YC* picture = src.data() + static_cast<std::ptrdiff_t>(c.clip_top) * c.stride;
        const std::int16_t constant = static_cast<std::int16_t>(
            trial % 3 == 0 ? 32767 : trial % 3 == 1 ? -32768 : std::uniform_int_distribution<int>(-32768, 32767)(rng));
        for (std::int32_t k = plan.area.rows.first[c.first_row]; k <= plan.area.rows.last[c.first_row + c.row_count - 1]; ++k)
            for (std::int32_t n = 0; n < c.stride; ++n)
                src[static_cast<std::size_t>(c.clip_top + k) * c.stride + n] =
                    PIXEL_YC{pattern_value(rng, c.pattern, constant), pattern_value(rng, c.pattern, constant),
                             pattern_value(rng, c.pattern, constant)};

        // Rows first_row-1 .. first_row+row_count (as far as they exist) start as guards.
        const std::int32_t guard_first = std::max(0, c.first_row - 1), guard_end = c.first_row + c.row_count + 1;
        std::vector<PIXEL_YC> expected(static_cast<std::size_t>(c.stride) * guard_end);
        std::fill(expected.begin() + static_cast<std::ptrdiff_t>(guard_first) * c.stride, expected.end(),
                  PIXEL_YC{kGuard, kGuard, kGuard});
        std::vector<PIXEL_YC> got = expected;
        run_plan_rows(CpuLevel::scalar, plan, c.first_row, c.row_count, picture, expected.data());
        run_rows(plan, c.first_row, c.row_count, picture, got.data());

        const auto mismatch = std::mismatch(expected.begin(), expected.end(), got.begin(), same_pixel);
        ASSERT_TRUE(mismatch.first == expected.end())
            << c << ": first difference at row " << (mismatch.first - expected.begin()) / c.stride << ", column "
            << (mismatch.first - expected.begin()) % c.stride;
    }
}

// Output pixel (i, j)'s Y as it would store if every tap were a single-precision fused multiply-add.
std::int16_t stored_y_if_fused(const ResamplePlan& plan, const GuardedFrame& src, std::int32_t i, std::int32_t j)
{
    float sum = 0.0f;
    for (std::int32_t k = plan.area.rows.first[i]; k <= plan.area.rows.last[i]; ++k)
        for (std::int32_t n = plan.area.columns.first[j]; n <= plan.area.columns.last[j]; ++n) {
            const float wy = plan.area.rows.tap_weight[plan.area.rows.tap_start[i] + k - plan.area.rows.first[i]];
            const float wx = plan.area.columns.tap_weight[plan.area.columns.tap_start[j] + n - plan.area.columns.first[j]];
            sum = std::fma(static_cast<float>(src.at(k, n).y), tap_weight(wx, wy), sum);
        }
    return store_channel(sum);
}

// Pixels whose fused taps would store another value than the rule: each has a tap weight far below
// 2^-13 (set by hand), and values that make a fused tap round a sum the other way from the rule, by
// double rounding (see FusedTap.SmallerWeightCanDifferFromTheRule), where it shows in the stored value.
// The plan's least weights send them to the exact path, and the worker gives the scalar bytes.
// A column's second weight is the sliver here: the sum -4096 is rounded away from, and the later
// taps bring it to 0.5 exactly.
TEST_P(AreaWorker, TakesTheExactPathForASliverColumn)
{
    ResamplePlan plan{};
    build_plan(area_request(2, 2, 1, 1, 4, 0, 32, 1), plan);
    plan.area.columns.weight[1] = 0x1.011b38p-26f;
    resolve_tap_weights(plan);
    GuardedFrame src(4, 2), got(4, 1), expected(4, 1);
    const std::int16_t values[2][2] = {{-16384, -32627}, {16386, 0}};
    for (std::int32_t k = 0; k < 2; ++k)
        for (std::int32_t n = 0; n < 2; ++n) src.at(k, n) = PIXEL_YC{values[k][n], values[k][n], 0};
    EXPECT_EQ(stored_y_if_fused(plan, src, 0, 0), 0);

    run_plan_rows(CpuLevel::scalar, plan, 0, 1, src.pixels(), expected.pixels());
    run_rows(plan, 0, 1, src.pixels(), got.pixels());
    EXPECT_TRUE(same_pixel(expected.at(0, 0), PIXEL_YC{1, 1, 0}));
    EXPECT_EQ(first_difference(got, expected), -1);
}

// The fused path's bound, 2^-13, is pinned from below: this column's middle weight, 2^-14.36, lets
// a fused tap round the sum 32766.5 the other way, by double rounding at a sum over 2^15 that the
// last tap brings back down into the stored range.
TEST_P(AreaWorker, TakesTheExactPathBelowTheFusedBound)
{
    ResamplePlan plan{};
    build_plan(area_request(3, 1, 1, 1, 4, 0, 32, 1), plan);
    plan.area.columns.weight[0] = -0x1.0baaaap+0f;  // the first column's weight is 1/3 minus this: 0x1.61p+0
    plan.area.columns.weight[1] = 0x1.8eba0ep-15f;
    plan.area.columns.weight[2] = 0x1.dcp-4f;
    resolve_tap_weights(plan);
    GuardedFrame src(4, 1), got(4, 1), expected(4, 1);
    const std::int16_t values[3] = {26509, 32585, -32600};
    for (std::int32_t n = 0; n < 3; ++n) src.at(0, n) = PIXEL_YC{values[n], 0, 0};
    EXPECT_EQ(stored_y_if_fused(plan, src, 0, 0), 32766);

    run_plan_rows(CpuLevel::scalar, plan, 0, 1, src.pixels(), expected.pixels());
    run_rows(plan, 0, 1, src.pixels(), got.pixels());
    EXPECT_EQ(expected.at(0, 0).y, 32767);
    EXPECT_EQ(first_difference(got, expected), -1);
}

// Output row 5 of 8 has a sliver second row (and row 2 a small one, so that they share a group
// where small rows are grouped apart): every column of the group takes the exact path.
TEST_P(AreaWorker, TakesTheExactPathForAGroupWithASliverRow)
{
    ResamplePlan plan{};
    build_plan(area_request(2, 16, 1, 8, 4, 0, 32, 1), plan);
    plan.area.columns.weight[1] = 0.0471234f;
    plan.area.rows.weight[5] = 0.007f;
    plan.area.rows.weight[11] = 0x1.15b1e6p-17f;
    resolve_tap_weights(plan);
    GuardedFrame src(4, 16), got(4, 8), expected(4, 8);
    src.at(10, 0).y = 29108;
    src.at(10, 1).y = 31131;
    src.at(11, 0).y = 59;
    src.at(11, 1).y = 751;
    for (std::int32_t k = 0; k < 16; ++k)
        for (std::int32_t n = 0; n < 4; ++n)
            if (k < 10 || k > 11 || n > 1) src.at(k, n) = PIXEL_YC{0, 0, 0};
    EXPECT_EQ(stored_y_if_fused(plan, src, 5, 0), 8011);

    run_plan_rows(CpuLevel::scalar, plan, 0, 8, src.pixels(), expected.pixels());
    run_rows(plan, 0, 8, src.pixels(), got.pixels());
    EXPECT_EQ(expected.at(5, 0).y, 8010);
    EXPECT_EQ(first_difference(got, expected), -1);
}

}  // namespace
