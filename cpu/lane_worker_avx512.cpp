// The AVX-512 row worker: 16 output rows per group in one register, fused taps where exact.
#include "cpu/lane_worker_impl.h"

namespace {

struct Avx512 {
    static constexpr std::int32_t kWidth = 16;
    // The zero-masked forms, as the plain ones draw GCC 12's uninitialised-use warning from its header.
    static __m512 widen(const std::int16_t* p)
    {
        const __m512i x = _mm512_maskz_cvtepi16_epi32(0xffff, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
        return _mm512_maskz_cvtepi32_ps(0xffff, x);
    }
    static constexpr bool kFused = true;
    using Floats = VectorTypes<kWidth>::Floats;
    // value x weight + sum rounded once: fused on purpose, taken only where it is exact (see
    // lane_worker_impl.h).
    static Floats fused(Floats value, Floats weight, Floats sum) { return _mm512_fmadd_ps(value, weight, sum); }
};

}  // namespace

void resample_rows_avx512(const LaneJob& job) { run_lanes<Avx512, 16>(job); }
