// The resample kernel run a whole grid at a time on the stand-in device: the same pixels, taps and
// arithmetic as calcDestPixelsKernel (resample_kernels.inl) run thread by thread, with every
// clamped texture index and weight looked up once per launch instead of once per fetch, and the
// destination checked once for all stores. Whole rows go to the CPU's vector row workers, run by the
// device's rounding rules, where the launch's windows have the plan's shape; the rest to a row loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/device_runtime/emulated_device.h"

// The kernel's constants and bound textures as one launch sees them; a texture pointer is null when
// no array of the kernel's element type is bound to its unit.
struct ResampleLaunch {
    std::int32_t unit_x, unit_y, thread_num, dest_width, max_width;
    emu::DeviceAddress dest;
    const emu::TextureView* start_y;   // int
    const emu::TextureView* start_x;   // int
    const emu::TextureView* weight_y;  // float
    const emu::TextureView* weight_x;  // float
    const emu::TextureView* source;    // short
};

// Output columns are handled in runs of this many; the column tables are padded to a whole run.
constexpr std::int32_t kGridLanes = 8;

// What the threads of one launch read, resolved: thread i computes pixel (i / width, i % width),
// rows 0 .. rows-1, the last one `last_row_columns` wide.
struct ResampleGrid {
    std::int32_t unit_x, unit_y;
    std::int32_t width, padded_width, rows, last_row_columns;
    std::size_t row_pitch;               // destination bytes from one row to the next
    const unsigned char* source;         // the source array's 16-bit elements
    std::vector<float> weight_x;         // tap m of column c at m * padded_width + c (0 in the padding)
    std::vector<std::int32_t> column_x;  // element of channel k, tap m, column c at (3 * m + k) * padded_width + c
    std::vector<float> weight_y;         // tap j of row r at r * unit_y + j
    std::vector<std::size_t> row_start;  // first element of the source row of tap j of row r, likewise
    unsigned char* dest;                 // host bytes of the destination's first pixel
};

// Runs every thread of a launch of calcDestPixelsKernel; false, with nothing done, for a launch it
// leaves to the per-thread path (a thread count per block other than the block's, a window without
// taps, unbound textures, indices past the kernel's 32-bit arithmetic, or stores that do not lie
// inside one live allocation, where the per-thread path faults at the first such store).
bool run_resample_grid(const ResampleLaunch& launch, const dim3& grid, const dim3& block);

// Rows [first, end) of the grid; the portable build of the row loop, and the one for processors
// with AVX2 and FMA where the build has it.
void resample_grid_rows(const ResampleGrid& g, std::int32_t first, std::int32_t end);
void resample_grid_rows_fma(const ResampleGrid& g, std::int32_t first, std::int32_t end);
