// The object's straight-alpha 8-bit pixels to and from the core's RGBA layout, in one place: the
// host's buffer is taken as straight alpha, and this is the only code that assumes it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/exedit2_records.h"

// How an object's samples travel through the core.
struct SampleCoding {
    // False when every alpha is 255: colours go as they are, each resized as a plane would be, and
    // alpha stays 255. True: colour c with alpha a goes as c x a scaled to `full`, alpha as a scaled
    // to `full`, both less full / 2 to sit inside the core's signed range. The methods are linear with
    // weights adding up to one, so the offset passes through them.
    bool premultiplied;
    std::int32_t full;  // the core value of alpha 255 (before the offset)
};

// The coding for an object's pixels: premultiplied unless every alpha is 255. Area averaging and
// point sampling take c x a whole (full 255 x 255); the filter methods saturate their intermediate
// at 2^13, so with them alpha 255 is 32 x 255, leaving room for their overshoot.
SampleCoding sample_coding(const exedit2::Rgba* pixels, std::size_t count, bool filter_method);

// Writes `w` x `h` packed pixels as core samples, rows `stride` pixels apart.
void to_core_samples(const exedit2::Rgba* pixels, std::int32_t w, std::int32_t h, SampleCoding coding,
                     std::int16_t* samples, std::int32_t stride);

// The inverse, rounding once: alpha is clamped to 0 .. full and rounded to 8 bits; a colour is
// clamped to 0 .. its alpha and divided by it, rounded to nearest. An alpha that rounds to 0 gives
// colour 0.
void from_core_samples(const std::int16_t* samples, std::int32_t stride, std::int32_t w, std::int32_t h,
                       SampleCoding coding, exedit2::Rgba* pixels);
