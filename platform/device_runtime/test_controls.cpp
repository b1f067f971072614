// The test controls of the stand-in device runtime (emulated_controls.h, opencl_controls.h): launch
// and allocation counts, injected failures, and what arrays and modules hold now.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_runtime/emulated_controls.h"
#include "platform/device_runtime/opencl_backend.h"
#include "platform/device_runtime/opencl_controls.h"
#include "platform/device_runtime/runtime_state.h"

using namespace vantreo_runtime;

std::uint64_t emu::completed_launches(const char* kernel_name)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (kernel_name) {
        auto it = s.completed_launches.find(kernel_name);
        return it == s.completed_launches.end() ? 0 : it->second;
    }
    std::uint64_t all = 0;
    for (const auto& entry : s.completed_launches) all += entry.second;
    return all;
}

std::uint64_t emu::whole_grid_launches(const char* kernel_name)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.whole_grid_launches.find(kernel_name);
    return it == s.whole_grid_launches.end() ? 0 : it->second;
}

void emu::fail_next(Operation operation, unsigned skip)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    InjectedFailures& failures = s.injected[static_cast<std::size_t>(operation)];
    failures.failing.insert(failures.calls + 1 + skip);
}

void emu::clear_failures()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (InjectedFailures& failures : s.injected) failures.failing.clear();
}

std::uint64_t emu::allocations_made()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.allocations;
}

std::vector<unsigned char> emu::bound_texture_elements(const textureReference* texref)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto binding = s.bindings.find(texref);
    if (binding == s.bindings.end()) return {};
    auto array = s.arrays.find(binding->second);
    if (array == s.arrays.end()) return {};
    const DeviceArray& a = array->second;
    return std::vector<unsigned char>(a.data.get(), a.data.get() + a.bytes);
}

std::vector<std::string> emu::registered_shared_symbols(void** module_handle)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const Module* module = find_module(s, module_handle);
    return module ? module->shared_symbols : std::vector<std::string>{};
}

std::uint64_t ocl::completed_launches()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return opencl::completed_launches();
}

void ocl::fail_next(Failure failure, unsigned skip)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    opencl::fail_next(failure, skip);
}

void ocl::reset_devices()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    opencl::reset_devices();
}
