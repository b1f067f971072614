// The row loop of the whole-grid resample for processors with AVX2 and FMA, chosen at run time: the
// device rules' fused multiply-add becomes the FMA instruction instead of a library call.
#include <cstring>

#include "abi/filter_records.h"
#include "device/emulated/area_grid_rows.h"

namespace {

#include "device/emulated/area_grid_rows.inl"

}  // namespace

void area_grid_rows_fma(const AreaGrid& g, std::int32_t first, std::int32_t end) { area_rows(g, first, end); }
