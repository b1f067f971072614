// The rounding rules shared by the plan, the CPU row worker and the device kernel.
// - Floating-point expressions are evaluated in double; a value is rounded to single precision only
//   where the code says `to_single`.
// - Conversion to an integer truncates toward zero.
// - A single-precision boundary is exact when it equals its integer part.
// - A channel sum is stored as sum + 0.5 truncated toward zero (so halves go up for non-negative sums
//   and negative sums move toward zero), saturated to the 16-bit range rather than wrapped: the weights
//   of a pixel can add up to slightly more than 1.
#pragma once

#include <cstdint>

#if defined(__CUDACC__)
#define VANTREO_HOST_DEVICE __host__ __device__
#else
#define VANTREO_HOST_DEVICE
#endif

VANTREO_HOST_DEVICE inline float to_single(double value) { return static_cast<float>(value); }

VANTREO_HOST_DEVICE inline bool is_exact_integer(float value)
{
    return value == static_cast<float>(static_cast<std::int32_t>(value));
}

VANTREO_HOST_DEVICE inline std::int16_t saturate_to_int16(std::int32_t value)
{
    return static_cast<std::int16_t>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

// The CPU rule: the half is added in double.
inline std::int16_t store_channel(float sum)
{
    return saturate_to_int16(static_cast<std::int32_t>(static_cast<double>(sum) + 0.5));
}

// The device rule: the half is added in single precision.
VANTREO_HOST_DEVICE inline std::int16_t store_channel_single(float sum)
{
    return saturate_to_int16(static_cast<std::int32_t>(sum + 0.5f));
}
