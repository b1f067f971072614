// Bicubic and Lanczos-3 of a run of output rows on the CPU, from a plan's filter tables, by the
// integer rule of plan/arithmetic.h: the reference, written pixel by pixel from the rule, and the
// row worker, which computes each output row's vertical pass once and gives the same bytes.
#pragma once

#include <cstdint>

#include "abi/filter_records.h"
#include "cpu/cpu_level.h"
#include "cpu/filter_workers.h"
#include "plan/resample_plan.h"

// Computes output rows first_row .. first_row+row_count-1 (columns 0 .. dst_w-1) of a filter-method
// `plan` into `dst_pixels` (not advanced). `src_pixels` is the source frame advanced to the clipped
// picture's top row; columns are frame columns. Nothing else of `dst_pixels` is written.
void filter_rows_reference(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                           const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels);

// The job of `plan`'s rows first_row .. first_row+row_count-1, as filter_rows_reference takes them.
FilterJob filter_job(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                     const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels);

// The job by the row worker at `level` (scalar: a plain two-pass worker; above: the vector workers of
// filter_workers.h), or at the CPU's best when it lacks `level`; returns the level that ran.
// Allocates nothing.
CpuLevel filter_rows_at(CpuLevel level, const FilterJob& job);
