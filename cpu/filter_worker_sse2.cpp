// The filter methods' SSE2 row worker: 4 output rows per group.
#include "cpu/filter_worker_impl.h"

void filter_rows_sse2(const FilterJob& job) { run_filter_worker<Sse2Lanes>(job); }
