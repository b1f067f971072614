// The taps of one axis as every executor reads them: which source indices each output reads and with
// what weight, one view per method. Plain pointers into tables owned elsewhere (the plan, or the
// emulated device's launch), so that the vector row workers, compiled for instruction sets the CPU
// may lack, share no inline code with the rest of the build.
#pragma once

#include <cstdint>

// Area averaging.
struct AreaTaps {
    // Output j covers source indices first[j] .. last[j] (none when last[j] < first[j]).
    const std::int32_t* first;
    const std::int32_t* last;
    // Its weights, in the order of its source indices, from tap_weight[tap_start[j]].
    const std::int32_t* tap_start;
    const float* tap_weight;
    // least_tap_weight of its weights (plan/arithmetic.h).
    const float* least_weight;
};

// The filter methods' taps of one axis: output j reads `taps` consecutive source indices from first[j],
// with the weights weight[j * taps + t], which have weight_bits fraction bits. kFilterWeightPadding
// zeros follow the last output's weights, so that a vector load from any output's stays inside.
constexpr std::int32_t kFilterWeightPadding = 32;
// The most taps a window has when reducing to no less than an eighth: a source below 8 (dst + 1)
// indices gives at most min(src, 6 x src / dst + 1) taps, largest (55) near dst = 6; a source window
// of size <= 8 dst at most 6 x size / dst <= 48 (the integers strictly inside the kernel's support).
constexpr std::int32_t kMaxFilterTaps = 64;

struct FilterTaps {
    std::int32_t taps;
    std::int32_t weight_bits;
    const std::int32_t* first;
    const std::int16_t* weight;
    // The same weights two by two, as pmaddwd multiplies them: pair p of output j, (weight 2p, weight
    // 2p + 1) in the low and high 16 bits, at pairs[j * ((taps + 1) / 2) + p]; an odd last weight
    // pairs with 0.
    const std::int32_t* pairs;
};
