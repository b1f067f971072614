// Stand-in for the vendor's device runtime: the operations the filter calls, with the vendor's names,
// argument orders and result-code conventions. Kernels run on the CPU (emulated_device.h); device
// memory lives in an address space of its own that host code reaches only through the copy calls.
#pragma once

#include <cstddef>
#include <cstdint>

enum cudaError {
    cudaSuccess = 0,
    cudaErrorMissingConfiguration = 1,
    cudaErrorMemoryAllocation = 2,
    cudaErrorInitializationError = 3,
    cudaErrorLaunchFailure = 4,
    cudaErrorLaunchOutOfResources = 7,
    cudaErrorInvalidConfiguration = 9,
    cudaErrorInvalidDevice = 10,
    cudaErrorInvalidValue = 11,
    cudaErrorInvalidSymbol = 13,
    cudaErrorInvalidDevicePointer = 17,
    cudaErrorInvalidTexture = 18,
    cudaErrorInvalidChannelDescriptor = 20,
    cudaErrorInvalidMemcpyDirection = 21,
    cudaErrorInvalidResourceHandle = 33,
    cudaErrorNoDevice = 38,
    cudaErrorInvalidDeviceFunction = 98,
};
using cudaError_t = cudaError;

enum cudaMemcpyKind {
    cudaMemcpyHostToHost = 0,
    cudaMemcpyHostToDevice = 1,
    cudaMemcpyDeviceToHost = 2,
    cudaMemcpyDeviceToDevice = 3,
};

enum cudaChannelFormatKind {
    cudaChannelFormatKindSigned = 0,
    cudaChannelFormatKindUnsigned = 1,
    cudaChannelFormatKindFloat = 2,
    cudaChannelFormatKindNone = 3,
};

struct cudaChannelFormatDesc {
    int x;
    int y;
    int z;
    int w;
    cudaChannelFormatKind f;
};

enum cudaTextureAddressMode { cudaAddressModeWrap = 0, cudaAddressModeClamp = 1 };
enum cudaTextureFilterMode { cudaFilterModePoint = 0, cudaFilterModeLinear = 1 };
enum cudaTextureReadMode { cudaReadModeElementType = 0, cudaReadModeNormalizedFloat = 1 };

struct textureReference {
    int normalized;
    cudaTextureFilterMode filterMode;
    cudaTextureAddressMode addressMode[3];
    cudaChannelFormatDesc channelDesc;
    int __cudaReserved[16];
};

struct dim3 {
    unsigned int x, y, z;
    constexpr dim3(unsigned int vx = 1, unsigned int vy = 1, unsigned int vz = 1) : x(vx), y(vy), z(vz) {}
};
struct uint3 {
    unsigned int x, y, z;
};

struct cudaDeviceProp {
    char name[256];
    std::size_t totalGlobalMem;
    std::size_t sharedMemPerBlock;
    int regsPerBlock;
    int warpSize;
    std::size_t memPitch;
    int maxThreadsPerBlock;
    int maxThreadsDim[3];
    int maxGridSize[3];
    std::size_t totalConstMem;
    int major;
    int minor;
    int clockRate;
    std::size_t textureAlignment;
    int deviceOverlap;
    int multiProcessorCount;
};

struct cudaArray;  // opaque handle
struct CUstream_st;
using cudaStream_t = CUstream_st*;

cudaChannelFormatDesc cudaCreateChannelDesc(int x, int y, int z, int w, cudaChannelFormatKind f);

template <class T> cudaChannelFormatDesc cudaCreateChannelDesc();
template <> inline cudaChannelFormatDesc cudaCreateChannelDesc<int>()
{
    return cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindSigned);
}
template <> inline cudaChannelFormatDesc cudaCreateChannelDesc<float>()
{
    return cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindFloat);
}
template <> inline cudaChannelFormatDesc cudaCreateChannelDesc<short>()
{
    return cudaCreateChannelDesc(16, 0, 0, 0, cudaChannelFormatKindSigned);
}

// A texture reference of the module, as the device compiler declares it on the host side.
template <class T, int dim = 1, cudaTextureReadMode mode = cudaReadModeElementType>
struct texture : textureReference {
    texture(int norm = 0, cudaTextureFilterMode filter = cudaFilterModePoint,
            cudaTextureAddressMode address = cudaAddressModeClamp)
        : textureReference{norm, filter, {address, address, address}, cudaCreateChannelDesc<T>(), {}}
    {
    }
};

cudaError_t cudaGetDeviceCount(int* count);
cudaError_t cudaGetDeviceProperties(cudaDeviceProp* prop, int device);
cudaError_t cudaSetDevice(int device);
// Not the vendor's: the backend that runs a device, "OpenCL" or "emulated" (null for no such
// device), for programs that list the devices.
const char* vantreoDeviceBackend(int device);
// Not the vendor's: for a program that may need no device for a while. With `closed` nonzero the
// OpenCL library stays closed until this is called with 0: the device queries list the emulated
// devices alone, numbered from 0. With 0, OpenCL opens at once, its devices come first again and the
// current device stays the same device. No effect once OpenCL has been opened.
void vantreoKeepOpenclClosed(int closed);

cudaError_t cudaMalloc(void** devPtr, std::size_t size);
cudaError_t cudaFree(void* devPtr);
cudaError_t cudaMemset(void* devPtr, int value, std::size_t count);
cudaError_t cudaFreeArray(cudaArray* array);

// Copies height rows of width bytes, spitch bytes apart in the source, into the array at element
// (wOffset, hOffset).
cudaError_t cudaMemcpy2DToArray(cudaArray* dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                                std::size_t spitch, std::size_t width, std::size_t height,
                                cudaMemcpyKind kind);
cudaError_t cudaMemcpy(void* dst, const void* src, std::size_t count, cudaMemcpyKind kind);
cudaError_t cudaGetLastError();
const char* cudaGetErrorString(cudaError_t error);

// The module as the device compiler makes it and its generated host code registers it.
struct __cudaFatCubinEntry {
    const char* gpuProfileName;
    const void* cubin;
};
struct __cudaFatPtxEntry {
    const char* gpuProfileName;
    const char* ptx;
};
struct __cudaFatCudaBinary {
    unsigned long magic;
    unsigned long version;
    unsigned long gpuInfoVersion;
    const char* key;
    const char* ident;
    const char* usageMode;
    const __cudaFatPtxEntry* ptx;      // terminated by an entry with null members
    const __cudaFatCubinEntry* cubin;  // terminated by an entry with null members
    const void* debug;
    const void* debugInfo;
    unsigned int flags;
};

#include "platform/device_runtime/legacy_calls.inc"
