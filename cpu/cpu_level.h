// Which instruction set the CPU's row workers run: the levels, what this CPU has, the
// VANTREO_CPU_LEVEL setting that forces one, and each level's table of workers.
#pragma once

#include <cstdint>
#include <string>

#include "cpu/row_job.h"

// The instruction-set levels of the CPU row worker, in order: each later one needs more of the CPU.
enum class CpuLevel : std::int32_t {
    scalar = 0,  // the plain workers
    sse2 = 1,    // SSE2, the baseline of every build: area taps in double
    avx2 = 2,    // AVX2 with FMA: single-precision fused area taps where exact
    avx512 = 3,  // AVX-512 (F, BW, VL): area rows 16 at a time
};

// The environment variable naming the level to run ("scalar", "sse2", "avx2", "avx512", case aside).
constexpr const char* kCpuLevelVariable = "VANTREO_CPU_LEVEL";

const char* cpu_level_name(CpuLevel level);

// The level named `name`, case aside; false for any other name.
bool parse_cpu_level(const char* name, CpuLevel& level);

// The highest level this CPU (and its operating system) runs.
CpuLevel best_cpu_level();

// The level a setting asks for, limited to `best`: an unset (null) or unknown setting gives `best`.
// A setting that names no level, or a level above `best`, adds one line to `problems` (when given)
// saying so.
CpuLevel cpu_level_for_setting(const char* setting, CpuLevel best, std::string* problems = nullptr);

// The level kCpuLevelVariable asks for, limited to the CPU's best. The plug-in reads it once, with its
// other settings, and reports a bad one then; tests and benchmarks read it silently.
CpuLevel cpu_level_from_environment(std::string* problems = nullptr);

// The workers of `level`, which must be no higher than best_cpu_level().
const RowWorkers& row_workers(CpuLevel level);
