#include "plan/window_tables.h"

#include <algorithm>

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

WindowTables build_window_tables(const ResamplePlan& plan)
{
    const ResizeRequest& r = plan.request;
    WindowTables tables;
    tables.rows.taps = window_taps(plan.area.rows.span);
    tables.columns.taps = window_taps(plan.area.columns.span);

    tables.rows.start.assign(static_cast<std::size_t>(r.dst_h) + kSurplusRows, 0);
    std::copy(plan.area.rows.first.begin(), plan.area.rows.first.begin() + r.dst_h, tables.rows.start.begin());
    // The device's source array holds the clipped picture from its left edge.
    tables.columns.start.resize(static_cast<std::size_t>(r.dst_w));
    for (std::int32_t j = 0; j < r.dst_w; ++j) tables.columns.start[j] = plan.area.columns.first[j] - r.clip_left;

    tables.rows.weight = tap_weight_rows(plan.area.rows.span, tables.rows.taps, r.dst_h + kSurplusRows);
    tables.columns.weight = tap_weight_rows(plan.area.columns.span, tables.columns.taps, r.dst_w);
    return tables;
}
