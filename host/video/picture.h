// A picture in the host's pixel format, rows packed with no padding.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "abi/filter_records.h"

namespace vantreo_host {

// The largest frame buffer the host gives the plug-in, and so the largest picture it reads: sides up
// to kMaxBufferSide, and 8192x4096 pixels (8K UHD, 7680x4320, too) in a 32-bit process, as in the
// editor, and 8192x8192 in a 64-bit one, which has the address space for it.
constexpr std::int32_t kMaxBufferSide = 16384;
constexpr std::int64_t kMaxBufferPixels = std::int64_t{1} << (sizeof(void*) >= 8 ? 26 : 25);

struct Size {
    std::int32_t w;
    std::int32_t h;
};

inline bool operator==(Size a, Size b) { return a.w == b.w && a.h == b.h; }
inline bool operator!=(Size a, Size b) { return !(a == b); }

struct Picture {
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::vector<PIXEL_YC> pixels;  // row r, column x at r * w + x

    Picture() = default;
    Picture(std::int32_t width, std::int32_t height)
        : w(width), h(height), pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), PIXEL_YC{0, 0, 0})
    {
    }

    Size size() const { return {w, h}; }
    PIXEL_YC& at(std::int32_t x, std::int32_t y) { return pixels[static_cast<std::size_t>(y) * w + x]; }
    const PIXEL_YC& at(std::int32_t x, std::int32_t y) const { return pixels[static_cast<std::size_t>(y) * w + x]; }
};

// The rows of one field of an interlaced frame of `h` rows: the top field (0) holds rows 0, 2, 4, ...,
// the bottom field (1) rows 1, 3, 5, ...
inline std::int32_t field_height(std::int32_t h, int field) { return (h + 1 - field) / 2; }

// Rows field, field + 2, ... of a frame whose rows are `w` elements each, packed.
template <typename T>
std::vector<T> field_rows(const std::vector<T>& frame, std::int32_t w, std::int32_t h, int field)
{
    std::vector<T> rows;
    rows.reserve(static_cast<std::size_t>(w) * static_cast<std::size_t>(field_height(h, field)));
    for (std::int32_t y = field; y < h; y += 2)
        rows.insert(rows.end(), frame.begin() + static_cast<std::ptrdiff_t>(y) * w,
                    frame.begin() + static_cast<std::ptrdiff_t>(y + 1) * w);
    return rows;
}

// The field's rows back at rows field, field + 2, ... of `frame`, whose rows are `w` elements each.
template <typename T>
void weave_rows(const std::vector<T>& rows, std::int32_t w, int field, std::vector<T>& frame)
{
    const std::size_t n = rows.size() / static_cast<std::size_t>(w);
    for (std::size_t i = 0; i < n; ++i)
        std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(i * w), w,
                    frame.begin() + static_cast<std::ptrdiff_t>((2 * i + field) * w));
}

}  // namespace vantreo_host
