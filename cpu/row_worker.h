// Area averaging of a run of output rows on the CPU, from the current plan's tables.
#pragma once

#include <cstdint>

#include "plugin/filter_records.h"

// Computes output rows first_row .. first_row+row_count-1 (columns 0 .. dst_w-1) into `dst_pixels`
// (not advanced). `src_pixels` is the source frame advanced to the clipped picture's top row; columns
// are frame columns. Nothing else of `dst_pixels` is written; a row_count of 0 or less writes nothing.
void resample_rows_cpu(std::int32_t first_row, std::int32_t row_count, const PIXEL_YC* src_pixels,
                       PIXEL_YC* dst_pixels);
