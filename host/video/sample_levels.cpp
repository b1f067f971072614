#include "host/video/sample_levels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantreo_host {

namespace {

constexpr std::int64_t kHostSpan = 4096;

// n / d rounded to nearest, halves upwards; d > 0.
std::int64_t round_div(std::int64_t n, std::int64_t d)
{
    const std::int64_t twice = 2 * n + d;
    const std::int64_t q = twice / (2 * d);
    return (twice % (2 * d) < 0) ? q - 1 : q;
}

std::int32_t to_code(std::int32_t value, std::int32_t offset, std::int32_t span, std::int32_t max_code)
{
    const std::int64_t code = round_div(std::int64_t{value} * span, kHostSpan) + offset;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(code, 0, max_code));
}

// Code values in range give at most +-4490; the clamp only guards against bad levels.
std::int16_t to_host(std::int32_t code, std::int32_t offset, std::int32_t span)
{
    const std::int64_t value = round_div((std::int64_t{code} - offset) * kHostSpan, span);
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int16_t>::min(),
                                                                std::numeric_limits<std::int16_t>::max()));
}

}  // namespace

SampleLevels sample_levels(int depth, bool full_range)
{
    const int shift = depth - 8;
    const std::int32_t max_code = (std::int32_t{1} << depth) - 1;
    if (full_range) return {0, max_code, std::int32_t{1} << (depth - 1), max_code, max_code};
    return {16 << shift, 219 << shift, 128 << shift, 224 << shift, max_code};
}

std::int16_t luma_to_host(std::int32_t code, const SampleLevels& levels)
{
    return to_host(code, levels.luma_offset, levels.luma_span);
}

std::int16_t chroma_to_host(std::int32_t code, const SampleLevels& levels)
{
    return to_host(code, levels.chroma_offset, levels.chroma_span);
}

std::int32_t host_to_luma(std::int32_t value, const SampleLevels& levels)
{
    return to_code(value, levels.luma_offset, levels.luma_span, levels.max_code);
}

std::int32_t host_to_chroma(std::int32_t value, const SampleLevels& levels)
{
    return to_code(value, levels.chroma_offset, levels.chroma_span, levels.max_code);
}

RowLevels::RowLevels(const SampleLevels& levels, bool chroma)
    : levels_(levels), chroma_(chroma), wide_(levels.max_code > 255)
{
    const std::int32_t offset = chroma ? levels.chroma_offset : levels.luma_offset;
    const std::int32_t span = chroma ? levels.chroma_span : levels.luma_span;
    std::vector<std::int64_t> host(static_cast<std::size_t>(levels.max_code) + 1);
    for (std::int32_t code = 0; code <= levels.max_code; ++code) host[code] = vantreo_host::to_host(code, offset, span);

    // (code << pre_shift, code) pairs stay 16-bit signed, so the multiplier takes 15 + pre_shift bits.
    // The three largest shifts that leave it room give the finest multipliers; where none of them is
    // exact for every code (16-bit samples, and deep limited-range luma), the table serves.
    int depth = 1;
    while ((std::int32_t{1} << depth) <= levels.max_code) ++depth;
    if (depth <= 15) {
        const int pre_shift = 15 - depth;
        const std::int64_t max_multiplier = (std::int64_t{1} << (15 + pre_shift)) - 1;
        const double ideal = static_cast<double>(kHostSpan) / span;
        int tried = 0;
        for (int shift = 30; shift > 0 && tried < 3; --shift) {
            const auto nearest = static_cast<std::int64_t>(std::llround(std::ldexp(ideal, shift)));
            if (nearest + 2 > max_multiplier) continue;
            ++tried;
            for (std::int64_t multiplier = nearest - 2; multiplier <= nearest + 2; ++multiplier) {
                // The addends that floor every code's product to its value: [low, high].
                std::int64_t low = std::numeric_limits<std::int64_t>::min();
                std::int64_t high = std::numeric_limits<std::int64_t>::max();
                for (std::int32_t code = 0; code <= levels.max_code && low <= high; ++code) {
                    low = std::max(low, host[code] * (std::int64_t{1} << shift) - code * multiplier);
                    high = std::min(high, (host[code] + 1) * (std::int64_t{1} << shift) - 1 - code * multiplier);
                }
                const std::int64_t top = levels.max_code * multiplier + low;
                if (low > high || low < std::numeric_limits<std::int32_t>::min() ||
                    top > std::numeric_limits<std::int32_t>::max())
                    continue;
                high_ = static_cast<std::int16_t>(multiplier >> pre_shift);
                low_ = static_cast<std::int16_t>(multiplier & ((std::int64_t{1} << pre_shift) - 1));
                pre_shift_ = pre_shift;
                addend_ = static_cast<std::int32_t>(low);
                shift_ = shift;
                return;
            }
        }
    }
    table_.assign(host.begin(), host.end());
}

std::int16_t RowLevels::host_of(std::int32_t code) const
{
    if (code > levels_.max_code) return chroma_ ? chroma_to_host(code, levels_) : luma_to_host(code, levels_);
    if (!table_.empty()) return table_[code];
    const std::int32_t multiplier = (std::int32_t{high_} << pre_shift_) | low_;
    return static_cast<std::int16_t>((code * multiplier + addend_) >> shift_);
}

