#include "plan/window_tables.h"

#include <algorithm>

#include "plan/arithmetic.h"
#include "plan/axis_geometry.h"

std::int32_t window_taps(float span) { return static_cast<std::int32_t>(span) + 2; }

std::vector<float> tap_weight_rows(float span, std::int32_t taps, std::int32_t count)
{
    std::vector<float> table(static_cast<std::size_t>(count) * taps, 0.0f);
    float start = 0.0f;
    std::int32_t first = 0;
    for (std::int32_t j = 0; j < count; ++j) {
        const float end = output_boundary(j + 1, span);
        const std::int32_t last = last_source_index(end);
        // Each tap is the overlap of source index k with [start, end), divided by the span.
        for (std::int32_t k = first; k <= last && k - first < taps; ++k) {
            const double lower = k == first ? static_cast<double>(start) : k;
            const double upper = k + 1 < end ? static_cast<double>(k + 1) : static_cast<double>(end);
            table[static_cast<std::size_t>(j) * taps + (k - first)] = to_single((upper - lower) / span);
        }
        start = end;
        first = source_index_at(end);
    }
    return table;
}

namespace {

// One axis's windows for `count` outputs (those past the plan's read index 0 with zero weights):
// over the whole picture from the span, else the area record's own taps, as many as its widest output.
AxisWindows axis_windows(const AreaAxis& axis, bool whole, std::int32_t offset, std::int32_t count)
{
    const std::int32_t dst = static_cast<std::int32_t>(axis.last.size());
    AxisWindows windows;
    windows.taps = whole ? window_taps(axis.span) : 1;
    if (!whole)
        for (std::int32_t j = 0; j < dst; ++j) windows.taps = std::max(windows.taps, axis.last[j] - axis.first[j] + 1);

    windows.start.assign(static_cast<std::size_t>(count), 0);
    for (std::int32_t j = 0; j < dst; ++j) windows.start[j] = axis.first[j] - offset;

    if (whole) {
        windows.weight = tap_weight_rows(axis.span, windows.taps, count);
        return windows;
    }
    windows.weight.assign(static_cast<std::size_t>(count) * windows.taps, 0.0f);
    for (std::int32_t j = 0; j < dst; ++j)
        std::copy(axis.tap_weight.begin() + axis.tap_start[j], axis.tap_weight.begin() + axis.tap_start[j + 1],
                  windows.weight.begin() + static_cast<std::ptrdiff_t>(j) * windows.taps);
    return windows;
}

}  // namespace

WindowTables build_window_tables(const ResamplePlan& plan)
{
    const ResizeRequest& r = plan.request;
    WindowTables tables;
    tables.rows = axis_windows(plan.area.rows, row_window(r).whole, 0, r.dst_h + kSurplusRows);
    // The device's source array holds the clipped picture from its left edge.
    tables.columns = axis_windows(plan.area.columns, column_window(r).whole, r.clip_left, r.dst_w);
    return tables;
}

void append_window(const float* weights, std::int32_t count, std::int32_t stride, std::int64_t start, AreaAxis& axis,
                   std::int64_t& first, std::int64_t& last)
{
    std::int32_t t0 = 0;
    while (t0 < count && weights[t0 * stride] == 0.0f) ++t0;
    std::int32_t t1 = count - 1;
    while (t1 >= t0 && weights[t1 * stride] == 0.0f) --t1;
    const std::size_t begin = axis.tap_weight.size();
    for (std::int32_t t = t0; t <= t1; ++t) axis.tap_weight.push_back(weights[t * stride]);
    const std::int32_t taps = static_cast<std::int32_t>(axis.tap_weight.size() - begin);
    axis.least_weight.push_back(least_tap_weight(axis.tap_weight.data() + begin, taps));
    axis.tap_start.push_back(static_cast<std::int32_t>(axis.tap_weight.size()));
    first = start + t0;
    last = start + t1;
}

namespace {

// The first `count` windows of `windows` as the taps of `axis`, source indices offset by `offset`
// and within 0 .. size; false where an output has no tap or one outside, or the first taps go back.
bool trimmed_axis(const AxisWindows& windows, std::int32_t count, std::int32_t offset, std::int32_t size,
                  AreaAxis& axis)
{
    axis = AreaAxis{};
    axis.tap_start.push_back(0);
    for (std::int32_t j = 0; j < count; ++j) {
        std::int64_t first, last;
        append_window(&windows.weight[static_cast<std::size_t>(j) * windows.taps], windows.taps, 1,
                      std::int64_t{windows.start[j]} + offset, axis, first, last);
        if (last < first || first < offset || last > std::int64_t{offset} + size) return false;
        if (j > 0 && first < axis.first.back()) return false;
        axis.first.push_back(static_cast<std::int32_t>(first));
        axis.last.push_back(static_cast<std::int32_t>(last));
    }
    return true;
}

}  // namespace

bool add_device_area_taps(ResamplePlan& plan)
{
    const ResizeRequest& r = plan.request;
    const WindowTables tables = build_window_tables(plan);
    AxisPair<AreaAxis>& taps = plan.device_area;
    if (trimmed_axis(tables.rows, r.dst_h, 0, r.src_h, taps.rows) &&
        trimmed_axis(tables.columns, r.dst_w, r.clip_left, r.src_w, taps.columns))
        return true;
    taps = AxisPair<AreaAxis>{};
    return false;
}
