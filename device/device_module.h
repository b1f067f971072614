// The device module as host code sees it: the texture references, the host shadows of the constants,
// the kernels' host entries, the channel descriptors, and the module's registration.
#pragma once

#include <cstdint>

#include "platform/device_runtime/cuda_runtime.h"
#include "abi/filter_records.h"

// Textures: unnormalised coordinates, point sampling, clamped addressing, elements as stored.
extern texture<int, 1, cudaReadModeElementType> gTextureStartY;    // output row -> first source row
extern texture<int, 1, cudaReadModeElementType> gTextureStartX;    // output column -> first source column
extern texture<float, 1, cudaReadModeElementType> gTextureWeightY;  // row * gcUnitNumY + tap -> weight
extern texture<float, 1, cudaReadModeElementType> gTextureWeightX;  // column * gcUnitNumX + tap -> weight
extern texture<short, 2, cudaReadModeElementType> gTextureSrc;      // (3 * column + channel, row) -> value
// The filter methods' tables (plan/filter_tables.h), columns counted from the clipped picture's edge.
extern texture<int, 1, cudaReadModeElementType> gTextureFilterFirstY;     // output row -> first source row
extern texture<int, 1, cudaReadModeElementType> gTextureFilterFirstX;     // output column -> first source column
extern texture<short, 1, cudaReadModeElementType> gTextureFilterWeightY;  // row * gcFilterTapsY + tap -> weight
extern texture<short, 1, cudaReadModeElementType> gTextureFilterWeightX;  // column * gcFilterTapsX + tap -> weight

// Host shadows of the device constants; their device values are written with cudaMemcpyToSymbol.
extern std::int32_t gcUnitNumX;  // taps per output column
extern std::int32_t gcUnitNumY;  // taps per output row
extern std::int32_t gcThreadNum;  // threads per block
extern std::int32_t gcDestWidth;  // dst_w
extern std::int32_t gcMaxWidth;   // pixels per row of the destination buffer
extern PIXEL_YC* pgcGpuDestPixels;  // the device destination buffer, or null
extern std::int32_t gcFilterTapsX;  // the filter methods' taps per output column
extern std::int32_t gcFilterTapsY;  // and per output row
extern std::int32_t gcFilterBitsX;  // and the fraction bits of their weights
extern std::int32_t gcFilterBitsY;

// Element formats of the arrays behind the textures, made at start-up.
extern cudaChannelFormatDesc start_y_desc;
extern cudaChannelFormatDesc start_x_desc;
extern cudaChannelFormatDesc weight_y_desc;
extern cudaChannelFormatDesc weight_x_desc;
extern cudaChannelFormatDesc source_desc;
extern cudaChannelFormatDesc filter_first_desc;
extern cudaChannelFormatDesc filter_weight_desc;

// Host entries: each launches its kernel with the configuration pushed by cudaConfigureCall.
void calcDestPixelsKernel();
void calcFilterPixelsKernel();
void testKernel(float* g_idata, float* g_odata);

extern void** module_handle;
void register_device_module();
void unregister_device_module();
