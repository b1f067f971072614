// Area averaging of a run of output rows on the CPU, from a plan's tables: a plain scalar worker,
// which is the reference, and vector workers giving the same bytes, chosen by the CPU's features.
#pragma once

#include <cstdint>

#include "abi/filter_records.h"
#include "cpu/cpu_level.h"
#include "plan/resample_plan.h"

// Computes output rows first_row .. first_row+row_count-1 (columns 0 .. dst_w-1) of `plan` into
// `dst_pixels` (not advanced), at `level`, or at the CPU's best when it lacks `level`; returns the
// level that ran. `src_pixels` is the source frame advanced to the clipped picture's top row; columns
// are frame columns. Nothing else of `dst_pixels` is written; a row_count of 0 or less writes
// nothing. The row range must lie inside 0 .. dst_h-1 of an area-averaging plan.
CpuLevel resample_rows_at(CpuLevel level, const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                          const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels);

// The same by the plain scalar worker, the reference of the others: per output pixel, three single-
// precision sums over its source rows, then within each row its source columns, each tap rounded
// as plan/arithmetic.h says.
void resample_rows_scalar(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                          const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels);
