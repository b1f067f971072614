// The OpenCL image of the device module: the OpenCL edge's source (kernels.cl, embedded by the
// build) and the arguments each of its kernels takes.
#include "device/template/module_image.h"
#include "device/template/module_layout.h"

extern const char resample_kernels_opencl_source[];

namespace {

using ocl::ArgumentKind;

// calcDestPixelsKernel_ARGUMENTS of kernels.cl: the constants, then the textures.
const ocl::KernelArgument kResampleArguments[] = {
    {ArgumentKind::Constant, kOffset_gcUnitNumX, 4},
    {ArgumentKind::Constant, kOffset_gcUnitNumY, 4},
    {ArgumentKind::Constant, kOffset_gcThreadNum, 4},
    {ArgumentKind::Constant, kOffset_gcDestWidth, 4},
    {ArgumentKind::Constant, kOffset_gcMaxWidth, 4},
    {ArgumentKind::ConstantBuffer, kOffset_pgcGpuDestPixels, sizeof(PIXEL_YC*)},
    {ArgumentKind::Texture, kUnit_gTextureStartY, sizeof(int)},
    {ArgumentKind::Texture, kUnit_gTextureStartX, sizeof(int)},
    {ArgumentKind::Texture, kUnit_gTextureWeightY, sizeof(float)},
    {ArgumentKind::Texture, kUnit_gTextureWeightX, sizeof(float)},
    {ArgumentKind::Texture, kUnit_gTextureSrc, sizeof(short)},
};
// calcFilterPixelsKernel_ARGUMENTS of kernels.cl.
const ocl::KernelArgument kFilterArguments[] = {
    {ArgumentKind::Constant, kOffset_gcThreadNum, 4},
    {ArgumentKind::Constant, kOffset_gcDestWidth, 4},
    {ArgumentKind::Constant, kOffset_gcMaxWidth, 4},
    {ArgumentKind::ConstantBuffer, kOffset_pgcGpuDestPixels, sizeof(PIXEL_YC*)},
    {ArgumentKind::Constant, kOffset_gcFilterTapsX, 4},
    {ArgumentKind::Constant, kOffset_gcFilterTapsY, 4},
    {ArgumentKind::Constant, kOffset_gcFilterBitsX, 4},
    {ArgumentKind::Constant, kOffset_gcFilterBitsY, 4},
    {ArgumentKind::Texture, kUnit_gTextureFilterFirstY, sizeof(int)},
    {ArgumentKind::Texture, kUnit_gTextureFilterFirstX, sizeof(int)},
    {ArgumentKind::Texture, kUnit_gTextureFilterWeightY, sizeof(short)},
    {ArgumentKind::Texture, kUnit_gTextureFilterWeightX, sizeof(short)},
    {ArgumentKind::Texture, kUnit_gTextureSrc, sizeof(short)},
};
// DEFINE_KERNEL_2 of kernels.cl: the two pointers, then the shared memory.
const ocl::KernelArgument kTestArguments[] = {
    {ArgumentKind::ArgumentBuffer, 0, sizeof(float*)},
    {ArgumentKind::ArgumentBuffer, sizeof(float*), sizeof(float*)},
    {ArgumentKind::SharedMemory, 0, 0},
};

const ocl::ImageKernel kKernels[] = {
    {"__globfunc__Z20calcDestPixelsKernelv", "calcDestPixelsKernel", kResampleArguments,
     static_cast<int>(sizeof kResampleArguments / sizeof kResampleArguments[0])},
    {"__globfunc__Z22calcFilterPixelsKernelv", "calcFilterPixelsKernel", kFilterArguments,
     static_cast<int>(sizeof kFilterArguments / sizeof kFilterArguments[0])},
    {"__globfunc__Z10testKernelPfS_", "testKernel", kTestArguments,
     static_cast<int>(sizeof kTestArguments / sizeof kTestArguments[0])},
};

}  // namespace

const ocl::Image resample_opencl_image = {"vantreo-ocl-img", resample_kernels_opencl_source, kKernels, 3};
