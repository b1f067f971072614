#include "host/video/chroma_resampling.h"

#include <algorithm>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantreo_host {

namespace {

// The centred upsampler's t: d / 8 rounded to nearest, halves away from zero (so that a mirrored
// line gives the mirrored result).
inline std::int32_t eighth(std::int32_t d) { return (d + 4 - (d < 0 ? 1 : 0)) >> 3; }

// (a + b) / 2 rounded to nearest, halves upwards; >> floors.
inline std::int32_t midpoint(std::int32_t a, std::int32_t b) { return (a + b + 1) >> 1; }

inline std::int16_t saturated(std::int32_t v)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, std::numeric_limits<std::int16_t>::min(),
                                                              std::numeric_limits<std::int16_t>::max()));
}

#if defined(__SSE2__)
inline __m128i load(const std::int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i load(const std::int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store(std::int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void store(std::int32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// eighth() of eight differences (saturating, as the sums about it do).
inline __m128i eighths(__m128i d)
{
    return _mm_srai_epi16(_mm_adds_epi16(_mm_adds_epi16(d, _mm_set1_epi16(4)), _mm_srai_epi16(d, 15)), 3);
}

// midpoint() of eight pairs, exact for any 16-bit values: the unsigned average of the values moved up
// by 32768.
inline __m128i midpoints(__m128i a, __m128i b)
{
    const __m128i bias = _mm_set1_epi16(static_cast<std::int16_t>(-32768));
    return _mm_xor_si128(_mm_avg_epu16(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias)), bias);
}

// The even (first) and odd 16-bit values of four pairs, each widened to 32 bits.
inline __m128i evens(__m128i pairs) { return _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16); }
inline __m128i odds(__m128i pairs) { return _mm_srai_epi32(pairs, 16); }
#endif

// A line of m = (n + 1) / 2 chroma samples to its n pixels.
void upsample_line(const std::int16_t* c, std::int32_t n, Siting siting, std::int16_t* p)
{
    const std::int32_t m = (n + 1) / 2;
    const std::int32_t pairs = n / 2;  // samples covering two pixels
    const auto pair = [&](std::int32_t i) {
        const std::int32_t after = c[std::min(i + 1, m - 1)];
        if (siting == Siting::kCentred) {
            const std::int32_t t = eighth(c[std::max(i - 1, 0)] - after);
            p[2 * i] = saturated(c[i] + t);
            p[2 * i + 1] = saturated(c[i] - t);
        } else {
            p[2 * i] = c[i];
            p[2 * i + 1] = static_cast<std::int16_t>(midpoint(c[i], after));
        }
    };
    std::int32_t i = 0;
    if (pairs > 0) pair(i++);
#if defined(__SSE2__)
    // Samples i - 1 .. i + 8 all inside the line.
    if (siting == Siting::kCentred) {
        for (; i + 9 <= m; i += 8) {
            const __m128i row = load(c + i);
            const __m128i t = eighths(_mm_subs_epi16(load(c + i - 1), load(c + i + 1)));
            const __m128i first = _mm_adds_epi16(row, t);
            const __m128i second = _mm_subs_epi16(row, t);
            store(p + 2 * i, _mm_unpacklo_epi16(first, second));
            store(p + 2 * i + 8, _mm_unpackhi_epi16(first, second));
        }
    } else {
        for (; i + 9 <= m; i += 8) {
            const __m128i row = load(c + i);
            const __m128i second = midpoints(row, load(c + i + 1));
            store(p + 2 * i, _mm_unpacklo_epi16(row, second));
            store(p + 2 * i + 8, _mm_unpackhi_epi16(row, second));
        }
    }
#endif
    for (; i < pairs; ++i) pair(i);
    if (n % 2 != 0) p[n - 1] = c[m - 1];
}

// A line of n pixels to its m = (n + 1) / 2 chroma samples, in 32 bits; `r` is scratch of m values.
void downsample_line(const std::int16_t* p, std::int32_t n, Siting siting, std::int32_t* c, std::int32_t* r)
{
    const std::int32_t m = (n + 1) / 2;
    const std::int32_t pairs = n / 2;
    std::int32_t i = 0;
    if (siting == Siting::kCentred) {
#if defined(__SSE2__)
        const __m128i ones = _mm_set1_epi16(1);
        const __m128i one = _mm_set1_epi32(1);
        for (; i + 8 <= pairs; i += 8) {
            const __m128i low = _mm_madd_epi16(load(p + 2 * i), ones);
            const __m128i high = _mm_madd_epi16(load(p + 2 * i + 8), ones);
            store(c + i, _mm_srai_epi32(_mm_add_epi32(low, one), 1));
            store(c + i + 4, _mm_srai_epi32(_mm_add_epi32(high, one), 1));
        }
#endif
        for (; i < pairs; ++i) c[i] = midpoint(p[2 * i], p[2 * i + 1]);
        if (n % 2 != 0) c[m - 1] = p[n - 1];
        return;
    }

    // r[i]: how far odd pixel 2i + 1 lies from the midpoint of its neighbours, the line mirrored at its
    // ends (past an even n the last even pixel stands in; past an odd n the last odd pixel's r repeats).
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi32(1);
    // Pixels 2i .. 2i + 9 inside the line.
    for (; 2 * i + 10 <= n; i += 4) {
        const __m128i here = load(p + 2 * i);
        const __m128i next = evens(load(p + 2 * i + 2));
        const __m128i even = evens(here);
        store(r + i, _mm_sub_epi32(odds(here), _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(even, next), one), 1)));
    }
#endif
    for (; i < pairs; ++i) r[i] = p[2 * i + 1] - midpoint(p[2 * i], p[2 * i + 2 < n ? 2 * i + 2 : 2 * i]);
    if (n % 2 != 0) r[m - 1] = m >= 2 ? r[m - 2] : 0;

    // c[i] = p[2i] + (r[i - 1] + r[i] + 1) >> 2, r[-1] mirroring r[0].
    c[0] = p[0] + ((2 * r[0] + 1) >> 2);
    i = 1;
#if defined(__SSE2__)
    // Pixels 2i .. 2i + 7 inside the line.
    for (; i + 4 <= m && 2 * i + 8 <= n; i += 4) {
        const __m128i sum = _mm_add_epi32(_mm_add_epi32(load(r + i - 1), load(r + i)), one);
        store(c + i, _mm_add_epi32(evens(load(p + 2 * i)), _mm_srai_epi32(sum, 2)));
    }
#endif
    for (; i < m; ++i) c[i] = p[2 * i] + ((r[i - 1] + r[i] + 1) >> 2);
}

