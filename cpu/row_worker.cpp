#include "cpu/row_worker.h"

#include "plan/resample_plan.h"

namespace {

// The first source index of a span takes what the previous span left of it; any other index its
// stored weight unchanged.
inline float span_weight(float stored, float full, bool first_of_span)
{
    return first_of_span && stored != full ? to_single(static_cast<double>(full) - stored) : stored;
}

// One multiply-add per channel, in double, rounded to single precision when stored back.
inline float accumulate(float sum, std::int16_t value, float weight)
{
    return to_single(value * static_cast<double>(weight) + sum);
}

}  // namespace

void resample_rows_cpu(std::int32_t first_row, std::int32_t row_count, const PIXEL_YC* src_pixels,
                       PIXEL_YC* dst_pixels)
{
    const ResamplePlan& p = plan;
    const std::int32_t stride = p.request.stride;
    const std::int32_t clip_left = p.request.clip_left;
    for (std::int32_t i = first_row; i < first_row + row_count; ++i) {
        PIXEL_YC* dst_row = dst_pixels + static_cast<std::ptrdiff_t>(i) * stride;
        for (std::int32_t j = 0; j < p.request.dst_w; ++j) {
            float y = 0.0f, cb = 0.0f, cr = 0.0f;
            for (std::int32_t k = p.row_first[i]; k <= p.row_last[i]; ++k) {
                const float wy = span_weight(p.row_weight[k], p.row_full_weight, k == p.row_first[i]);
                const PIXEL_YC* src_row = src_pixels + static_cast<std::ptrdiff_t>(k) * stride;
                for (std::int32_t n = p.col_first[j]; n <= p.col_last[j]; ++n) {
                    const float wx = span_weight(p.col_weight[n - clip_left], p.col_full_weight, n == p.col_first[j]);
                    const float w = to_single(static_cast<double>(wx) * wy);
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
