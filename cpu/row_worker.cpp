#include "cpu/row_worker.h"

#include "plan/arithmetic.h"

void resample_rows_scalar(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                          const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels)
{
    const std::int32_t stride = plan.request.stride;
    const std::int32_t clip_left = plan.request.clip_left;
    const AxisPlan& rows = plan.rows;
    const AxisPlan& columns = plan.columns;
    for (std::int32_t i = first_row; i < first_row + row_count; ++i) {
        PIXEL_YC* dst_row = dst_pixels + static_cast<std::ptrdiff_t>(i) * stride;
        for (std::int32_t j = 0; j < plan.request.dst_w; ++j) {
            float y = 0.0f, cb = 0.0f, cr = 0.0f;
            for (std::int32_t k = rows.first[i]; k <= rows.last[i]; ++k) {
                const float wy = span_weight(rows.weight[k], rows.full_weight, k == rows.first[i]);
                const PIXEL_YC* src_row = src_pixels + static_cast<std::ptrdiff_t>(k) * stride;
                for (std::int32_t n = columns.first[j]; n <= columns.last[j]; ++n) {
                    const float wx =
                        span_weight(columns.weight[n - clip_left], columns.full_weight, n == columns.first[j]);
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

CpuLevel resample_rows_at(CpuLevel level, const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                          const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels)
{
    if (level > best_cpu_level()) level = best_cpu_level();
    if (row_count <= 0) return level;
    if (level == CpuLevel::scalar) {
        resample_rows_scalar(plan, first_row, row_count, src_pixels, dst_pixels);
        return level;
    }
    LaneJob job{};
    job.rows = plan.rows.taps();
    job.columns = plan.columns.taps();
    job.dst_w = plan.request.dst_w;
    job.first_row = first_row;
    job.row_count = row_count;
    job.src_pixels = src_pixels;
    job.src_stride = plan.request.stride;
    job.dst_pixels = dst_pixels;
    job.dst_stride = plan.request.stride;
    job.rule = LaneRule::cpu;
    run_lane_job(level, job);
    return level;
}
