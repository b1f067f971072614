#include "cpu/filter_rows.h"

#include <algorithm>

#include "plan/arithmetic.h"

namespace {

constexpr std::int32_t kChannels = 3;

std::int16_t channel(const PIXEL_YC& pixel, std::int32_t c) { return c == 0 ? pixel.y : c == 1 ? pixel.cb : pixel.cr; }

// The intermediates of one output row are computed for runs of at most this many source columns,
// in fixed room.
constexpr std::int32_t kRunColumns = 512;

// The vertical pass of output row `row` over source columns [from, from + count): 16-bit
// intermediates, channel-interleaved, into `out`.
void vertical_pass(const FilterJob& job, std::int32_t row, std::int32_t from, std::int32_t count, std::int16_t* out)
{
    const FilterTaps& rows = job.rows;
    const std::int16_t* weights = rows.weight + static_cast<std::ptrdiff_t>(row) * rows.taps;
    const PIXEL_YC* top = job.src_pixels + static_cast<std::ptrdiff_t>(rows.first[row]) * job.src_stride + from;
    std::int32_t sums[kRunColumns * kChannels];
    std::fill(sums, sums + count * kChannels, 0);
    for (std::int32_t t = 0; t < rows.taps; ++t) {
        const std::int16_t* values = &top[static_cast<std::ptrdiff_t>(t) * job.src_stride].y;
        for (std::int32_t k = 0; k < count * kChannels; ++k) sums[k] += weights[t] * values[k];
    }
    for (std::int32_t k = 0; k < count * kChannels; ++k) out[k] = filter_intermediate(sums[k], rows.weight_bits);
}

}  // namespace

void filter_rows_reference(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                           const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels)
{
    const ResizeRequest& r = plan.request;
    const AxisPlan& rows = plan.rows;
    const AxisPlan& columns = plan.columns;
    for (std::int32_t i = first_row; i < first_row + row_count; ++i) {
        for (std::int32_t j = 0; j < r.dst_w; ++j) {
            std::int16_t stored[kChannels];
            for (std::int32_t c = 0; c < kChannels; ++c) {
                std::int32_t sum = 0;
                for (std::int32_t t = 0; t < columns.filter_taps; ++t) {
                    const std::int32_t n = columns.filter_first[j] + t;
                    std::int32_t column_sum = 0;
                    for (std::int32_t u = 0; u < rows.filter_taps; ++u) {
                        const std::int32_t k = rows.filter_first[i] + u;
                        column_sum += rows.filter_weight[static_cast<std::size_t>(i) * rows.filter_taps + u] *
                                      channel(src_pixels[static_cast<std::ptrdiff_t>(k) * r.stride + n], c);
                    }
                    sum += columns.filter_weight[static_cast<std::size_t>(j) * columns.filter_taps + t] *
                           filter_intermediate(column_sum, rows.filter_weight_bits);
                }
                stored[c] = filter_store(sum, columns.filter_weight_bits);
            }
            dst_pixels[static_cast<std::ptrdiff_t>(i) * r.stride + j] = PIXEL_YC{stored[0], stored[1], stored[2]};
        }
    }
}

std::int32_t filter_run_end(const FilterTaps& columns, std::int32_t dst_w, std::int32_t j0, std::int32_t run_columns)
{
    const std::int32_t* end =
        std::upper_bound(columns.first + j0 + 1, columns.first + dst_w, columns.first[j0] + run_columns - columns.taps);
    return static_cast<std::int32_t>(end - columns.first);
}

FilterJob filter_job(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                     const PIXEL_YC* src_pixels, PIXEL_YC* dst_pixels)
{
    const ResizeRequest& r = plan.request;
    return FilterJob{plan.rows.filter(), plan.columns.filter(), r.dst_w, first_row, row_count, src_pixels, r.stride,
                     dst_pixels, r.stride};
}

CpuLevel filter_rows_at(CpuLevel level, const FilterJob& job)
{
    level = std::min(level, best_cpu_level());
    if (job.row_count <= 0) return level;
    if (level == CpuLevel::avx512) {
        filter_rows_avx512(job);
        return level;
    }
    if (level == CpuLevel::avx2) {
        filter_rows_avx2(job);
        return level;
    }
    if (level == CpuLevel::sse2) {
        filter_rows_sse2(job);
        return level;
    }
    const FilterTaps& columns = job.columns;
    const std::int32_t taps = columns.taps;
    std::int16_t run[kRunColumns * kChannels];
    for (std::int32_t i = job.first_row; i < job.first_row + job.row_count; ++i) {
        PIXEL_YC* dst_row = job.dst_pixels + static_cast<std::ptrdiff_t>(i) * job.dst_stride;
        // Output columns in runs whose windows fit in the room of one run of intermediates.
        for (std::int32_t j0 = 0; j0 < job.dst_w;) {
            const std::int32_t from = columns.first[j0];
            const std::int32_t j1 = filter_run_end(columns, job.dst_w, j0, kRunColumns);
            vertical_pass(job, i, from, columns.first[j1 - 1] + taps - from, run);
            for (std::int32_t j = j0; j < j1; ++j) {
                const std::int16_t* weights = columns.weight + static_cast<std::ptrdiff_t>(j) * taps;
                const std::int16_t* values = run + (columns.first[j] - from) * kChannels;
                std::int32_t sums[kChannels] = {0, 0, 0};
                for (std::int32_t t = 0; t < taps; ++t)
                    for (std::int32_t c = 0; c < kChannels; ++c) sums[c] += weights[t] * values[t * kChannels + c];
                const std::int32_t bits = columns.weight_bits;
                dst_row[j] = PIXEL_YC{filter_store(sums[0], bits), filter_store(sums[1], bits), filter_store(sums[2], bits)};
            }
            j0 = j1;
        }
    }
    return level;
}
