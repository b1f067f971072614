// What a kernel's fetches read, looked up by the whole-grid resamples once per launch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/device_runtime/emulated_device.h"

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

template <class T> T texture_element(const emu::TextureView& view, std::size_t index)
{
    T value;
    std::memcpy(&value, view.elements + index * sizeof(T), sizeof value);
    return value;
}

// The element a fetch of the kernel at the integer coordinates (x, y) reads.
inline std::size_t texel(const emu::TextureView& view, std::int32_t x, std::int32_t y = 0)
{
    return emu::texel_offset(view, static_cast<float>(x), static_cast<float>(y));
}

// What a fetch of element type T at (x, y) reads.
template <class T> T fetch(const emu::TextureView& view, std::int32_t x, std::int32_t y = 0)
{
    return texture_element<T>(view, texel(view, x, y));
}
