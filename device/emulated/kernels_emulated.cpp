// The emulated edge of the device module: the kernels compiled for the stand-in device, with the
// whole-grid runs for whole launches, and the module binary that the registration hands to its
// runtime (with the OpenCL image beside it).
#include <cstdint>
#include <iterator>
#include <type_traits>

#include "abi/filter_records.h"
#include "device/kernels/module_image.h"
#include "device/kernels/module_layout.h"
#include "device/emulated/area_grid.h"
#include "plan/arithmetic.h"
#include "platform/device_runtime/emulated_device.h"

namespace {

void store_sample(const emu::LaunchContext& ctx, emu::DeviceAddress address, short value)
{
    emu::store(ctx, address, &value, sizeof value);
}

template <class T> T load_value(const emu::LaunchContext& ctx, emu::DeviceAddress address)
{
    T value;
    emu::load(ctx, address, &value, sizeof value);
    return value;
}

// A constant's offset or a texture's unit, for a read as Read: reading either as another type than
// module_interface.inl gives it does not compile.
template <class Read, class Listed, class Position> constexpr Position read_as_listed(Position position)
{
    static_assert(std::is_same<Read, Listed>::value, "the kernel reads it as the type the module lists");
    return position;
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
#define CONSTANT_INT(name) \
    (emu::constant<std::int32_t>(ctx, read_as_listed<std::int32_t, name##_type>(kOffset_##name)))
#define CONSTANT_PIXELS(name) \
    (emu::to_device_address(emu::constant<PIXEL_YC*>(ctx, read_as_listed<PIXEL_YC*, name##_type>(kOffset_##name))))
#define TEXTURE_UNIT(T, texture) (read_as_listed<T, texture##_element>(kUnit_##texture))
#define TEX1D(T, texture, index) (emu::texture_fetch<T>(ctx, TEXTURE_UNIT(T, texture), static_cast<float>(index)))
#define TEX2D(T, texture, x, y) \
    (emu::texture_fetch<T>(ctx, TEXTURE_UNIT(T, texture), static_cast<float>(x), static_cast<float>(y)))
#define STORE_SAMPLE(pixels, index, value) store_sample(ctx, (pixels) + static_cast<std::uint32_t>(index) * 2u, (value))
#define LOAD_GLOBAL(T, pointer, index) (load_value<T>(ctx, (pointer) + (index) * sizeof(T)))
#define STORE_GLOBAL(pointer, index, value) emu::store(ctx, (pointer) + (index) * sizeof(value), &(value), sizeof(value))
#define SHARED_ARRAY(T, name) T* const name = reinterpret_cast<T*>(emu::shared_memory(ctx))
#define SYNC_BLOCK() emu::sync_block(ctx)

#include "device/kernels/resample_kernels.inl"

// The texture bound to `unit`, when it holds elements of T as the kernel fetches them.
template <class T> const emu::TextureView* bound_texture(const emu::LaunchContext& ctx, int unit)
{
    return emu::texture_bound(ctx, unit, sizeof(T)) ? &ctx.textures[unit] : nullptr;
}
#define BOUND_TEXTURE(name) bound_texture<name##_element>(ctx, kUnit_##name)

// calcDestPixelsKernel over the whole grid, from the same constants and textures.
bool calcDestPixelsKernel_grid(const emu::LaunchContext& ctx, const dim3& grid, const dim3& block)
{
    AreaLaunch launch{};
    launch.unit_x = CONSTANT_INT(gcUnitNumX);
    launch.unit_y = CONSTANT_INT(gcUnitNumY);
    launch.thread_num = CONSTANT_INT(gcThreadNum);
    launch.dest_width = CONSTANT_INT(gcDestWidth);
    launch.max_width = CONSTANT_INT(gcMaxWidth);
    launch.dest = CONSTANT_PIXELS(pgcGpuDestPixels);
    launch.channels = CONSTANT_INT(gcChannels);
    launch.start_y = BOUND_TEXTURE(gTextureStartY);
    launch.start_x = BOUND_TEXTURE(gTextureStartX);
    launch.weight_y = BOUND_TEXTURE(gTextureWeightY);
    launch.weight_x = BOUND_TEXTURE(gTextureWeightX);
    launch.source = BOUND_TEXTURE(gTextureSrc);
    return run_area_grid(launch, grid, block);
}

// calcFilterPixelsKernel over the whole grid, likewise.
bool calcFilterPixelsKernel_grid(const emu::LaunchContext& ctx, const dim3& grid, const dim3& block)
{
    FilterLaunch launch{};
    launch.taps_x = CONSTANT_INT(gcFilterTapsX);
    launch.taps_y = CONSTANT_INT(gcFilterTapsY);
    launch.bits_x = CONSTANT_INT(gcFilterBitsX);
    launch.bits_y = CONSTANT_INT(gcFilterBitsY);
    launch.thread_num = CONSTANT_INT(gcThreadNum);
    launch.dest_width = CONSTANT_INT(gcDestWidth);
    launch.max_width = CONSTANT_INT(gcMaxWidth);
    launch.dest = CONSTANT_PIXELS(pgcGpuDestPixels);
    launch.channels = CONSTANT_INT(gcChannels);
    launch.first_y = BOUND_TEXTURE(gTextureFilterFirstY);
    launch.first_x = BOUND_TEXTURE(gTextureFilterFirstX);
    launch.weight_y = BOUND_TEXTURE(gTextureFilterWeightY);
    launch.weight_x = BOUND_TEXTURE(gTextureFilterWeightX);
    launch.source = BOUND_TEXTURE(gTextureSrc);
    return run_filter_grid(launch, grid, block);
}

// A kernel that takes buffers waits at block barriers and runs only thread by thread.
#define READING_KERNEL(name, symbol) {symbol, name##_emulated, false, name##_grid},
#define TAKING_KERNEL(name, symbol, element, shared) {symbol, name##_emulated, true, nullptr},
const emu::ImageKernel kKernels[] = {MODULE_KERNELS(READING_KERNEL, TAKING_KERNEL)};
#define IMAGE_CONSTANT(name, type, room) {#name, kOffset_##name, sizeof(type)},
const emu::ImageConstant kConstants[] = {MODULE_CONSTANTS(IMAGE_CONSTANT)};
#define IMAGE_TEXTURE(name, element, dimensions) {#name, kUnit_##name, dimensions},
const emu::ImageTexture kTextures[] = {MODULE_TEXTURES(IMAGE_TEXTURE)};
#define SHARED_SYMBOL(name, symbol, element, shared) #shared,
const char* const kSharedSymbols[] = {MODULE_KERNELS(MODULE_SKIP, SHARED_SYMBOL)};

const emu::EmulatedImage kImage = {
    "vantreo-emu-img",
    kKernels,
    static_cast<int>(std::size(kKernels)),
    kConstants,
    static_cast<int>(std::size(kConstants)),
    kConstantBankBytes,
    kTextures,
    static_cast<int>(std::size(kTextures)),
    kSharedSymbols,
    static_cast<int>(std::size(kSharedSymbols)),
};

const __cudaFatCubinEntry kCubins[] = {{"sm_10", &kImage}, {"opencl", &resample_opencl_image}, {nullptr, nullptr}};
const __cudaFatPtxEntry kPtx[] = {{nullptr, nullptr}};

}  // namespace

__cudaFatCudaBinary resample_module_fatbin = {
    0x1ee55a01, 3, 0x1, "a5c1f0e29b73d846", "resample_kernels.cu", "", kPtx, kCubins, nullptr, nullptr, 0,
};
