#include "host/chroma_resampling.h"

#include <algorithm>
#include <utility>

namespace vantreo_host {

namespace {

// sum / 2^shift rounded to nearest, halves upwards, for either sign.
std::int16_t rounded(std::int32_t sum, int shift)
{
    const std::int32_t divisor = std::int32_t{1} << shift;
    const std::int32_t biased = sum + divisor / 2;
    const std::int32_t q = biased / divisor;
    return static_cast<std::int16_t>((biased % divisor < 0) ? q - 1 : q);
}

// A line of samples `step` apart, read with its ends repeated.
struct Line {
    const std::int16_t* first;
    std::ptrdiff_t step;
    std::int32_t n;

    std::int32_t operator[](std::int32_t i) const { return first[std::clamp(i, 0, n - 1) * step]; }
};

void upsample_line(Line half, std::int16_t* full, std::ptrdiff_t step, std::int32_t n, Siting siting)
{
    for (std::int32_t x = 0; x < n; ++x) {
        const std::int32_t i = x / 2;
        const bool second = (x & 1) != 0;
        std::int16_t value;
        if (siting == Siting::kCentred)
            value = rounded(3 * half[i] + half[second ? i + 1 : i - 1], 2);
        else
            value = second ? rounded(half[i] + half[i + 1], 1) : static_cast<std::int16_t>(half[i]);
        full[x * step] = value;
    }
}

void downsample_line(Line full, std::int16_t* half, std::ptrdiff_t step, std::int32_t m, Siting siting)
{
    for (std::int32_t i = 0; i < m; ++i) {
        const std::int32_t x = 2 * i;
        half[i * step] = siting == Siting::kCentred ? rounded(full[x] + full[x + 1], 1)
                                                    : rounded(full[x - 1] + 2 * full[x] + full[x + 1], 2);
    }
}

}  // namespace

void upsample_chroma(const Plane& chroma, const ChromaGrid& grid, std::int32_t w, std::int32_t h, Plane& full)
{
    // Rows first (to full height), then columns (to full width).
    Plane tall;
    const Plane* rows = &chroma;
    if (grid.halve_height) {
        tall.resize(chroma.w, h);
        for (std::int32_t x = 0; x < chroma.w; ++x)
            upsample_line({chroma.samples.data() + x, chroma.w, chroma.h}, tall.samples.data() + x, tall.w, h,
                          grid.vertical);
        rows = &tall;
    }
    full.resize(w, h);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int16_t* row = rows->samples.data() + static_cast<std::size_t>(y) * rows->w;
        std::int16_t* out = full.samples.data() + static_cast<std::size_t>(y) * w;
        if (grid.halve_width)
            upsample_line({row, 1, rows->w}, out, 1, w, grid.horizontal);
        else
            std::copy_n(row, w, out);
    }
}

void downsample_chroma(const Plane& full, const ChromaGrid& grid, Plane& chroma)
{
    const std::int32_t cw = grid.width(full.w);
    const std::int32_t ch = grid.height(full.h);
    // Columns first (to chroma width), then rows (to chroma height).
    Plane narrow;
    narrow.resize(cw, full.h);
    for (std::int32_t y = 0; y < full.h; ++y) {
        const std::int16_t* row = full.samples.data() + static_cast<std::size_t>(y) * full.w;
        std::int16_t* out = narrow.samples.data() + static_cast<std::size_t>(y) * cw;
        if (grid.halve_width)
            downsample_line({row, 1, full.w}, out, 1, cw, grid.horizontal);
        else
            std::copy_n(row, cw, out);
    }
    if (!grid.halve_height) {
        chroma = std::move(narrow);
        return;
    }
    chroma.resize(cw, ch);
    for (std::int32_t x = 0; x < cw; ++x)
        downsample_line({narrow.samples.data() + x, cw, full.h}, chroma.samples.data() + x, cw, ch, grid.vertical);
}

}  // namespace vantreo_host
