// The filter methods' row worker at the AVX-512 level: the 8-lane worker of 256-bit registers,
// compiled with AVX-512's instructions.
#include "cpu/filter_worker_impl.h"

void filter_rows_avx512(const FilterJob& job) { run_filter_worker<Avx2Lanes>(job); }
