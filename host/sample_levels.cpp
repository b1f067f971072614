#include "host/sample_levels.h"

#include <algorithm>
#include <limits>

namespace vantreo_host {

namespace {

constexpr std::int64_t kHostSpan = 4096;

// n / d rounded to nearest, halves upwards; d > 0.
std::int64_t round_div(std::int64_t n, std::int64_t d)
{
    const std::int64_t twice = 2 * n + d;
    const std::int64_t q = twice / (2 * d);
    return (twice % (2 * d) < 0) ? q - 1 : q;
}

std::int32_t to_code(std::int32_t value, std::int32_t offset, std::int32_t span, std::int32_t max_code)
{
    const std::int64_t code = round_div(std::int64_t{value} * span, kHostSpan) + offset;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(code, 0, max_code));
}

// Code values in range give at most +-4490; the clamp only guards against bad levels.
std::int16_t to_host(std::int32_t code, std::int32_t offset, std::int32_t span)
{
    const std::int64_t value = round_div((std::int64_t{code} - offset) * kHostSpan, span);
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int16_t>::min(),
                                                                std::numeric_limits<std::int16_t>::max()));
}

}  // namespace

SampleLevels sample_levels(int depth, bool full_range)
{
    const int shift = depth - 8;
    const std::int32_t max_code = (std::int32_t{1} << depth) - 1;
    if (full_range) return {0, max_code, std::int32_t{1} << (depth - 1), max_code, max_code};
    return {16 << shift, 219 << shift, 128 << shift, 224 << shift, max_code};
}

std::int16_t luma_to_host(std::int32_t code, const SampleLevels& levels)
{
    return to_host(code, levels.luma_offset, levels.luma_span);
}

std::int16_t chroma_to_host(std::int32_t code, const SampleLevels& levels)
{
    return to_host(code, levels.chroma_offset, levels.chroma_span);
}

std::int32_t host_to_luma(std::int32_t value, const SampleLevels& levels)
{
    return to_code(value, levels.luma_offset, levels.luma_span, levels.max_code);
}

std::int32_t host_to_chroma(std::int32_t value, const SampleLevels& levels)
{
    return to_code(value, levels.chroma_offset, levels.chroma_span, levels.max_code);
}

}  // namespace vantreo_host
