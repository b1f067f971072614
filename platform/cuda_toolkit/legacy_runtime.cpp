// The legacy runtime interface on the current CUDA runtime: registered modules loaded as libraries,
// host shadows and texture references resolved to the module's constants by name, texture objects
// for bindings, and launches through cudaLaunchKernel.
#include "platform/cuda_toolkit/legacy_runtime.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace cuda_legacy {
namespace {

struct Module {
    const void* image = nullptr;
    cudaLibrary_t library = nullptr;  // loaded at first use
    std::map<const void*, std::string> kernels;    // host entry -> kernel name
    std::map<const void*, std::string> constants;  // host shadow or texture reference -> constant name
    std::map<const textureReference*, cudaTextureObject_t> bound;  // the object a reference's constant holds
};

struct Registry {
    std::mutex mutex;
    std::vector<std::unique_ptr<Module>> modules;  // a module's handle is its address
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

Module* find_module(Registry& r, void** handle)
{
    for (const std::unique_ptr<Module>& m : r.modules)
        if (reinterpret_cast<void**>(m.get()) == handle) return m.get();
    return nullptr;
}

// Registration runs when the program loads, before any device is current: the module is loaded
// when first used.
cudaError_t load(Module& m)
{
    if (m.library) return cudaSuccess;
    return cudaLibraryLoadData(&m.library, m.image, nullptr, nullptr, 0, nullptr, nullptr, 0);
}

// A constant of a loaded module: where it is in device memory, and its size.
struct Constant {
    Module* module = nullptr;
    void* address = nullptr;
    std::size_t bytes = 0;
};

// The constant registered for `host`, its module loaded.
cudaError_t find_constant(Registry& r, const void* host, Constant* constant)
{
    for (const std::unique_ptr<Module>& m : r.modules) {
        const auto found = m->constants.find(host);
        if (found == m->constants.end()) continue;
        if (const cudaError_t failure = load(*m)) return failure;
        constant->module = m.get();
        return cudaLibraryGetGlobal(&constant->address, &constant->bytes, m->library, found->second.c_str());
    }
    return cudaErrorInvalidSymbol;
}

// Where count bytes at offset of the constant registered for `symbol` are in device memory.
cudaError_t symbol_range(const void* symbol, std::size_t count, std::size_t offset, void** at)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Constant constant;
    if (const cudaError_t failure = find_constant(r, symbol, &constant)) return failure;
    if (offset > constant.bytes || count > constant.bytes - offset) return cudaErrorInvalidValue;
    *at = static_cast<char*>(constant.address) + offset;
    return cudaSuccess;
}

bool same_format(const cudaChannelFormatDesc& a, const cudaChannelFormatDesc& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w && a.f == b.f;
}

// Old device compilers named a kernel's entry "__globfunc_" followed by its mangled name; the modules
// of today's nvcc know the mangled name alone.
std::string kernel_name(const char* registered)
{
    const std::string name = registered;
    const std::string old_prefix = "__globfunc_";
    return name.compare(0, old_prefix.size(), old_prefix) == 0 ? name.substr(old_prefix.size()) : name;
}

struct PendingLaunch {
    dim3 grid;
    dim3 block;
    std::size_t shared_bytes;
    cudaStream_t stream;
    std::vector<unsigned char> argument_block;
    std::vector<std::size_t> argument_offsets;  // in parameter order
};
// Configurations are the calling thread's own, as they were in the legacy runtime.
thread_local std::vector<PendingLaunch> pending_launches;

}  // namespace

void** __cudaRegisterFatBinary(void* fatCubin)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto module = std::make_unique<Module>();
    module->image = static_cast<__cudaFatCudaBinary*>(fatCubin)->image;
    r.modules.push_back(std::move(module));
    return reinterpret_cast<void**>(r.modules.back().get());
}

