// The row loop of the whole-grid area averaging, written once and compiled for two instruction sets
// (area_grid_rows.cpp, area_grid_rows_fma.cpp), each of which includes it, and with it the device
// rules, in an unnamed namespace, so that neither build's copy of a function stands in for the
// other's. Each pixel is calcDestPixelsKernel's: taps in the kernel's order, tap rows outer and tap
// columns inner, the tap weight wy * wx rounded to single, one device_accumulate per channel and tap,
// stored by store_channel_single. Columns go in runs of kGridLanes pixels, whose independent chains of
// sums the processor overlaps.

#include "plan/portable_rules_local.inl"

inline float source_value(const unsigned char* source, std::size_t element)
{
    std::int16_t value;
    std::memcpy(&value, source + element * sizeof value, sizeof value);
    return static_cast<float>(value);
}

inline void area_rows(const AreaGrid& g, std::int32_t first, std::int32_t end)
{
    const std::size_t pitch = static_cast<std::size_t>(g.padded_width);
    for (std::int32_t row = first; row < end; ++row) {
        const std::int32_t columns = row == g.rows - 1 ? g.last_row_columns : g.width;
        const float* const weight_y = g.weight_y + static_cast<std::size_t>(row) * g.unit_y;
        const std::size_t* const row_start = g.row_start + static_cast<std::size_t>(row) * g.unit_y;
        unsigned char* const out = g.dest + static_cast<std::size_t>(row) * g.row_pitch;
        for (std::int32_t c0 = 0; c0 < columns; c0 += kGridLanes) {
            float sum[kGridChannels][kGridLanes] = {};
            for (std::int32_t j = 0; j < g.unit_y; ++j) {
                const float wy = weight_y[j];
                const unsigned char* const src = g.source + row_start[j] * sizeof(std::int16_t);
                for (std::int32_t m = 0; m < g.unit_x; ++m) {
                    const float* const wx = g.weight_x + m * pitch + c0;
                    const std::int32_t* const x = g.column_x + g.channels * m * pitch + c0;
                    for (std::int32_t k = 0; k < kGridLanes; ++k) {
                        const float w = wy * wx[k];
                        for (std::int32_t c = 0; c < g.channels; ++c)
                            sum[c][k] = device_accumulate(sum[c][k], source_value(src, x[c * pitch + k]), w);
                    }
                }
            }
            const std::int32_t count = columns - c0 < kGridLanes ? columns - c0 : kGridLanes;
            for (std::int32_t k = 0; k < count; ++k)
                for (std::int32_t c = 0; c < g.channels; ++c) {
                    const std::int16_t sample = store_channel_single(sum[c][k]);
                    std::memcpy(out + (static_cast<std::size_t>(c0 + k) * g.channels + c) * sizeof sample, &sample,
                                sizeof sample);
                }
        }
    }
}
