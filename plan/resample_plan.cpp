#include "plan/resample_plan.h"

#include <algorithm>
#include <cmath>

#include "plan/axis_geometry.h"
#include "plan/filter_tables.h"

namespace {

// The span tables of one axis: first, last and weight of `axis`, whose span and full weight are set.
// `offset` is added to every first/last entry (clip_left for columns, 0 for rows); weights are
// indexed within the clipped picture.
void build_span_tables(std::int32_t dst, std::int32_t src, std::int32_t offset, AreaAxis& axis)
{
    axis.first.resize(static_cast<std::size_t>(dst) + 1);
    for (std::int32_t j = 0; j < dst; ++j) axis.first[j] = source_index_at(output_boundary(j, axis.span)) + offset;
    axis.first[dst] = src + offset;

    axis.last.resize(static_cast<std::size_t>(dst));
    for (std::int32_t j = 0; j < dst; ++j)
        axis.last[j] = last_source_index(output_boundary(j + 1, axis.span)) + offset;
    // The rounded end of the last output can lie one float step past the picture.
    axis.last[dst - 1] = std::min(axis.last[dst - 1], src - 1 + offset);

    axis.weight.assign(static_cast<std::size_t>(src), axis.full_weight);
    for (std::int32_t j = 1; j < dst; ++j) {
        const float start = output_boundary(j, axis.span);
        const std::int32_t index = source_index_at(start);
        if (!is_exact_integer(start)) axis.weight[index] = to_single((start - index) / static_cast<double>(axis.span));
    }
}

// One axis's resolved weights: output j's weights in the order of its source indices, as
// span_weight resolves them, and their least weight.
void resolve_axis(std::int32_t offset, AreaAxis& axis)
{
    const std::size_t dst = axis.last.size();
    axis.tap_start.resize(dst + 1);
    axis.least_weight.resize(dst);
    axis.tap_weight.clear();
    for (std::size_t j = 0; j < dst; ++j) {
        axis.tap_start[j] = static_cast<std::int32_t>(axis.tap_weight.size());
        for (std::int32_t k = axis.first[j]; k <= axis.last[j]; ++k)
            axis.tap_weight.push_back(span_weight(axis.weight[k - offset], axis.full_weight, k == axis.first[j]));
        axis.least_weight[j] = least_tap_weight(axis.tap_weight.data() + axis.tap_start[j],
                                                static_cast<std::int32_t>(axis.tap_weight.size()) - axis.tap_start[j]);
    }
    axis.tap_start[dst] = static_cast<std::int32_t>(axis.tap_weight.size());
}

// One axis's point-sampling lookups: the single-precision ratio of the sizes, each position the exact
// (double) product plus one half, truncated, then held inside the picture; `offset` added.
void build_point_axis(std::int32_t dst, std::int32_t src, std::int32_t offset, PointAxis& axis)
{
    std::vector<std::int32_t>& source = axis.source;
    const double ratio = to_single(static_cast<double>(src) / dst);
    source.resize(static_cast<std::size_t>(dst));
    for (std::int32_t j = 0; j < dst; ++j)
        source[j] = std::min(static_cast<std::int32_t>(j * ratio + 0.5), src - 1) + offset;
}

// Span and full weight of an axis of `src` source indices over `dst` outputs: the span is the
// reciprocal of the rounded scale, not the quotient of the sizes.
void set_span(std::int32_t dst, std::int32_t src, AreaAxis& axis)
{
    const float scale = to_single(static_cast<double>(dst) / src);
    axis.span = to_single(1.0 / scale);
    axis.full_weight = to_single(1.0 / axis.span);
}

// One axis's taps for a window other than the whole picture, by build_plan's coverage rule. The span
// tables are emptied: they describe no such axis.
void build_window_taps(std::int32_t dst, std::int32_t src, const AxisWindow& window, std::int32_t offset,
                       AreaAxis& axis)
{
    axis.span = 0.0f;
    axis.full_weight = 0.0f;
    axis.weight.clear();
    axis.first.resize(static_cast<std::size_t>(dst) + 1);
    axis.last.resize(static_cast<std::size_t>(dst));
    axis.tap_start.resize(static_cast<std::size_t>(dst) + 1);
    axis.least_weight.resize(static_cast<std::size_t>(dst));
    axis.tap_weight.clear();
    const double step = window.size / dst;
    for (std::int32_t j = 0; j < dst; ++j) {
        const double lower = std::max(window.offset + j * step, 0.0);
        const double upper = std::min(window.offset + (j + 1) * step, static_cast<double>(src));
        axis.tap_start[j] = static_cast<std::int32_t>(axis.tap_weight.size());
        if (upper > lower) {
            axis.first[j] = static_cast<std::int32_t>(lower);
            axis.last[j] = static_cast<std::int32_t>(std::ceil(upper)) - 1;
            for (std::int32_t k = axis.first[j]; k <= axis.last[j]; ++k) {
                const double covered = std::min(upper, k + 1.0) - std::max(lower, static_cast<double>(k));
                axis.tap_weight.push_back(to_single(covered / (upper - lower)));
            }
        } else {
            // Below the picture lower is 0, past it at least src; an empty interval inside (a step
            // too small to move the double) takes the index it lies in.
            axis.first[j] = axis.last[j] = static_cast<std::int32_t>(std::min(lower, src - 1.0));
            axis.tap_weight.push_back(1.0f);
        }
        axis.least_weight[j] = least_tap_weight(axis.tap_weight.data() + axis.tap_start[j],
                                                axis.last[j] - axis.first[j] + 1);
        axis.first[j] += offset;
        axis.last[j] += offset;
    }
    axis.first[dst] = src + offset;
    axis.tap_start[dst] = static_cast<std::int32_t>(axis.tap_weight.size());
}

// One axis of an area-averaging plan: the span tables and the weights resolved from them for the
// whole picture, else the window's taps.
void build_area_axis(std::int32_t dst, std::int32_t src, const AxisWindow& window, std::int32_t offset,
                     AreaAxis& axis)
{
    if (!window.whole) {
        build_window_taps(dst, src, window, offset, axis);
        return;
    }
    set_span(dst, src, axis);
    build_span_tables(dst, src, offset, axis);
    resolve_axis(offset, axis);
}

}  // namespace

