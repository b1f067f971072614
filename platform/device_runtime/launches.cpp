// Launches of the stand-in device runtime: a kernel's configuration and arguments, its run on the
// emulated device (device_execution.cpp) or an OpenCL device with the textures bound now, and the
// errors a launch leaves for cudaThreadSynchronize.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/device_runtime/opencl_backend.h"
#include "platform/device_runtime/runtime_state.h"

namespace vantreo_runtime {
namespace {

bool geometry_is_valid(const dim3& grid, const dim3& block)
{
    if (block.x < 1 || block.y < 1 || block.z < 1) return false;
    if (block.x > kMaxBlockDim[0] || block.y > kMaxBlockDim[1] || block.z > kMaxBlockDim[2]) return false;
    if (std::uint64_t{block.x} * block.y * block.z > kMaxThreadsPerBlock) return false;
    return grid.x >= 1 && grid.x <= kMaxGridDim && grid.y >= 1 && grid.y <= kMaxGridDim && grid.z == 1;
}

bool texture_mode_supported(const textureReference& texref, int dims, const char** problem)
{
    if (texref.normalized) *problem = "normalised coordinates";
    else if (texref.filterMode != cudaFilterModePoint) *problem = "a filter mode other than point sampling";
    else if (texref.addressMode[0] != cudaAddressModeClamp || (dims >= 2 && texref.addressMode[1] != cudaAddressModeClamp))
        *problem = "an address mode other than clamping";
    else return true;
    return false;
}

// Calls bound(unit, array) for each texture of the kernel's module with an array bound now;
// unsupported(texture name, problem) instead when the texture asks for what no device here does.
template <class Bound, class Unsupported>
void for_each_bound_texture(State& s, const Module* module, Bound bound, Unsupported unsupported)
{
    for (const auto& [texref, texture] : s.textures) {
        if (texture.module != module) continue;
        auto binding = s.bindings.find(texref);
        if (binding == s.bindings.end()) continue;
        auto array = s.arrays.find(binding->second);
        if (array == s.arrays.end()) continue;  // freed since: the unit stays unbound
        const char* problem = nullptr;
        if (!texture_mode_supported(*texref, texture.dims, &problem)) unsupported(texture.name, problem);
        else bound(texture.unit, array->second);
    }
}

// The arrays bound now to the textures of the kernel's module, one view per unit.
void bind_texture_views(State& s, const Module* module, emu::LaunchContext& ctx)
{
    for_each_bound_texture(
        s, module,
        [&ctx](int unit, const DeviceArray& a) {
            ctx.textures[unit] = emu::TextureView{a.data.get(), static_cast<std::int32_t>(a.width),
                                                  static_cast<std::int32_t>(a.height),
                                                  static_cast<std::int32_t>(a.element_bytes), a.desc.f};
        },
        [&ctx](const char* name, const char* problem) {
            char message[256];
            std::snprintf(message, sizeof message, "texture %s asks for %s, which the emulation does not support",
                          name, problem);
            fault_with_message(ctx, message);
        });
}

// A launch on an OpenCL device: the module's constants, the arrays bound to its textures, the
// launch's arguments.
cudaError_t launch_on_opencl(State& s, int device, const Module& module, const emu::ImageKernel& kernel,
                             const PendingLaunch& pending)
{
    if (!module.opencl_image) return cudaErrorInvalidDeviceFunction;
    opencl::Launch launch{};
    launch.kernel_name = kernel.name;
    launch.constants = module.constant_bank.data();
    launch.constant_bytes = static_cast<std::uint32_t>(module.constant_bank.size());
    bool supported = true;
    for_each_bound_texture(
        s, &module,
        [&launch](int unit, const DeviceArray& a) {
            launch.textures[unit] = opencl::TextureArgument{a.buffer, static_cast<std::int32_t>(a.width),
                                                            static_cast<std::int32_t>(a.height),
                                                            static_cast<std::int32_t>(a.element_bytes)};
        },
        [&supported](const char*, const char*) { supported = false; });
    if (!supported) return cudaErrorInvalidTexture;
    launch.arguments = pending.arguments.data();
    launch.argument_bytes = pending.argument_bytes;
    launch.shared_bytes = pending.shared_bytes;
    launch.buffer_at = buffer_at;
    return opencl::launch(device, *module.opencl_image, pending.geometry, launch);
}

}  // namespace
}  // namespace vantreo_runtime

