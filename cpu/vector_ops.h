// What the vector row workers share, written once and included only by the level units
// (row_workers_<level>.cpp), each of which compiles it for its own instruction set. Everything here
// has internal linkage and calls no out-of-line library function or template (std::max, std::fma,
// ...): a level unit's copy of one could stand in for every caller's at link time, and at -O0 would
// be compiled out of line with instructions the CPU may lack.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "cpu/channel_count.h"
#include "cpu/row_job.h"

namespace {

inline std::int32_t smaller(std::int32_t a, std::int32_t b) { return a < b ? a : b; }
inline std::int32_t larger(std::int32_t a, std::int32_t b) { return a > b ? a : b; }

template <int N>
struct VectorTypes {
    typedef float Floats __attribute__((vector_size(4 * N)));
    typedef double Doubles __attribute__((vector_size(8 * N)));
    typedef std::int32_t Ints __attribute__((vector_size(4 * N)));
};

template <class Vector, class T>
inline Vector load_vector(const T* p)
{
    Vector v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class Vector, class T>
inline void store_vector(T* p, const Vector& v)
{
    std::memcpy(p, &v, sizeof v);
}

// `count` (1 to 8) 16-bit words from `p`; the rest zero. Reads nothing past the count.
inline __m128i load_words(const void* p, std::int32_t count)
{
    if (count == 8) return _mm_loadu_si128(static_cast<const __m128i*>(p));
    __m128i v = _mm_setzero_si128();
    std::memcpy(&v, p, static_cast<std::size_t>(count) * 2);
    return v;
}

// The first `count` (1 to 8) words of `v` to `p`; nothing past them.
inline void store_words(void* p, __m128i v, std::int32_t count)
{
    if (count == 8)
        _mm_storeu_si128(static_cast<__m128i*>(p), v);
    else
        std::memcpy(p, &v, static_cast<std::size_t>(count) * 2);
}

// Asks for the cache line `bytes` past p into the nearest cache. The address is made as an integer:
// it may lie past the picture, where a prefetch never faults.
inline void prefetch(const void* p, std::ptrdiff_t bytes)
{
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p) + static_cast<std::uintptr_t>(bytes);
    _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0);
}

// Each level's registers as the two workers use them.
// The area worker's (area_worker_impl.h): kWidth float lanes; widen(p), kWidth 16-bit values from p as
// floats; kFused, whether the level has fused(value, weight, sum), value x weight + sum rounded once,
// fused on purpose and taken only where it is exact.
// The filter worker's (filter_worker_impl.h): V, a register of kLanes 32-bit lanes, and its integer
// steps.

// SSE2: 4 float lanes, every area tap in double.
struct Sse2Floats {
    static constexpr std::int32_t kWidth = 4;
    // Four values, each widened to 32 bits by a shift that keeps its sign.
    static __m128 widen(const std::int16_t* p)
    {
        const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16));
    }
    static constexpr bool kFused = false;
};

#if defined(__AVX2__)
struct Avx2Floats {
    static constexpr std::int32_t kWidth = 8;
    static __m256 widen(const std::int16_t* p)
    {
        return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    }
    static constexpr bool kFused = true;
    using Floats = VectorTypes<kWidth>::Floats;
    static Floats fused(Floats value, Floats weight, Floats sum) { return _mm256_fmadd_ps(value, weight, sum); }
};
#endif

