// Modules of the stand-in device runtime: registration of a binary's kernels, textures, constants and
// shared symbols, as the device compiler's generated host code calls it, and copies to and from the
// constant symbols.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/device_runtime/runtime_state.h"

namespace vantreo_runtime {
namespace {

// The bytes [offset, offset + count) of a registered symbol in its module's constant bank.
cudaError_t symbol_range(State& s, const void* symbol, std::size_t count, std::size_t offset, unsigned char** bytes)
{
    auto it = s.symbols.find(symbol);
    if (it == s.symbols.end()) return cudaErrorInvalidSymbol;
    const SymbolEntry& entry = it->second;
    if (offset > entry.size || count > entry.size - offset) return cudaErrorInvalidValue;
    *bytes = entry.module->constant_bank.data() + entry.offset + offset;
    return cudaSuccess;
}

bool image_is_sane(const emu::EmulatedImage& image)
{
    return image.kernel_count >= 0 && (image.kernel_count == 0 || image.kernels) && image.constant_count >= 0 &&
           (image.constant_count == 0 || image.constants) && image.texture_count >= 0 &&
           (image.texture_count == 0 || image.textures) && image.shared_symbol_count >= 0 &&
           (image.shared_symbol_count == 0 || image.shared_symbols) &&
           image.constant_bank_bytes <= kConstantBankLimit;
}

const emu::EmulatedImage* find_image(const void* fat_cubin)
{
    const auto* binary = static_cast<const __cudaFatCudaBinary*>(fat_cubin);
    if (!binary || !binary->cubin) return nullptr;
    for (const __cudaFatCubinEntry* entry = binary->cubin; entry->gpuProfileName || entry->cubin; ++entry) {
        const auto* image = static_cast<const emu::EmulatedImage*>(entry->cubin);
        if (image && std::memcmp(image->magic, emu::kEmulatedImageMagic, sizeof image->magic) == 0 &&
            image_is_sane(*image))
            return image;
    }
    return nullptr;
}

// The binary's OpenCL image, or null; the magic tells it from the emulated image.
const ocl::Image* find_opencl_image(const void* fat_cubin)
{
    const auto* binary = static_cast<const __cudaFatCudaBinary*>(fat_cubin);
    if (!binary || !binary->cubin) return nullptr;
    for (const __cudaFatCubinEntry* entry = binary->cubin; entry->gpuProfileName || entry->cubin; ++entry) {
        const auto* image = static_cast<const ocl::Image*>(entry->cubin);
        if (image && std::memcmp(image->magic, ocl::kImageMagic, sizeof image->magic) == 0 && image->source &&
            image->kernel_count >= 0 && (image->kernel_count == 0 || image->kernels))
            return image;
    }
    return nullptr;
}

bool same_name(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

template <class Map> void erase_module_entries(Map& map, const Module* module)
{
    for (auto it = map.begin(); it != map.end();)
        it = it->second.module == module ? map.erase(it) : std::next(it);
}

}  // namespace

Module* find_module(State& s, void** handle)
{
    auto it = s.modules.find(handle);
    return it == s.modules.end() ? nullptr : it->second.get();
}

}  // namespace vantreo_runtime

using namespace vantreo_runtime;

cudaError_t cudaMemcpyToSymbol(const void* symbol, const void* src, std::size_t count, std::size_t offset,
                               cudaMemcpyKind kind)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::MemcpyToSymbol)) return record(s, failure);
    unsigned char* bytes = nullptr;
    const cudaError_t range = symbol_range(s, symbol, count, offset, &bytes);
    if (range != cudaSuccess) return record(s, range);
    const unsigned char* from = nullptr;
    const cudaError_t source = copy_source(s, src, count, kind, &from);
    if (source != cudaSuccess) return record(s, source);
    if (count > 0) std::memmove(bytes, from, count);
    return cudaSuccess;
}

cudaError_t cudaMemcpyFromSymbol(void* dst, const void* symbol, std::size_t count, std::size_t offset,
                                 cudaMemcpyKind kind)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    unsigned char* bytes = nullptr;
    const cudaError_t range = symbol_range(s, symbol, count, offset, &bytes);
    if (range != cudaSuccess) return record(s, range);
    if (count == 0) return cudaSuccess;
    unsigned char* to = nullptr;
    if (kind == cudaMemcpyDeviceToHost) to = static_cast<unsigned char*>(dst);
    else if (kind == cudaMemcpyDeviceToDevice) to = device_range(s, dst, count);
    else return record(s, cudaErrorInvalidMemcpyDirection);
    if (!to) return record(s, cudaErrorInvalidValue);
    std::memmove(to, bytes, count);
    return cudaSuccess;
}

