// The row loop of the emulated device's whole-grid area averaging: what the threads of one launch
// read, resolved into plain tables, and the loop over a run of rows, built for two instruction sets.
// Plain pointers only, so that the build for AVX2 and FMA shares no inline code with the rest.
#pragma once

#include <cstddef>
#include <cstdint>

// Output columns are handled in runs of this many; the column tables are padded to a whole run.
constexpr std::int32_t kGridLanes = 8;
// The most samples a pixel has.
constexpr std::int32_t kGridChannels = 4;

// Thread i computes pixel (i / width, i % width), rows 0 .. rows-1, the last one `last_row_columns`
// wide.
struct AreaGrid {
    std::int32_t unit_x, unit_y;
    std::int32_t channels;           // 16-bit samples per pixel, 1 to kGridChannels
    std::int32_t width, padded_width, rows, last_row_columns;
    std::size_t row_pitch;           // destination bytes from one row to the next
    const unsigned char* source;     // the source array's 16-bit elements
    const float* weight_x;           // tap m of column c at m * padded_width + c (0 in the padding)
    const std::int32_t* column_x;    // element of channel k, tap m, column c at (channels * m + k) * padded_width + c
    const float* weight_y;           // tap j of row r at r * unit_y + j
    const std::size_t* row_start;    // first element of the source row of tap j of row r, likewise
    unsigned char* dest;             // host bytes of the destination's first pixel
};

// Rows [first, end) of the grid: each pixel is calcDestPixelsKernel's, taps in the kernel's order.
// The portable build, and the one for processors with AVX2 and FMA where the build has it.
void area_grid_rows(const AreaGrid& g, std::int32_t first, std::int32_t end);
void area_grid_rows_fma(const AreaGrid& g, std::int32_t first, std::int32_t end);
