// The rounding rules of the plan, the CPU row worker and the device kernel, in one place.
// - Floating-point expressions are evaluated in double; a value is rounded to single precision only
//   where the code says `to_single` (or, on the device, where single-precision operands say so).
// - Conversion to an integer truncates toward zero.
// - A single-precision boundary is exact when it equals its integer part.
// - A channel sum is stored as sum + 0.5 truncated toward zero (so halves go up for non-negative sums
//   and negative sums move toward zero), saturated to the 16-bit range rather than wrapped: the weights
//   of a pixel can add up to slightly more than 1. The CPU adds the half in double, the device in
//   single precision.
// - The CPU accumulates each tap as a double multiply-add rounded to single precision; the device as
//   one single-precision fused multiply-add. The two may differ by one in a stored channel.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__CUDACC__)
#define VANTREO_HOST_DEVICE __host__ __device__
#else
#define VANTREO_HOST_DEVICE
#endif

VANTREO_HOST_DEVICE inline float to_single(double value) { return static_cast<float>(value); }

VANTREO_HOST_DEVICE inline bool is_exact_integer(float value)
{
    return value == static_cast<float>(static_cast<std::int32_t>(value));
}

static_assert(sizeof(short) == 2 && sizeof(int) == 4, "the device rules name 16- and 32-bit integers short and int");

#define VANTREO_DEVICE_FUNCTION VANTREO_HOST_DEVICE inline
#if defined(__CUDA_ARCH__)
#define VANTREO_FMA(a, b, c) __fmaf_rn(a, b, c)
#else
#define VANTREO_FMA(a, b, c) std::fma(a, b, c)
#endif
#include "plan/portable_rules.inl"
#undef VANTREO_FMA
#undef VANTREO_DEVICE_FUNCTION

// ---- CPU rules ----------------------------------------------------------------------------------

// The weight of a source index within one output's span: the first index of a span takes what the
// previous span left of it (full minus stored); any other index its stored weight unchanged.
inline float span_weight(float stored, float full, bool first_of_span)
{
    return first_of_span && stored != full ? to_single(static_cast<double>(full) - stored) : stored;
}

// The weight of one source pixel: the product of its column and row weights, rounded once.
inline float tap_weight(float column_weight, float row_weight)
{
    return to_single(static_cast<double>(column_weight) * row_weight);
}

// One tap of a channel sum: value * weight + sum in double (exact operands), rounded to single.
inline float accumulate(float sum, std::int16_t value, float weight)
{
    return to_single(value * static_cast<double>(weight) + sum);
}

// The half is added in double.
inline std::int16_t store_channel(float sum)
{
    return saturate_to_int16(static_cast<std::int32_t>(static_cast<double>(sum) + 0.5));
}

// The device rules (device_accumulate, store_channel_single) are in portable_rules.inl, above.

// ---- The CPU's fused path -----------------------------------------------------------------------
// A CPU tap, accumulate(), may be computed instead as one single-precision fused multiply-add,
// rounding value x weight + sum once. It gives the same bits when every tap weight of the pixel is 0
// or at least 2^-13 and the weights add up to less than 3. A single-precision number of at least
// 2^-13 is a multiple of 2^-36, so is every value x weight (values are integers), and so is every sum,
// by induction: the single rounding of a multiple of 2^-36 is one. |value| <= 2^15 keeps every sum,
// and value x weight + sum, below 2^15 x 3 (the roundings of at most 3 x 2^13 taps add less than
// 0.2%) < 2^17. A multiple of 2^-36 below 2^17 has at most 53 significant bits: value x weight + sum
// is exact in double, and both ways round the same number once to single.
// The condition is checked per pixel from the least weights of its row and column: their product
// bounds every tap weight of the pixel from below (kLeastFusedWeight is a single and rounding is
// monotonic), and a least weight is 0 where its output's weights add up to more than
// kLeastWeightSumLimit, so the pixel's weights add up to at most 1.5 x 1.5 x (1 + 2^-24) < 3.

// The smallest product of a row's and a column's least weight that proves the fused path exact.
constexpr double kLeastFusedWeight = 0x1p-13;
// Outputs whose weights add up to more than this prove nothing.
constexpr double kLeastWeightSumLimit = 1.5;
// Output rows with a smaller least weight are grouped apart by the vector workers, so that they keep
// few groups from the fused path.
constexpr float kSmallRowWeight = 0x1p-7f;

// The least weight of one output's `count` tap weights: the smallest of them (1 for an output
// without taps, which bounds nothing), or 0 where they add up to more than kLeastWeightSumLimit.
inline float least_tap_weight(const float* weights, std::int32_t count)
{
    double sum = 0;
    float least = 1.0f;
    for (std::int32_t t = 0; t < count; ++t) {
        sum += weights[t];
        if (weights[t] < least) least = weights[t];
    }
    return sum <= kLeastWeightSumLimit ? least : 0.0f;
}

// ---- The filter methods (bicubic, Lanczos-3) ----------------------------------------------------
// One rule for every executor, in integers, so that the CPU at every level and every device give
// the same bytes.
// - Each output of an axis has signed 16-bit weights with b fraction bits (the axis's
//   filter_weight_bits) over consecutive source indices inside the picture; they add up to exactly
//   2^b, found by rounding the running sums of the normalised double weights (plan/filter_tables.h).
//   b is 15 where every weight and every output's magnitude sum allow it (reducing), else 14.
// - Vertical pass, per output row and source column: v = filter_intermediate(sum of weight x value),
//   a 16-bit value with two fraction bits (so values beyond -8192..8191.75 saturate there, never wrap).
//   Horizontal pass, per output pixel: filter_store(sum of weight x v). Both sums are exact in 32
//   bits: |value|, |v| <= 2^15 and an output's weights add up in magnitude to at most
//   kMaxFilterWeightMagnitude at b = 14 and 2^16 - 3 at b = 15, which leaves room for the half.
// Against the same filter evaluated in double (same taps, normalised weights), an output differs by
// at most 1/2 (the store) + 2^-(bx+1) x TV_x + M_x x (1/8 + 2^-(by+1) x TV_y): M_x is the magnitude
// sum of the output's horizontal weights (about 1.1 to 1.6), TV_y the largest variation down one
// window column (the sum of |x[u+1] - x[u]| over its taps) and TV_x that of the double intermediates
// along the window. Rounding the running sums makes each weight's error the difference of two errors
// of at most 2^-(b+1), so a pass's error is at most 2^-(b+1) x the variation of what it reads (by
// parts); 1/8 is the intermediate's rounding. An edge moves a pass by at most 2^-(b+1) x its height,
// whatever the taps; values that alternate from tap to tap reach the bound, which grows with the
// number of taps, and so with the reduction.
// A source window (ResizeRequest::window) changes none of this: the bound, like the sums' room in
// 32 bits (checked per output), reads only each output's weights (b, M_x, the rounding of their
// running sums) and the variation of what they multiply, never where the taps sit; a window's
// outputs still have consecutive taps inside the picture whose normalised weights add up to 1 (taps
// past an edge folded onto the edge tap before rounding). Nor do several channels: a pixel's
// channels never mix, so each channel's two sums are exactly the one-channel sums of its own samples
// with the same weights, and the bound holds for each of the four channels of rgba (or the three of
// the editor's frame) with that channel's TV_x and TV_y.
constexpr std::int32_t kMaxFilterWeightMagnitude = 3 << 14;
