#include "plan/filter_tables.h"

#include <algorithm>
#include <cmath>

#include "plan/arithmetic.h"

double sin_pi(double x)
{
    // sin(pi (n + r)) = (-1)^n sin(pi r), with n the nearest integer; both steps are exact.
    const double n = std::floor(x + 0.5);
    const double r = x - n;
    const double z = 3.141592653589793 * r;
    const double z2 = z * z;
    // The Taylor series to z^23 / 23!: for |z| <= pi / 2 the next term is below 2^-60.
    double term = z, sum = z;
    for (int k = 1; k <= 11; ++k) {
        term = -term * z2 / ((2.0 * k) * (2.0 * k + 1.0));
        sum += term;
    }
    return static_cast<std::int64_t>(n) % 2 == 0 ? sum : -sum;
}

double bicubic_kernel(double x)
{
    constexpr double a = -0.5;
    const double t = std::fabs(x);
    if (t < 1.0) return ((a + 2.0) * t - (a + 3.0)) * t * t + 1.0;
    if (t < 2.0) return ((a * t - 5.0 * a) * t + 8.0 * a) * t - 4.0 * a;
    return 0.0;
}

double lanczos3_kernel(double x)
{
    const double t = std::fabs(x);
    if (t == 0.0) return 1.0;
    if (t >= 3.0) return 0.0;
    const double pi = 3.141592653589793;
    return 3.0 * sin_pi(t) * sin_pi(t / 3.0) / (pi * pi * t * t);
}

FilterWindow filter_window(ResizeMethod method, std::int32_t dst, std::int32_t src, std::int32_t j,
                           const AxisWindow& source_window)
{
    const double ratio = source_window.size / dst;
    const double widen = std::max(ratio, 1.0);
    const double radius = (method == ResizeMethod::lanczos3 ? 3.0 : 2.0) * widen;
    // An offset of 0 adds exactly nothing: the whole picture's centres are bit for bit its own.
    const double centre = source_window.offset + (j + 0.5) * ratio - 0.5;
    // The taps strictly inside the support; the kernel is zero at its edge.
    const std::int64_t lowest = static_cast<std::int64_t>(std::floor(centre - radius)) + 1;
    const std::int64_t highest = static_cast<std::int64_t>(std::ceil(centre + radius)) - 1;

    FilterWindow window;
    window.first = static_cast<std::int32_t>(std::clamp<std::int64_t>(lowest, 0, src - 1));
    const std::int32_t last = static_cast<std::int32_t>(std::clamp<std::int64_t>(highest, 0, src - 1));
    window.weight.assign(static_cast<std::size_t>(last - window.first + 1), 0.0);
    double total = 0.0;
    for (std::int64_t k = lowest; k <= highest; ++k) {
        const double x = (k - centre) / widen;
        const double w = method == ResizeMethod::lanczos3 ? lanczos3_kernel(x) : bicubic_kernel(x);
        const std::int64_t inside = std::clamp<std::int64_t>(k, 0, src - 1);
        window.weight[static_cast<std::size_t>(inside - window.first)] += w;
        total += w;
    }
    for (double& w : window.weight) w /= total;
    return window;
}

FilterWindow filter_window(ResizeMethod method, std::int32_t dst, std::int32_t src, std::int32_t j)
{
    return filter_window(method, dst, src, j, axis_window(0.0, 0.0, src));
}

namespace {

// The weights of `windows` with `bits` fraction bits into the axis's tables; false when a weight
// does not fit 16 bits or an output's magnitude sum leaves a 32-bit sum no room (plan/arithmetic.h).
bool quantise_weights(const std::vector<FilterWindow>& windows, std::int32_t src, std::int32_t offset,
                      std::int32_t bits, FilterAxis& axis)
{
    const std::int32_t taps = axis.taps;
    const std::int32_t one = 1 << bits;
    const std::int32_t most_magnitude = bits == 14 ? kMaxFilterWeightMagnitude : (1 << 16) - 3;
    axis.weight_bits = bits;
    axis.weight.assign(windows.size() * taps + kFilterWeightPadding, 0);
    for (std::size_t j = 0; j < windows.size(); ++j) {
        const FilterWindow& window = windows[j];
        // Moved left where it would reach past the picture's end; the taps it gains weigh 0.
        const std::int32_t first = std::min(window.first, src - taps);
        axis.first[j] = first + offset;
        std::int16_t* weights = &axis.weight[j * taps];
        double running = 0.0;
        std::int32_t rounded_before = 0, magnitude = 0;
        for (std::size_t t = 0; t < window.weight.size(); ++t) {
            running += window.weight[t];
            // The last running sum is 1 up to rounding; it is taken as exactly 1.
            const std::int32_t rounded =
                t + 1 == window.weight.size() ? one : static_cast<std::int32_t>(std::floor(running * one + 0.5));
            const std::int32_t weight = rounded - rounded_before;
            if (weight < -32768 || weight > 32767) return false;
            weights[window.first - first + static_cast<std::int32_t>(t)] = static_cast<std::int16_t>(weight);
            magnitude += weight < 0 ? -weight : weight;
            rounded_before = rounded;
        }
        if (magnitude > most_magnitude) return false;
    }
    return true;
}

}  // namespace

void build_filter_axis(ResizeMethod method, std::int32_t dst, std::int32_t src, const AxisWindow& source_window,
                       std::int32_t offset, FilterAxis& axis)
{
    std::vector<FilterWindow> windows;
    windows.reserve(static_cast<std::size_t>(dst));
    std::int32_t taps = 1;
    for (std::int32_t j = 0; j < dst; ++j) {
        windows.push_back(filter_window(method, dst, src, j, source_window));
        taps = std::max(taps, static_cast<std::int32_t>(windows.back().weight.size()));
    }
    axis.taps = taps;
    axis.first.resize(static_cast<std::size_t>(dst));
    // 15 bits where they fit (reducing), else 14, which always fit these kernels.
    if (!quantise_weights(windows, src, offset, 15, axis)) quantise_weights(windows, src, offset, 14, axis);
    pair_filter_weights(axis.weight.data(), dst, taps, axis.pairs);
}

void pair_filter_weights(const std::int16_t* weights, std::int32_t outputs, std::int32_t taps,
                         std::vector<std::int32_t>& pairs)
{
    const std::int32_t count = (taps + 1) / 2;
    pairs.resize(static_cast<std::size_t>(outputs) * count);
    for (std::int32_t j = 0; j < outputs; ++j)
        for (std::int32_t p = 0; p < count; ++p) {
            const std::int16_t* w = weights + static_cast<std::ptrdiff_t>(j) * taps + 2 * p;
            // Put together unsigned: a negative weight shifted left is undefined before C++20.
            const std::uint32_t high = 2 * p + 1 < taps ? static_cast<std::uint16_t>(w[1]) : 0u;
            pairs[static_cast<std::size_t>(j) * count + p] = static_cast<std::int32_t>(static_cast<std::uint16_t>(w[0]) | high << 16);
        }
}
