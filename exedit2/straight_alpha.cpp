#include "exedit2/straight_alpha.h"

#include <algorithm>

namespace {

constexpr std::int32_t kOffset = 32768;
constexpr std::int32_t kFullAlpha = 255 * 255;

std::uint8_t clamped_code(std::int32_t sample) { return static_cast<std::uint8_t>(std::clamp(sample, 0, 255)); }

exedit2::Rgba opaque_pixel(const std::int16_t* s)
{
    return {clamped_code(s[0]), clamped_code(s[1]), clamped_code(s[2]), 255};
}

exedit2::Rgba unpremultiplied_pixel(const std::int16_t* s)
{
    const std::int32_t alpha = std::clamp(s[3] + kOffset, 0, kFullAlpha);
    const std::int32_t alpha_code = (alpha + 127) / 255;
    if (alpha_code == 0) return {0, 0, 0, 0};
    // round(255 c / alpha) in integers: (2 * 255 c + alpha) / (2 alpha).
    const auto colour = [alpha](std::int16_t sample) {
        const std::int64_t c = std::clamp(sample + kOffset, 0, alpha);
        return static_cast<std::uint8_t>((2 * 255 * c + alpha) / (2 * std::int64_t{alpha}));
    };
    return {colour(s[0]), colour(s[1]), colour(s[2]), static_cast<std::uint8_t>(alpha_code)};
}

}  // namespace

AlphaPath alpha_path_of(const exedit2::Rgba* pixels, std::size_t count)
{
    const bool opaque = std::all_of(pixels, pixels + count, [](const exedit2::Rgba& p) { return p.a == 255; });
    return opaque ? AlphaPath::opaque : AlphaPath::premultiplied;
}

void to_core_samples(const exedit2::Rgba* pixels, std::int32_t w, std::int32_t h, AlphaPath path,
                     std::int16_t* samples, std::int32_t stride)
{
    for (std::int32_t y = 0; y < h; ++y) {
        const exedit2::Rgba* in = pixels + static_cast<std::ptrdiff_t>(y) * w;
        std::int16_t* out = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
        for (std::int32_t x = 0; x < w; ++x, out += 4) {
            const exedit2::Rgba p = in[x];
            if (path == AlphaPath::opaque) {
                out[0] = p.r;
                out[1] = p.g;
                out[2] = p.b;
                out[3] = 255;
            } else {
                out[0] = static_cast<std::int16_t>(p.r * p.a - kOffset);
                out[1] = static_cast<std::int16_t>(p.g * p.a - kOffset);
                out[2] = static_cast<std::int16_t>(p.b * p.a - kOffset);
                out[3] = static_cast<std::int16_t>(p.a * 255 - kOffset);
            }
        }
    }
}

void from_core_samples(const std::int16_t* samples, std::int32_t stride, std::int32_t w, std::int32_t h,
                       AlphaPath path, exedit2::Rgba* pixels)
{
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int16_t* in = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
        exedit2::Rgba* out = pixels + static_cast<std::ptrdiff_t>(y) * w;
        for (std::int32_t x = 0; x < w; ++x, in += 4)
            out[x] = path == AlphaPath::opaque ? opaque_pixel(in) : unpremultiplied_pixel(in);
    }
}
