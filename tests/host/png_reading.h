// PNG files read back with libpng, for checking what the host wrote.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>

#include "host/video/png_image.h"

namespace host_test {

// The RGB pixels of a PNG file; a failure (and an empty image) when it is not one.
inline vantreo_host::RgbImage read_png(const std::string& bytes)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    vantreo_host::RgbImage result;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        ADD_FAILURE() << "not a PNG file: " << image.message;
        return result;
    }
    image.format = PNG_FORMAT_RGB;
    result = vantreo_host::RgbImage(static_cast<std::int32_t>(image.width), static_cast<std::int32_t>(image.height));
    if (!png_image_finish_read(&image, nullptr, result.rgb.data(), 0, nullptr)) {
        ADD_FAILURE() << image.message;
        return vantreo_host::RgbImage();
    }
    return result;
}

}  // namespace host_test
