// The filter methods' SSE2 row worker: 8 words per register; the planes split and woven word by word.
#include "cpu/filter_worker_impl.h"

namespace {

struct Sse2 {
    using V = __m128i;
    static constexpr std::int32_t kWords = 8;
    static V load(const std::int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void store(std::int16_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static V zero() { return _mm_setzero_si128(); }
    static V set1_32(std::int32_t x) { return _mm_set1_epi32(x); }
    static V add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V madd(V a, V b) { return _mm_madd_epi16(a, b); }
    static V unpack_low16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    static V unpack_high16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    static V packs32(V a, V b) { return _mm_packs_epi32(a, b); }
    static V sra32(V a, __m128i count) { return _mm_sra_epi32(a, count); }
    static V and_(V a, V b) { return _mm_and_si128(a, b); }
    static __m128i fold(V a) { return a; }
    static void split3(const std::int16_t* in, std::int16_t* y, std::int16_t* cb, std::int16_t* cr)
    {
        split3_plain(in, y, cb, cr);
    }
    static void weave3(const std::int16_t* y, const std::int16_t* cb, const std::int16_t* cr, std::int16_t* out)
    {
        weave3_plain(y, cb, cr, out);
    }
};

}  // namespace

void filter_rows_sse2(const FilterJob& job) { run_filter_worker<Sse2>(job); }
