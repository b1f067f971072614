// Where the outputs of one axis fall on the source, written once for the CPU tables and the device's
// fixed windows. With the whole picture as its window, output j covers [boundary(j), boundary(j + 1))
// in source units.
#pragma once

#include <cstdint>

#include "plan/arithmetic.h"
#include "plan/resize_request.h"

// One axis of the request's source window: the outputs map onto `size` source indices from `offset`,
// counted from the clipped picture's edge.
struct AxisWindow {
    double offset;
    double size;
    bool whole;  // the picture's side exactly, which keeps the tables of a request without a window
};

inline AxisWindow axis_window(double offset, double size, std::int32_t src)
{
    if (size == 0 || (offset == 0 && size == src)) return AxisWindow{0.0, static_cast<double>(src), true};
    return AxisWindow{offset, size, false};
}
inline AxisWindow row_window(const ResizeRequest& r) { return axis_window(r.window.top, r.window.height, r.src_h); }
inline AxisWindow column_window(const ResizeRequest& r) { return axis_window(r.window.left, r.window.width, r.src_w); }

// The boundary in front of output j: j x span in double, rounded once to single precision. The
// product is exact: j is an output index (below 2^14 even for an 8192-pixel side) and span a single
// (24-bit significand), so it needs at most 38 of double's 53 bits, and would for sides up to 2^29.
inline float output_boundary(std::int32_t j, float span) { return to_single(j * static_cast<double>(span)); }

// The source index a boundary lies in.
inline std::int32_t source_index_at(float boundary) { return static_cast<std::int32_t>(boundary); }

// The last source index an output ending at `end` covers: an end exactly on a source boundary leaves
// that source index wholly to the next output.
inline std::int32_t last_source_index(float end)
{
    const std::int32_t whole = source_index_at(end);
    return is_exact_integer(end) ? whole - 1 : whole;
}
