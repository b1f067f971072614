// Test controls of the stand-in device runtime: what a test double offers beyond the vendor's API.
// Tests read how many launches completed, to prove that a device path really ran, and make chosen
// runtime calls fail the way a real device can. The filter's own code never calls these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_runtime/cuda_runtime.h"

namespace emu {

// Launches of the kernel registered under the device name `kernel_name` (for instance
// "__globfunc__Z20calcDestPixelsKernelv") that ran to their end since the process started, that is
// cudaLaunch calls that returned cudaSuccess; with null, those of every kernel.
std::uint64_t completed_launches(const char* kernel_name);

// Of those, the launches that ran through the kernel's whole-grid function rather than thread by
// thread (VANTREO_TEST_EMU_PER_THREAD=1 asks for the latter).
std::uint64_t whole_grid_launches(const char* kernel_name);

// Successful cudaMalloc and cudaMallocArray calls since the process started.
std::uint64_t allocations_made();

// The elements of the array bound to a texture reference, row after row, as kernels fetch them;
// empty when none is bound.
std::vector<unsigned char> bound_texture_elements(const textureReference* texref);

// The names of the shared symbols registered for a module, in order.
std::vector<std::string> registered_shared_symbols(void** module_handle);

// The runtime calls a test can make fail, each with the error a real runtime gives then. Copies and
// bindings fail as every call does once a kernel has died on the device.
enum class Operation {
    Malloc,              // cudaMalloc: cudaErrorMemoryAllocation
    MallocArray,         // cudaMallocArray: cudaErrorMemoryAllocation
    MemcpyToArray,       // cudaMemcpyToArray: cudaErrorLaunchFailure
    Memcpy2DToArray,     // cudaMemcpy2DToArray: cudaErrorLaunchFailure
    Memcpy,              // cudaMemcpy, any direction: cudaErrorLaunchFailure
    MemcpyToSymbol,      // cudaMemcpyToSymbol: cudaErrorLaunchFailure
    BindTextureToArray,  // cudaBindTextureToArray: cudaErrorLaunchFailure
    ConfigureCall,       // cudaConfigureCall: cudaErrorInvalidConfiguration
    Launch,              // cudaLaunch: cudaErrorLaunchOutOfResources, the launch refused before it starts
    ThreadSynchronize,   // cudaThreadSynchronize: cudaErrorLaunchFailure, as after a kernel died
};

// Makes one call of `operation` fail: the next one, or the one after `skip` further calls of it.
// Calls of other operations do not count. The call fails before it looks at its arguments and has
// no effect: nothing is allocated, copied, bound or configured, and no kernel runs; a refused launch
// uses up its configuration as any failed launch does, and a later cudaThreadSynchronize does not
// report it. The error becomes the last error. Asking twice for the same call fails it once.
void fail_next(Operation operation, unsigned skip = 0);

// Forgets every failure asked for that has not happened yet; for the tear-down of a test.
void clear_failures();

}  // namespace emu
