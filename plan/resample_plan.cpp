#include "plan/resample_plan.h"

#include <algorithm>

#include "plan/axis_geometry.h"

namespace {

// Span and weight tables of one axis. `offset` is added to every first/last entry (clip_left for
// columns, 0 for rows); weights are indexed within the clipped picture.
void build_axis_tables(std::int32_t dst, std::int32_t src, float span, float full_weight, std::int32_t offset,
                       std::vector<std::int32_t>& first, std::vector<std::int32_t>& last,
                       std::vector<float>& weight)
{
    first.resize(static_cast<std::size_t>(dst) + 1);
    for (std::int32_t j = 0; j < dst; ++j) first[j] = source_index_at(output_boundary(j, span)) + offset;
    first[dst] = src + offset;

    last.resize(static_cast<std::size_t>(dst));
    for (std::int32_t j = 0; j < dst; ++j) last[j] = last_source_index(output_boundary(j + 1, span)) + offset;
    // The rounded end of the last output can lie one float step past the picture.
    last[dst - 1] = std::min(last[dst - 1], src - 1 + offset);

    weight.assign(static_cast<std::size_t>(src), full_weight);
    for (std::int32_t j = 1; j < dst; ++j) {
        const float start = output_boundary(j, span);
        const std::int32_t index = source_index_at(start);
        if (!is_exact_integer(start)) weight[index] = to_single((start - index) / static_cast<double>(span));
    }
}

// One axis's resolved weights: output j's weights in the order of its source indices, as
// span_weight resolves them, and the smallest of them (0 when they add up to more than 1.5).
void resolve_axis(const std::vector<std::int32_t>& first, const std::vector<std::int32_t>& last,
                  const std::vector<float>& weight, float full_weight, std::int32_t offset,
                  std::vector<std::int32_t>& tap_start, std::vector<float>& tap_weight, std::vector<float>& least_weight)
{
    const std::size_t dst = last.size();
    tap_start.resize(dst + 1);
    least_weight.resize(dst);
    tap_weight.clear();
    for (std::size_t j = 0; j < dst; ++j) {
        tap_start[j] = static_cast<std::int32_t>(tap_weight.size());
        double sum = 0;
        float least = full_weight;  // no weight is larger
        for (std::int32_t k = first[j]; k <= last[j]; ++k) {
            const float w = span_weight(weight[k - offset], full_weight, k == first[j]);
            tap_weight.push_back(w);
            sum += w;
            least = std::min(least, w);
        }
        least_weight[j] = sum <= 1.5 ? least : 0.0f;
    }
    tap_start[dst] = static_cast<std::int32_t>(tap_weight.size());
}

// One axis's point-sampling lookups: the single-precision ratio of the sizes, each position the exact
// (double) product plus one half, truncated, then held inside the picture; `offset` added.
void build_point_axis(std::int32_t dst, std::int32_t src, std::int32_t offset, std::vector<std::int32_t>& source)
{
    const double ratio = to_single(static_cast<double>(src) / dst);
    source.resize(static_cast<std::size_t>(dst));
    for (std::int32_t j = 0; j < dst; ++j)
        source[j] = std::min(static_cast<std::int32_t>(j * ratio + 0.5), src - 1) + offset;
}

}  // namespace

void resolve_tap_weights(ResamplePlan& plan)
{
    resolve_axis(plan.row_first, plan.row_last, plan.row_weight, plan.row_full_weight, 0, plan.row_tap_start,
                 plan.row_tap_weight, plan.row_least_weight);
    resolve_axis(plan.col_first, plan.col_last, plan.col_weight, plan.col_full_weight, plan.request.clip_left,
                 plan.col_tap_start, plan.col_tap_weight, plan.col_least_weight);
}

void build_plan(ResizeRequest request, ResamplePlan& plan)
{
    plan.request = request;
    if (request.method == ResizeMethod::point_sample) {
        build_point_axis(request.dst_h, request.src_h, request.clip_top, plan.point_source_row);
        build_point_axis(request.dst_w, request.src_w, request.clip_left, plan.point_source_col);
        return;
    }

    // The device share rounded to the nearest row, halves up.
    plan.gpu_rows = (request.dst_h * request.gpu_rate + 128) >> 8;
    plan.rows_per_thread = (request.dst_h - plan.gpu_rows) / request.cpu_threads;
    // One device thread per band pixel; with no band, one block (which is never launched).
    plan.grid_blocks = (request.dst_w * plan.gpu_rows - 1) / request.block_threads + 1;

    // Spans are reciprocals of the rounded scales, not the quotients of the sizes.
    const float width_scale = to_single(static_cast<double>(request.dst_w) / request.src_w);
    const float height_scale = to_single(static_cast<double>(request.dst_h) / request.src_h);
    plan.span_x = to_single(1.0 / width_scale);
    plan.span_y = to_single(1.0 / height_scale);
    plan.row_full_weight = to_single(1.0 / plan.span_y);
    plan.col_full_weight = to_single(1.0 / plan.span_x);

    build_axis_tables(request.dst_h, request.src_h, plan.span_y, plan.row_full_weight, 0, plan.row_first,
                      plan.row_last, plan.row_weight);
    build_axis_tables(request.dst_w, request.src_w, plan.span_x, plan.col_full_weight, request.clip_left,
                      plan.col_first, plan.col_last, plan.col_weight);
    resolve_tap_weights(plan);
}

RowBands cpu_row_bands(const ResamplePlan& plan)
{
    const std::int32_t first = plan.gpu_rows;
    const std::int32_t per_thread = plan.rows_per_thread;
    // More workers than there is room for would still cover every row: the last band takes the rest.
    const std::int32_t threads = std::min(plan.request.cpu_threads, kMaxCpuThreads);
    RowBands bands{};
    if (per_thread >= 1)
        for (std::int32_t i = 0; i < threads - 1; ++i) bands.band[bands.count++] = {first + i * per_thread, per_thread};
    const std::int32_t last_first = first + (threads - 1) * per_thread;
    const std::int32_t last_count = plan.request.dst_h - last_first;
    if (last_count >= 1) bands.band[bands.count++] = {last_first, last_count};
    return bands;
}
