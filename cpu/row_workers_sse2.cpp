// The row workers at SSE2, the baseline of every build: the area worker 8 output rows a group in 4
// float lanes, every tap in double; the filter worker 4 rows a group.
#include "cpu/area_worker_impl.h"
#include "cpu/filter_worker_impl.h"

const RowWorkers kSse2RowWorkers = {run_area_worker<Sse2Floats, 8>, run_filter_worker<Sse2Lanes>};
