// The real-device edge of the module: the same kernel bodies, compiled by the device compiler.
// Current device compilers have no texture references, so each texture is a texture object held in
// constant memory under the reference's name; everything else maps one to one.
#include <cuda_runtime.h>

#include "abi/filter_records.h"
#include "device/kernels/module_interface.inl"
#include "plan/arithmetic.h"

#define DEVICE_CONSTANT(name, type, room) __constant__ type name;
MODULE_CONSTANTS(DEVICE_CONSTANT)
#define DEVICE_TEXTURE(name, element, dimensions) __constant__ cudaTextureObject_t name;
MODULE_TEXTURES(DEVICE_TEXTURE)

#define DEFINE_KERNEL_0(name) __global__ void name()
#define DEFINE_KERNEL_2(name, T, a, b) __global__ void name(T* a, T* b)
#define BLOCK_INDEX_X (blockIdx.x)
#define THREAD_INDEX_X (threadIdx.x)
#define BLOCK_DIM_X (blockDim.x)
#define CONSTANT_INT(name) (name)
#define CONSTANT_PIXELS(name) (name)
#define TEX1D(T, texture, index) (tex1D<T>(texture, static_cast<float>(index)))
#define TEX2D(T, texture, x, y) (tex2D<T>(texture, static_cast<float>(x), static_cast<float>(y)))
#define STORE_SAMPLE(pixels, index, value) (reinterpret_cast<short*>(pixels)[index] = (value))
#define LOAD_GLOBAL(T, pointer, index) ((pointer)[index])
#define STORE_GLOBAL(pointer, index, value) ((pointer)[index] = (value))
#define SHARED_ARRAY(T, name) extern __shared__ T name[]
#define SYNC_BLOCK() __syncthreads()

#include "device/kernels/resample_kernels.inl"
