// Plain scalar versions of the filter's two area-averaging rules, written from their arithmetic alone
// so the frame callback's bytes can be checked against them. Casts to double mark the steps evaluated
// in double; casts to float mark where a value is rounded to single precision.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/support/frames.h"

// The geometry both rules share along one axis: `source` pixels averaged down to `output`.
struct AreaRuleAxis {
    float span, full;
    std::vector<float> bound;  // b(0..output): where output j starts, in source pixels

    AreaRuleAxis(std::int32_t source, std::int32_t output)
    {
        const float scale = static_cast<float>(static_cast<double>(output) / source);
        span = static_cast<float>(1.0 / scale);
        full = static_cast<float>(1.0 / span);
        for (std::int32_t j = 0; j <= output; ++j) bound.push_back(static_cast<float>(static_cast<double>(j) * span));
    }
    static bool whole(float b) { return b == static_cast<float>(static_cast<std::int32_t>(b)); }
    // The last source index reached by an output that ends at `end`.
    static std::int32_t last_index(float end) { return static_cast<std::int32_t>(end) - (whole(end) ? 1 : 0); }
};

// The CPU rule's weights: output j covers first[j]..last[j]; the source pixel a boundary cuts keeps the
// later output's share, and the earlier output takes the rest of a full weight.
struct AreaCpuAxis : AreaRuleAxis {
    std::vector<std::int32_t> first, last;
    std::vector<float> stored;

    AreaCpuAxis(std::int32_t source, std::int32_t output) : AreaRuleAxis(source, output), stored(source + 1, full)
    {
        for (std::int32_t j = 0; j < output; ++j) {
            first.push_back(static_cast<std::int32_t>(bound[j]));
            last.push_back(last_index(bound[j + 1]));
            const std::int32_t i = first.back();
            if (j > 0 && !whole(bound[j])) stored[i] = static_cast<float>((static_cast<double>(bound[j]) - i) / span);
        }
        last.back() = std::min(last.back(), source - 1);
    }
    float weight(std::int32_t k, std::int32_t j) const
    {
        if (k == first[j] && stored[k] != full) return static_cast<float>(static_cast<double>(full) - stored[k]);
        return stored[k];
    }
};

// The device rule's weights: int(span) + 2 taps from int(b(j)), each the covered part of a source pixel.
// The last output's last tap is not limited to the picture.
struct AreaDeviceAxis : AreaRuleAxis {
    std::int32_t taps;
    std::vector<float> tap;  // output j's taps at [j * taps, (j + 1) * taps)

    AreaDeviceAxis(std::int32_t source, std::int32_t output)
        : AreaRuleAxis(source, output), taps(static_cast<std::int32_t>(span) + 2),
          tap(static_cast<std::size_t>(output) * taps, 0.0f)
    {
        for (std::int32_t j = 0; j < output; ++j) {
            const float s = bound[j], e = bound[j + 1];
            const std::int32_t g = start(j);
            for (std::int32_t k = g; k <= last_index(e) && k - g < taps; ++k) {
                const double lower = k == g ? s : k, upper = k + 1 < e ? k + 1 : e;
                tap[static_cast<std::size_t>(j) * taps + (k - g)] = static_cast<float>((upper - lower) / span);
            }
        }
    }
    std::int32_t start(std::int32_t j) const { return static_cast<std::int32_t>(bound[j]); }
    float at(std::int32_t j, std::int32_t t) const { return tap[static_cast<std::size_t>(j) * taps + t]; }
};

inline float channel(const PIXEL_YC& p, int c) { return c == 0 ? p.y : c == 1 ? p.cb : p.cr; }

// Truncated toward zero, then saturated rather than wrapped.
inline PIXEL_YC store_pixel(const std::int32_t t[3])
{
    auto saturate = [](std::int32_t v) { return static_cast<std::int16_t>(std::clamp(v, -32768, 32767)); };
    return PIXEL_YC{saturate(t[0]), saturate(t[1]), saturate(t[2])};
}

// Output pictures are dst_w x dst_h, row by row. The source picture starts at `picture`, rows `stride`
// pixels apart.
inline std::vector<PIXEL_YC> cpu_area_rule(const PIXEL_YC* picture, std::int32_t stride, std::int32_t src_w,
                                           std::int32_t src_h, std::int32_t dst_w, std::int32_t dst_h)
{
    const AreaCpuAxis rows(src_h, dst_h), cols(src_w, dst_w);
    std::vector<PIXEL_YC> out;
    for (std::int32_t i = 0; i < dst_h; ++i)
        for (std::int32_t j = 0; j < dst_w; ++j) {
            float sum[3] = {0, 0, 0};
            for (std::int32_t k = rows.first[i]; k <= rows.last[i]; ++k)
                for (std::int32_t n = cols.first[j]; n <= cols.last[j]; ++n) {
                    const float w = static_cast<float>(static_cast<double>(cols.weight(n, j)) * rows.weight(k, i));
                    const PIXEL_YC& p = picture[static_cast<std::ptrdiff_t>(k) * stride + n];
                    for (int c = 0; c < 3; ++c)
                        sum[c] = static_cast<float>(static_cast<double>(channel(p, c)) * w + sum[c]);
                }
            std::int32_t t[3];
            for (int c = 0; c < 3; ++c) t[c] = static_cast<std::int32_t>(static_cast<double>(sum[c]) + 0.5);
            out.push_back(store_pixel(t));
        }
    return out;
}

inline std::vector<PIXEL_YC> device_area_rule(const PIXEL_YC* picture, std::int32_t stride, std::int32_t src_w,
                                              std::int32_t src_h, std::int32_t dst_w, std::int32_t dst_h)
{
    const AreaDeviceAxis rows(src_h, dst_h), cols(src_w, dst_w);
    std::vector<PIXEL_YC> out;
    for (std::int32_t row = 0; row < dst_h; ++row)
        for (std::int32_t col = 0; col < dst_w; ++col) {
            float sum[3] = {0, 0, 0};
            for (std::int32_t j = 0; j < rows.taps; ++j)
                for (std::int32_t m = 0; m < cols.taps; ++m) {
                    const float w = rows.at(row, j) * cols.at(col, m);
                    const std::int32_t k = rows.start(row) + j, n = cols.start(col) + m;
                    const PIXEL_YC p = k < src_h && n < src_w ? picture[static_cast<std::ptrdiff_t>(k) * stride + n]
                                                              : PIXEL_YC{0, 0, 0};
                    // Fused multiply-add in single precision, rounded once, on purpose: the device's rule.
                    for (int c = 0; c < 3; ++c) sum[c] = std::fma(channel(p, c), w, sum[c]);
                }
            std::int32_t t[3];
            for (int c = 0; c < 3; ++c) t[c] = static_cast<std::int32_t>(sum[c] + 0.5f);
            out.push_back(store_pixel(t));
        }
    return out;
}