void resolve_tap_weights(ResamplePlan& plan)
{
    if (row_window(plan.request).whole) resolve_axis(0, plan.area.rows);
    if (column_window(plan.request).whole) resolve_axis(plan.request.clip_left, plan.area.columns);
}

void build_plan(ResizeRequest request, ResamplePlan& plan)
{
    plan.request = request;
    if (request.method == ResizeMethod::point_sample) {
        build_point_axis(request.dst_h, request.src_h, request.clip_top, plan.point.rows);
        build_point_axis(request.dst_w, request.src_w, request.clip_left, plan.point.columns);
        return;
    }

    // The device share rounded to the nearest row, halves up.
    plan.device_rows = (request.dst_h * request.device_rate + 128) >> 8;
    plan.rows_per_thread = (request.dst_h - plan.device_rows) / request.cpu_threads;
    // One device thread per band pixel; with no band, one block (which is never launched).
    plan.grid_blocks = (request.dst_w * plan.device_rows - 1) / request.block_threads + 1;
    if (is_filter_method(request.method)) {
        build_filter_axis(request.method, request.dst_h, request.src_h, row_window(request), 0, plan.filter.rows);
        build_filter_axis(request.method, request.dst_w, request.src_w, column_window(request), request.clip_left,
                          plan.filter.columns);
        return;
    }

    build_area_axis(request.dst_h, request.src_h, row_window(request), 0, plan.area.rows);
    build_area_axis(request.dst_w, request.src_w, column_window(request), request.clip_left, plan.area.columns);
}

RowBands cpu_row_bands(const ResamplePlan& plan)
{
    const std::int32_t first = plan.device_rows;
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
