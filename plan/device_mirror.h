// The device copy of the plan: the kernel's constants, its destination buffer, the start and
// tap-weight tables behind its textures, and the array that receives the source picture.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/cuda/cuda_runtime.h"

// Writes gcThreadNum, gcDestWidth and gcMaxWidth, and replaces the destination buffer (cleared, and
// large enough for every store of the launch, surplus threads included).
void write_device_constants_and_dest();

// Builds and uploads the four tables, writes gcUnitNumY and gcUnitNumX, and replaces the source
// array (cleared, with a spare pixel column, so taps past the picture read zero).
void upload_device_tables();

// Frees the destination buffer named by pgcGpuDestPixels, if any, and clears the symbol and the
// plan's copy of the address.
void release_device_dest();

// Frees an array, clearing the handle first so that it never names a freed array.
void release_array(cudaArray*& handle);

// True when every device resource of the current plan was allocated.
bool device_mirror_complete();

// Tap weights of one axis, `taps` per output index, for outputs 0 .. count-1: entry j * taps + t is
// the share of source index G + t in output j, where G is the integer part of j's start boundary.
std::vector<float> tap_weight_rows(float span, std::int32_t taps, std::int32_t count);

// Bytes of the destination buffer for the current plan.
std::uint32_t dest_buffer_bytes();
