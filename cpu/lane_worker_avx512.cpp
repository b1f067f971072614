// The AVX-512 row worker: 16 output rows per group in one register, fused taps where exact.
#include "cpu/lane_worker_impl.h"

namespace {

struct Avx512 {
    static constexpr std::int32_t kWidth = 16;
    static constexpr bool kFused = true;
    using Floats = VectorTypes<kWidth>::Floats;
    // value x weight + sum rounded once: fused on purpose, taken only where it is exact (see
    // lane_worker_impl.h).
    static Floats fused(Floats value, Floats weight, Floats sum) { return _mm512_fmadd_ps(value, weight, sum); }
};

}  // namespace

void resample_rows_avx512(const LaneJob& job) { run_lanes<Avx512, 16>(job); }
