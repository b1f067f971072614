// The host API's state (runtime_state.h), the last error that failed calls leave, and the failures
// tests inject into chosen calls (emu::fail_next).
#include "platform/device_runtime/runtime_state.h"

namespace vantreo_runtime {
namespace {

cudaError_t injected_error(emu::Operation operation)
{
    switch (operation) {
    case emu::Operation::Malloc:
    case emu::Operation::MallocArray: return cudaErrorMemoryAllocation;
    case emu::Operation::ConfigureCall: return cudaErrorInvalidConfiguration;
    case emu::Operation::Launch: return cudaErrorLaunchOutOfResources;
    case emu::Operation::MemcpyToArray:
    case emu::Operation::Memcpy2DToArray:
    case emu::Operation::Memcpy:
    case emu::Operation::MemcpyToSymbol:
    case emu::Operation::BindTextureToArray:
    case emu::Operation::ThreadSynchronize: break;
    }
    return cudaErrorLaunchFailure;  // what every call reports once a kernel has died on the device
}

}  // namespace

// Never destroyed: modules are unregistered from exit handlers that may run after static destructors.
State& state()
{
    static State* const instance = new State;
    return *instance;
}

cudaError_t record(State& s, cudaError_t error)
{
    if (error != cudaSuccess) s.last_error = error;
    return error;
}

cudaError_t injected_failure(State& s, emu::Operation operation)
{
    InjectedFailures& failures = s.injected[static_cast<std::size_t>(operation)];
    return failures.failing.erase(++failures.calls) != 0 ? injected_error(operation) : cudaSuccess;
}

}  // namespace vantreo_runtime

using namespace vantreo_runtime;

cudaError_t cudaGetLastError()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const cudaError_t error = s.last_error;
    s.last_error = cudaSuccess;
    return error;
}

const char* cudaGetErrorString(cudaError_t error)
{
    switch (error) {
    case cudaSuccess: return "no error";
    case cudaErrorMissingConfiguration: return "launch without a preceding configuration";
    case cudaErrorMemoryAllocation: return "out of device memory";
    case cudaErrorInitializationError: return "initialization error";
    case cudaErrorLaunchFailure: return "unspecified launch failure";
    case cudaErrorLaunchOutOfResources: return "too many resources requested for launch";
    case cudaErrorInvalidConfiguration: return "invalid launch configuration";
    case cudaErrorInvalidDevice: return "invalid device ordinal";
    case cudaErrorInvalidValue: return "invalid argument";
    case cudaErrorInvalidSymbol: return "invalid device symbol";
    case cudaErrorInvalidDevicePointer: return "invalid device pointer";
    case cudaErrorInvalidTexture: return "invalid texture reference";
    case cudaErrorInvalidChannelDescriptor: return "invalid channel descriptor";
    case cudaErrorInvalidMemcpyDirection: return "invalid copy direction";
    case cudaErrorInvalidResourceHandle: return "invalid resource handle";
    case cudaErrorNoDevice: return "no device available";
    case cudaErrorInvalidDeviceFunction: return "invalid device function";
    }
    return "unknown error";
}