// The vertical step of upsampling: the chroma-wide rows of the two pixel rows of chroma row `row`.
// A partial site (its second pixel row past the plane) makes `first` alone.
void upsample_rows(const std::int16_t* before, const std::int16_t* row, const std::int16_t* after, std::int32_t n,
                   Siting siting, bool partial, std::int16_t* first, std::int16_t* second)
{
    if (siting == Siting::kCentred && partial) {
        std::copy_n(row, n, first);
        return;
    }
    std::int32_t x = 0;
#if defined(__SSE2__)
    for (; x + 8 <= n; x += 8) {
        const __m128i here = load(row + x);
        const __m128i below = load(after + x);
        if (siting == Siting::kCentred) {
            const __m128i t = eighths(_mm_subs_epi16(load(before + x), below));
            store(first + x, _mm_adds_epi16(here, t));
            store(second + x, _mm_subs_epi16(here, t));
        } else {
            store(first + x, here);
            store(second + x, midpoints(here, below));
        }
    }
#endif
    for (; x < n; ++x) {
        if (siting == Siting::kCentred) {
            const std::int32_t t = eighth(before[x] - after[x]);
            first[x] = saturated(row[x] + t);
            second[x] = saturated(row[x] - t);
        } else {
            first[x] = row[x];
            second[x] = static_cast<std::int16_t>(midpoint(row[x], after[x]));
        }
    }
}