#if defined(__AVX512F__)
struct Avx512Floats {
    static constexpr std::int32_t kWidth = 16;
    // The zero-masked forms, as the plain ones draw GCC 12's uninitialised-use warning from its header.
    static __m512 widen(const std::int16_t* p)
    {
        const __m512i x = _mm512_maskz_cvtepi16_epi32(0xffff, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
        return _mm512_maskz_cvtepi32_ps(0xffff, x);
    }
    static constexpr bool kFused = true;
    using Floats = VectorTypes<kWidth>::Floats;
    static Floats fused(Floats value, Floats weight, Floats sum) { return _mm512_fmadd_ps(value, weight, sum); }
};
#endif

struct Sse2Lanes {
    using V = __m128i;
    static constexpr std::int32_t kLanes = 4;
    static V load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static void store(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
    static V zero() { return _mm_setzero_si128(); }
    static V set1_32(std::int32_t x) { return _mm_set1_epi32(x); }
    static V add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V madd(V a, V b) { return _mm_madd_epi16(a, b); }
    static V unpack_low16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    static V unpack_high16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    static V unpack_low32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
    static V unpack_high32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
    static V unpack_low64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
    static V unpack_high64(V a, V b) { return _mm_unpackhi_epi64(a, b); }
    static V packs32(V a, V b) { return _mm_packs_epi32(a, b); }
    static V sra32(V a, __m128i count) { return _mm_sra_epi32(a, count); }
    // The register's only 128-bit part.
    static void store_part(void* p, V v, std::int32_t) { store(p, v); }
    // Each lane's pair of a's high word and b's low word.
    static V high_low16(V a, V b) { return _mm_or_si128(_mm_srli_epi32(a, 16), _mm_slli_epi32(b, 16)); }

    // Lane r's 8 words from w as out[r].
    template <std::size_t kRoom>
    static void load_lanes(const std::int16_t (*lanes)[kRoom], std::int32_t w, V out[4])
    {
        for (int r = 0; r < 4; ++r) out[r] = load(lanes[r] + w);
    }

    // Row l's words are row[l].
    static void store_rows(const V row[4], std::int16_t* const lane_rows[4], std::int32_t at, std::int32_t rows,
                           std::int32_t count)
    {
        for (std::int32_t l = 0; l < rows; ++l) store_words(lane_rows[l] + at, row[l], count);
    }
};

#if defined(__AVX2__)
// 256-bit registers, 8 lanes: lanes r and r+4 in the two 128-bit parts; also the AVX-512 level's,
// compiled for it.
struct Avx2Lanes {
    using V = __m256i;
    static constexpr std::int32_t kLanes = 8;
    static V load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
    static void store(void* p, V v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
    static V zero() { return _mm256_setzero_si256(); }
    static V set1_32(std::int32_t x) { return _mm256_set1_epi32(x); }
    static V add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V unpack_low16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
    static V unpack_high16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
    static V unpack_low32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
    static V unpack_high32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
    static V unpack_low64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
    static V unpack_high64(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
    static V packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
    static V sra32(V a, __m128i count) { return _mm256_sra_epi32(a, count); }
    // 128-bit part `part` (0, low; 1, high) of v.
    static void store_part(void* p, V v, std::int32_t part)
    {
        const __m128i half = part == 0 ? _mm256_castsi256_si128(v) : _mm256_extracti128_si256(v, 1);
        _mm_storeu_si128(static_cast<__m128i*>(p), half);
    }
    static V high_low16(V a, V b) { return _mm256_or_si256(_mm256_srli_epi32(a, 16), _mm256_slli_epi32(b, 16)); }

    // Lanes r and r+4's 8 words from w as the low and high halves of out[r].
    template <std::size_t kRoom>
    static void load_lanes(const std::int16_t (*lanes)[kRoom], std::int32_t w, V out[4])
    {
        for (int r = 0; r < 4; ++r)
            out[r] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(lanes[r + 4] + w),
                                         reinterpret_cast<const __m128i*>(lanes[r] + w));
    }

    // Row l's words are the low half of row[l], row l+4's the high half.
    static void store_rows(const V row[4], std::int16_t* const lane_rows[8], std::int32_t at, std::int32_t rows,
                           std::int32_t count)
    {
        for (std::int32_t l = 0; l < rows; ++l) {
            const V words = row[l % 4];
            store_words(lane_rows[l] + at, l < 4 ? _mm256_castsi256_si128(words) : _mm256_extracti128_si256(words, 1),
                          count);
        }
    }
};
#endif

}  // namespace
