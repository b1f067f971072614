// Area averaging of a run of output rows on the CPU, from a plan's tables: a plain scalar worker,
// which is the reference, and vector workers giving the same bytes, chosen by the CPU's features.
#pragma once

#include <cstdint>

#include "abi/filter_records.h"
#include "cpu/lane_workers.h"
#include "plan/resample_plan.h"

// The instruction-set levels of the CPU row worker, in order: each later one needs more of the CPU.
enum class CpuLevel : std::int32_t {
    scalar = 0,  // the plain worker
    sse2 = 1,    // 8 output rows at a time in SSE2, every tap in double (the baseline of every build)
    avx2 = 2,    // 8 output rows at a time in AVX2, with single-precision fused taps where exact
    avx512 = 3,  // 16 output rows at a time in AVX-512 (F, BW, VL), fused taps as AVX2
};

const char* cpu_level_name(CpuLevel level);

// The level named `name` ("scalar", "sse2", "avx2", "avx512"); false for any other name.
bool parse_cpu_level(const char* name, CpuLevel& level);

// The highest level this CPU (and its operating system) runs.
CpuLevel best_cpu_level();

// The level a setting asks for, limited to `best`: an unset (null) or unknown setting gives `best`.
CpuLevel cpu_level_for_setting(const char* setting, CpuLevel best);

// The level resample_rows_cpu runs: VANTREO_CPU_LEVEL (read once, at the first call) limited to the
// CPU's best.
CpuLevel active_cpu_level();

// Computes output rows first_row .. first_row+row_count-1 (columns 0 .. dst_w-1) of `plan` into
// `dst_pixels` (not advanced). `src_pixels` is the source frame advanced to the clipped picture's top
// row; columns are frame columns. Nothing else of `dst_pixels` is written; a row_count of 0 or less
// writes nothing. The row range must lie inside 0 .. dst_h-1 of an area-averaging plan.
// At the active level.
void resample_rows_cpu(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                       const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels);

// The same at `level`, or at the CPU's best when it lacks `level`; returns the level that ran.
CpuLevel resample_rows_at(CpuLevel level, const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                          const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels);

// The same by the plain scalar worker, the reference of the others: per output pixel, three single-
// precision sums over its source rows, then within each row its source columns, each tap rounded
// as plan/arithmetic.h says.
void resample_rows_scalar(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                          const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels);

// Runs `job` by the vector worker of `level`: sse2 or above, and no higher than best_cpu_level().
void run_lane_job(CpuLevel level, const LaneJob& job);