// The rows' saturated values; `b`, when given, averaged in (a centred site's two rows).
void narrow_rows(const std::int32_t* a, const std::int32_t* b, std::int32_t n, std::int16_t* out)
{
    std::int32_t x = 0;
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi32(1);
    for (; x + 8 <= n; x += 8) {
        __m128i low = load(a + x);
        __m128i high = load(a + x + 4);
        if (b) {
            low = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(low, load(b + x)), one), 1);
            high = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(high, load(b + x + 4)), one), 1);
        }
        store(out + x, _mm_packs_epi32(low, high));
    }
#endif
    for (; x < n; ++x) out[x] = saturated(b ? midpoint(a[x], b[x]) : a[x]);
}

// Co-sited vertical step: r of an odd row between two even ones.
void residual_rows(const std::int32_t* odd, const std::int32_t* even, const std::int32_t* next, std::int32_t n,
                   std::int32_t* r)
{
    for (std::int32_t x = 0; x < n; ++x) r[x] = odd[x] - midpoint(even[x], next[x]);
}

}  // namespace

void upsample_chroma(const Plane& chroma, const ChromaGrid& grid, std::int32_t w, std::int32_t h, Plane& full)
{
    ChromaUpsampler upsampler;
    upsampler.start(grid, w, h, chroma.h);
    full.resize(w, h);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int16_t* row = upsampler.row(y, [&](std::int32_t j, std::int16_t* out) {
            std::copy_n(chroma.samples.data() + static_cast<std::size_t>(j) * chroma.w, chroma.w, out);
        });
        std::copy_n(row, w, full.samples.data() + static_cast<std::size_t>(y) * w);
    }
}

void downsample_chroma(const Plane& full, const ChromaGrid& grid, Plane& chroma)
{
    ChromaDownsampler downsampler;
    downsampler.start(grid, full.w, full.h);
    chroma.resize(grid.width(full.w), grid.height(full.h));
    const auto put = [&](const std::int16_t* row, std::int32_t j) {
        std::copy_n(row, chroma.w, chroma.samples.data() + static_cast<std::size_t>(j) * chroma.w);
    };
    std::int32_t j = 0;
    for (std::int32_t y = 0; y < full.h; ++y)
        if (const std::int16_t* row = downsampler.push(full.samples.data() + static_cast<std::size_t>(y) * full.w, y, j))
            put(row, j);
    while (const std::int16_t* row = downsampler.finish(j)) put(row, j);
}

void ChromaUpsampler::start(const ChromaGrid& grid, std::int32_t w, std::int32_t h, std::int32_t rows)
{
    grid_ = grid;
    w_ = w;
    h_ = h;
    cw_ = grid.width(w);
    rows_ = std::max(rows, 1);
    std::fill(std::begin(held_), std::end(held_), -1);
    slots_.resize(3 * static_cast<std::size_t>(cw_));
    tall_.resize(2 * static_cast<std::size_t>(cw_));
    full_.resize(2 * static_cast<std::size_t>(w_));
}

void ChromaUpsampler::chroma_rows(std::int32_t y, std::int32_t& first, std::int32_t& last) const
{
    if (!grid_.halve_height) {
        first = last = std::min(y, rows_ - 1);
    } else if (y % 2 != 0) {  // made with the row before
        first = 0;
        last = -1;
    } else {
        const std::int32_t j = y / 2;
        first = std::clamp(grid_.vertical == Siting::kCentred ? j - 1 : j, 0, rows_ - 1);
        last = std::clamp(j + 1, 0, rows_ - 1);
    }
}

std::int16_t* ChromaUpsampler::slot_to_fill(std::int32_t j)
{
    const int s = j % 3;
    if (held_[s] == j) return nullptr;
    held_[s] = j;
    return slots_.data() + static_cast<std::size_t>(s) * cw_;
}

const std::int16_t* ChromaUpsampler::slot(std::int32_t j) const
{
    const std::int32_t row = std::clamp(j, 0, rows_ - 1);
    return slots_.data() + static_cast<std::size_t>(row % 3) * cw_;
}

