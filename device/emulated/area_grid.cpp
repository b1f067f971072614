// The whole-grid area averaging: resolves a launch's tables once, checks its stores once, then runs
// the row loop over the host threads.
#include "device/emulated/area_grid.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "abi/filter_records.h"
#include "cpu/plan_rows.h"
#include "device/emulated/area_grid_rows.h"
#include "device/emulated/grid_launch.h"
#include "device/lifecycle.h"
#include "plan/arithmetic.h"
#include "plan/resample_plan.h"
#include "plan/window_tables.h"

namespace {

using RowLoop = void (*)(const AreaGrid&, std::int32_t, std::int32_t);

RowLoop choose_row_loop()
{
#if defined(VANTREO_GRID_FMA_ROWS)
    if (best_cpu_level() >= CpuLevel::avx2) return area_grid_rows_fma;
#endif
    return area_grid_rows;
}

// The tables a AreaGrid points into.
struct GridTables {
    std::vector<float> weight_x;
    std::vector<std::int32_t> column_x;
    std::vector<float> weight_y;
    std::vector<std::size_t> row_start;
};

// The launch's windows as a plan's taps, for the CPU's vector row workers run by the device's rule:
// each window trimmed by append_window (plan/window_tables.h), so the trimmed taps are the kernel's
// own. Only the taps of each AreaAxis are filled: the launch has no span tables.
// False when some kept tap would fetch clamped (outside the source), a column keeps no tap, or the
// columns' first taps go backwards: the vector area workers assume none of these.
bool build_area_taps(const AreaLaunch& in, const AreaGrid& g, std::int32_t rows, AreaAxis& row_taps,
                     AreaAxis& column_taps)
{
    const std::int32_t pixels_per_row = in.source->width / in.channels;
    column_taps.tap_start.push_back(0);
    for (std::int32_t c = 0; c < g.width; ++c) {
        const std::int64_t sx = fetch<std::int32_t>(*in.start_x, c);
        std::int64_t first, last;
        append_window(&g.weight_x[c], g.unit_x, g.padded_width, sx, column_taps, first, last);
        if (last < first || first < 0 || last >= pixels_per_row) return false;
        if (c > 0 && first < column_taps.first.back()) return false;
        column_taps.first.push_back(static_cast<std::int32_t>(first));
        column_taps.last.push_back(static_cast<std::int32_t>(last));
    }
    row_taps.tap_start.push_back(0);
    for (std::int32_t row = 0; row < rows; ++row) {
        const std::int64_t sy = fetch<std::int32_t>(*in.start_y, row);
        std::int64_t first, last;
        append_window(&g.weight_y[static_cast<std::size_t>(row) * g.unit_y], g.unit_y, 1, sy, row_taps, first, last);
        const bool no_taps = last < first;
        if (!no_taps && (first < 0 || last >= in.source->height)) return false;
        // A row without taps still names a source row, which the area workers read with weight 0.
        row_taps.first.push_back(no_taps ? 0 : static_cast<std::int32_t>(first));
        row_taps.last.push_back(no_taps ? -1 : static_cast<std::int32_t>(last));
    }
    return true;
}

struct Parts {
    const AreaGrid* grid;
    RowLoop loop;
    std::int32_t rows;  // rows of the parts: all, or all but a last one shorter than the others
    std::int32_t rows_per_part;
    const RowJob* worker_job;  // null when the vector area workers do not take this launch
    CpuLevel level;
};

void run_part(void* data, unsigned part)
{
    const Parts& p = *static_cast<const Parts*>(data);
    const std::int32_t first = static_cast<std::int32_t>(part) * p.rows_per_part;
    const std::int32_t end = std::min(first + p.rows_per_part, p.rows);
    if (p.worker_job) {
        RowJob job = *p.worker_job;
        job.first_row = first;
        job.row_count = end - first;
        run_row_job(p.level, job);
    } else {
        p.loop(*p.grid, first, end);
    }
}

}  // namespace

bool layout_of_channels(std::int32_t channels, PixelLayout& layout)
{
    for (PixelLayout candidate : {PixelLayout::editor_frame, PixelLayout::plane, PixelLayout::rgba})
        if (channel_count(candidate) == channels) {
            layout = candidate;
            return true;
        }
    return false;
}

