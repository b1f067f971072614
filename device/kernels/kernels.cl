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
#include "plan/portable_rules.inl"

#define VANTREO_TEXEL_FUNCTION
#include "platform/device_runtime/texel_rules.inl"

#define DEVICE_POINTER(T) __global T*
#include "device/kernels/module_interface.inl"
DECLARE_MODULE_TYPES()

// A kernel without arguments of its own gets the module's constants and textures it reads as
// arguments, in the order of its name##_READS list: a texture as three, its array's elements row
// after row, its width and its height. Each parameter comes with a leading comma, dropped from the
// first.
#define CONSTANT_PARAMETER(name) , name##_type name
#define TEXTURE_PARAMETER(name) , __global const name##_element* name, int name##_width, int name##_height
#define PARAMETERS(...) PARAMETERS_AFTER_LEADING_COMMA(__VA_ARGS__)
#define PARAMETERS_AFTER_LEADING_COMMA(nothing, ...) __VA_ARGS__
#define DEFINE_KERNEL_0(name) __kernel void name(PARAMETERS(name##_READS(CONSTANT_PARAMETER, TEXTURE_PARAMETER)))
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
#define STORE_SAMPLE(pixels, index, value) (((__global short*)(pixels))[index] = (value))
#define LOAD_GLOBAL(T, pointer, index) ((pointer)[index])
#define STORE_GLOBAL(pointer, index, value) ((pointer)[index] = (value))
#define SHARED_ARRAY(T, name) __local T* const name = (__local T*)shared_block
#define SYNC_BLOCK() barrier(CLK_LOCAL_MEM_FENCE)

#include "device/kernels/resample_kernels.inl"