void** __cudaRegisterFatBinary(void* fatCubin)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto module = std::make_unique<Module>();
    // A binary without an emulated image gets a module that resolves nothing, so its launches fail.
    module->image = find_image(fatCubin);
    if (module->image) module->constant_bank.assign(module->image->constant_bank_bytes, 0);
    module->opencl_image = find_opencl_image(fatCubin);
    void** handle = &module->handle_slot;
    s.modules.emplace(handle, std::move(module));
    return handle;
}

void __cudaUnregisterFatBinary(void** fatCubinHandle)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Module* module = find_module(s, fatCubinHandle);
    if (!module) return;
    for (auto it = s.bindings.begin(); it != s.bindings.end();) {
        auto texture = s.textures.find(it->first);
        it = texture != s.textures.end() && texture->second.module == module ? s.bindings.erase(it) : std::next(it);
    }
    erase_module_entries(s.functions, module);
    erase_module_entries(s.textures, module);
    erase_module_entries(s.symbols, module);
    s.modules.erase(fatCubinHandle);
    // For tests of a process's shut-down: what the device still holds when the module goes away.
    if (std::getenv("VANTREO_TEST_EMU_REPORT"))
        std::fprintf(stderr, "emulated device: %zu allocations and %zu arrays live, %llu freed\n",
                     s.memory.allocations.size(), s.arrays.size(), static_cast<unsigned long long>(s.frees));
}

void __cudaRegisterFunction(void** fatCubinHandle, const char* hostFun, char* /*deviceFun*/, const char* deviceName,
                            int /*thread_limit*/, uint3* /*tid*/, uint3* /*bid*/, dim3* /*bDim*/, dim3* /*gDim*/,
                            int* /*wSize*/)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Module* module = find_module(s, fatCubinHandle);
    if (!module || !module->image || !hostFun) return;
    const emu::EmulatedImage& image = *module->image;
    for (int i = 0; i < image.kernel_count; ++i)
        if (same_name(image.kernels[i].name, deviceName) && image.kernels[i].run) {
            s.functions[hostFun] = FunctionEntry{module, &image.kernels[i]};
            return;
        }
}

void __cudaRegisterShared(void** fatCubinHandle, void** devicePtr)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Module* module = find_module(s, fatCubinHandle);
    if (!module || !devicePtr) return;
    // The generated code passes the symbol's name in place of its address.
    module->shared_symbols.emplace_back(reinterpret_cast<const char*>(devicePtr));
}

void __cudaRegisterTexture(void** fatCubinHandle, const textureReference* hostVar, const void** /*deviceAddress*/,
                           const char* deviceName, int /*dim*/, int /*norm*/, int /*ext*/)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Module* module = find_module(s, fatCubinHandle);
    if (!module || !module->image || !hostVar) return;
    const emu::EmulatedImage& image = *module->image;
    for (int i = 0; i < image.texture_count; ++i) {
        const emu::ImageTexture& texture = image.textures[i];
        if (!same_name(texture.name, deviceName)) continue;
        if (texture.unit < 0 || texture.unit >= emu::kTextureUnits) return;
        s.textures[hostVar] = TextureEntry{module, texture.unit, texture.dims, texture.name};
        return;
    }
}

void __cudaRegisterVar(void** fatCubinHandle, char* hostVar, char* /*deviceAddress*/, const char* deviceName,
                       int /*ext*/, int size, int constant, int /*global*/)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Module* module = find_module(s, fatCubinHandle);
    // Only constant variables live in the emulated module; anything else stays unknown.
    if (!module || !module->image || !hostVar || !constant || size <= 0) return;
    const emu::EmulatedImage& image = *module->image;
    for (int i = 0; i < image.constant_count; ++i) {
        const emu::ImageConstant& c = image.constants[i];
        if (!same_name(c.name, deviceName)) continue;
        if (std::uint64_t{c.offset} + c.size > image.constant_bank_bytes) return;
        // A shadow whose size disagrees with the image gets the smaller of the two.
        const std::uint32_t bytes = std::min(c.size, static_cast<std::uint32_t>(size));
        s.symbols[hostVar] = SymbolEntry{module, c.offset, bytes};
        return;
    }
}