// Destroys the module's texture objects and unloads it.
void __cudaUnregisterFatBinary(void** fatCubinHandle)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Module* module = find_module(r, fatCubinHandle);
    if (!module) return;
    for (const auto& binding : module->bound) cudaDestroyTextureObject(binding.second);
    if (module->library) cudaLibraryUnload(module->library);
    r.modules.erase(std::find_if(r.modules.begin(), r.modules.end(),
                                 [module](const std::unique_ptr<Module>& m) { return m.get() == module; }));
}

void __cudaRegisterFunction(void** fatCubinHandle, const char* hostFun, char*, const char* deviceName, int, uint3*,
                            uint3*, dim3*, dim3*, int*)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (Module* module = find_module(r, fatCubinHandle)) module->kernels[hostFun] = kernel_name(deviceName);
}

// A kernel's block-shared memory needs no registration: its size is given at each launch.
void __cudaRegisterShared(void**, void**) {}

void __cudaRegisterTexture(void** fatCubinHandle, const textureReference* hostVar, const void**,
                           const char* deviceName, int, int, int)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (Module* module = find_module(r, fatCubinHandle)) module->constants[hostVar] = deviceName;
}

void __cudaRegisterVar(void** fatCubinHandle, char* hostVar, char*, const char* deviceName, int, int, int, int)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (Module* module = find_module(r, fatCubinHandle)) module->constants[hostVar] = deviceName;
}

cudaError_t cudaMemcpyToSymbol(const void* symbol, const void* src, std::size_t count, std::size_t offset,
                               cudaMemcpyKind kind)
{
    void* at = nullptr;
    if (const cudaError_t failure = symbol_range(symbol, count, offset, &at)) return failure;
    return cudaMemcpy(at, src, count, kind);
}

cudaError_t cudaMemcpyFromSymbol(void* dst, const void* symbol, std::size_t count, std::size_t offset,
                                 cudaMemcpyKind kind)
{
    void* at = nullptr;
    if (const cudaError_t failure = symbol_range(symbol, count, offset, &at)) return failure;
    return cudaMemcpy(dst, at, count, kind);
}

cudaError_t cudaBindTextureToArray(const textureReference* texref, const cudaArray* array,
                                   const cudaChannelFormatDesc* desc)
{
    if (!texref || !array || !desc) return cudaErrorInvalidValue;
    cudaArray_t handle = const_cast<cudaArray_t>(array);  // the runtime takes handles as non-const
    cudaChannelFormatDesc format{};
    cudaExtent extent{};
    unsigned int flags = 0;
    if (const cudaError_t failure = cudaArrayGetInfo(&format, &extent, &flags, handle)) return failure;
    // Fetches of another format would reinterpret the array's elements.
    if (!same_format(*desc, format) || !same_format(texref->channelDesc, format))
        return cudaErrorInvalidChannelDescriptor;

    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Constant constant;
    if (const cudaError_t failure = find_constant(r, texref, &constant)) return failure;
    if (constant.bytes != sizeof(cudaTextureObject_t)) return cudaErrorInvalidTexture;

    cudaResourceDesc resource{};
    resource.resType = cudaResourceTypeArray;
    resource.res.array.array = handle;
    cudaTextureDesc sampling{};
    std::copy(std::begin(texref->addressMode), std::end(texref->addressMode), sampling.addressMode);
    sampling.filterMode = texref->filterMode;
    sampling.readMode = texref->readMode;
    sampling.normalizedCoords = texref->normalized;
    cudaTextureObject_t object = 0;
    if (const cudaError_t failure = cudaCreateTextureObject(&object, &resource, &sampling, nullptr)) return failure;
    if (const cudaError_t failure = cudaMemcpy(constant.address, &object, sizeof object, cudaMemcpyHostToDevice)) {
        cudaDestroyTextureObject(object);
        return failure;
    }
    // The copy waited for the kernels before it on the default stream: none reads the old object now.
    cudaTextureObject_t& bound = constant.module->bound[texref];
    if (bound) cudaDestroyTextureObject(bound);
    bound = object;
    return cudaSuccess;
}

