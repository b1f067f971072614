// Code values of a video stream to the host's pixel scale and back.
//
// The host's scale puts video black..white at Y 0..4096 and the chroma extremes at -2048..2048
// (no colour at 0). For limited-range 8-bit video that is Y 16..235 -> 0..4096 and Cb, Cr
// 16..240 -> -2048..2048, 128 -> 0; deeper streams use the same levels shifted left by
// depth - 8 (16-bit: Y 4096..60160). Full-range streams map Y 0..2^depth-1 to 0..4096 and Cb, Cr
// 2^(depth-1) +- (2^depth-1)/2 to -2048..2048. Both directions round to nearest (halves upwards);
// back to code values the result is clamped to what the depth can hold (0..255 for 8-bit), not to
// the legal range, so codes outside it (super-white, sub-black) survive a round trip. Down to
// 12 bits a code value survives the round trip exactly.
#pragma once

#include <cstdint>

namespace vantreo_host {

struct SampleLevels {
    std::int32_t luma_offset;    // code value of host Y 0
    std::int32_t luma_span;      // code values from host Y 0 to 4096
    std::int32_t chroma_offset;  // code value of host Cb, Cr 0
    std::int32_t chroma_span;    // code values from host -2048 to 2048
    std::int32_t max_code;       // 2^depth - 1
};

// `depth` is 8..16 bits per sample.
SampleLevels sample_levels(int depth, bool full_range);

std::int16_t luma_to_host(std::int32_t code, const SampleLevels& levels);
std::int16_t chroma_to_host(std::int32_t code, const SampleLevels& levels);
std::int32_t host_to_luma(std::int32_t value, const SampleLevels& levels);
std::int32_t host_to_chroma(std::int32_t value, const SampleLevels& levels);

}  // namespace vantreo_host
