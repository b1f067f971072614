#include "exedit2/straight_alpha.h"

#include <algorithm>

namespace {

constexpr std::int32_t kFullProduct = 255 * 255;

// Nearest of numerator / denominator, both non-negative, halves up.
std::int64_t rounded_quotient(std::int64_t numerator, std::int64_t denominator)
{
    return (2 * numerator + denominator) / (2 * denominator);
}

std::uint8_t clamped_code(std::int32_t sample) { return static_cast<std::uint8_t>(std::clamp(sample, 0, 255)); }

exedit2::Rgba unpremultiplied_pixel(const std::int16_t* s, std::int32_t full)
{
    const std::int32_t offset = full / 2;
    const std::int32_t alpha = std::clamp(s[3] + offset, 0, full);
    const auto alpha_code = static_cast<std::uint8_t>(rounded_quotient(std::int64_t{255} * alpha, full));
    if (alpha_code == 0) return {0, 0, 0, 0};
    const auto colour = [alpha, offset](std::int16_t sample) {
        return static_cast<std::uint8_t>(rounded_quotient(std::int64_t{255} * std::clamp(sample + offset, 0, alpha), alpha));
    };
    return {colour(s[0]), colour(s[1]), colour(s[2]), alpha_code};
}

}  // namespace

SampleCoding sample_coding(const exedit2::Rgba* pixels, std::size_t count, bool filter_method)
{
    const bool opaque = std::all_of(pixels, pixels + count, [](const exedit2::Rgba& p) { return p.a == 255; });
    return SampleCoding{!opaque, filter_method ? 32 * 255 : kFullProduct};
}

void to_core_samples(const exedit2::Rgba* pixels, std::int32_t w, std::int32_t h, SampleCoding coding,
                     std::int16_t* samples, std::int32_t stride)
{
    const std::int32_t offset = coding.full / 2;
    const auto premultiplied = [&coding, offset](std::int32_t c, std::int32_t a) {
        return static_cast<std::int16_t>(rounded_quotient(std::int64_t{c} * a * coding.full, kFullProduct) - offset);
    };
    for (std::int32_t y = 0; y < h; ++y) {
        const exedit2::Rgba* in = pixels + static_cast<std::ptrdiff_t>(y) * w;
        std::int16_t* out = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
        for (std::int32_t x = 0; x < w; ++x, out += 4) {
            const exedit2::Rgba p = in[x];
            if (coding.premultiplied) {
                out[0] = premultiplied(p.r, p.a);
                out[1] = premultiplied(p.g, p.a);
                out[2] = premultiplied(p.b, p.a);
                out[3] = premultiplied(255, p.a);
            } else {
                out[0] = p.r;
                out[1] = p.g;
                out[2] = p.b;
                out[3] = 255;
            }
        }
    }
}

void from_core_samples(const std::int16_t* samples, std::int32_t stride, std::int32_t w, std::int32_t h,
                       SampleCoding coding, exedit2::Rgba* pixels)
{
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int16_t* in = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
        exedit2::Rgba* out = pixels + static_cast<std::ptrdiff_t>(y) * w;
        for (std::int32_t x = 0; x < w; ++x, in += 4)
            out[x] = coding.premultiplied ? unpremultiplied_pixel(in, coding.full)
                                          : exedit2::Rgba{clamped_code(in[0]), clamped_code(in[1]), clamped_code(in[2]), 255};
    }
}
