// A picture in the host's pixel format, rows packed with no padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "abi/filter_records.h"

namespace vantreo_host {

struct Picture {
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::vector<PIXEL_YC> pixels;  // row r, column x at r * w + x

    Picture() = default;
    Picture(std::int32_t width, std::int32_t height)
        : w(width), h(height), pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), PIXEL_YC{0, 0, 0})
    {
    }

    PIXEL_YC& at(std::int32_t x, std::int32_t y) { return pixels[static_cast<std::size_t>(y) * w + x]; }
    const PIXEL_YC& at(std::int32_t x, std::int32_t y) const { return pixels[static_cast<std::size_t>(y) * w + x]; }
};

}  // namespace vantreo_host
