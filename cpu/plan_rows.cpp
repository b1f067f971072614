#include "cpu/plan_rows.h"

#include <algorithm>

#include "plan/arithmetic.h"

RowJob plan_row_job(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count, const void* src_picture,
                    void* dst, AreaRule area_rule)
{
    const ResizeRequest& r = plan.request;
    RowJob job{};
    job.method = r.method;
    job.layout = r.layout;
    job.dst_w = r.dst_w;
    job.first_row = first_row;
    job.row_count = row_count;
    job.src = static_cast<const std::int16_t*>(src_picture);
    job.src_stride = r.stride;
    job.dst = static_cast<std::int16_t*>(dst);
    job.dst_stride = r.stride;
    if (is_filter_method(r.method)) {
        job.filter_rows = plan.filter.rows.view();
        job.filter_columns = plan.filter.columns.view();
    } else {
        const AxisPair<AreaAxis>& taps = area_rule == AreaRule::device ? plan.device_area : plan.area;
        job.area_rows = taps.rows.view();
        job.area_columns = taps.columns.view();
        job.area_rule = area_rule;
    }
    return job;
}

CpuLevel run_row_job(CpuLevel level, const RowJob& job)
{
    level = std::min(level, best_cpu_level());
    if (job.row_count <= 0) return level;
    const RowWorkers& workers = row_workers(level);
    (is_filter_method(job.method) ? workers.filter : workers.area)(job);
    return level;
}

CpuLevel run_plan_rows(CpuLevel level, const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count,
                       const void* src_picture, void* dst, AreaRule area_rule)
{
    return run_row_job(level, plan_row_job(plan, first_row, row_count, src_picture, dst, area_rule));
}

void filter_rows_reference(const RowJob& job)
{
    const std::int32_t channels = channel_count(job.layout);
    const FilterTaps& rows = job.filter_rows;
    const FilterTaps& columns = job.filter_columns;
    for (std::int32_t i = job.first_row; i < job.first_row + job.row_count; ++i)
        for (std::int32_t j = 0; j < job.dst_w; ++j)
            for (std::int32_t c = 0; c < channels; ++c) {
                std::int32_t sum = 0;
                for (std::int32_t t = 0; t < columns.taps; ++t) {
                    const std::int32_t n = columns.first[j] + t;
                    std::int32_t column_sum = 0;
                    for (std::int32_t u = 0; u < rows.taps; ++u) {
                        const std::int32_t k = rows.first[i] + u;
                        column_sum += rows.weight[static_cast<std::ptrdiff_t>(i) * rows.taps + u] *
                                      job.src[(static_cast<std::ptrdiff_t>(k) * job.src_stride + n) * channels + c];
                    }
                    sum += columns.weight[static_cast<std::ptrdiff_t>(j) * columns.taps + t] *
                           filter_intermediate(column_sum, rows.weight_bits);
                }
                job.dst[(static_cast<std::ptrdiff_t>(i) * job.dst_stride + j) * channels + c] =
                    filter_store(sum, columns.weight_bits);
            }
}
