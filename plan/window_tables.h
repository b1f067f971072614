// The plan as the device reads it: for each output row and column a fixed window of source indices
// starting at a table entry, with one dense weight per tap (zero outside the output's span), so that
// the kernel reads the same number of taps everywhere and looks up no span.
#pragma once

#include <cstdint>
#include <vector>

#include "plan/resample_plan.h"

// The Y tables run this many rows past dst_h: the surplus threads of the last block compute rows
// below the band, and their fetches must stay inside the tables.
constexpr std::int32_t kSurplusRows = 512;

// The windows of one axis.
struct AxisWindows {
    std::int32_t taps;                // window size: integer part of the span, plus 2, or with a source
                                      // window other than the whole picture the most taps of an output
    std::vector<std::int32_t> start;  // per output, the window's first source index
    std::vector<float> weight;        // per output, `taps` weights
};

struct WindowTables {
    // dst_h + kSurplusRows outputs: the plan's first source rows, then zeros.
    AxisWindows rows;
    // dst_w outputs, counted from the clipped picture's left edge.
    AxisWindows columns;
};

// Taps of a window covering any output of a span: it never covers more than span + 2 indices.
std::int32_t window_taps(float span);

// Tap weights of one axis, `taps` per output, for outputs 0 .. count-1: entry j * taps + t is the
// share of source index G + t in output j, G being the index its start boundary lies in. Not limited
// to the picture: the last tap of the last output may lie one index past it.
std::vector<float> tap_weight_rows(float span, std::int32_t taps, std::int32_t count);

// The window tables of an area-averaging plan. An axis whose source window is not the whole picture
// reads its record's taps: start first[j] (less clip_left for columns), weights dense from there.
WindowTables build_window_tables(const ResamplePlan& plan);

// Appends the nonzero part of `count` window weights `stride` apart, which start at source index
// `start`, as one output of `axis`: its first and last source index (last < first when all are
// zero), its weights and their least weight. A tap of weight zero leaves a sum as it is (value x 0
// + sum is the sum; a sum is never -0), so the trimmed taps sum as the whole window does.
void append_window(const float* weights, std::int32_t count, std::int32_t stride, std::int64_t start, AreaAxis& axis,
                   std::int64_t& first, std::int64_t& last);

// Fills plan.device_area from the area-averaging plan's window tables, each window trimmed by
// append_window, columns counted as the plan's are (clip_left added). The last window of an axis
// may keep a tap one index past the picture, where the device reads its source array's spare zeros:
// the CPU's rows then read a column and a row of zeros past the picture, which their caller provides. False,
// with device_area cleared, where the CPU's area workers could not take the taps: a tap before the
// picture or further past it, an output without taps, or windows whose first taps go backwards.
bool add_device_area_taps(ResamplePlan& plan);
