// The filter methods' AVX-512 row worker: 32 words per register.
#include "cpu/filter_worker_impl.h"

namespace {

struct Avx512 {
    using V = __m512i;
    static constexpr std::int32_t kWords = 32;
    static V load(const std::int16_t* p) { return _mm512_loadu_si512(p); }
    static void store(std::int16_t* p, V v) { _mm512_storeu_si512(p, v); }
    static V zero() { return _mm512_setzero_si512(); }
    static V set1_32(std::int32_t x) { return _mm512_set1_epi32(x); }
    static V add32(V a, V b) { return _mm512_add_epi32(a, b); }
    static V madd(V a, V b) { return _mm512_madd_epi16(a, b); }
    static V unpack_low16(V a, V b) { return _mm512_unpacklo_epi16(a, b); }
    static V unpack_high16(V a, V b) { return _mm512_unpackhi_epi16(a, b); }
    static V packs32(V a, V b) { return _mm512_packs_epi32(a, b); }
    // The zero-masked forms, as the plain ones draw GCC 12's uninitialised-use warning from its header.
    static V sra32(V a, __m128i count) { return _mm512_maskz_sra_epi32(0xffff, a, count); }
    static V and_(V a, V b) { return _mm512_and_si512(a, b); }
    static __m128i fold(V a)
    {
        const __m256i half =
            _mm256_add_epi32(_mm512_maskz_extracti64x4_epi64(0xff, a, 0), _mm512_maskz_extracti64x4_epi64(0xff, a, 1));
        return _mm_add_epi32(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
    }
    static void split3(const std::int16_t* in, std::int16_t* y, std::int16_t* cb, std::int16_t* cr)
    {
        split3_shuffled(in, y, cb, cr);
    }
    static void weave3(const std::int16_t* y, const std::int16_t* cb, const std::int16_t* cr, std::int16_t* out)
    {
        weave3_shuffled(y, cb, cr, out);
    }
};

}  // namespace

void filter_rows_avx512(const FilterJob& job) { run_filter_worker<Avx512>(job); }
