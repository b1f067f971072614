// The devices of the stand-in device runtime: how many there are, their properties and backends, and
// the current one.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/device_runtime/opencl_backend.h"
#include "platform/device_runtime/runtime_state.h"

namespace vantreo_runtime {
namespace {

int env_int(const char* name, int fallback, int lowest, int highest)
{
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < lowest || value > highest) return fallback;
    return static_cast<int>(value);
}

// Read on every query so that tests can change them between calls.
int emulated_device_count() { return env_int("VANTREO_TEST_EMU_DEVICE_COUNT", 1, 0, 64); }
// Major 0 stands for a device that cannot run kernels at all, as start-up code must detect.
int device_major() { return env_int("VANTREO_TEST_EMU_DEVICE_MAJOR", 1, 0, 9999); }

}  // namespace

int device_count() { return opencl::device_count() + emulated_device_count(); }
int opencl_device(const State& s) { return s.current_device < opencl::device_count() ? s.current_device : -1; }

}  // namespace vantreo_runtime

using namespace vantreo_runtime;

cudaError_t cudaGetDeviceCount(int* count)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!count) return record(s, cudaErrorInvalidValue);
    *count = device_count();
    return record(s, *count == 0 ? cudaErrorNoDevice : cudaSuccess);
}

cudaError_t cudaGetDeviceProperties(cudaDeviceProp* prop, int device)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!prop) return record(s, cudaErrorInvalidValue);
    if (device < 0 || device >= device_count()) return record(s, cudaErrorInvalidDevice);
    cudaDeviceProp p{};
    std::snprintf(p.name, sizeof p.name, "Vantreo emulated device (CPU)");
    p.totalGlobalMem = kDeviceMemoryBytes;
    p.sharedMemPerBlock = kSharedBytesPerBlock;
    p.regsPerBlock = 8192;
    p.warpSize = 32;
    p.memPitch = 262144;
    p.maxThreadsPerBlock = kMaxThreadsPerBlock;
    for (int i = 0; i < 3; ++i) p.maxThreadsDim[i] = static_cast<int>(kMaxBlockDim[i]);
    p.maxGridSize[0] = p.maxGridSize[1] = kMaxGridDim;
    p.maxGridSize[2] = 1;
    p.totalConstMem = kConstantBankLimit;
    p.major = device_major();
    p.minor = 0;
    p.clockRate = 1000000;
    p.textureAlignment = kAllocationAlignment;
    p.deviceOverlap = 0;
    p.multiProcessorCount = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // An OpenCL device has the same limits, but its own name, memory, work-group size and units.
    if (device < opencl::device_count()) opencl::device_properties(device, &p);
    *prop = p;
    return cudaSuccess;
}

const char* vantreoDeviceBackend(int device)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (device < 0 || device >= device_count()) return nullptr;
    return device < opencl::device_count() ? "OpenCL" : "emulated";
}

void vantreoKeepOpenclClosed(int closed)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (closed) {
        opencl::keep_closed(true);
        return;
    }
    const int listed_before = opencl::device_count();
    opencl::keep_closed(false);
    // The OpenCL devices listed now come before the current one.
    s.current_device += opencl::device_count() - listed_before;
}

cudaError_t cudaSetDevice(int device)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const int count = device_count();
    if (count == 0) return record(s, cudaErrorNoDevice);
    if (device < 0 || device >= count) return record(s, cudaErrorInvalidDevice);
    s.current_device = device;
    return cudaSuccess;
}
