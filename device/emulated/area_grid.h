// The device kernels run a whole grid at a time on the stand-in device: the same pixels, taps and
// arithmetic as calcDestPixelsKernel (area averaging) and calcFilterPixelsKernel (the filter methods)
// of device/kernels/resample_kernels.inl run thread by thread, with every clamped texture index and
// weight looked up once per launch instead of once per fetch, and the destination checked once for
// all stores. Whole rows go to the CPU's vector row workers
// (at emulated_cpu_level(), device/lifecycle.h), run by the device's rounding rules, where the
// launch's windows have the shape of a plan's taps; the rest to a row loop.
#pragma once

#include <cstdint>

#include "plan/resize_request.h"
#include "platform/device_runtime/emulated_device.h"

// The layout whose pixels have `channels` samples; false for a count of no layout.
bool layout_of_channels(std::int32_t channels, PixelLayout& layout);

// The kernel's constants and bound textures as one launch sees them; a texture pointer is null when
// no array of the kernel's element type is bound to its unit.
struct AreaLaunch {
    std::int32_t unit_x, unit_y, thread_num, dest_width, max_width;
    emu::DeviceAddress dest;
    std::int32_t channels;
    const emu::TextureView* start_y;   // int
    const emu::TextureView* start_x;   // int
    const emu::TextureView* weight_y;  // float
    const emu::TextureView* weight_x;  // float
    const emu::TextureView* source;    // short
};

// Runs every thread of a launch of calcDestPixelsKernel; false, with nothing done, for a launch it
// leaves to the per-thread path (a thread count per block other than the block's, a window without
// taps, a channel count of no layout, unbound textures, indices past the kernel's 32-bit arithmetic,
// or stores that do not lie inside one live allocation, where the per-thread path faults at the first
// such store).
bool run_area_grid(const AreaLaunch& launch, const dim3& grid, const dim3& block);

// The filter kernel's constants and bound textures as one launch sees them; null where no array of
// the element type is bound.
struct FilterLaunch {
    std::int32_t taps_x, taps_y, bits_x, bits_y, thread_num, dest_width, max_width;
    emu::DeviceAddress dest;
    std::int32_t channels;
    const emu::TextureView* first_y;   // int
    const emu::TextureView* first_x;   // int
    const emu::TextureView* weight_y;  // short
    const emu::TextureView* weight_x;  // short
    const emu::TextureView* source;    // short
};

// Runs every thread of a launch of calcFilterPixelsKernel on the CPU's filter row worker, which gives
// the kernel's values; false, with nothing done, for a launch it leaves to the per-thread path (as
// run_area_grid, and where a fetch would clamp: a window reaching outside the source).
bool run_filter_grid(const FilterLaunch& launch, const dim3& grid, const dim3& block);
