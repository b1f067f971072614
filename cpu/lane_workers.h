// The vector row workers' entries, one per instruction-set level, each in its own file compiled for
// its level. They take plain pointers only, so that nothing shared with the rest of the build (the
// plan's containers, inline functions of other headers) is compiled for a level the CPU may lack.
#pragma once

#include <cstdint>

#include "abi/filter_records.h"
#include "plan/axis_taps.h"

// Which rounding rules a job's taps and stores follow (plan/arithmetic.h): the CPU's (each tap a
// double multiply-add rounded to single, the half added in double) or the device's (each tap a
// single-precision fused multiply-add, the half added in single).
enum class LaneRule : std::int32_t { cpu, device };

// A run of output rows: the taps of both axes (columns as frame columns), and the frames.
struct LaneJob {
    AxisTaps rows;
    AxisTaps columns;
    std::int32_t dst_w;
    std::int32_t first_row;
    std::int32_t row_count;   // at least 1
    const PIXEL_YC* src_pixels;
    std::int32_t src_stride;  // pixels from one source row to the next
    PIXEL_YC* dst_pixels;
    std::int32_t dst_stride;  // the same for output rows
    LaneRule rule;
};

void resample_rows_sse2(const LaneJob& job);
void resample_rows_avx2(const LaneJob& job);
void resample_rows_avx512(const LaneJob& job);
