// A plan's rows on the CPU: the job of a run of rows, its run by the workers of a level, and the
// references the workers are tested against.
#pragma once

#include <cstdint>

#include "cpu/cpu_level.h"
#include "cpu/row_job.h"
#include "plan/resample_plan.h"

// The job of `plan`'s output rows first_row .. first_row+row_count-1 (area averaging, by `area_rule`:
// the CPU's with the plan's taps, the device's with its device_area taps; or a filter method).
// `src_picture` is the source advanced to the clipped picture's top row (columns are frame columns);
// `dst` is the output picture. Both have the plan's stride and layout.
RowJob plan_row_job(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count, const void* src_picture,
                    void* dst, AreaRule area_rule = AreaRule::cpu);

// Runs `job` by the worker of `level` for its method, or at the CPU's best when it lacks `level`;
// returns the level that ran. A job without rows writes nothing. Allocates nothing.
CpuLevel run_row_job(CpuLevel level, const RowJob& job);

// plan_row_job run by run_row_job.
CpuLevel run_plan_rows(CpuLevel level, const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                       const void* src_picture, void* dst, AreaRule area_rule = AreaRule::cpu);

// A filter-method job computed pixel by pixel, as the integer rule of plan/arithmetic.h is written:
// the reference of the filter workers.
void filter_rows_reference(const RowJob& job);
