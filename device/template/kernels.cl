// The OpenCL edge of the device module: the same kernel bodies as OpenCL C 1.2, built by the OpenCL
// device at its first launch. The build embeds this text with its includes resolved
// (cmake/embed_opencl_source.cmake). Every OpenCL device runs the device rules exactly: no
// contraction, the fused multiply-add explicit.
#pragma OPENCL FP_CONTRACT OFF

typedef struct {
    short y;
    short cb;
    short cr;
} PIXEL_YC;

#define VANTREO_DEVICE_FUNCTION
#define VANTREO_FMA(a, b, c) fma(a, b, c)
#include "plan/device_rules.inl"

#define VANTREO_TEXEL_FUNCTION
#include "platform/device_runtime/texel_rules.inl"

// A texture is three kernel arguments: its array's elements row after row, its width and its height.
#define TEXTURE(T, name) __global const T* name, int name##_width, int name##_height

// A kernel without arguments gets the module's constants and textures it reads as arguments, in the
// order of its argument list in kernels_opencl.cpp.
#define calcDestPixelsKernel_ARGUMENTS                                                                     \
    int gcUnitNumX, int gcUnitNumY, int gcThreadNum, int gcDestWidth, int gcMaxWidth,                      \
        __global PIXEL_YC *pgcGpuDestPixels, TEXTURE(int, gTextureStartY), TEXTURE(int, gTextureStartX),   \
        TEXTURE(float, gTextureWeightY), TEXTURE(float, gTextureWeightX), TEXTURE(short, gTextureSrc)
#define calcFilterPixelsKernel_ARGUMENTS                                                                   \
    int gcThreadNum, int gcDestWidth, int gcMaxWidth, __global PIXEL_YC *pgcGpuDestPixels,                 \
        int gcFilterTapsX, int gcFilterTapsY, int gcFilterBitsX, int gcFilterBitsY,                        \
        TEXTURE(int, gTextureFilterFirstY), TEXTURE(int, gTextureFilterFirstX),                            \
        TEXTURE(short, gTextureFilterWeightY), TEXTURE(short, gTextureFilterWeightX), TEXTURE(short, gTextureSrc)
#define DEFINE_KERNEL_0(name) __kernel void name(name##_ARGUMENTS)
// A kernel's own arguments come first, then its block's shared memory.
#define DEFINE_KERNEL_2(name, T, a, b) __kernel void name(__global T* a, __global T* b, __local uchar* shared_block)
#define BLOCK_INDEX_X (get_group_id(0))
#define THREAD_INDEX_X (get_local_id(0))
#define BLOCK_DIM_X (get_local_size(0))
#define CONSTANT_INT(name) (name)
#define CONSTANT_PIXELS(name) (name)
#define TEX1D(T, texture, index) (texture[texel_index((float)(index), texture##_width)])
#define TEX2D(T, texture, x, y) \
    (texture[texel_index((float)(y), texture##_height) * texture##_width + texel_index((float)(x), texture##_width)])
#define STORE_PIXEL(pixels, index, pixel) ((pixels)[index] = (pixel))
#define LOAD_GLOBAL(T, pointer, index) ((pointer)[index])
#define STORE_GLOBAL(pointer, index, value) ((pointer)[index] = (value))
#define SHARED_ARRAY(T, name) __local T* const name = (__local T*)shared_block
#define SYNC_BLOCK() barrier(CLK_LOCAL_MEM_FENCE)

#include "device/template/resample_kernels.inl"
