// The emulated edge of the device module: the kernels compiled for the stand-in device, with the
// whole-grid resample for whole launches, and the module binary that the registration hands to its
// runtime (with the OpenCL image beside it).
#include <cstdint>

#include "abi/filter_records.h"
#include "device/template/module_image.h"
#include "device/template/module_layout.h"
#include "device/emulated/resample_grid.h"
#include "plan/arithmetic.h"
#include "platform/device_runtime/emulated_device.h"

namespace {

template <class T> T load_value(const emu::LaunchContext& ctx, emu::DeviceAddress address)
{
    T value;
    emu::load(ctx, address, &value, sizeof value);
    return value;
}

#define DEFINE_KERNEL_0(name) void name##_emulated(const emu::LaunchContext& ctx, const emu::KernelThread& thread)
#define DEFINE_KERNEL_2(name, T, a, b)                                                                    \
    void name##_body(const emu::LaunchContext& ctx, const emu::KernelThread& thread, emu::DeviceAddress a, \
                     emu::DeviceAddress b);                                                                \
    void name##_emulated(const emu::LaunchContext& ctx, const emu::KernelThread& thread)                  \
    {                                                                                                      \
        name##_body(ctx, thread, emu::to_device_address(emu::argument<T*>(ctx, 0)),                        \
                    emu::to_device_address(emu::argument<T*>(ctx, sizeof(T*))));                           \
    }                                                                                                      \
    void name##_body(const emu::LaunchContext& ctx, const emu::KernelThread& thread, emu::DeviceAddress a, \
                     emu::DeviceAddress b)