const std::int16_t* ChromaUpsampler::make_row(std::int32_t y)
{
    std::int16_t* first = full_.data();
    std::int16_t* second = full_.data() + w_;
    if (!grid_.halve_height) {
        if (!grid_.halve_width) return slot(y);
        upsample_line(slot(y), w_, grid_.horizontal, first);
        return first;
    }
    std::int16_t* tall_first = tall_.data();
    std::int16_t* tall_second = tall_.data() + cw_;
    if (y % 2 != 0) return grid_.halve_width ? second : tall_second;
    const std::int32_t j = y / 2;
    const bool partial = y + 1 >= h_;
    upsample_rows(slot(j - 1), slot(j), slot(j + 1), cw_, grid_.vertical, partial, tall_first, tall_second);
    if (!grid_.halve_width) return tall_first;
    upsample_line(tall_first, w_, grid_.horizontal, first);
    if (!partial) upsample_line(tall_second, w_, grid_.horizontal, second);
    return first;
}

void ChromaDownsampler::start(const ChromaGrid& grid, std::int32_t w, std::int32_t h)
{
    grid_ = grid;
    w_ = w;
    h_ = h;
    cw_ = grid.width(w);
    pending_ = -1;
    for (std::vector<std::int32_t>* row : {&residuals_, &even_, &odd_, &next_, &before_, &after_})
        row->resize(static_cast<std::size_t>(cw_));
    out_.resize(static_cast<std::size_t>(cw_));
}

const std::int16_t* ChromaDownsampler::emit(const std::int32_t* even, const std::int32_t* before,
                                            const std::int32_t* after, std::int32_t site, std::int32_t& j)
{
    for (std::int32_t x = 0; x < cw_; ++x) out_[x] = saturated(even[x] + ((before[x] + after[x] + 1) >> 2));
    j = site;
    return out_.data();
}

const std::int16_t* ChromaDownsampler::push(const std::int16_t* row, std::int32_t y, std::int32_t& j)
{
    const auto narrow = [&](std::int32_t* out) {
        if (grid_.halve_width)
            downsample_line(row, w_, grid_.horizontal, out, residuals_.data());
        else
            std::copy_n(row, w_, out);
    };
    if (!grid_.halve_height) {
        narrow(even_.data());
        narrow_rows(even_.data(), nullptr, cw_, out_.data());
        j = y;
        return out_.data();
    }
    const bool last = y + 1 == h_;
    if (grid_.vertical == Siting::kCentred) {
        if (y % 2 == 0) {
            narrow(even_.data());
            if (!last) return nullptr;
            narrow_rows(even_.data(), nullptr, cw_, out_.data());  // a site covering one row
        } else {
            narrow(odd_.data());
            narrow_rows(even_.data(), odd_.data(), cw_, out_.data());
        }
        j = y / 2;
        return out_.data();
    }

    // Co-sited: chroma row j waits for pixel row 2j + 2, which its odd row's r needs.
    if (y == 0) {
        narrow(even_.data());
        if (!last) return nullptr;
        narrow_rows(even_.data(), nullptr, cw_, out_.data());
        j = 0;
        return out_.data();
    }
    if (y % 2 != 0) {
        narrow(odd_.data());
        if (!last) return nullptr;
        // The plane mirrored past its last row: the even row before stands in for the one after.
        residual_rows(odd_.data(), even_.data(), even_.data(), cw_, after_.data());
        return emit(even_.data(), y == 1 ? after_.data() : before_.data(), after_.data(), y / 2, j);
    }
    narrow(next_.data());
    residual_rows(odd_.data(), even_.data(), next_.data(), cw_, after_.data());
    const std::int16_t* out = emit(even_.data(), y == 2 ? after_.data() : before_.data(), after_.data(), y / 2 - 1, j);
    even_.swap(next_);
    before_.swap(after_);
    // An odd height ends in a site covering one row, its r mirrored from the row before.
    if (last) pending_ = y / 2;
    return out;
}

const std::int16_t* ChromaDownsampler::finish(std::int32_t& j)
{
    if (pending_ < 0) return nullptr;
    // out_ still holds the row push() returned; the caller has taken it by now.
    const std::int32_t site = pending_;
    pending_ = -1;
    return emit(even_.data(), before_.data(), before_.data(), site, j);
}

}  // namespace vantreo_host
