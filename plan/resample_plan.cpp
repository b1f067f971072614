#include "plan/resample_plan.h"

#include <algorithm>

#include "plan/device_mirror.h"

namespace {

// Span and weight tables of one axis. `offset` is added to every first/last entry (clip_left for
// columns, 0 for rows); weights are indexed within the clipped picture.
void build_axis_tables(std::int32_t dst, std::int32_t src, float span, float full_weight, std::int32_t offset,
                       std::vector<std::int32_t>& first, std::vector<std::int32_t>& last,
                       std::vector<float>& weight)
{
    first.resize(static_cast<std::size_t>(dst) + 1);
    for (std::int32_t j = 0; j < dst; ++j) first[j] = static_cast<std::int32_t>(to_single(j * static_cast<double>(span))) + offset;
    first[dst] = src + offset;

    // A boundary exactly on a source boundary leaves that source index wholly to the next output.
    last.resize(static_cast<std::size_t>(dst));
    for (std::int32_t j = 0; j < dst; ++j) {
        const float end = to_single((j + 1) * static_cast<double>(span));
        const std::int32_t whole = static_cast<std::int32_t>(end);
        last[j] = (is_exact_integer(end) ? whole - 1 : whole) + offset;
    }
    // The rounded end of the last output can lie one float step past the picture.
    last[dst - 1] = std::min(last[dst - 1], src - 1 + offset);

    weight.assign(static_cast<std::size_t>(src), full_weight);
    for (std::int32_t j = 1; j < dst; ++j) {
        const float start = to_single(j * static_cast<double>(span));
        const std::int32_t whole = static_cast<std::int32_t>(start);
        if (!is_exact_integer(start)) weight[whole] = to_single((start - whole) / static_cast<double>(span));
    }
}

}  // namespace

ResamplePlan make_unbuilt_plan()
{
    ResamplePlan unbuilt{};
    unbuilt.request.gpu_rate = 128;  // no frame has a zero source width, so the first frame builds
    return unbuilt;
}

void build_plan(ResizeRequest request)
{
    plan.request = request;
    ++plan.builds;
    if (request.method == 2) return;
    if (request.method != 1) {
        release_device_dest();
        return;
    }

    plan.gpu_rows = (request.dst_h * request.gpu_rate + 128) >> 8;
    plan.rows_per_thread = (request.dst_h - plan.gpu_rows) / request.cpu_threads;
    plan.grid_blocks = (request.dst_w * plan.gpu_rows - 1) / request.block_threads + 1;

    // Spans are reciprocals of the rounded scales, not the quotients of the sizes.
    const float width_scale = to_single(static_cast<double>(request.dst_w) / request.src_w);
    const float height_scale = to_single(static_cast<double>(request.dst_h) / request.src_h);
    plan.span_x = to_single(1.0 / width_scale);
    plan.span_y = to_single(1.0 / height_scale);
    plan.row_full_weight = to_single(1.0 / plan.span_y);
    plan.col_full_weight = to_single(1.0 / plan.span_x);

    write_device_constants_and_dest();

    build_axis_tables(request.dst_h, request.src_h, plan.span_y, plan.row_full_weight, 0, plan.row_first,
                      plan.row_last, plan.row_weight);
    build_axis_tables(request.dst_w, request.src_w, plan.span_x, plan.col_full_weight, request.clip_left,
                      plan.col_first, plan.col_last, plan.col_weight);

    upload_device_tables();
}
