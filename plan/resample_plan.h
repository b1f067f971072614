// The resampling plan: for the method asked, where each output row and column reads the source and
// with what weight, and how the output rows are split between the device and the CPU workers. One
// record per method per axis (point sampling, area averaging, the filter methods), each built only
// for its method. Plain data, computed once per change of request; the executors only look entries
// up. Rounding follows plan/arithmetic.h, boundaries plan/axis_geometry.h.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "plan/axis_taps.h"
#include "plan/resize_request.h"

// Point sampling: the index (clip offset added) each output copies. Non-decreasing.
struct PointAxis {
    std::vector<std::int32_t> source;
};

// Area averaging: the span tables (first, last, weight: the source indices of each output and the
// stored weight of each source index), and the weights resolved from them per output (tap_start,
// tap_weight, least_weight). An axis whose source window is not the whole picture has its own rule
// (build_plan): first, last, tap_start, tap_weight and least_weight are filled directly, as the
// executors read them, and span, full_weight and weight mean nothing (0, 0 and empty); nothing reads
// them for such an axis.
struct AreaAxis {
    float span;         // source indices per output index
    float full_weight;  // weight of a source index wholly inside one output

    // first[j] .. last[j]: source indices of output j, counted in the clipped picture for rows and
    // in the frame (clip_left added) for columns; first has one more entry, the picture's end. A
    // source index cut by a boundary stores the part that falls to the output before (divided by the
    // span); the output after takes full weight minus that.
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> last;
    std::vector<float> weight;  // per source index of the clipped picture

    // The weight each source index takes in each output, resolved from `weight` by span_weight:
    // output j's weights for first[j] .. last[j] start at tap_start[j] (tap_start has one more entry,
    // the count of all weights), and least_weight[j] is least_tap_weight of them. The product of a
    // row's and a column's least weight bounds every tap weight of their pixel from below; the CPU's
    // area workers use it to prove their single-precision fused path exact.
    std::vector<std::int32_t> tap_start;
    std::vector<float> tap_weight;
    std::vector<float> least_weight;

    AreaTaps view() const
    {
        return AreaTaps{first.data(), last.data(), tap_start.data(), tap_weight.data(), least_weight.data()};
    }
};

// Bicubic and Lanczos-3 (plan/filter_tables.h): output j reads `taps` consecutive source indices
// inside the picture from first[j] (counted as AreaAxis::first is), with the weights
// weight[j * taps + t], which have weight_bits fraction bits, and the same two by two in `pairs`.
struct FilterAxis {
    std::int32_t taps;
    std::int32_t weight_bits;
    std::vector<std::int32_t> first;
    std::vector<std::int16_t> weight;
    std::vector<std::int32_t> pairs;

    FilterTaps view() const { return FilterTaps{taps, weight_bits, first.data(), weight.data(), pairs.data()}; }
};

template <class Axis>
struct AxisPair {
    Axis rows;     // output rows over source rows
    Axis columns;  // output columns over source columns
};

struct ResamplePlan {
    // The request the plan was last built for. Value-initialised it matches no frame, since every
    // frame's source is at least one pixel wide.
    ResizeRequest request;

    AxisPair<PointAxis> point;
    AxisPair<AreaAxis> area;
    AxisPair<FilterAxis> filter;
    // Area averaging's taps as the device reads them, for CPU rows by the device's rule, which then
    // give the device's bytes: filled by add_device_area_taps (plan/window_tables.h), else empty.
    // Only their taps are filled (first, last, tap_start, tap_weight, least_weight).
    AxisPair<AreaAxis> device_area;

    std::int32_t device_rows;      // output rows 0 .. device_rows-1 are computed on the device
    std::int32_t rows_per_thread;  // rows per CPU worker; the last takes the remainder too
    std::int32_t grid_blocks;      // device blocks per frame
};

// Rebuilds `plan` for `request`, keeping the tables' storage where it is large enough. Only the
// method's own records are built: the others keep their last build (the device copy mirrors the
// last area-averaging or filter build). Each axis maps its outputs onto its side of the request's
// source window (AxisWindow); point sampling reads the whole picture whatever the window. Expects
// 1 <= dst_w <= stride and dst_h >= 1, and a window as SourceWindow says; for area averaging and the
// filter methods also 0 <= device_rate <= 256, 1 <= cpu_threads <= kMaxCpuThreads and
// block_threads >= 1. Per axis, with the whole picture as its window: for area averaging
// dst <= src, and for the filter methods dst >= src >> 3; with any other window, for the filter
// methods dst >= size / 8 (area averaging takes any size). Those bounds keep every filter window
// within kMaxFilterTaps.
//
// Area averaging over a window other than the whole picture: output j covers [offset + j S,
// offset + (j + 1) S], S = size / dst in double, clipped to [0, src); each source index weighs its
// overlap with that interval over the clipped interval's length, rounded to single once; an output
// whose interval misses the picture takes the nearest edge index with weight 1.
void build_plan(ResizeRequest request, ResamplePlan& plan);

// Fills the resolved tap weights and least weights from the span tables, on each axis whose window
// is the whole picture (build_plan does so; a test that edits the span tables does so again).
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
