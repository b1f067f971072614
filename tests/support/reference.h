// An independent area average: coverage weights from the exact rational boundaries, summed in long
// double, then stored with the filter's rule (add one half, truncate toward zero, saturate).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "abi/filter_records.h"

struct ReferenceChannels {
    long double y, cb, cr;
};

// The exact weighted mean of output pixel (row, col) of a src_w x src_h picture whose top-left pixel
// is `picture`, rows `stride` pixels apart.
inline ReferenceChannels exact_area_average(const PIXEL_YC* picture, std::int32_t stride, std::int32_t src_w,
                                            std::int32_t src_h, std::int32_t dst_w, std::int32_t dst_h,
                                            std::int32_t row, std::int32_t col)
{
    const long double span_y = static_cast<long double>(src_h) / dst_h;
    const long double span_x = static_cast<long double>(src_w) / dst_w;
    const long double top = static_cast<long double>(row) * src_h / dst_h;
    const long double bottom = static_cast<long double>(row + 1) * src_h / dst_h;
    const long double left = static_cast<long double>(col) * src_w / dst_w;
    const long double right = static_cast<long double>(col + 1) * src_w / dst_w;
    ReferenceChannels sum{0, 0, 0};
    for (std::int32_t k = static_cast<std::int32_t>(top); k < src_h && k < bottom; ++k) {
        const long double wy = (std::min<long double>(bottom, k + 1) - std::max<long double>(top, k)) / span_y;
        for (std::int32_t n = static_cast<std::int32_t>(left); n < src_w && n < right; ++n) {
            const long double wx = (std::min<long double>(right, n + 1) - std::max<long double>(left, n)) / span_x;
            const PIXEL_YC& p = picture[static_cast<std::ptrdiff_t>(k) * stride + n];
            sum.y += p.y * wy * wx;
            sum.cb += p.cb * wy * wx;
            sum.cr += p.cr * wy * wx;
        }
    }
    return sum;
}

inline int reference_store(long double sum)
{
    const long double rounded = std::trunc(sum + 0.5L);
    return static_cast<int>(std::clamp<long double>(rounded, -32768, 32767));
}
