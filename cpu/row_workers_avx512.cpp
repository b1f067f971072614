// The row workers at AVX-512 (F, BW, VL): the area worker 16 output rows a group in one register,
// fused taps where exact; the filter worker the 8-lane one of 256-bit registers, compiled with
// AVX-512's instructions.
#include "cpu/area_worker_impl.h"
#include "cpu/filter_worker_impl.h"

const RowWorkers kAvx512RowWorkers = {run_area_worker<Avx512Floats, 16>, run_filter_worker<Avx2Lanes>};
