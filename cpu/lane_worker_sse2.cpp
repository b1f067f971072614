// The SSE2 row worker: 8 output rows per group, 4 float lanes per register, every tap in double.
#include "cpu/lane_worker_impl.h"

namespace {

struct Sse2 {
    static constexpr std::int32_t kWidth = 4;
    static constexpr bool kFused = false;
};

}  // namespace

void resample_rows_sse2(const LaneJob& job) { run_lanes<Sse2, 8>(job); }
