// Internals of the stand-in device runtime shared by its host API (runtime_state.h and the files built
// on it) and its kernel execution (device_execution.cpp). Not for use outside platform/device_runtime.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

#include "platform/device_runtime/emulated_device.h"

namespace vantreo_runtime {

// Layout of the device address space: allocations lie in [kFirstAddress, kAddressLimit), aligned, with
// at least kGuardBytes of unmapped addresses on both sides of each.
constexpr std::uint32_t kFirstAddress = 0x20000000u;
constexpr std::uint32_t kAddressLimit = 0xF0000000u;
constexpr std::uint32_t kGuardBytes = 64u * 1024u;
constexpr std::uint32_t kAllocationAlignment = 256u;

constexpr std::uint32_t kMaxThreadsPerBlock = 512;
constexpr std::uint32_t kMaxBlockDim[3] = {512, 512, 64};
constexpr std::uint32_t kMaxGridDim = 65535;
constexpr std::uint32_t kSharedBytesPerBlock = 16u * 1024u;

namespace opencl {
struct Buffer;
}

// Device memory of the emulated device (bytes), or of an OpenCL device (buffer).
struct Allocation {
    std::uint32_t size;
    std::unique_ptr<unsigned char[]> bytes;
    opencl::Buffer* buffer = nullptr;
};

// Live device allocations by base address. Changed only by host API calls; a launch reads it from
// several threads while the host API lock is held, so it is never changed during one.
struct DeviceMemory {
    std::map<std::uint32_t, Allocation> allocations;
    // Bumped on every change, so that per-thread look-up caches notice a stale entry.
    std::uint64_t generation = 1;

    // The emulated device's allocation holding all of [address, address + count), or null.
    const Allocation* find(std::uint64_t address, std::uint64_t count, std::uint32_t* base) const;
    // The same for an OpenCL device's allocation.
    const Allocation* find_buffer(std::uint64_t address, std::uint64_t count, std::uint32_t* base) const;
};

DeviceMemory& device_memory();

// Fills new device memory, arrays and shared memory so that reads of never-written bytes stand out.
void fill_garbage(unsigned char* bytes, std::size_t count);

// Prints "device fault in kernel <name>: <message>" and stops the process.
[[noreturn]] void fault_with_message(const emu::LaunchContext& ctx, const char* message);

struct LaunchGeometry {
    dim3 grid;
    dim3 block;
};

// Runs every thread of the grid: through the kernel's whole-grid function where it has one that takes
// the launch (then *ran_whole_grid is set), unless VANTREO_TEST_EMU_PER_THREAD is set to anything but
// "0", and otherwise thread by thread. Returns cudaErrorLaunchFailure when the host threads it needs
// could not be started (nothing of the kernel has run then for barrier kernels).
cudaError_t execute_kernel(const emu::ImageKernel& kernel, const LaunchGeometry& geometry,
                           const emu::LaunchContext& ctx, bool* ran_whole_grid);

}  // namespace vantreo_runtime