using namespace vantreo_runtime;

cudaError_t cudaConfigureCall(dim3 gridDim, dim3 blockDim, std::size_t sharedMem, cudaStream_t stream)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::ConfigureCall)) return record(s, failure);
    if (stream) return record(s, cudaErrorInvalidResourceHandle);  // no streams exist
    if (!geometry_is_valid(gridDim, blockDim) || sharedMem > kSharedBytesPerBlock)
        return record(s, cudaErrorInvalidConfiguration);
    PendingLaunch launch{};
    launch.geometry = LaunchGeometry{gridDim, blockDim};
    launch.shared_bytes = static_cast<std::uint32_t>(sharedMem);
    s.pending.push_back(launch);
    return cudaSuccess;
}

cudaError_t cudaSetupArgument(const void* arg, std::size_t size, std::size_t offset)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.pending.empty()) return record(s, cudaErrorMissingConfiguration);
    if ((!arg && size > 0) || offset > kArgumentBytes || size > kArgumentBytes - offset)
        return record(s, cudaErrorInvalidValue);
    PendingLaunch& launch = s.pending.back();
    if (size > 0) std::memcpy(launch.arguments.data() + offset, arg, size);
    launch.argument_bytes = std::max(launch.argument_bytes, static_cast<std::uint32_t>(offset + size));
    return cudaSuccess;
}

cudaError_t cudaLaunch(const void* entry)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::Launch)) {
        if (!s.pending.empty()) s.pending.pop_back();  // used up, as by any failed launch
        return record(s, failure);
    }
    if (s.pending.empty()) return record(s, cudaErrorMissingConfiguration);
    const PendingLaunch launch = s.pending.back();
    s.pending.pop_back();
    if (device_count() == 0) return record(s, cudaErrorNoDevice);
    auto function = s.functions.find(entry);
    if (function == s.functions.end()) return record(s, cudaErrorInvalidDeviceFunction);
    const emu::ImageKernel& kernel = *function->second.kernel;
    Module* module = function->second.module;
    if (const int opencl = opencl_device(s); opencl >= 0) {
        // Errors of the kernel's run show at the next cudaThreadSynchronize.
        return record(s, launch_on_opencl(s, opencl, *module, kernel, launch));
    }

    emu::LaunchContext ctx{};
    ctx.kernel_name = kernel.name;
    ctx.constants = module->constant_bank.data();
    bind_texture_views(s, module, ctx);
    ctx.arguments = launch.arguments.data();
    ctx.argument_bytes = launch.argument_bytes;
    ctx.shared_bytes = launch.shared_bytes;
    // The grid runs under the lock, so no host call can change the allocation table meanwhile.
    bool ran_whole_grid = false;
    const cudaError_t status = execute_kernel(kernel, launch.geometry, ctx, &ran_whole_grid);
    if (status == cudaSuccess) ++s.completed_launches[kernel.name];
    if (ran_whole_grid) ++s.whole_grid_launches[kernel.name];
    if (status != cudaSuccess && s.launch_status == cudaSuccess) s.launch_status = status;
    return record(s, status);
}

cudaError_t cudaThreadSynchronize()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::ThreadSynchronize)) return record(s, failure);
    if (const int opencl = opencl_device(s); opencl >= 0) return record(s, opencl::synchronize(opencl));
    const cudaError_t status = s.launch_status;
    s.launch_status = cudaSuccess;
    return status;
}
