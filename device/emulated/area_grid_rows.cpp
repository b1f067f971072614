// The row loop of the whole-grid area averaging at the build's baseline.
#include <cstring>

#include "abi/filter_records.h"
#include "device/emulated/area_grid_rows.h"

namespace {

#include "device/emulated/area_grid_rows.inl"

}  // namespace

void area_grid_rows(const AreaGrid& g, std::int32_t first, std::int32_t end) { area_rows(g, first, end); }
