#include "exedit2/straight_alpha.h"

#include <algorithm>
#include <type_traits>
#include <vector>

namespace {

constexpr std::int32_t kFullProduct = 255 * 255;
constexpr std::int32_t kFilterFull = 32 * 255;

// round(c x a x kFull / 255^2) less kFull / 2 for every c and a, looked up by a x 256 + c: built at
// the first use of a scale, then found once per run of rows.
template <std::int32_t kFull>
const std::vector<std::int16_t>& premultiplied_table()
{
    static const std::vector<std::int16_t> table = [] {
        std::vector<std::int16_t> values(256 * 256);
        for (std::int64_t a = 0; a < 256; ++a)
            for (std::int64_t c = 0; c < 256; ++c)
                values[a * 256 + c] =
                    static_cast<std::int16_t>((2 * c * a * kFull + kFullProduct) / (2 * kFullProduct) - kFull / 2);
        return values;
    }();
    return table;
}

// Opaque pixels go as they are: the coding below with no premultiplying.
constexpr std::int32_t kOpaque = 0;

std::uint8_t clamped_code(std::int32_t sample) { return static_cast<std::uint8_t>(std::clamp(sample, 0, 255)); }

// `table`: premultiplied_table<kFull>, unused when opaque.
template <std::int32_t kFull>
void to_samples(exedit2::Rgba p, const std::int16_t* table, std::int16_t* out)
{
    if constexpr (kFull == kOpaque) {
        out[0] = p.r;
        out[1] = p.g;
        out[2] = p.b;
        out[3] = 255;
    } else {
        const std::int16_t* row = table + p.a * 256;
        out[0] = row[p.r];
        out[1] = row[p.g];
        out[2] = row[p.b];
        out[3] = row[255];
    }
}

// One pixel back to straight alpha. The colour is round(255 c / alpha) = floor((510 c + alpha) /
// (2 alpha)), computed as n x fl(1 / d) + 2^-20 in double, truncated (it is positive): n < 2^25 and
// d < 2^17, so the product is within 2^-43 of n / d <= 256; a quotient that is whole stays above it
// by the 2^-20, and one that is not lies at least 1 / d >= 2^-17 from every integer, which the 2^-20
// does not cross.
template <std::int32_t kFull>
exedit2::Rgba from_samples(const std::int16_t* s)
{
    if constexpr (kFull == kOpaque) {
        return {clamped_code(s[0]), clamped_code(s[1]), clamped_code(s[2]), 255};
    } else {
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
}

// Calls visit with the coding's full scale as a compile-time constant (kOpaque for no premultiplying).
template <class Visit>
void with_coding(SampleCoding coding, Visit visit)
{
    if (!coding.premultiplied)
        visit(std::integral_constant<std::int32_t, kOpaque>{});
    else if (coding.full == kFilterFull)
        visit(std::integral_constant<std::int32_t, kFilterFull>{});
    else
        visit(std::integral_constant<std::int32_t, kFullProduct>{});
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
    with_coding(coding, [&](auto full) {
        const std::int16_t* table = full() == kOpaque ? nullptr : premultiplied_table<full()>().data();
        for (std::int32_t y = 0; y < h; ++y) {
            const exedit2::Rgba* in = pixels + static_cast<std::ptrdiff_t>(y) * w;
            std::int16_t* out = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
            for (std::int32_t x = 0; x < w; ++x) to_samples<full()>(in[x], table, out + 4 * x);
        }
    });
}

void from_core_samples(const std::int16_t* samples, std::int32_t stride, std::int32_t w, std::int32_t h,
                       SampleCoding coding, exedit2::Rgba* pixels)
{
    with_coding(coding, [&](auto full) {
        for (std::int32_t y = 0; y < h; ++y) {
            const std::int16_t* in = samples + static_cast<std::ptrdiff_t>(y) * stride * 4;
            exedit2::Rgba* out = pixels + static_cast<std::ptrdiff_t>(y) * w;
            for (std::int32_t x = 0; x < w; ++x) out[x] = from_samples<full()>(in + 4 * x);
        }
    });
}
