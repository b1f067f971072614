// The filter methods' AVX2 row worker: 8 output rows per group.
#include "cpu/filter_worker_impl.h"

void filter_rows_avx2(const FilterJob& job) { run_filter_worker<Avx2Lanes>(job); }
