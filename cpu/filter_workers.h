// The filter methods' vector row workers, one per instruction-set level, each in its own file compiled
// for its level; plain records only, as the area-averaging lane workers take (lane_workers.h).
#pragma once

#include <cstdint>

#include "abi/filter_records.h"
#include "plan/axis_taps.h"

// A run of output rows: the taps of both axes (columns counted as `src_pixels`' columns), and the
// frames, `src_pixels` at the first row the row taps count from.
struct FilterJob {
    FilterTaps rows;
    FilterTaps columns;
    std::int32_t dst_w;
    std::int32_t first_row;
    std::int32_t row_count;
    const PIXEL_YC* src_pixels;
    std::int32_t src_stride;
    PIXEL_YC* dst_pixels;  // not advanced to the first row
    std::int32_t dst_stride;
};

// The end of the run of outputs from j0 whose windows' source columns all fit in `run_columns`
// columns from output j0's first (the windows' first columns never decrease).
std::int32_t filter_run_end(const FilterTaps& columns, std::int32_t dst_w, std::int32_t j0, std::int32_t run_columns);

void filter_rows_sse2(const FilterJob& job);
void filter_rows_avx2(const FilterJob& job);
void filter_rows_avx512(const FilterJob& job);