std::int32_t RowLevels::code_of(std::int32_t value) const
{
    // value * span fits 32 bits for every 16-bit value and span up to 65535; >> floors.
    const std::int32_t offset = chroma_ ? levels_.chroma_offset : levels_.luma_offset;
    const std::int32_t span = chroma_ ? levels_.chroma_span : levels_.luma_span;
    return std::clamp(((value * span + 2048) >> 12) + offset, 0, levels_.max_code);
}

void RowLevels::to_host(const unsigned char* codes, std::int32_t n, std::int16_t* values) const
{
    std::int32_t x = 0;
#if defined(__SSE2__)
    if (table_.empty()) {
        // Everything the loop needs in registers: the stores through `values` could alias the members.
        const __m128i factors = _mm_set1_epi32(static_cast<std::uint16_t>(high_) | (std::int32_t{low_} << 16));
        const __m128i addend = _mm_set1_epi32(addend_);
        const __m128i max_code = _mm_set1_epi16(static_cast<std::int16_t>(levels_.max_code));
        const __m128i pre_shift = _mm_cvtsi32_si128(pre_shift_);
        const __m128i shift = _mm_cvtsi32_si128(shift_);
        const __m128i zero = _mm_setzero_si128();
        const bool wide = wide_;
        for (; x + 8 <= n; x += 8) {
            __m128i code;
            if (wide) {
                code = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + 2 * x));
                // Codes past the depth's range (a 10-bit stream's stray high bits) take the formula.
                const __m128i stray = _mm_or_si128(_mm_cmpgt_epi16(code, max_code), _mm_cmplt_epi16(code, zero));
                if (_mm_movemask_epi8(stray) != 0) {
                    for (int i = 0; i < 8; ++i)
                        values[x + i] = host_of(codes[2 * (x + i)] | (codes[2 * (x + i) + 1] << 8));
                    continue;
                }
            } else {
                code = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(codes + x)), zero);
            }
            const __m128i shifted = _mm_sll_epi16(code, pre_shift);
            const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi16(shifted, code), factors);
            const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi16(shifted, code), factors);
            const __m128i value = _mm_packs_epi32(_mm_sra_epi32(_mm_add_epi32(low, addend), shift),
                                                  _mm_sra_epi32(_mm_add_epi32(high, addend), shift));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(values + x), value);
        }
    }
#endif
    if (wide_)
        for (; x < n; ++x) values[x] = host_of(codes[2 * x] | (codes[2 * x + 1] << 8));
    else
        for (; x < n; ++x) values[x] = host_of(codes[x]);
}

void RowLevels::to_codes(const std::int16_t* values, std::int32_t n, unsigned char* codes) const
{
    std::int32_t x = 0;
#if defined(__SSE2__)
    const std::int32_t offset = chroma_ ? levels_.chroma_offset : levels_.luma_offset;
    const __m128i span = _mm_set1_epi16(static_cast<std::int16_t>(chroma_ ? levels_.chroma_span : levels_.luma_span));
    const __m128i rounding = _mm_set1_epi32(2048);
    // Codes less 32768, so that signed saturation clamps them to 0..65535 on the way to 16 bits.
    const __m128i biased_offset = _mm_set1_epi32(offset - 32768);
    const __m128i biased_max = _mm_set1_epi16(static_cast<std::int16_t>(levels_.max_code - 32768));
    const __m128i bias = _mm_set1_epi16(static_cast<std::int16_t>(-32768));
    const bool wide = wide_;
    for (; x + 8 <= n; x += 8) {
        const __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + x));
        // value * span in 32 bits: the unsigned high half, less span where value is negative.
        const __m128i product_low = _mm_mullo_epi16(value, span);
        const __m128i product_high =
            _mm_sub_epi16(_mm_mulhi_epu16(value, span), _mm_and_si128(_mm_srai_epi16(value, 15), span));
        const __m128i low = _mm_srai_epi32(_mm_add_epi32(_mm_unpacklo_epi16(product_low, product_high), rounding), 12);
        const __m128i high = _mm_srai_epi32(_mm_add_epi32(_mm_unpackhi_epi16(product_low, product_high), rounding), 12);
        const __m128i biased = _mm_min_epi16(
            _mm_packs_epi32(_mm_add_epi32(low, biased_offset), _mm_add_epi32(high, biased_offset)), biased_max);
        const __m128i code = _mm_xor_si128(biased, bias);
        if (wide)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(codes + 2 * x), code);
        else
            _mm_storel_epi64(reinterpret_cast<__m128i*>(codes + x), _mm_packus_epi16(code, code));
    }
#endif
    for (; x < n; ++x) {
        const std::int32_t code = code_of(values[x]);
        if (wide_) {
            codes[2 * x] = static_cast<unsigned char>(code & 0xff);
            codes[2 * x + 1] = static_cast<unsigned char>(code >> 8);
        } else {
            codes[x] = static_cast<unsigned char>(code);
        }
    }
}

}  // namespace vantreo_host
