// The device module as host code sees it: the texture references, the host shadows of the constants,
// the kernels' host entries, the channel descriptors, and the module's registration; all but the
// descriptors as device/kernels/module_interface.inl lists them.
#pragma once

#include <cstdint>

#include "platform/device_runtime/cuda_runtime.h"
#include "abi/filter_records.h"
#include "device/kernels/module_interface.inl"

// Textures: unnormalised coordinates, point sampling, clamped addressing, elements as stored.
#define DECLARE_TEXTURE_REFERENCE(name, element, dimensions) \
    extern texture<element, dimensions, cudaReadModeElementType> name;
MODULE_TEXTURES(DECLARE_TEXTURE_REFERENCE)
#undef DECLARE_TEXTURE_REFERENCE

// Host shadows of the device constants; their device values are written with cudaMemcpyToSymbol.
#define DECLARE_HOST_SHADOW(name, type, room) extern type name;
MODULE_CONSTANTS(DECLARE_HOST_SHADOW)
#undef DECLARE_HOST_SHADOW

// Element formats of the arrays behind the textures, made at start-up.
extern cudaChannelFormatDesc start_y_desc;
extern cudaChannelFormatDesc start_x_desc;
extern cudaChannelFormatDesc weight_y_desc;
extern cudaChannelFormatDesc weight_x_desc;
extern cudaChannelFormatDesc source_desc;
extern cudaChannelFormatDesc filter_first_desc;
extern cudaChannelFormatDesc filter_weight_desc;

// Host entries: each launches its kernel with the configuration pushed by cudaConfigureCall.
#define DECLARE_READING_ENTRY(name, symbol) void name();
#define DECLARE_TAKING_ENTRY(name, symbol, element, shared) void name(element* input, element* output);
MODULE_KERNELS(DECLARE_READING_ENTRY, DECLARE_TAKING_ENTRY)
#undef DECLARE_READING_ENTRY
#undef DECLARE_TAKING_ENTRY

extern void** module_handle;
void register_device_module();
void unregister_device_module();
