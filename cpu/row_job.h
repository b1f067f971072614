// The one interface of the CPU's row workers: a job record (the pictures, the rows, the layout and the
// taps of both axes) and, per instruction-set level, a table of two workers of the same shape, one
// for area averaging and one for the filter methods. Plain records only, so that the level units,
// compiled for instruction sets the CPU may lack, share no inline code with the rest of the build.
#pragma once

#include <cstdint>

#include "plan/axis_taps.h"
#include "plan/resize_request.h"

// Which rounding rules an area-averaging job's taps and stores follow (plan/arithmetic.h): the CPU's
// (each tap a double multiply-add rounded to single, the half added in double) or the device's (each
// tap a single-precision fused multiply-add, the half added in single).
enum class AreaRule : std::int32_t { cpu, device };

// Output rows first_row .. first_row+row_count-1, columns 0 .. dst_w-1, of `dst`, from `src`. Rows of
// the taps count from `src`'s first row and columns from its first column; `dst` is not advanced to
// first_row. Strides are in pixels (of channel_count(layout) samples). Nothing else of `dst` is
// written.
struct RowJob {
    ResizeMethod method;  // area averaging or a filter method
    PixelLayout layout;
    std::int32_t dst_w;
    std::int32_t first_row;
    std::int32_t row_count;
    const std::int16_t* src;
    std::int32_t src_stride;
    std::int16_t* dst;
    std::int32_t dst_stride;
    // The area-averaging worker reads these
    AreaTaps area_rows;
    AreaTaps area_columns;
    AreaRule area_rule;
    // and the filter worker these.
    FilterTaps filter_rows;
    FilterTaps filter_columns;
};

using RowWorker = void (*)(const RowJob& job);

// The workers of one instruction-set level. The area worker takes a job of at least one row whose
// columns' first indices never decrease; the filter worker any job.
struct RowWorkers {
    RowWorker area;
    RowWorker filter;
};

// The end of the run of outputs from j0 whose windows' source columns all fit in `run_columns`
// columns from output j0's first (the windows' first columns never decrease).
std::int32_t filter_run_end(const FilterTaps& columns, std::int32_t dst_w, std::int32_t j0, std::int32_t run_columns);

// Each level's table, defined in its own unit: the plain workers (the references the others are
// tested against), then SSE2, AVX2 with FMA and AVX-512.
extern const RowWorkers kScalarRowWorkers;
extern const RowWorkers kSse2RowWorkers;
extern const RowWorkers kAvx2RowWorkers;
extern const RowWorkers kAvx512RowWorkers;
