// The row workers at AVX2 with FMA: the area worker 8 output rows a group in one register, fused taps
// where exact; the filter worker 8 rows a group.
#include "cpu/area_worker_impl.h"
#include "cpu/filter_worker_impl.h"

const RowWorkers kAvx2RowWorkers = {run_area_worker<Avx2Floats, 8>, run_filter_worker<Avx2Lanes>};
