// The SSE2 row worker: 8 output rows per group, 4 float lanes per register, every tap in double.
#include "cpu/lane_worker_impl.h"

namespace {

struct Sse2 {
    static constexpr std::int32_t kWidth = 4;
    // Four values, each widened to 32 bits by a shift that keeps its sign.
    static __m128 widen(const std::int16_t* p)
    {
        const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16));
    }
    static constexpr bool kFused = false;
};

}  // namespace

void resample_rows_sse2(const LaneJob& job) { run_lanes<Sse2, 8>(job); }
