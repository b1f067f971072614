#include "host/video/png_image.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/os/host_error.h"
#include "host/video/test_pattern.h"

namespace vantreo_host {

namespace {

constexpr std::uint8_t kGrey = 128;

std::uint8_t to_byte(double value) { return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0)); }

}  // namespace

RgbImage to_rgb(const Picture& picture, ColourMatrix matrix)
{
    const double kr = matrix == ColourMatrix::kBt709 ? 0.2126 : 0.299;
    const double kb = matrix == ColourMatrix::kBt709 ? 0.0722 : 0.114;
    const double kg = 1.0 - kr - kb;
    const double r_from_cr = 2.0 * (1.0 - kr);
    const double b_from_cb = 2.0 * (1.0 - kb);
    const double g_from_cb = b_from_cb * kb / kg;
    const double g_from_cr = r_from_cr * kr / kg;

    RgbImage image(picture.w, picture.h);
    std::uint8_t* out = image.rgb.data();
    for (const PIXEL_YC& pixel : picture.pixels) {
        const double y = static_cast<double>(pixel.y) / kMaxLuma;
        const double cb = static_cast<double>(pixel.cb) / (2.0 * kMaxChroma);
        const double cr = static_cast<double>(pixel.cr) / (2.0 * kMaxChroma);
        *out++ = to_byte(y + r_from_cr * cr);
        *out++ = to_byte(y - g_from_cb * cb - g_from_cr * cr);
        *out++ = to_byte(y + b_from_cb * cb);
    }
    return image;
}

RgbImage side_by_side(const RgbImage& left, const RgbImage& right, std::int32_t gap)
{
    RgbImage image(left.w + gap + right.w, std::max(left.h, right.h), kGrey);
    for (std::int32_t y = 0; y < left.h; ++y) std::memcpy(image.at(0, y), left.at(0, y), static_cast<std::size_t>(left.w) * 3);
    for (std::int32_t y = 0; y < right.h; ++y)
        std::memcpy(image.at(left.w + gap, y), right.at(0, y), static_cast<std::size_t>(right.w) * 3);
    return image;
}

std::vector<unsigned char> encode_png(const RgbImage& image)
{
    png_image description;
    std::memset(&description, 0, sizeof description);
    description.version = PNG_IMAGE_VERSION;
    description.width = static_cast<png_uint_32>(image.w);
    description.height = static_cast<png_uint_32>(image.h);
    description.format = PNG_FORMAT_RGB;

    png_alloc_size_t size = 0;
    std::vector<unsigned char> bytes;
    if (png_image_write_get_memory_size(description, size, 0, image.rgb.data(), 0, nullptr)) {
        bytes.resize(size);
        if (png_image_write_to_memory(&description, bytes.data(), &size, 0, image.rgb.data(), 0, nullptr)) {
            bytes.resize(size);
            return bytes;
        }
    }
    const std::string message = description.message;
    png_image_free(&description);
    throw HostError("cannot make a PNG image of " + std::to_string(image.w) + "x" + std::to_string(image.h) + ": " + message);
}

void write_png(OutputFile& output, const RgbImage& image)
{
    const std::vector<unsigned char> bytes = encode_png(image);
    output.write(bytes.data(), bytes.size());
}

}  // namespace vantreo_host