cudaError_t cudaMallocArray(cudaArray** array, const cudaChannelFormatDesc* desc, std::size_t width,
                            std::size_t height)
{
    // The current runtime makes a one-dimensional array for height 0.
    return ::cudaMallocArray(array, desc, width, height == 1 ? 0 : height);
}

cudaError_t cudaMemcpyToArray(cudaArray* dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                              std::size_t count, cudaMemcpyKind kind)
{
    cudaChannelFormatDesc format{};
    cudaExtent extent{};
    unsigned int flags = 0;
    if (const cudaError_t failure = cudaArrayGetInfo(&format, &extent, &flags, dst)) return failure;
    const std::size_t row_bytes = extent.width * static_cast<std::size_t>(format.x + format.y + format.z + format.w) / 8;
    // At most three 2-D copies: the rest of the first row, the whole rows, the start of the last.
    const unsigned char* from = static_cast<const unsigned char*>(src);
    std::size_t x = wOffset;
    std::size_t y = hOffset;
    while (count > 0) {
        if (x >= row_bytes) return cudaErrorInvalidValue;
        const bool whole_rows = x == 0 && count >= row_bytes;
        const std::size_t width = whole_rows ? row_bytes : std::min(count, row_bytes - x);
        const std::size_t rows = whole_rows ? count / row_bytes : 1;
        if (const cudaError_t failure = cudaMemcpy2DToArray(dst, x, y, from, width, width, rows, kind)) return failure;
        from += width * rows;
        count -= width * rows;
        if (whole_rows) {
            y += rows;
        } else if ((x += width) == row_bytes) {
            x = 0;
            ++y;
        }
    }
    return cudaSuccess;
}

cudaError_t cudaConfigureCall(dim3 gridDim, dim3 blockDim, std::size_t sharedMem, cudaStream_t stream)
{
    pending_launches.push_back(PendingLaunch{gridDim, blockDim, sharedMem, stream, {}, {}});
    return cudaSuccess;
}

cudaError_t cudaSetupArgument(const void* arg, std::size_t size, std::size_t offset)
{
    if (pending_launches.empty()) return cudaErrorMissingConfiguration;
    if (!arg || size == 0) return cudaErrorInvalidValue;
    PendingLaunch& launch = pending_launches.back();
    if (launch.argument_block.size() < offset + size) launch.argument_block.resize(offset + size);
    std::memcpy(launch.argument_block.data() + offset, arg, size);
    launch.argument_offsets.push_back(offset);
    return cudaSuccess;
}

cudaError_t cudaLaunch(const void* entry)
{
    if (pending_launches.empty()) return cudaErrorMissingConfiguration;
    PendingLaunch launch = std::move(pending_launches.back());
    pending_launches.pop_back();

    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const std::unique_ptr<Module>& m : r.modules) {
        const auto found = m->kernels.find(entry);
        if (found == m->kernels.end()) continue;
        if (const cudaError_t failure = load(*m)) return failure;
        cudaKernel_t kernel = nullptr;
        if (const cudaError_t failure = cudaLibraryGetKernel(&kernel, m->library, found->second.c_str()))
            return failure;
        std::vector<void*> arguments;
        for (std::size_t offset : launch.argument_offsets) arguments.push_back(launch.argument_block.data() + offset);
        return cudaLaunchKernel(reinterpret_cast<const void*>(kernel), launch.grid, launch.block, arguments.data(),
                                launch.shared_bytes, launch.stream);
    }
    return cudaErrorInvalidDeviceFunction;
}

cudaError_t cudaThreadSynchronize() { return cudaDeviceSynchronize(); }

}  // namespace cuda_legacy

const char* vantreoDeviceBackend(int device)
{
    int count = 0;  // a failed query reads as no device
    cudaGetDeviceCount(&count);
    return device >= 0 && device < count ? "CUDA" : nullptr;
}

void vantreoKeepOpenclClosed(int) {}
