// The filter methods' tables of one axis. Output j of dst over a window of `size` source indices
// from `offset` (AxisWindow) is centred at source position offset + (j + 0.5) x size / dst - 0.5
// (pixel centres aligned); the kernel is widened by size / dst when reducing, so that it filters, and
// is the plain kernel when enlarging. Taps outside the picture's src indices read the nearest edge
// pixel: their weights are added to the edge tap's. The whole picture as the window (offset 0, size
// src) gives the tables of a request without one, operation for operation. The weights are
// normalised in double, so that a constant picture stays constant, then made integers with 15
// fraction bits where they fit, else 14, that add up to exactly one by rounding their running sums
// (plan/arithmetic.h).
// Everything is evaluated with IEEE double operations only (no library sine), so that every build
// gets the same tables.
#pragma once

#include <cstdint>
#include <vector>

#include "plan/axis_geometry.h"
#include "plan/resample_plan.h"

// sin(pi x), by reduction to |x| <= 1/2 and a series accurate to double precision.
double sin_pi(double x);

// Keys' cubic with a = -0.5 (Catmull-Rom): support |x| < 2.
double bicubic_kernel(double x);
// sinc(x) sinc(x / 3): support |x| < 3.
double lanczos3_kernel(double x);

// One output's weights in double: source indices first .. first + weight.size() - 1, all inside the
// picture (counted from its edge), normalised to add up to 1.
struct FilterWindow {
    std::int32_t first;
    std::vector<double> weight;
};
FilterWindow filter_window(ResizeMethod method, std::int32_t dst, std::int32_t src, std::int32_t j,
                           const AxisWindow& source_window);
// The same over the whole picture.
FilterWindow filter_window(ResizeMethod method, std::int32_t dst, std::int32_t src, std::int32_t j);

// The weights of `outputs` outputs of `taps` weights each, two by two (FilterTaps::pairs).
void pair_filter_weights(const std::int16_t* weights, std::int32_t outputs, std::int32_t taps,
                         std::vector<std::int32_t>& pairs);

// Fills `axis` for a filter method, with `offset` added to its first indices. Every output reads filter_taps source indices inside
// the picture: a window shorter than the longest is moved to stay inside and padded with zero
// weights.
void build_filter_axis(ResizeMethod method, std::int32_t dst, std::int32_t src, const AxisWindow& source_window,
                       std::int32_t offset, FilterAxis& axis);
