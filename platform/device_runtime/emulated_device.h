// The device side of the stand-in runtime: what an emulated module image declares, and what its
// kernels may do while they run (read constants, arguments and textures; load and store device memory
// through checked addresses; share memory within a block and wait at block barriers).
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/device_runtime/cuda_runtime.h"

namespace emu {

// Device addresses are 32-bit, as on the devices the filter targets, and name nothing in host memory.
using DeviceAddress = std::uint32_t;

DeviceAddress to_device_address(const void* device_pointer);

struct KernelThread {
    uint3 threadIdx;
    uint3 blockIdx;
    dim3 blockDim;
    dim3 gridDim;
};

// The array bound to one texture unit, as a launch sees it.
struct TextureView {
    const unsigned char* elements;  // null when nothing is bound
    std::int32_t width;
    std::int32_t height;
    std::int32_t element_bytes;
    cudaChannelFormatKind kind;
};

struct LaunchContext;
using KernelFunction = void (*)(const LaunchContext&, const KernelThread&);
// Runs a whole launch of `grid` blocks of `block` threads at once: it stores exactly what every thread
// of the grid would, and returns true; or it returns false, having done nothing, and the runtime runs
// the threads one by one.
using GridFunction = bool (*)(const LaunchContext&, const dim3& grid, const dim3& block);

struct ImageKernel {
    const char* name;  // the name the module registers it under
    KernelFunction run;
    bool uses_block_barrier;  // its threads must run side by side, since they wait for each other
    GridFunction run_grid;    // null when the kernel runs only thread by thread
};
struct ImageConstant {
    const char* name;
    std::uint32_t offset;  // in the module's constant bank
    std::uint32_t size;
};
struct ImageTexture {
    const char* name;
    int unit;
    int dims;
};

// What the cubin entry of an emulated module points at.
struct EmulatedImage {
    char magic[16];  // kEmulatedImageMagic
    const ImageKernel* kernels;
    int kernel_count;
    const ImageConstant* constants;
    int constant_count;
    std::uint32_t constant_bank_bytes;
    const ImageTexture* textures;
    int texture_count;
    const char* const* shared_symbols;
    int shared_symbol_count;
};
constexpr char kEmulatedImageMagic[16] = "vantreo-emu-img";
constexpr int kTextureUnits = 16;

struct LaunchContext {
    const char* kernel_name;
    const unsigned char* constants;  // the module's constant bank
    TextureView textures[kTextureUnits];
    const unsigned char* arguments;
    std::uint32_t argument_bytes;
    std::uint32_t shared_bytes;  // dynamic shared memory per block
};

// Whether `unit` has an array of elements `element_bytes` long bound, as a fetch needs.
inline bool texture_bound(const LaunchContext& ctx, int unit, std::int32_t element_bytes)
{
    const TextureView& view = ctx.textures[unit];
    return view.elements && view.element_bytes == element_bytes;
}

[[noreturn]] void device_fault(const LaunchContext& ctx, const char* what, std::uint64_t address, std::uint64_t bytes);

template <class T> T constant(const LaunchContext& ctx, std::uint32_t offset)
{
    T value;
    std::memcpy(&value, ctx.constants + offset, sizeof value);
    return value;
}

template <class T> T argument(const LaunchContext& ctx, std::uint32_t offset)
{
    if (offset + sizeof(T) > ctx.argument_bytes) device_fault(ctx, "argument read past the arguments set up", offset, sizeof(T));
    T value;
    std::memcpy(&value, ctx.arguments + offset, sizeof value);
    return value;
}

#define VANTREO_TEXEL_FUNCTION inline
#include "platform/device_runtime/texel_rules.inl"
#undef VANTREO_TEXEL_FUNCTION

// The element a fetch at (x, y) reads, counted from the array's first element.
inline std::size_t texel_offset(const TextureView& view, float x, float y = 0.0f)
{
    return static_cast<std::size_t>(texel_index(y, view.height)) * view.width + texel_index(x, view.width);
}

template <class T> T texture_fetch(const LaunchContext& ctx, int unit, float x, float y = 0.0f)
{
    if (!texture_bound(ctx, unit, sizeof(T)))
        device_fault(ctx, "fetch from a texture unit with no matching array bound", static_cast<std::uint64_t>(unit), sizeof(T));
    const TextureView& view = ctx.textures[unit];
    T value;
    std::memcpy(&value, view.elements + texel_offset(view, x, y) * sizeof(T), sizeof value);
    return value;
}

// Device memory accesses: a range that does not lie wholly inside one live allocation stops the
// process with a message naming the kernel and the address.
void store(const LaunchContext& ctx, DeviceAddress address, const void* bytes, std::uint32_t count);
void load(const LaunchContext& ctx, DeviceAddress address, void* bytes, std::uint32_t count);

// For a kernel's whole-grid function: the host bytes of [address, address + count), checked once for
// all the stores it covers; null when the range does not lie wholly inside one live allocation.
unsigned char* store_range(DeviceAddress address, std::uint64_t count);

// For a kernel's whole-grid function: runs task(0) .. task(count - 1) on the launch's host threads,
// the calling one included, each once, and returns when all have finished.
void for_each_part(unsigned count, void (*task)(void* data, unsigned part), void* data);

// This block's dynamic shared memory, ctx.shared_bytes long.
unsigned char* shared_memory(const LaunchContext& ctx);
// Waits until every thread of the block has arrived.
void sync_block(const LaunchContext& ctx);

}  // namespace emu
