// The whole-grid run of the filter kernel: its tables read once from the textures, its stores
// checked once, and its rows shared out over the host threads to the CPU's filter row worker, whose
// integer rule is the kernel's.
#include <algorithm>
#include <vector>

#include "abi/filter_records.h"
#include "cpu/plan_rows.h"
#include "device/emulated/area_grid.h"
#include "device/emulated/grid_launch.h"
#include "device/lifecycle.h"
#include "plan/filter_tables.h"

namespace {

// One axis's tables as the threads fetch them, for `count` outputs; false when a window would fetch
// outside `size` source indices (the kernel's clamped fetches), which the worker does not do.
bool read_axis(const emu::TextureView& first, const emu::TextureView& weight, std::int32_t taps, std::int32_t count,
               std::int32_t size, std::vector<std::int32_t>& firsts, std::vector<std::int16_t>& weights,
               std::vector<std::int32_t>& pairs)
{
    firsts.resize(static_cast<std::size_t>(count));
    weights.assign(static_cast<std::size_t>(count) * taps + kFilterWeightPadding, 0);
    for (std::int32_t j = 0; j < count; ++j) {
        firsts[j] = fetch<std::int32_t>(first, j);
        if (firsts[j] < 0 || std::int64_t{firsts[j]} + taps > size) return false;
        for (std::int32_t t = 0; t < taps; ++t)
            weights[static_cast<std::size_t>(j) * taps + t] = fetch<std::int16_t>(weight, j * taps + t);
    }
    pair_filter_weights(weights.data(), count, taps, pairs);
    return true;
}

struct Parts {
    RowJob job;  // the whole rows
    CpuLevel level;
    std::int32_t rows_per_part;
};

void run_part(void* data, unsigned part)
{
    const Parts& p = *static_cast<const Parts*>(data);
    RowJob job = p.job;
    job.first_row = static_cast<std::int32_t>(part) * p.rows_per_part;
    job.row_count = std::min(p.rows_per_part, p.job.row_count - job.first_row);
    run_row_job(p.level, job);
}

}  // namespace

bool run_filter_grid(const FilterLaunch& in, const dim3& grid, const dim3& block)
{
    // The weight bits leave the rule's shifts at least 1.
    GridShape shape;
    PixelLayout layout;
    if (in.bits_x < 3 || in.bits_x > 28 || in.bits_y < 3 || in.bits_y > 28 || !in.first_y || !in.first_x ||
        !in.weight_y || !in.weight_x || !in.source || !layout_of_channels(in.channels, layout) ||
        in.source->width <= 0 || in.source->width % in.channels != 0 || in.source->height <= 0 ||
        !grid_shape(grid, block, in.thread_num, in.dest_width, in.max_width, in.channels, in.taps_x, in.taps_y, in.dest,
                    shape))
        return false;

    std::vector<std::int32_t> first_y, first_x, pairs_y, pairs_x;
    std::vector<std::int16_t> weight_y, weight_x;
    const std::int32_t source_w = in.source->width / in.channels;
    if (!read_axis(*in.first_y, *in.weight_y, in.taps_y, shape.rows, in.source->height, first_y,
                   weight_y, pairs_y) ||
        !read_axis(*in.first_x, *in.weight_x, in.taps_x, in.dest_width, source_w, first_x, weight_x, pairs_x))
        return false;

    Parts parts{RowJob{}, emulated_cpu_level(), 0};
    RowJob& job = parts.job;
    job.method = ResizeMethod::bicubic;  // either filter method: the tables say which
    job.layout = layout;
    job.dst_w = in.dest_width;
    job.row_count = shape.rows;
    job.src = reinterpret_cast<const std::int16_t*>(in.source->elements);
    job.src_stride = source_w;
    job.dst = reinterpret_cast<std::int16_t*>(shape.dest);
    job.dst_stride = in.max_width;
    job.filter_rows = FilterTaps{in.taps_y, in.bits_y, first_y.data(), weight_y.data(), pairs_y.data()};
    job.filter_columns = FilterTaps{in.taps_x, in.bits_x, first_x.data(), weight_x.data(), pairs_x.data()};
    // A last row shorter than the others is computed apart, only as wide as its threads.
    const bool short_last_row = shape.last_row_columns < in.dest_width;
    if (short_last_row) --parts.job.row_count;
    if (parts.job.row_count > 0) {
        parts.rows_per_part = rows_per_part(parts.job.row_count, kLaneGroupRows);
        emu::for_each_part(static_cast<unsigned>((parts.job.row_count + parts.rows_per_part - 1) / parts.rows_per_part),
                           run_part, &parts);
    }
    if (short_last_row) {
        RowJob last = parts.job;
        last.dst_w = shape.last_row_columns;
        last.first_row = shape.rows - 1;
        last.row_count = 1;
        run_row_job(parts.level, last);
    }
    return true;
}
