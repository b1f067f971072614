#include "cpu/row_worker.h"

#include "plan/arithmetic.h"

void resample_rows_cpu(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
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
