// The parts of the device runtime interface the filter is written against that current CUDA no
// longer has, built on the installed toolkit's runtime: texture references, launches configured
// call by call, a module registered by its host entries and host shadows, one-row arrays and the
// linear copy into an array. Everything else the filter calls is the toolkit's own.
//
// A module is loaded (cudaLibraryLoadData) at its first use after registration, once a device is
// current. A texture reference names a constant of the module that holds a texture object: binding
// the reference creates the object and writes it there. The filter reaches these names through
// include/platform/device_runtime/cuda_runtime.h.
#pragma once

#include <cstddef>

#include <cuda_runtime.h>

namespace cuda_legacy {

// A texture's sampling settings and the element format its fetches read.
struct textureReference {
    int normalized;
    cudaTextureFilterMode filterMode;
    cudaTextureAddressMode addressMode[3];
    cudaChannelFormatDesc channelDesc;
    cudaTextureReadMode readMode;
};

// A texture reference of the module, declared on the host side.
template <class T, int dim = 1, cudaTextureReadMode mode = cudaReadModeElementType>
struct texture : textureReference {
    texture(int norm = 0, cudaTextureFilterMode filter = cudaFilterModePoint,
            cudaTextureAddressMode address = cudaAddressModeClamp)
        : textureReference{norm, filter, {address, address, address}, cudaCreateChannelDesc<T>(), mode}
    {
    }
};

// The module as registered: a fat binary as nvcc makes it.
struct __cudaFatCudaBinary {
    const void* image;
};

#include "platform/device_runtime/legacy_calls.inc"

}  // namespace cuda_legacy

// As the stand-in runtime names it for programs that list the devices: "CUDA" for every device the
// runtime reports, null past them.
const char* vantreoDeviceBackend(int device);
// As the stand-in runtime declares it; there is no OpenCL here, so it does nothing.
void vantreoKeepOpenclClosed(int closed);
