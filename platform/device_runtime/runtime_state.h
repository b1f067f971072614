// State of the stand-in device runtime's host API, and the helpers its files share. The host API
// covers devices, device memory, arrays, constant symbols, texture bindings, launches and module
// registration, and the test controls of emulated_controls.h and opencl_controls.h. The OpenCL
// devices (opencl_backend.cpp) come first; the emulated device, whose kernels run on the CPU
// (device_execution.cpp), comes last. Addresses, array handles, constant banks and bindings are kept
// here for all of them; calls go to the current device's backend. The calls are in devices.cpp,
// device_memory.cpp, arrays.cpp, modules.cpp, launches.cpp and test_controls.cpp; the state itself,
// the last error and injected failures in runtime_state.cpp. Not for use outside
// platform/device_runtime.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/device_runtime/cuda_runtime.h"
#include "platform/device_runtime/emulated_controls.h"
#include "platform/device_runtime/emulated_device.h"
#include "platform/device_runtime/opencl_image.h"
#include "platform/device_runtime/runtime_internal.h"

namespace vantreo_runtime {

// Device memory the runtime hands out in all, arrays included.
constexpr std::size_t kDeviceMemoryBytes = sizeof(void*) >= 8 ? std::size_t{1} << 30 : std::size_t{512} << 20;
constexpr std::size_t kArgumentBytes = 256;
constexpr std::uint32_t kConstantBankLimit = 64u * 1024u;

// An array of the emulated device (data) or of an OpenCL device (buffer).
struct DeviceArray {
    cudaChannelFormatDesc desc;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t element_bytes;
    std::size_t bytes;
    std::unique_ptr<unsigned char[]> data;
    opencl::Buffer* buffer;
};

struct Module {
    void* handle_slot = nullptr;  // its address is the handle given out
    const emu::EmulatedImage* image = nullptr;
    const ocl::Image* opencl_image = nullptr;
    std::vector<unsigned char> constant_bank;
    std::vector<std::string> shared_symbols;
};

struct FunctionEntry {
    Module* module;
    const emu::ImageKernel* kernel;
};
struct TextureEntry {
    Module* module;
    int unit;
    int dims;
    const char* name;
};
struct SymbolEntry {
    Module* module;
    std::uint32_t offset;
    std::uint32_t size;
};

struct PendingLaunch {
    LaunchGeometry geometry;
    std::uint32_t shared_bytes;
    std::array<unsigned char, kArgumentBytes> arguments;
    std::uint32_t argument_bytes;
};

constexpr std::size_t kOperationCount = static_cast<std::size_t>(emu::Operation::ThreadSynchronize) + 1;

// The calls of one operation so far, and the numbers of those that are to fail.
struct InjectedFailures {
    std::uint64_t calls = 0;
    std::set<std::uint64_t> failing;
};

struct State {
    std::mutex mutex;
    DeviceMemory memory;
    std::uint32_t next_address = kFirstAddress;
    std::size_t bytes_in_use = 0;
    std::uint64_t frees = 0;  // successful cudaFree and cudaFreeArray calls that released something

    std::map<std::uintptr_t, DeviceArray> arrays;  // by handle; handles are never reused
    std::uintptr_t next_array_handle = 0x1000;

    std::map<void**, std::unique_ptr<Module>> modules;
    std::map<const void*, FunctionEntry> functions;
    std::map<const textureReference*, TextureEntry> textures;
    std::map<const void*, SymbolEntry> symbols;
    std::map<const textureReference*, std::uintptr_t> bindings;

    std::vector<PendingLaunch> pending;
    cudaError_t last_error = cudaSuccess;
    cudaError_t launch_status = cudaSuccess;
    int current_device = 0;

    std::map<std::string, std::uint64_t, std::less<>> completed_launches;  // by kernel name
    std::map<std::string, std::uint64_t, std::less<>> whole_grid_launches;  // by kernel name
    std::uint64_t allocations = 0;  // successful cudaMalloc and cudaMallocArray calls
    std::array<InjectedFailures, kOperationCount> injected;
};

// The runtime's one State. Host calls hold its mutex while they use it.
State& state();

// Makes a failed call's error the last error (cudaGetLastError); returns `error`.
cudaError_t record(State& s, cudaError_t error);

// Counts a call of `operation`; the error it is to fail with, or cudaSuccess.
cudaError_t injected_failure(State& s, emu::Operation operation);

// The OpenCL devices first; the first query lists them, unless the program keeps OpenCL closed.
int device_count();
// The current device's index among the OpenCL devices, or -1 when it is the emulated device.
int opencl_device(const State& s);

// Host bytes behind the device range [pointer, pointer + count), or null when the range is not wholly
// inside one live allocation.
unsigned char* device_range(State& s, const void* pointer, std::size_t count);
// For a launch's arguments: the OpenCL buffer whose base is `address`.
const opencl::Buffer* buffer_at(std::uint64_t address);
// Counts `bytes` more of the emulated device's memory as in use; false, counting nothing, when they do
// not fit.
bool reserve_bytes(State& s, std::size_t bytes);

// `count` bytes between ranges that do not overlap; copies of a megabyte and more are shared out over
// the host threads.
void copy_bytes(unsigned char* to, const unsigned char* from, std::size_t count);
// Source bytes of a copy into an array or a constant symbol: host memory, or a checked device range.
cudaError_t copy_source(State& s, const void* src, std::size_t count, cudaMemcpyKind kind,
                        const unsigned char** bytes);

// The module registered under `handle`, or null.
Module* find_module(State& s, void** handle);

}  // namespace vantreo_runtime