#define BLOCK_INDEX_X (thread.blockIdx.x)
#define THREAD_INDEX_X (thread.threadIdx.x)
#define BLOCK_DIM_X (thread.blockDim.x)
#define CONSTANT_INT(name) (emu::constant<std::int32_t>(ctx, kOffset_##name))
#define CONSTANT_PIXELS(name) (emu::to_device_address(emu::constant<PIXEL_YC*>(ctx, kOffset_##name)))
#define TEX1D(T, texture, index) (emu::texture_fetch<T>(ctx, kUnit_##texture, static_cast<float>(index)))
#define TEX2D(T, texture, x, y) \
    (emu::texture_fetch<T>(ctx, kUnit_##texture, static_cast<float>(x), static_cast<float>(y)))
#define STORE_PIXEL(pixels, index, pixel) \
    emu::store(ctx, (pixels) + static_cast<std::uint32_t>(index) * sizeof(PIXEL_YC), &(pixel), sizeof(PIXEL_YC))
#define LOAD_GLOBAL(T, pointer, index) (load_value<T>(ctx, (pointer) + (index) * sizeof(T)))
#define STORE_GLOBAL(pointer, index, value) emu::store(ctx, (pointer) + (index) * sizeof(value), &(value), sizeof(value))
#define SHARED_ARRAY(T, name) T* const name = reinterpret_cast<T*>(emu::shared_memory(ctx))
#define SYNC_BLOCK() emu::sync_block(ctx)

#include "device/template/resample_kernels.inl"

// The texture bound to `unit`, when it holds elements of T as the kernel fetches them.
template <class T> const emu::TextureView* bound_texture(const emu::LaunchContext& ctx, int unit)
{
    return emu::texture_bound(ctx, unit, sizeof(T)) ? &ctx.textures[unit] : nullptr;
}

// calcDestPixelsKernel over the whole grid, from the same constants and textures.
bool calcDestPixelsKernel_grid(const emu::LaunchContext& ctx, const dim3& grid, const dim3& block)
{
    const ResampleLaunch launch = {
        CONSTANT_INT(gcUnitNumX),
        CONSTANT_INT(gcUnitNumY),
        CONSTANT_INT(gcThreadNum),
        CONSTANT_INT(gcDestWidth),
        CONSTANT_INT(gcMaxWidth),
        CONSTANT_PIXELS(pgcGpuDestPixels),
        bound_texture<int>(ctx, kUnit_gTextureStartY),
        bound_texture<int>(ctx, kUnit_gTextureStartX),
        bound_texture<float>(ctx, kUnit_gTextureWeightY),
        bound_texture<float>(ctx, kUnit_gTextureWeightX),
        bound_texture<short>(ctx, kUnit_gTextureSrc),
    };
    return run_resample_grid(launch, grid, block);
}

// calcFilterPixelsKernel over the whole grid, likewise.
bool calcFilterPixelsKernel_grid(const emu::LaunchContext& ctx, const dim3& grid, const dim3& block)
{
    const FilterLaunch launch = {
        CONSTANT_INT(gcFilterTapsX),
        CONSTANT_INT(gcFilterTapsY),
        CONSTANT_INT(gcFilterBitsX),
        CONSTANT_INT(gcFilterBitsY),
        CONSTANT_INT(gcThreadNum),
        CONSTANT_INT(gcDestWidth),
        CONSTANT_INT(gcMaxWidth),
        CONSTANT_PIXELS(pgcGpuDestPixels),
        bound_texture<int>(ctx, kUnit_gTextureFilterFirstY),
        bound_texture<int>(ctx, kUnit_gTextureFilterFirstX),
        bound_texture<short>(ctx, kUnit_gTextureFilterWeightY),
        bound_texture<short>(ctx, kUnit_gTextureFilterWeightX),
        bound_texture<short>(ctx, kUnit_gTextureSrc),
    };
    return run_filter_grid(launch, grid, block);
}

const emu::ImageKernel kKernels[] = {
    {"__globfunc__Z20calcDestPixelsKernelv", calcDestPixelsKernel_emulated, false, calcDestPixelsKernel_grid},
    {"__globfunc__Z22calcFilterPixelsKernelv", calcFilterPixelsKernel_emulated, false, calcFilterPixelsKernel_grid},
    {"__globfunc__Z10testKernelPfS_", testKernel_emulated, true, nullptr},
};
const emu::ImageConstant kConstants[] = {
    {"gcUnitNumX", kOffset_gcUnitNumX, 4},   {"gcUnitNumY", kOffset_gcUnitNumY, 4},
    {"gcThreadNum", kOffset_gcThreadNum, 4}, {"gcDestWidth", kOffset_gcDestWidth, 4},
    {"gcMaxWidth", kOffset_gcMaxWidth, 4},   {"pgcGpuDestPixels", kOffset_pgcGpuDestPixels, sizeof(PIXEL_YC*)},
    {"gcFilterTapsX", kOffset_gcFilterTapsX, 4}, {"gcFilterTapsY", kOffset_gcFilterTapsY, 4},
    {"gcFilterBitsX", kOffset_gcFilterBitsX, 4}, {"gcFilterBitsY", kOffset_gcFilterBitsY, 4},
};
const emu::ImageTexture kTextures[] = {
    {"gTextureStartY", kUnit_gTextureStartY, 1},   {"gTextureStartX", kUnit_gTextureStartX, 1},
    {"gTextureWeightY", kUnit_gTextureWeightY, 1}, {"gTextureWeightX", kUnit_gTextureWeightX, 1},
    {"gTextureSrc", kUnit_gTextureSrc, 2},
    {"gTextureFilterFirstY", kUnit_gTextureFilterFirstY, 1},   {"gTextureFilterFirstX", kUnit_gTextureFilterFirstX, 1},
    {"gTextureFilterWeightY", kUnit_gTextureFilterWeightY, 1}, {"gTextureFilterWeightX", kUnit_gTextureFilterWeightX, 1},
};
const char* const kSharedSymbols[] = {"sdata"};

const emu::EmulatedImage kImage = {
    "vantreo-emu-img", kKernels, 3, kConstants, 10, kConstantBankBytes, kTextures, 9, kSharedSymbols, 1,
};

const __cudaFatCubinEntry kCubins[] = {{"sm_10", &kImage}, {"opencl", &resample_opencl_image}, {nullptr, nullptr}};
const __cudaFatPtxEntry kPtx[] = {{nullptr, nullptr}};

}  // namespace

__cudaFatCudaBinary resample_module_fatbin = {
    0x1ee55a01, 3, 0x1, "a5c1f0e29b73d846", "resample_kernels.cu", "", kPtx, kCubins, nullptr, nullptr, 0,
};
