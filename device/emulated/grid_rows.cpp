// The row loop of the whole-grid resample at the build's baseline.
#include <cstring>

#include "abi/filter_records.h"
#include "device/emulated/grid_rows.h"

namespace {

#include "device/emulated/grid_rows.inl"

}  // namespace

void resample_grid_rows(const ResampleGrid& g, std::int32_t first, std::int32_t end) { resample_rows(g, first, end); }
