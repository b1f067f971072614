// The plain row workers: area averaging pixel by pixel, each tap rounded as plan/arithmetic.h says
// (the reference of the vector area workers), and the filter methods in two passes per output row.
#include <algorithm>

#include "cpu/channel_count.h"
#include "cpu/row_job.h"
#include "plan/arithmetic.h"

namespace {

// Per output pixel, one single-precision sum per channel over its source rows, then within each row
// its source columns, each tap rounded by the CPU's rule or the device's.
template <std::int32_t kChannels, bool kDeviceRule>
void area_rows_scalar(const RowJob& job)
{
    const AreaTaps& rows = job.area_rows;
    const AreaTaps& columns = job.area_columns;
    for (std::int32_t i = job.first_row; i < job.first_row + job.row_count; ++i) {
        std::int16_t* dst_row = job.dst + static_cast<std::ptrdiff_t>(i) * job.dst_stride * kChannels;
        for (std::int32_t j = 0; j < job.dst_w; ++j) {
            float sums[kChannels] = {};
            for (std::int32_t k = rows.first[i]; k <= rows.last[i]; ++k) {
                const float wy = rows.tap_weight[rows.tap_start[i] + (k - rows.first[i])];
                const std::int16_t* src_row = job.src + static_cast<std::ptrdiff_t>(k) * job.src_stride * kChannels;
                for (std::int32_t n = columns.first[j]; n <= columns.last[j]; ++n) {
                    const float w = tap_weight(columns.tap_weight[columns.tap_start[j] + (n - columns.first[j])], wy);
                    const std::int16_t* pixel = src_row + static_cast<std::ptrdiff_t>(n) * kChannels;
                    for (std::int32_t c = 0; c < kChannels; ++c)
                        sums[c] = kDeviceRule ? device_accumulate(sums[c], pixel[c], w)
                                              : accumulate(sums[c], pixel[c], w);
                }
            }
            for (std::int32_t c = 0; c < kChannels; ++c)
                dst_row[j * kChannels + c] = kDeviceRule ? store_channel_single(sums[c]) : store_channel(sums[c]);
        }
    }
}

void area_rows_scalar(const RowJob& job)
{
    with_channels(job.layout, [&](auto channels) {
        if (job.area_rule == AreaRule::device)
            area_rows_scalar<channels(), true>(job);
        else
            area_rows_scalar<channels(), false>(job);
    });
}

// The intermediates of one output row are computed for runs of at most this many source columns,
// in fixed room.
constexpr std::int32_t kRunColumns = 512;

// The vertical pass of output row `row` over source columns [from, from + count): 16-bit
// intermediates, channel-interleaved, into `out`.
template <std::int32_t kChannels>
void vertical_pass(const RowJob& job, std::int32_t row, std::int32_t from, std::int32_t count, std::int16_t* out)
{
    const FilterTaps& rows = job.filter_rows;
    const std::int16_t* weights = rows.weight + static_cast<std::ptrdiff_t>(row) * rows.taps;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(job.src_stride) * kChannels;
    const std::int16_t* top = job.src + rows.first[row] * stride + static_cast<std::ptrdiff_t>(from) * kChannels;
    const std::int32_t words = count * kChannels;
    std::int32_t sums[kRunColumns * kChannels];
    std::fill(sums, sums + words, 0);
    for (std::int32_t t = 0; t < rows.taps; ++t) {
        const std::int16_t* values = top + t * stride;
        for (std::int32_t k = 0; k < words; ++k) sums[k] += weights[t] * values[k];
    }
    for (std::int32_t k = 0; k < words; ++k) out[k] = filter_intermediate(sums[k], rows.weight_bits);
}

template <std::int32_t kChannels>
void filter_rows_scalar(const RowJob& job)
{
    const FilterTaps& columns = job.filter_columns;
    const std::int32_t taps = columns.taps;
    std::int16_t run[kRunColumns * kChannels];
    for (std::int32_t i = job.first_row; i < job.first_row + job.row_count; ++i) {
        std::int16_t* dst_row = job.dst + static_cast<std::ptrdiff_t>(i) * job.dst_stride * kChannels;
        // Output columns in runs whose windows fit in the room of one run of intermediates.
        for (std::int32_t j0 = 0; j0 < job.dst_w;) {
            const std::int32_t from = columns.first[j0];
            const std::int32_t j1 = filter_run_end(columns, job.dst_w, j0, kRunColumns);
            vertical_pass<kChannels>(job, i, from, columns.first[j1 - 1] + taps - from, run);
            for (std::int32_t j = j0; j < j1; ++j) {
                const std::int16_t* weights = columns.weight + static_cast<std::ptrdiff_t>(j) * taps;
                const std::int16_t* values = run + (columns.first[j] - from) * kChannels;
                std::int32_t sums[kMaxChannels] = {};
                for (std::int32_t t = 0; t < taps; ++t)
                    for (std::int32_t c = 0; c < kChannels; ++c) sums[c] += weights[t] * values[t * kChannels + c];
                for (std::int32_t c = 0; c < kChannels; ++c)
                    dst_row[j * kChannels + c] = filter_store(sums[c], columns.weight_bits);
            }
            j0 = j1;
        }
    }
}

void filter_rows_scalar(const RowJob& job)
{
    with_channels(job.layout, [&](auto channels) { filter_rows_scalar<channels()>(job); });
}

}  // namespace

const RowWorkers kScalarRowWorkers = {area_rows_scalar, filter_rows_scalar};

std::int32_t filter_run_end(const FilterTaps& columns, std::int32_t dst_w, std::int32_t j0, std::int32_t run_columns)
{
    const std::int32_t* end =
        std::upper_bound(columns.first + j0 + 1, columns.first + dst_w, columns.first[j0] + run_columns - columns.taps);
    return static_cast<std::int32_t>(end - columns.first);
}
