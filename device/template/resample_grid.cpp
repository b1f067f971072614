// The whole-grid resample: resolves a launch's tables once, checks its stores once, then runs the
// row loop over the host threads.
#include "device/template/resample_grid.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "abi/filter_records.h"
#include "plan/arithmetic.h"

namespace {

#include "device/template/resample_grid_rows.inl"

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

template <class T> T element(const emu::TextureView& view, std::size_t index)
{
    T value;
    std::memcpy(&value, view.elements + index * sizeof(T), sizeof value);
    return value;
}

// The element a fetch of the kernel at the integer coordinates (x, y) reads.
std::size_t texel(const emu::TextureView& view, std::int32_t x, std::int32_t y = 0)
{
    return emu::texel_offset(view, static_cast<float>(x), static_cast<float>(y));
}

using RowLoop = void (*)(const ResampleGrid&, std::int32_t, std::int32_t);

RowLoop choose_row_loop()
{
#if defined(VANTREO_GRID_FMA_ROWS)
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return resample_grid_rows_fma;
#endif
    return resample_grid_rows;
}

struct Parts {
    const ResampleGrid* grid;
    RowLoop loop;
    std::int32_t rows_per_part;
};

void run_part(void* data, unsigned part)
{
    const Parts& p = *static_cast<const Parts*>(data);
    const std::int32_t first = static_cast<std::int32_t>(part) * p.rows_per_part;
    p.loop(*p.grid, first, std::min(first + p.rows_per_part, p.grid->rows));
}

}  // namespace

void resample_grid_rows(const ResampleGrid& g, std::int32_t first, std::int32_t end)
{
    resample_rows(g, first, end);
}

bool run_resample_grid(const ResampleLaunch& in, const dim3& grid, const dim3& block)
{
    // Thread i = blockIdx.x * thread_num + threadIdx.x: with thread_num equal to the block's width the
    // threads cover 0 .. grid.x * block.x - 1 once; the blocks and threads of the y and z dimensions
    // repeat the same pixels with the same values.
    if (in.thread_num <= 0 || static_cast<std::uint32_t>(in.thread_num) != block.x || in.unit_x <= 0 ||
        in.unit_y <= 0 || in.dest_width <= 0 || !in.start_y || !in.start_x || !in.weight_y || !in.weight_x ||
        !in.source || in.source->width <= 0 || in.source->height <= 0)
        return false;
    const std::int64_t threads = std::int64_t{grid.x} * block.x;
    const std::int64_t rows = (threads + in.dest_width - 1) / in.dest_width;
    const std::int64_t last_row_columns = threads - (rows - 1) * in.dest_width;
    // Rows must not overlap, and the kernel's int32 index arithmetic must not overflow.
    if (threads > kInt32Max || (rows > 1 && in.max_width < in.dest_width) ||
        rows * in.unit_y > kInt32Max || std::int64_t{in.dest_width} * in.unit_x > kInt32Max ||
        (rows - 1) * in.max_width + last_row_columns > kInt32Max)
        return false;

    ResampleGrid g;
    g.unit_x = in.unit_x;
    g.unit_y = in.unit_y;
    g.width = in.dest_width;
    g.padded_width = (in.dest_width + kGridLanes - 1) / kGridLanes * kGridLanes;
    g.rows = static_cast<std::int32_t>(rows);
    g.last_row_columns = static_cast<std::int32_t>(last_row_columns);
    g.row_pitch = static_cast<std::size_t>(in.max_width) * sizeof(PIXEL_YC);
    g.source = in.source->elements;

    // The columns: window start, tap weights and the source element of each channel and tap.
    const std::size_t pitch = static_cast<std::size_t>(g.padded_width);
    g.weight_x.assign(pitch * g.unit_x, 0.0f);
    g.column_x.assign(pitch * 3 * g.unit_x, 0);
    for (std::int32_t c = 0; c < g.width; ++c) {
        const std::int32_t sx = element<std::int32_t>(*in.start_x, texel(*in.start_x, c));
        for (std::int32_t m = 0; m < g.unit_x; ++m) {
            g.weight_x[m * pitch + c] = element<float>(*in.weight_x, texel(*in.weight_x, c * g.unit_x + m));
            const std::int64_t x = 3 * (std::int64_t{sx} + m);
            if (x < std::numeric_limits<std::int32_t>::min() || x + 2 > kInt32Max) return false;
            for (std::int32_t k = 0; k < 3; ++k)
                g.column_x[(3 * m + k) * pitch + c] = emu::texel_index(static_cast<float>(x + k), in.source->width);
        }
    }
    // The rows: window start, tap weights and the first element of each tap's source row.
    g.weight_y.resize(static_cast<std::size_t>(rows) * g.unit_y);
    g.row_start.resize(g.weight_y.size());
    for (std::int32_t row = 0; row < g.rows; ++row) {
        const std::int32_t sy = element<std::int32_t>(*in.start_y, texel(*in.start_y, row));
        if (std::int64_t{sy} + g.unit_y - 1 > kInt32Max) return false;
        for (std::int32_t j = 0; j < g.unit_y; ++j) {
            const std::size_t tap = static_cast<std::size_t>(row) * g.unit_y + j;
            g.weight_y[tap] = element<float>(*in.weight_y, texel(*in.weight_y, row * g.unit_y + j));
            g.row_start[tap] = texel(*in.source, 0, sy + j);
        }
    }

    // Every store at once: from the first pixel to the end of the last.
    const std::uint64_t store_bytes =
        (static_cast<std::uint64_t>(rows - 1) * in.max_width + static_cast<std::uint64_t>(last_row_columns)) *
        sizeof(PIXEL_YC);
    g.dest = emu::store_range(in.dest, store_bytes);
    if (!g.dest) return false;

    Parts parts{&g, choose_row_loop(), 0};
    // Runs of rows small enough to share out evenly, large enough to keep each part's tables warm.
    const unsigned count = static_cast<unsigned>(std::min<std::int64_t>(rows, 32));
    parts.rows_per_part = static_cast<std::int32_t>((rows + count - 1) / count);
    const unsigned used = static_cast<unsigned>((rows + parts.rows_per_part - 1) / parts.rows_per_part);
    emu::for_each_part(used, run_part, &parts);
    return true;
}
