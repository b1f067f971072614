// The row loop of the whole-grid resample for processors with AVX2 and FMA, chosen at run time. The
// headers come before the target switch, so that the inline functions they define (the arithmetic
// rules among them) keep the portable instruction set wherever they are emitted out of line; inlined
// here, device_accumulate's fused multiply-add becomes the FMA instruction instead of a library call.
#include <cstring>

#include "abi/filter_records.h"
#include "device/template/resample_grid.h"
#include "plan/arithmetic.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif

namespace {

#include "device/template/resample_grid_rows.inl"

}  // namespace

void resample_grid_rows_fma(const ResampleGrid& g, std::int32_t first, std::int32_t end)
{
    resample_rows(g, first, end);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
