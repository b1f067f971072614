// The vector row workers' entries, one per instruction-set level, each in its own file compiled for
// its level. They take plain pointers only, so that nothing shared with the rest of the build (the
// plan's containers, inline functions of other headers) is compiled for a level the CPU may lack.
#pragma once

#include <cstdint>

#include "abi/filter_records.h"

// Which rounding rules a job's taps and stores follow (plan/arithmetic.h): the CPU's (each tap a
// double multiply-add rounded to single, the half added in double) or the device's (each tap a
// single-precision fused multiply-add, the half added in single).
enum class LaneRule : std::int32_t { cpu, device };

// A run of output rows and the tables it reads, shaped as the plan's (see plan/resample_plan.h).
struct LaneJob {
    const std::int32_t* row_first;
    const std::int32_t* row_last;
    const std::int32_t* row_tap_start;
    const float* row_tap_weight;
    const float* row_least_weight;
    const std::int32_t* col_first;
    const std::int32_t* col_last;
    const std::int32_t* col_tap_start;
    const float* col_tap_weight;
    const float* col_least_weight;
    std::int32_t dst_w;
    std::int32_t src_stride;  // pixels from one source row to the next
    std::int32_t dst_stride;  // the same for output rows
    std::int32_t first_row;
    std::int32_t row_count;  // at least 1
    const PIXEL_YC* src_pixels;
    PIXEL_YC* dst_pixels;
    LaneRule rule;
};

void resample_rows_sse2(const LaneJob& job);
void resample_rows_avx2(const LaneJob& job);
void resample_rows_avx512(const LaneJob& job);
