// The area-average plan: which source rows and columns each output row and column covers, with what
// weight, and how the output rows are split between the device and the CPU workers. Computed once
// per change of request; the executors only look entries up.
// Rounding follows plan/arithmetic.h.
#pragma once

#include <cstdint>
#include <vector>

#include "plan/arithmetic.h"
#include "platform/cuda/cuda_runtime.h"
#include "plugin/filter_records.h"
#include "plugin/resize_request.h"

struct ResamplePlan {
    ResizeRequest request;  // the request the plan was last built for

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

    // Device half: the arrays behind the kernel's textures and its destination buffer.
    cudaArray* start_y_array;
    cudaArray* start_x_array;
    cudaArray* weight_y_array;
    cudaArray* weight_x_array;
    cudaArray* source_array;
    PIXEL_YC* dest_buffer;

    std::uint32_t builds;  // number of builds since load
};

// The one module-wide plan. Its recorded request matches no frame at load.
extern ResamplePlan plan;

ResamplePlan make_unbuilt_plan();

// Rebuilds the plan for `request`. Expects for area averaging 1 <= dst_w <= src_w <= 1600,
// 1 <= dst_h <= src_h <= 1600, dst_w <= stride, 0 <= gpu_rate <= 256, cpu_threads >= 1 and
// block_threads >= 1.
void build_plan(ResizeRequest request);
