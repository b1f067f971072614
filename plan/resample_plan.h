// The resampling plan: for area averaging, which source rows and columns each output row and column
// covers, with what weight, and how the output rows are split between the device and the CPU workers;
// for point sampling, which source row and column each output row and column copies. Plain data,
// computed once per change of request; the executors only look entries up.
// Rounding follows plan/arithmetic.h, boundaries plan/axis_geometry.h.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "plan/resize_request.h"

struct ResamplePlan {
    // The request the plan was last built for. Value-initialised it matches no frame, since every
    // frame's source is at least one pixel wide.
    ResizeRequest request;

    float span_x;           // source columns per output column
    float span_y;           // source rows per output row
    float col_full_weight;  // weight of a source column wholly inside one output column
    float row_full_weight;

    std::int32_t gpu_rows;         // output rows 0 .. gpu_rows-1 are computed on the device
    std::int32_t rows_per_thread;  // rows per CPU worker; the last takes the remainder too
    std::int32_t grid_blocks;      // device blocks per frame

    // row_first[j] .. row_last[j]: source rows of output row j, counted in the clipped picture;
    // row_first has one more entry, src_h. A source row cut by a boundary stores the part that falls
    // to the row above (divided by the span); the row below takes full weight minus that.
    std::vector<std::int32_t> row_first;
    std::vector<std::int32_t> row_last;
    std::vector<float> row_weight;  // per source row of the clipped picture
    // The same for columns, except that col_first and col_last count frame columns (clip_left added).
    std::vector<std::int32_t> col_first;
    std::vector<std::int32_t> col_last;
    std::vector<float> col_weight;  // per source column of the clipped picture

    // The weight each source row takes in each output row, resolved from row_weight by span_weight:
    // output row i's weights for source rows row_first[i] .. row_last[i] start at row_tap_start[i]
    // (row_tap_start has one more entry, the count of all weights). The same for columns.
    std::vector<std::int32_t> row_tap_start;
    std::vector<float> row_tap_weight;
    std::vector<std::int32_t> col_tap_start;
    std::vector<float> col_tap_weight;
    // The smallest of each output row's (column's) resolved weights, or 0 where they add up to more
    // than 1.5. The product of a row's and a column's entry bounds every tap weight of their pixel
    // from below; the CPU lane workers use it to prove their single-precision fused path exact.
    std::vector<float> row_least_weight;
    std::vector<float> col_least_weight;

    // Point sampling: the frame row (clip_top added) that each output row copies, and the frame
    // column (clip_left added) that each output column copies. Non-decreasing.
    std::vector<std::int32_t> point_source_row;
    std::vector<std::int32_t> point_source_col;
};

// Rebuilds `plan` for `request`, keeping the tables' storage where it is large enough. Point
// sampling builds only the point-sampling lookups: the area-averaging fields keep the last
// area-averaging build (which the device copy mirrors). Expects 1 <= dst_w <= stride and dst_h >= 1;
// for area averaging also dst_w <= src_w, dst_h <= src_h, 0 <= gpu_rate <= 256,
// 1 <= cpu_threads <= kMaxCpuThreads and block_threads >= 1.
void build_plan(ResizeRequest request, ResamplePlan& plan);

// Fills the resolved tap weights and least weights from the span tables (build_plan does so; a test
// that edits the span tables does so again).
void resolve_tap_weights(ResamplePlan& plan);

// A run of output rows for one CPU worker.
struct RowBand {
    std::int32_t first_row;
    std::int32_t row_count;
};

// The CPU's rows below the device band, in contiguous bands, one per worker, the last carrying the
// remainder; no band is empty. Fixed room, so that a frame allocates nothing to share out its rows.
struct RowBands {
    std::array<RowBand, kMaxCpuThreads> band;
    std::int32_t count;
};
RowBands cpu_row_bands(const ResamplePlan& plan);