bool run_area_grid(const AreaLaunch& in, const dim3& grid, const dim3& block)
{
    GridShape shape;
    PixelLayout layout;
    if (!in.start_y || !in.start_x || !in.weight_y || !in.weight_x || !in.source || in.source->width <= 0 ||
        in.source->height <= 0 || !layout_of_channels(in.channels, layout) ||
        !grid_shape(grid, block, in.thread_num, in.dest_width, in.max_width, in.channels, in.unit_x, in.unit_y, in.dest,
                    shape))
        return false;

    AreaGrid g{};
    g.channels = in.channels;
    g.unit_x = in.unit_x;
    g.unit_y = in.unit_y;
    g.width = in.dest_width;
    g.padded_width = (in.dest_width + kGridLanes - 1) / kGridLanes * kGridLanes;
    g.rows = shape.rows;
    g.last_row_columns = shape.last_row_columns;
    g.row_pitch = static_cast<std::size_t>(in.max_width) * 2 * in.channels;
    g.source = in.source->elements;

    // The columns: window start, tap weights and the source element of each channel and tap.
    GridTables t;
    const std::size_t pitch = static_cast<std::size_t>(g.padded_width);
    t.weight_x.assign(pitch * g.unit_x, 0.0f);
    t.column_x.assign(pitch * g.channels * g.unit_x, 0);
    for (std::int32_t c = 0; c < g.width; ++c) {
        const std::int32_t sx = fetch<std::int32_t>(*in.start_x, c);
        for (std::int32_t m = 0; m < g.unit_x; ++m) {
            t.weight_x[m * pitch + c] = fetch<float>(*in.weight_x, c * g.unit_x + m);
            const std::int64_t x = g.channels * (std::int64_t{sx} + m);
            if (x < std::numeric_limits<std::int32_t>::min() || x + g.channels - 1 > kInt32Max) return false;
            for (std::int32_t k = 0; k < g.channels; ++k)
                t.column_x[(g.channels * m + k) * pitch + c] =
                    emu::texel_index(static_cast<float>(x + k), in.source->width);
        }
    }
    // The rows: window start, tap weights and the first element of each tap's source row.
    t.weight_y.resize(static_cast<std::size_t>(g.rows) * g.unit_y);
    t.row_start.resize(t.weight_y.size());
    for (std::int32_t row = 0; row < g.rows; ++row) {
        const std::int32_t sy = fetch<std::int32_t>(*in.start_y, row);
        if (std::int64_t{sy} + g.unit_y - 1 > kInt32Max) return false;
        for (std::int32_t j = 0; j < g.unit_y; ++j) {
            const std::size_t tap = static_cast<std::size_t>(row) * g.unit_y + j;
            t.weight_y[tap] = fetch<float>(*in.weight_y, row * g.unit_y + j);
            t.row_start[tap] = texel(*in.source, 0, sy + j);
        }
    }
    g.weight_x = t.weight_x.data();
    g.column_x = t.column_x.data();
    g.weight_y = t.weight_y.data();
    g.row_start = t.row_start.data();

    g.dest = shape.dest;

    // Whole rows go to the CPU's vector row workers, at the emulated device's level, when their tables
    // allow; a last, shorter row, and every row of a launch they cannot take, to the row loop.
    Parts parts{&g, choose_row_loop(), g.rows, 0, nullptr, emulated_cpu_level()};
    const std::int32_t short_last_row = g.last_row_columns < g.width ? 1 : 0;
    AreaAxis row_taps, column_taps;
    RowJob job{};
    if (parts.level != CpuLevel::scalar && in.source->width % in.channels == 0 &&
        build_area_taps(in, g, g.rows - short_last_row, row_taps, column_taps)) {
        job.method = ResizeMethod::area_average;
        job.layout = layout;
        job.area_rows = row_taps.view();
        job.area_columns = column_taps.view();
        job.area_rule = AreaRule::device;
        job.dst_w = g.width;
        job.src = reinterpret_cast<const std::int16_t*>(g.source);
        job.src_stride = in.source->width / in.channels;
        job.dst = reinterpret_cast<std::int16_t*>(g.dest);
        job.dst_stride = in.max_width;
        parts.worker_job = &job;
        parts.rows -= short_last_row;
    }
    // For the vector area workers, whole groups of rows.
    if (parts.rows > 0) {
        parts.rows_per_part = rows_per_part(parts.rows, parts.worker_job ? kLaneGroupRows : 1);
        const unsigned used = static_cast<unsigned>((parts.rows + parts.rows_per_part - 1) / parts.rows_per_part);
        emu::for_each_part(used, run_part, &parts);
    }
    if (parts.rows < g.rows) parts.loop(g, parts.rows, g.rows);
    return true;
}
