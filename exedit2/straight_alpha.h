// The object's straight-alpha 8-bit pixels to and from the core's RGBA layout, in one place: the
// host's buffer is taken as straight alpha, and this is the only code that assumes it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/exedit2_records.h"

// How an object's colours travel through the core.
enum class AlphaPath {
    // Every alpha 255: colours and alpha as they are, each colour resized as a plane would be.
    opaque,
    // Colours premultiplied: channel c * a and alpha a * 255 (0 .. 65025, one scale), both offset
    // by -32768 into the core's signed 16-bit range. The methods are linear with weights summing to
    // one, so the offset passes through them unchanged.
    premultiplied,
};

// Opaque when every pixel's alpha is 255.
AlphaPath alpha_path_of(const exedit2::Rgba* pixels, std::size_t count);

// Writes `w` x `h` packed pixels as core samples, rows `stride` pixels apart.
void to_core_samples(const exedit2::Rgba* pixels, std::int32_t w, std::int32_t h, AlphaPath path,
                     std::int16_t* samples, std::int32_t stride);

// The inverse, rounding once: alpha is clamped to its range and rounded to 8 bits; a colour is
// clamped to 0 .. its alpha and divided by it, rounded to nearest. An alpha that rounds to 0 gives
// colour 0.
void from_core_samples(const std::int16_t* samples, std::int32_t stride, std::int32_t w, std::int32_t h,
                       AlphaPath path, exedit2::Rgba* pixels);
