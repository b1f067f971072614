// Pictures as PNG files: full-range 8-bit RGB from the host's YCbCr scale.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/os/output_file.h"
#include "host/video/picture.h"

namespace vantreo_host {

// The YCbCr -> RGB matrix: BT.601 (standard definition) or BT.709 (HD).
enum class ColourMatrix { kBt601, kBt709 };

struct RgbImage {
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::vector<std::uint8_t> rgb;  // R, G, B per pixel, rows packed

    RgbImage() = default;
    RgbImage(std::int32_t width, std::int32_t height, std::uint8_t fill = 0)
        : w(width), h(height), rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, fill)
    {
    }
    const std::uint8_t* at(std::int32_t x, std::int32_t y) const { return &rgb[(static_cast<std::size_t>(y) * w + x) * 3]; }
    std::uint8_t* at(std::int32_t x, std::int32_t y) { return &rgb[(static_cast<std::size_t>(y) * w + x) * 3]; }
};

// Host Y 0..4096 is black..white; each channel is clamped to 0..255 after the matrix.
RgbImage to_rgb(const Picture& picture, ColourMatrix matrix);

// `left` and `right` next to each other with `gap` grey columns between, tops aligned, on grey.
RgbImage side_by_side(const RgbImage& left, const RgbImage& right, std::int32_t gap);

// The PNG file of the image; throws HostError when libpng fails.
std::vector<unsigned char> encode_png(const RgbImage& image);

// Writes the PNG file of the image to `output`; the caller commits it.
void write_png(OutputFile& output, const RgbImage& image);

}  // namespace vantreo_host
