// Which instruction set the CPU's area-averaging row workers run: the levels, what this CPU has, the
// VANTREO_CPU_LEVEL setting that forces one, and the dispatch to the vector worker of a level.
#pragma once

#include <cstdint>
#include <string>

#include "cpu/lane_workers.h"

// The instruction-set levels of the CPU row worker, in order: each later one needs more of the CPU.
enum class CpuLevel : std::int32_t {
    scalar = 0,  // the plain worker
    sse2 = 1,    // 8 output rows at a time in SSE2, every tap in double (the baseline of every build)
    avx2 = 2,    // 8 output rows at a time in AVX2, with single-precision fused taps where exact
    avx512 = 3,  // 16 output rows at a time in AVX-512 (F, BW, VL), fused taps as AVX2
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

// Runs `job` by the vector worker of `level`: sse2 or above, and no higher than best_cpu_level().
void run_lane_job(CpuLevel level, const LaneJob& job);
