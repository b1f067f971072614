// The parts of the device runtime interface the filter is written against that current CUDA no
// longer has, built on the installed toolkit's runtime: texture references, launches configured
// call by call, a module registered by its host entries and host shadows, one-row arrays and the
// linear copy into an array. Everything else the filter calls is the toolkit's own.
//
// A module is loaded (cudaLibraryLoadData) at its first use after registration, once a device is
// current. A texture reference names a constant of the module that holds a texture object: binding
// the reference creates the object and writes it there. The filter reaches these names through
// include/platform/cuda/cuda_runtime.h.
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

void** __cudaRegisterFatBinary(void* fatCubin);
// Destroys the module's texture objects and unloads it.
void __cudaUnregisterFatBinary(void** fatCubinHandle);
void __cudaRegisterFunction(void** fatCubinHandle, const char* hostFun, char* deviceFun, const char* deviceName,
                            int thread_limit, uint3* tid, uint3* bid, dim3* bDim, dim3* gDim, int* wSize);
void __cudaRegisterShared(void** fatCubinHandle, void** devicePtr);
void __cudaRegisterTexture(void** fatCubinHandle, const textureReference* hostVar, const void** deviceAddress,
                           const char* deviceName, int dim, int norm, int ext);
void __cudaRegisterVar(void** fatCubinHandle, char* hostVar, char* deviceAddress, const char* deviceName,
                       int ext, int size, int constant, int global);

// `symbol` is the host shadow registered for a constant of the module.
cudaError_t cudaMemcpyToSymbol(const void* symbol, const void* src, std::size_t count, std::size_t offset = 0,
                               cudaMemcpyKind kind = cudaMemcpyHostToDevice);
cudaError_t cudaMemcpyFromSymbol(void* dst, const void* symbol, std::size_t count, std::size_t offset = 0,
                                 cudaMemcpyKind kind = cudaMemcpyDeviceToHost);
// The array's format must be `desc` and the reference's element format.
cudaError_t cudaBindTextureToArray(const textureReference* texref, const cudaArray* array,
                                   const cudaChannelFormatDesc* desc);

// An array of one row is one-dimensional, as 1-D textures read it.
cudaError_t cudaMallocArray(cudaArray** array, const cudaChannelFormatDesc* desc, std::size_t width,
                            std::size_t height = 1);
// Copies count bytes into the array from byte wOffset of row hOffset on; bytes past the end of a row
// continue at the start of the next row.
cudaError_t cudaMemcpyToArray(cudaArray* dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                              std::size_t count, cudaMemcpyKind kind);

// Each configuration is used up by the next cudaLaunch of the same thread; cudaSetupArgument places
// one kernel argument, in the kernel's parameter order, at its offset in the argument block.
cudaError_t cudaConfigureCall(dim3 gridDim, dim3 blockDim, std::size_t sharedMem = 0, cudaStream_t stream = nullptr);
cudaError_t cudaSetupArgument(const void* arg, std::size_t size, std::size_t offset);
// `entry` is the host entry registered for a kernel.
cudaError_t cudaLaunch(const void* entry);
cudaError_t cudaThreadSynchronize();

}  // namespace cuda_legacy

// As the stand-in runtime names it for programs that list the devices: "CUDA" for every device the
// runtime reports, null past them.
const char* vantreoDeviceBackend(int device);
