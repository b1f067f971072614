// The AVX2 row worker: 8 output rows per group in one register, fused taps where exact.
#include "cpu/lane_worker_impl.h"

namespace {

struct Avx2 {
    static constexpr std::int32_t kWidth = 8;
    static __m256 widen(const std::int16_t* p)
    {
        return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    }
    static constexpr bool kFused = true;
    using Floats = VectorTypes<kWidth>::Floats;
    // value x weight + sum rounded once: fused on purpose, taken only where it is exact (see
    // lane_worker_impl.h).
    static Floats fused(Floats value, Floats weight, Floats sum) { return _mm256_fmadd_ps(value, weight, sum); }
};

}  // namespace

void resample_rows_avx2(const LaneJob& job) { run_lanes<Avx2, 8>(job); }
