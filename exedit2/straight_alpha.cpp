#include "exedit2/straight_alpha.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::int32_t kFullProduct = 255 * 255;
constexpr std::int32_t kFilterFull = 32 * 255;

// round(c x a x kFull / 255^2) less kFull / 2 for every c and a, looked up by a x 256 + c.
template <std::int32_t kFull>
std::vector<std::int16_t> premultiplied_table()
{
    static_assert(std::int64_t{2} * kFullProduct * kFull < std::int64_t{1} << 31, "32 bits hold the product");
    std::vector<std::int16_t> table(256 * 256);
    for (std::int32_t a = 0; a < 256; ++a)
        for (std::int32_t c = 0; c < 256; ++c)
            table[a * 256 + c] =
                static_cast<std::int16_t>((2 * c * a * kFull + kFullProduct) / (2 * kFullProduct) - kFull / 2);
    return table;
}

// c x a itself for kFull = 255^2; for the filter methods' scale a table, built at the first use.
template <std::int32_t kFull>
std::int16_t premultiplied(std::int32_t c, std::int32_t a)
{
    if constexpr (kFull == kFullProduct) {
        return static_cast<std::int16_t>(c * a - kFull / 2);
    } else {
        static const std::vector<std::int16_t> table = premultiplied_table<kFull>();
        return table[a * 256 + c];
    }
}

std::uint8_t clamped_code(std::int32_t sample) { return static_cast<std::uint8_t>(std::clamp(sample, 0, 255)); }

// One pixel back to straight alpha. The colour is round(255 c / alpha) = floor((510 c + alpha) /
// (2 alpha)), computed as n x fl(1 / d) + 2^-20 in double, truncated (it is positive): n < 2^25 and
// d < 2^17, so the product is within 2^-43 of n / d <= 256; a quotient that is whole stays above it
// by the 2^-20, and one that is not lies at least 1 / d >= 2^-17 from every integer, which the 2^-20
// does not cross.
template <std::int32_t kFull>
exedit2::Rgba unpremultiplied_pixel(const std::int16_t* s)
{
    constexpr std::int32_t kOffset = kFull / 2;
    const std::int32_t alpha = std::clamp(s[3] + kOffset, 0, kFull);
    const auto alpha_code = static_cast<std::uint8_t>((510 * alpha + kFull) / (2 * kFull));
    if (alpha_code == 0) return {0, 0, 0, 0};
    const double reciprocal = 1.0 / (2 * alpha);
    const auto colour = [alpha, reciprocal](std::int16_t sample) {
        const std::int32_t numerator = 510 * std::clamp(sample + kOffset, 0, alpha) + alpha;
        return static_cast<std::uint8_t>(numerator * reciprocal + 0x1p-20);
    };
    return {colour(s[0]), colour(s[1]), colour(s[2]), alpha_code};
}

template <std::int32_t kFull>
void premultiply(const exedit2::Rgba* pixels, std::int32_t w, std::int32_t h, std::int16_t* samples,
                 std::int32_t stride)
{
    for (std::int32_t y = 0; y < h; ++y) {
        const exedit2::Rgba* in = pixels + static_cast<std::ptrdiff_t>(y) * w;
        std::int16_t* out = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
        for (std::int32_t x = 0; x < w; ++x, out += 4) {
            const exedit2::Rgba p = in[x];
            out[0] = premultiplied<kFull>(p.r, p.a);
            out[1] = premultiplied<kFull>(p.g, p.a);
            out[2] = premultiplied<kFull>(p.b, p.a);
            out[3] = premultiplied<kFull>(255, p.a);
        }
    }
}

template <std::int32_t kFull>
void unpremultiply(const std::int16_t* samples, std::int32_t stride, std::int32_t w, std::int32_t h,
                   exedit2::Rgba* pixels)
{
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int16_t* in = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
        exedit2::Rgba* out = pixels + static_cast<std::ptrdiff_t>(y) * w;
        for (std::int32_t x = 0; x < w; ++x, in += 4) out[x] = unpremultiplied_pixel<kFull>(in);
    }
}

}  // namespace

SampleCoding sample_coding(const exedit2::Rgba* pixels, std::size_t count, bool filter_method)
{
    const bool opaque = std::all_of(pixels, pixels + count, [](const exedit2::Rgba& p) { return p.a == 255; });
    return SampleCoding{!opaque, filter_method ? kFilterFull : kFullProduct};
}

void to_core_samples(const exedit2::Rgba* pixels, std::int32_t w, std::int32_t h, SampleCoding coding,
                     std::int16_t* samples, std::int32_t stride)
{
    if (coding.premultiplied) {
        if (coding.full == kFilterFull)
            premultiply<kFilterFull>(pixels, w, h, samples, stride);
        else
            premultiply<kFullProduct>(pixels, w, h, samples, stride);
        return;
    }
    for (std::int32_t y = 0; y < h; ++y) {
        const exedit2::Rgba* in = pixels + static_cast<std::ptrdiff_t>(y) * w;
        std::int16_t* out = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
        for (std::int32_t x = 0; x < w; ++x, out += 4) {
            out[0] = in[x].r;
            out[1] = in[x].g;
            out[2] = in[x].b;
            out[3] = 255;
        }
    }
}

void from_core_samples(const std::int16_t* samples, std::int32_t stride, std::int32_t w, std::int32_t h,
                       SampleCoding coding, exedit2::Rgba* pixels)
{
    if (coding.premultiplied) {
        if (coding.full == kFilterFull)
            unpremultiply<kFilterFull>(samples, stride, w, h, pixels);
        else
            unpremultiply<kFullProduct>(samples, stride, w, h, pixels);
        return;
    }
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int16_t* in = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
        exedit2::Rgba* out = pixels + static_cast<std::ptrdiff_t>(y) * w;
        for (std::int32_t x = 0; x < w; ++x, in += 4)
            out[x] = {clamped_code(in[0]), clamped_code(in[1]), clamped_code(in[2]), 255};
    }
}
