// What the whole-grid runs share: the pixels a launch's threads cover and where they store, how
// its rows are shared out over the host threads, and what the kernel's fetches read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <limits>

#include "abi/filter_records.h"
#include "platform/device_runtime/emulated_device.h"

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

template <class T> T texture_element(const emu::TextureView& view, std::size_t index)
{
    T value;
    std::memcpy(&value, view.elements + index * sizeof(T), sizeof value);
    return value;
}

// The element a fetch of the kernel at the integer coordinates (x, y) reads.
inline std::size_t texel(const emu::TextureView& view, std::int32_t x, std::int32_t y = 0)
{
    return emu::texel_offset(view, static_cast<float>(x), static_cast<float>(y));
}

// What a fetch of element type T at (x, y) reads.
template <class T> T fetch(const emu::TextureView& view, std::int32_t x, std::int32_t y = 0)
{
    return texture_element<T>(view, texel(view, x, y));
}

// Thread i = blockIdx.x * thread_num + threadIdx.x computes pixel (i / width, i % width): rows
// 0 .. rows-1, the last one `last_row_columns` wide, stored from `dest` on.
struct GridShape {
    std::int32_t rows;
    std::int32_t last_row_columns;
    unsigned char* dest;  // host bytes of the first pixel's store
};

// The shape of a launch whose threads read `taps_x` x `taps_y` tap tables per pixel of `channels`
// 16-bit samples (1 to kMaxChannels); false for a launch the per-thread path must take: a thread count per block other than the block's (then the
// threads cover 0 .. grid.x * block.x - 1 once, and the y and z dimensions repeat the same pixels
// with the same values), no taps, rows that overlap, indices past the kernel's 32-bit arithmetic,
// or stores that do not lie inside one live allocation (where the per-thread path faults at the
// first such store).
inline bool grid_shape(const dim3& grid, const dim3& block, std::int32_t thread_num, std::int32_t width,
                       std::int32_t max_width, std::int32_t channels, std::int32_t taps_x, std::int32_t taps_y,
                       emu::DeviceAddress dest, GridShape& shape)
{
    if (thread_num <= 0 || static_cast<std::uint32_t>(thread_num) != block.x || width <= 0 || taps_x <= 0 || taps_y <= 0)
        return false;
    const std::int64_t threads = std::int64_t{grid.x} * block.x;
    const std::int64_t rows = (threads + width - 1) / width;
    const std::int64_t last_row_columns = threads - (rows - 1) * width;
    if (threads > kInt32Max || (rows > 1 && max_width < width) || rows * taps_y > kInt32Max ||
        std::int64_t{width} * taps_x > kInt32Max || ((rows - 1) * max_width + last_row_columns) * channels > kInt32Max)
        return false;
    // Every store at once: from the first pixel to the end of the last.
    const std::uint64_t store_bytes =
        (static_cast<std::uint64_t>(rows - 1) * max_width + static_cast<std::uint64_t>(last_row_columns)) * 2u *
        static_cast<std::uint64_t>(channels);
    shape = GridShape{static_cast<std::int32_t>(rows), static_cast<std::int32_t>(last_row_columns),
                      emu::store_range(dest, store_bytes)};
    return shape.dest != nullptr;
}

// Rows that make whole groups of every CPU vector row worker's lanes (the area workers' 16, the filter
// workers' 4 or 8), which compute a group's every lane even where rows run out.
constexpr std::int32_t kLaneGroupRows = 16;

// The rows of each part when `rows` rows (at least 1) go to the host threads: parts small enough to
// share out evenly, large enough to keep each part's tables warm, of whole groups of `group` rows.
inline std::int32_t rows_per_part(std::int32_t rows, std::int32_t group)
{
    const std::int32_t count = std::min(rows, 32);
    return ((rows + count - 1) / count + group - 1) / group * group;
}
