#include "cpu/row_worker.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "cpu/lane_workers.h"
#include "plan/arithmetic.h"

void resample_rows_scalar(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                          const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels)
{
    const std::int32_t stride = plan.request.stride;
    const std::int32_t clip_left = plan.request.clip_left;
    for (std::int32_t i = first_row; i < first_row + row_count; ++i) {
        PIXEL_YC* dst_row = dst_pixels + static_cast<std::ptrdiff_t>(i) * stride;
        for (std::int32_t j = 0; j < plan.request.dst_w; ++j) {
            float y = 0.0f, cb = 0.0f, cr = 0.0f;
            for (std::int32_t k = plan.row_first[i]; k <= plan.row_last[i]; ++k) {
                const float wy = span_weight(plan.row_weight[k], plan.row_full_weight, k == plan.row_first[i]);
                const PIXEL_YC* src_row = src_pixels + static_cast<std::ptrdiff_t>(k) * stride;
                for (std::int32_t n = plan.col_first[j]; n <= plan.col_last[j]; ++n) {
                    const float wx =
                        span_weight(plan.col_weight[n - clip_left], plan.col_full_weight, n == plan.col_first[j]);
                    const float w = tap_weight(wx, wy);
                    const PIXEL_YC pixel = src_row[n];
                    y = accumulate(y, pixel.y, w);
                    cb = accumulate(cb, pixel.cb, w);
                    cr = accumulate(cr, pixel.cr, w);
                }
            }
            dst_row[j] = PIXEL_YC{store_channel(y), store_channel(cb), store_channel(cr)};
        }
    }
}

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

CpuLevel active_cpu_level()
{
    static const CpuLevel level = cpu_level_for_setting(std::getenv("VANTREO_CPU_LEVEL"), best_cpu_level());
    return level;
}

void run_lane_job(CpuLevel level, const LaneJob& job)
{
    if (level == CpuLevel::avx512)
        resample_rows_avx512(job);
    else if (level == CpuLevel::avx2)
        resample_rows_avx2(job);
    else
        resample_rows_sse2(job);
}

CpuLevel resample_rows_at(CpuLevel level, const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                          const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels)
{
    if (level > best_cpu_level()) level = best_cpu_level();
    if (row_count <= 0) return level;
    if (level == CpuLevel::scalar) {
        resample_rows_scalar(plan, first_row, row_count, src_pixels, dst_pixels);
        return level;
    }
    const LaneJob job{plan.row_first.data(),      plan.row_last.data(),         plan.row_tap_start.data(),
                      plan.row_tap_weight.data(), plan.row_least_weight.data(), plan.col_first.data(),
                      plan.col_last.data(),       plan.col_tap_start.data(),    plan.col_tap_weight.data(),
                      plan.col_least_weight.data(), plan.request.dst_w,         plan.request.stride,
                      plan.request.stride,        first_row,                    row_count,
                      src_pixels,                 dst_pixels,                   LaneRule::cpu};
    run_lane_job(level, job);
    return level;
}

void resample_rows_cpu(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                       const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels)
{
    resample_rows_at(active_cpu_level(), plan, first_row, row_count, src_pixels, dst_pixels);
}
