// The taps of one axis as every area-averaging executor reads them: which source indices each output
// covers and with what weight. Plain pointers into tables owned elsewhere (the plan, or the emulated
// device's launch), so that the vector row workers, compiled for instruction sets the CPU may lack,
// share no inline code with the rest of the build.
#pragma once

#include <cstdint>

struct AxisTaps {
    // Output j covers source indices first[j] .. last[j] (none when last[j] < first[j]).
    const std::int32_t* first;
    const std::int32_t* last;
    // Its weights, in the order of its source indices, from tap_weight[tap_start[j]].
    const std::int32_t* tap_start;
    const float* tap_weight;
    // least_tap_weight of its weights (plan/arithmetic.h).
    const float* least_weight;
};
