// The filter methods' AVX2 row worker: 16 words per register.
#include "cpu/filter_worker_impl.h"

namespace {

struct Avx2 {
    using V = __m256i;
    static constexpr std::int32_t kWords = 16;
    static V load(const std::int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void store(std::int16_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static V zero() { return _mm256_setzero_si256(); }
    static V set1_32(std::int32_t x) { return _mm256_set1_epi32(x); }
    static V add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V unpack_low16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
    static V unpack_high16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
    static V packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
    static V sra32(V a, __m128i count) { return _mm256_sra_epi32(a, count); }
    static V and_(V a, V b) { return _mm256_and_si256(a, b); }
    static __m128i fold(V a) { return _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1)); }
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

void filter_rows_avx2(const FilterJob& job) { run_filter_worker<Avx2>(job); }
