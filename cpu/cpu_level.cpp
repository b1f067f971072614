#include "cpu/cpu_level.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

constexpr const char* kLevelNames[] = {"scalar", "sse2", "avx2", "avx512"};

CpuLevel detect_best_level()
{
    // The checks include the operating system's support of the wider registers.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl"))
        return CpuLevel::avx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return CpuLevel::avx2;
    return CpuLevel::sse2;  // every build assumes SSE2
}

}  // namespace

const char* cpu_level_name(CpuLevel level) { return kLevelNames[static_cast<std::int32_t>(level)]; }

bool parse_cpu_level(const char* name, CpuLevel& level)
{
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(std::size(kLevelNames)); ++i)
        if (std::strcmp(name, kLevelNames[i]) == 0) {
            level = static_cast<CpuLevel>(i);
            return true;
        }
    return false;
}

CpuLevel best_cpu_level()
{
    static const CpuLevel best = detect_best_level();
    return best;
}

CpuLevel cpu_level_for_setting(const char* setting, CpuLevel best)
{
    CpuLevel level = best;
    if (setting != nullptr && parse_cpu_level(setting, level) && level > best) level = best;
    return level;
}

CpuLevel cpu_level_from_environment() { return cpu_level_for_setting(std::getenv(kCpuLevelVariable), best_cpu_level()); }

void run_lane_job(CpuLevel level, const LaneJob& job)
{
    if (level == CpuLevel::avx512)
        resample_rows_avx512(job);
    else if (level == CpuLevel::avx2)
        resample_rows_avx2(job);
    else
        resample_rows_sse2(job);
}
