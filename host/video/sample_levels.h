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
#include <vector>

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

// Whole rows of one channel's samples as a frame holds them (a byte each up to 8 bits, else two,
// little-endian) to the host's scale and back, with exactly the values of the functions above. Code
// values go through a multiply-add exact for every code the depth holds (found when constructed and
// checked against the formula), or a table of them where none is; values back to codes through the
// formula itself in 32-bit lanes.
class RowLevels {
public:
    RowLevels() = default;
    RowLevels(const SampleLevels& levels, bool chroma);

    void to_host(const unsigned char* codes, std::int32_t n, std::int16_t* values) const;
    void to_codes(const std::int16_t* values, std::int32_t n, unsigned char* codes) const;

private:
    std::int16_t host_of(std::int32_t code) const;
    std::int32_t code_of(std::int32_t value) const;

    SampleLevels levels_{};
    bool chroma_ = false;
    bool wide_ = false;  // two bytes a sample
    // code -> value: (code * multiplier + addend) >> shift, the multiplier given as two 16-bit factors
    // of (code << pre_shift, code): multiplier = high << pre_shift | low. Unused when table_ holds them.
    std::int16_t high_ = 0;
    std::int16_t low_ = 0;
    int pre_shift_ = 0;
    std::int32_t addend_ = 0;
    int shift_ = 0;
    std::vector<std::int16_t> table_;  // value of each code 0..max_code
};

}  // namespace vantreo_host
