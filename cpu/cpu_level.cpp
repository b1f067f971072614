#include "cpu/cpu_level.h"

#include <cctype>
#include <cstdlib>
#include <iterator>

#include "platform/printable_text.h"

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

bool same_name(const char* setting, const char* name)
{
    for (; *setting != '\0' && *name != '\0'; ++setting, ++name)
        if (std::tolower(static_cast<unsigned char>(*setting)) != *name) return false;
    return *setting == *name;
}

// "scalar, sse2, avx2 or avx512", for the message on an unknown name.
std::string level_names()
{
    std::string names;
    for (std::size_t i = 0; i < std::size(kLevelNames); ++i)
        names += std::string(i == 0 ? "" : i + 1 == std::size(kLevelNames) ? " or " : ", ") + kLevelNames[i];
    return names;
}

}  // namespace

const char* cpu_level_name(CpuLevel level) { return kLevelNames[static_cast<std::int32_t>(level)]; }

bool parse_cpu_level(const char* name, CpuLevel& level)
{
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(std::size(kLevelNames)); ++i)
        if (same_name(name, kLevelNames[i])) {
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

CpuLevel cpu_level_for_setting(const char* setting, CpuLevel best, std::string* problems)
{
    if (setting == nullptr) return best;
    CpuLevel level = best;
    std::string problem;
    if (!parse_cpu_level(setting, level))
        problem = std::string(" must be ") + level_names() + ", not '" + printable_text(setting) + "'";
    else if (level > best)
        problem = std::string(" asks for ") + cpu_level_name(level) + ", which this CPU lacks";
    if (problems && !problem.empty())
        *problems += std::string("Vantreo: ") + kCpuLevelVariable + problem + "; using " + cpu_level_name(best) + "\n";
    return level > best ? best : level;
}

CpuLevel cpu_level_from_environment(std::string* problems)
{
    return cpu_level_for_setting(std::getenv(kCpuLevelVariable), best_cpu_level(), problems);
}

const RowWorkers& row_workers(CpuLevel level)
{
    static const RowWorkers* const kTables[] = {&kScalarRowWorkers, &kSse2RowWorkers, &kAvx2RowWorkers, &kAvx512RowWorkers};
    return *kTables[static_cast<std::int32_t>(level)];
}
