// Host API of the stand-in device runtime: devices, device memory, arrays, constant symbols, texture
// bindings, launches and module registration, and the test controls of emulated_controls.h and
// opencl_controls.h. The OpenCL devices (opencl_backend.cpp) come first; the emulated device, whose
// kernels run on the CPU (device_execution.cpp), comes last. Addresses, array handles, constant
// banks and bindings are kept here for all of them; calls go to the current device's backend.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/device_runtime/cuda_runtime.h"
#include "platform/device_runtime/emulated_controls.h"
#include "platform/device_runtime/emulated_device.h"
#include "platform/device_runtime/opencl_backend.h"
#include "platform/device_runtime/runtime_internal.h"

namespace vantreo_runtime {
namespace {

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

// ---- injected failures --------------------------------------------------------------------------

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

// Counts a call of `operation`; the error it is to fail with, or cudaSuccess.
cudaError_t injected_failure(State& s, emu::Operation operation)
{
    InjectedFailures& failures = s.injected[static_cast<std::size_t>(operation)];
    return failures.failing.erase(++failures.calls) != 0 ? injected_error(operation) : cudaSuccess;
}

// ---- devices ------------------------------------------------------------------------------------

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
int emulated_device_count() { return env_int("VANTREO_EMU_DEVICE_COUNT", 1, 0, 64); }
// The OpenCL devices first; the first query lists them.
int device_count() { return opencl::device_count() + emulated_device_count(); }
// The current device's index among the OpenCL devices, or -1 when it is the emulated device.
int opencl_device(const State& s) { return s.current_device < opencl::device_count() ? s.current_device : -1; }
// Major 0 stands for a device that cannot run kernels at all, as start-up code must detect.
int device_major() { return env_int("VANTREO_EMU_DEVICE_MAJOR", 1, 0, 9999); }

// ---- device memory ------------------------------------------------------------------------------

std::uint64_t align_up(std::uint64_t value)
{
    return (value + kAllocationAlignment - 1) / kAllocationAlignment * kAllocationAlignment;
}

// The lowest base in [from, kAddressLimit) for `size` bytes that keeps guard gaps to its neighbours.
bool find_room(const DeviceMemory& memory, std::uint64_t from, std::uint64_t size, std::uint32_t* base)
{
    std::uint64_t candidate = align_up(from);
    auto next = memory.allocations.upper_bound(static_cast<std::uint32_t>(std::min<std::uint64_t>(candidate, kAddressLimit)));
    if (next != memory.allocations.begin()) {
        const auto& prev = *std::prev(next);
        candidate = std::max(candidate, align_up(std::uint64_t{prev.first} + prev.second.size + kGuardBytes));
    }
    for (;;) {
        if (candidate + size + kGuardBytes > kAddressLimit) return false;
        if (next == memory.allocations.end() || candidate + size + kGuardBytes <= next->first) {
            *base = static_cast<std::uint32_t>(candidate);
            return true;
        }
        candidate = std::max(candidate, align_up(std::uint64_t{next->first} + next->second.size + kGuardBytes));
        ++next;
    }
}

bool device_address(const void* pointer, std::uint32_t* address)
{
    const auto value = reinterpret_cast<std::uintptr_t>(pointer);
    if (value > 0xFFFFFFFFu) return false;
    *address = static_cast<std::uint32_t>(value);
    return true;
}

void* device_pointer(std::uint32_t address)
{
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
}

// Host bytes behind the device range [pointer, pointer + count), or null when the range is not wholly
// inside one live allocation.
unsigned char* device_range(State& s, const void* pointer, std::size_t count)
{
    std::uint32_t address = 0;
    if (!device_address(pointer, &address)) return nullptr;
    std::uint32_t base = 0;
    const Allocation* allocation = s.memory.find(address, count, &base);
    return allocation ? allocation->bytes.get() + (address - base) : nullptr;
}

// The OpenCL buffer behind the device range [pointer, pointer + count) and the range's offset in it,
// or null when the range is not wholly inside one live OpenCL allocation.
opencl::Buffer* buffer_range(State& s, const void* pointer, std::size_t count, std::size_t* offset)
{
    std::uint32_t address = 0;
    if (!device_address(pointer, &address)) return nullptr;
    std::uint32_t base = 0;
    const Allocation* allocation = s.memory.find_buffer(address, count, &base);
    if (!allocation) return nullptr;
    *offset = address - base;
    return allocation->buffer;
}

// For a launch's arguments: the OpenCL buffer whose base is `address`.
const opencl::Buffer* buffer_at(std::uint64_t address)
{
    std::uint32_t base = 0;
    const Allocation* allocation = state().memory.find_buffer(address, 1, &base);
    return allocation && base == address ? allocation->buffer : nullptr;
}

bool reserve_bytes(State& s, std::size_t bytes)
{
    if (bytes > kDeviceMemoryBytes - s.bytes_in_use) return false;
    s.bytes_in_use += bytes;
    return true;
}

// ---- arrays -------------------------------------------------------------------------------------

bool same_format(const cudaChannelFormatDesc& a, const cudaChannelFormatDesc& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w && a.f == b.f;
}

// Bytes per element, or 0 for a descriptor no array can have.
std::uint32_t element_bytes(const cudaChannelFormatDesc& desc)
{
    if (desc.f != cudaChannelFormatKindSigned && desc.f != cudaChannelFormatKindUnsigned &&
        desc.f != cudaChannelFormatKindFloat)
        return 0;
    int bits = 0;
    for (int channel : {desc.x, desc.y, desc.z, desc.w}) {
        if (channel != 0 && channel != 8 && channel != 16 && channel != 32) return 0;
        bits += channel;
    }
    return static_cast<std::uint32_t>(bits / 8);
}

DeviceArray* find_array(State& s, const cudaArray* array)
{
    auto it = s.arrays.find(reinterpret_cast<std::uintptr_t>(array));
    return it == s.arrays.end() ? nullptr : &it->second;
}

// Copies of a megabyte and more are shared out over the host threads, as the kernels are: one thread
// does not reach the memory's bandwidth.
constexpr std::size_t kCopyPartBytes = std::size_t{1} << 20;

struct RowCopy {
    unsigned char* to;
    const unsigned char* from;
    std::size_t to_pitch, from_pitch, width, rows, rows_per_part;
};

void copy_row_part(void* data, unsigned part)
{
    const RowCopy& c = *static_cast<const RowCopy*>(data);
    const std::size_t first = part * c.rows_per_part, end = std::min(first + c.rows_per_part, c.rows);
    for (std::size_t row = first; row < end; ++row)
        std::memcpy(c.to + row * c.to_pitch, c.from + row * c.from_pitch, c.width);
}

// `rows` rows of `width` bytes, between ranges that do not overlap (different allocations).
void copy_rows(unsigned char* to, std::size_t to_pitch, const unsigned char* from, std::size_t from_pitch,
               std::size_t width, std::size_t rows)
{
    const std::size_t rows_per_part = std::max<std::size_t>(1, kCopyPartBytes / std::max<std::size_t>(width, 1));
    RowCopy copy{to, from, to_pitch, from_pitch, width, rows, rows_per_part};
    const std::size_t parts = (rows + rows_per_part - 1) / rows_per_part;
    if (parts < 2)
        copy_row_part(&copy, 0);
    else
        emu::for_each_part(static_cast<unsigned>(parts), copy_row_part, &copy);
}

// `count` bytes between ranges that do not overlap, as rows of a part each and the rest.
void copy_bytes(unsigned char* to, const unsigned char* from, std::size_t count)
{
    const std::size_t whole = count / kCopyPartBytes * kCopyPartBytes;
    copy_rows(to, kCopyPartBytes, from, kCopyPartBytes, kCopyPartBytes, whole / kCopyPartBytes);
    std::memcpy(to + whole, from + whole, count - whole);
}

// Source bytes of a copy into an array: host memory, or a checked device range.
cudaError_t copy_source(State& s, const void* src, std::size_t count, cudaMemcpyKind kind,
                        const unsigned char** bytes)
{
    if (kind == cudaMemcpyHostToDevice) {
        if (!src && count > 0) return cudaErrorInvalidValue;
        *bytes = static_cast<const unsigned char*>(src);
        return cudaSuccess;
    }
    if (kind == cudaMemcpyDeviceToDevice) {
        *bytes = count > 0 ? device_range(s, src, count) : nullptr;
        return (*bytes || count == 0) ? cudaSuccess : cudaErrorInvalidValue;
    }
    return cudaErrorInvalidMemcpyDirection;
}

// ---- modules ------------------------------------------------------------------------------------

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

Module* find_module(State& s, void** handle)
{
    auto it = s.modules.find(handle);
    return it == s.modules.end() ? nullptr : it->second.get();
}

bool same_name(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

template <class Map> void erase_module_entries(Map& map, const Module* module)
{
    for (auto it = map.begin(); it != map.end();)
        it = it->second.module == module ? map.erase(it) : std::next(it);
}

// ---- launches -----------------------------------------------------------------------------------

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

namespace {

const Allocation* find_allocation(const DeviceMemory& memory, std::uint64_t address, std::uint64_t count,
                                  std::uint32_t* base)
{
    if (address > 0xFFFFFFFFu) return nullptr;
    auto it = memory.allocations.upper_bound(static_cast<std::uint32_t>(address));
    if (it == memory.allocations.begin()) return nullptr;
    --it;
    if (address + count > std::uint64_t{it->first} + it->second.size) return nullptr;
    *base = it->first;
    return &it->second;
}

}  // namespace

const Allocation* DeviceMemory::find(std::uint64_t address, std::uint64_t count, std::uint32_t* base) const
{
    const Allocation* allocation = find_allocation(*this, address, count, base);
    return allocation && allocation->bytes ? allocation : nullptr;
}

const Allocation* DeviceMemory::find_buffer(std::uint64_t address, std::uint64_t count, std::uint32_t* base) const
{
    const Allocation* allocation = find_allocation(*this, address, count, base);
    return allocation && allocation->buffer ? allocation : nullptr;
}

DeviceMemory& device_memory() { return state().memory; }

void fill_garbage(unsigned char* bytes, std::size_t count)
{
    static const unsigned char pattern[4] = {0xEF, 0xBE, 0xAD, 0xDE};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) std::memcpy(bytes + i, pattern, 4);
    for (; i < count; ++i) bytes[i] = pattern[i % 4];
}

}  // namespace vantreo_runtime

using namespace vantreo_runtime;

cudaChannelFormatDesc cudaCreateChannelDesc(int x, int y, int z, int w, cudaChannelFormatKind f)
{
    return cudaChannelFormatDesc{x, y, z, w, f};
}

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

cudaError_t cudaMalloc(void** devPtr, std::size_t size)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::Malloc)) return record(s, failure);
    if (!devPtr) return record(s, cudaErrorInvalidValue);
    if (device_count() == 0) return record(s, cudaErrorNoDevice);
    if (size == 0) {
        *devPtr = nullptr;
        return cudaSuccess;
    }
    std::uint32_t base = 0;
    const int opencl = opencl_device(s);
    // Next fit from past the latest allocation, so a just-freed range is not handed out again at once.
    // The emulated device's memory is limited; an OpenCL device says itself what it cannot hold.
    if ((opencl < 0 && size > kDeviceMemoryBytes - s.bytes_in_use) ||
        !(find_room(s.memory, s.next_address, size, &base) || find_room(s.memory, kFirstAddress, size, &base)))
        return record(s, cudaErrorMemoryAllocation);
    std::unique_ptr<unsigned char[]> bytes;
    opencl::Buffer* buffer = nullptr;
    if (opencl >= 0) {
        buffer = opencl::create_buffer(opencl, size);
        if (!buffer) return record(s, cudaErrorMemoryAllocation);
    } else {
        bytes.reset(new (std::nothrow) unsigned char[size]);
        if (!bytes) return record(s, cudaErrorMemoryAllocation);
        fill_garbage(bytes.get(), size);
        reserve_bytes(s, size);
    }
    s.memory.allocations.emplace(base, Allocation{static_cast<std::uint32_t>(size), std::move(bytes), buffer});
    ++s.memory.generation;
    s.next_address = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{base} + size + kGuardBytes, kAddressLimit));
    *devPtr = device_pointer(base);
    ++s.allocations;
    return cudaSuccess;
}

cudaError_t cudaFree(void* devPtr)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!devPtr) return cudaSuccess;
    std::uint32_t address = 0;
    if (!device_address(devPtr, &address)) return record(s, cudaErrorInvalidDevicePointer);
    auto it = s.memory.allocations.find(address);
    if (it == s.memory.allocations.end()) return record(s, cudaErrorInvalidDevicePointer);
    if (it->second.buffer) opencl::release_buffer(it->second.buffer);
    else s.bytes_in_use -= it->second.size;
    s.memory.allocations.erase(it);
    ++s.memory.generation;
    ++s.frees;
    return cudaSuccess;
}

cudaError_t cudaMemset(void* devPtr, int value, std::size_t count)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (count == 0) return cudaSuccess;
    std::size_t offset = 0;
    if (opencl::Buffer* buffer = buffer_range(s, devPtr, count, &offset))
        return record(s, opencl::fill(buffer, offset, count, static_cast<unsigned char>(value)));
    unsigned char* bytes = device_range(s, devPtr, count);
    if (!bytes) return record(s, cudaErrorInvalidValue);
    std::memset(bytes, value, count);
    return cudaSuccess;
}

cudaError_t cudaMemcpy(void* dst, const void* src, std::size_t count, cudaMemcpyKind kind)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::Memcpy)) return record(s, failure);
    if (kind < cudaMemcpyHostToHost || kind > cudaMemcpyDeviceToDevice)
        return record(s, cudaErrorInvalidMemcpyDirection);
    if (count == 0) return cudaSuccess;
    const bool dst_on_device = kind == cudaMemcpyHostToDevice || kind == cudaMemcpyDeviceToDevice;
    const bool src_on_device = kind == cudaMemcpyDeviceToHost || kind == cudaMemcpyDeviceToDevice;
    std::size_t dst_offset = 0, src_offset = 0;
    opencl::Buffer* dst_buffer = dst_on_device ? buffer_range(s, dst, count, &dst_offset) : nullptr;
    const opencl::Buffer* src_buffer = src_on_device ? buffer_range(s, src, count, &src_offset) : nullptr;
    if (dst_buffer || src_buffer) {
        if (!dst || !src || (dst_on_device && !dst_buffer) || (src_on_device && !src_buffer))
            return record(s, cudaErrorInvalidValue);
        if (kind == cudaMemcpyHostToDevice) return record(s, opencl::write(dst_buffer, dst_offset, src, count));
        if (kind == cudaMemcpyDeviceToHost) return record(s, opencl::read(src_buffer, src_offset, dst, count));
        return record(s, opencl::copy(src_buffer, src_offset, dst_buffer, dst_offset, count));
    }
    unsigned char* to = dst_on_device ? device_range(s, dst, count) : static_cast<unsigned char*>(dst);
    const unsigned char* from = src_on_device ? device_range(s, src, count) : static_cast<const unsigned char*>(src);
    if (!to || !from) return record(s, cudaErrorInvalidValue);
    // Ranges of the host and of the device never overlap; two of one side may.
    if (dst_on_device != src_on_device)
        copy_bytes(to, from, count);
    else
        std::memmove(to, from, count);
    return cudaSuccess;
}

cudaError_t cudaMallocArray(cudaArray** array, const cudaChannelFormatDesc* desc, std::size_t width,
                            std::size_t height)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::MallocArray)) return record(s, failure);
    if (!array || !desc) return record(s, cudaErrorInvalidValue);
    if (device_count() == 0) return record(s, cudaErrorNoDevice);
    if (height == 0) height = 1;
    const std::uint32_t element = element_bytes(*desc);
    if (element == 0) return record(s, cudaErrorInvalidChannelDescriptor);
    constexpr std::size_t kMaxExtent = 0x7FFFFFFF;
    if (width == 0 || width > kMaxExtent || height > kMaxExtent) return record(s, cudaErrorInvalidValue);
    if (width > kDeviceMemoryBytes / height / element) return record(s, cudaErrorMemoryAllocation);
    const std::size_t bytes = width * height * element;
    std::unique_ptr<unsigned char[]> data;
    opencl::Buffer* buffer = nullptr;
    if (const int opencl = opencl_device(s); opencl >= 0) {
        buffer = opencl::create_buffer(opencl, bytes);
        if (!buffer) return record(s, cudaErrorMemoryAllocation);
    } else {
        if (bytes > kDeviceMemoryBytes - s.bytes_in_use) return record(s, cudaErrorMemoryAllocation);
        data.reset(new (std::nothrow) unsigned char[bytes]);
        if (!data) return record(s, cudaErrorMemoryAllocation);
        fill_garbage(data.get(), bytes);
        reserve_bytes(s, bytes);
    }
    const std::uintptr_t handle = s.next_array_handle++;
    s.arrays.emplace(handle, DeviceArray{*desc, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                                         element, bytes, std::move(data), buffer});
    *array = reinterpret_cast<cudaArray*>(handle);
    ++s.allocations;
    return cudaSuccess;
}

cudaError_t cudaFreeArray(cudaArray* array)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!array) return cudaSuccess;
    auto it = s.arrays.find(reinterpret_cast<std::uintptr_t>(array));
    if (it == s.arrays.end()) return record(s, cudaErrorInvalidResourceHandle);
    if (it->second.buffer) opencl::release_buffer(it->second.buffer);
    else s.bytes_in_use -= it->second.bytes;
    s.arrays.erase(it);
    ++s.frees;
    return cudaSuccess;
}

cudaError_t cudaMemcpyToArray(cudaArray* dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                              std::size_t count, cudaMemcpyKind kind)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::MemcpyToArray)) return record(s, failure);
    DeviceArray* array = find_array(s, dst);
    if (!array) return record(s, cudaErrorInvalidResourceHandle);
    if (wOffset >= array->width || hOffset >= array->height) return record(s, cudaErrorInvalidValue);
    const std::size_t start = (hOffset * array->width + wOffset) * array->element_bytes;
    if (count > array->bytes - start) return record(s, cudaErrorInvalidValue);
    if (array->buffer) {
        if (kind != cudaMemcpyHostToDevice) return record(s, cudaErrorInvalidMemcpyDirection);
        if (!src && count > 0) return record(s, cudaErrorInvalidValue);
        return count > 0 ? record(s, opencl::write(array->buffer, start, src, count)) : cudaSuccess;
    }
    const unsigned char* from = nullptr;
    const cudaError_t source = copy_source(s, src, count, kind, &from);
    if (source != cudaSuccess) return record(s, source);
    if (count > 0) copy_bytes(array->data.get() + start, from, count);
    return cudaSuccess;
}

cudaError_t cudaMemcpy2DToArray(cudaArray* dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                                std::size_t spitch, std::size_t width, std::size_t height, cudaMemcpyKind kind)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::Memcpy2DToArray)) return record(s, failure);
    DeviceArray* array = find_array(s, dst);
    if (!array) return record(s, cudaErrorInvalidResourceHandle);
    if (wOffset >= array->width || hOffset >= array->height) return record(s, cudaErrorInvalidValue);
    const std::size_t row_bytes = std::size_t{array->width} * array->element_bytes;
    const std::size_t start_column = wOffset * array->element_bytes;
    if (width > row_bytes - start_column || height > array->height - hOffset) return record(s, cudaErrorInvalidValue);
    if (height > 1 && spitch < width) return record(s, cudaErrorInvalidValue);
    if (width == 0 || height == 0) return cudaSuccess;
    // The source spans (height - 1) pitches plus one row; a host range that large must not overflow.
    if (spitch != 0 && height - 1 > (SIZE_MAX - width) / spitch) return record(s, cudaErrorInvalidValue);
    const std::size_t span = (height - 1) * spitch + width;
    if (array->buffer) {
        if (kind != cudaMemcpyHostToDevice) return record(s, cudaErrorInvalidMemcpyDirection);
        if (!src) return record(s, cudaErrorInvalidValue);
        return record(s, opencl::write_rows(array->buffer, hOffset * row_bytes + start_column, row_bytes, src,
                                            height > 1 ? spitch : width, width, height));
    }
    const unsigned char* from = nullptr;
    const cudaError_t source = copy_source(s, src, span, kind, &from);
    if (source != cudaSuccess) return record(s, source);
    copy_rows(array->data.get() + hOffset * row_bytes + start_column, row_bytes, from, spitch, width, height);
    return cudaSuccess;
}

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

cudaError_t cudaBindTextureToArray(const textureReference* texref, const cudaArray* array,
                                   const cudaChannelFormatDesc* desc)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const cudaError_t failure = injected_failure(s, emu::Operation::BindTextureToArray)) return record(s, failure);
    if (!texref || s.textures.find(texref) == s.textures.end()) return record(s, cudaErrorInvalidTexture);
    const DeviceArray* a = find_array(s, array);
    if (!a) return record(s, cudaErrorInvalidResourceHandle);
    if (!desc) return record(s, cudaErrorInvalidValue);
    // Both the format asked for and the reference's own must be the array's, or fetches would
    // reinterpret its elements.
    if (!same_format(*desc, a->desc) || !same_format(texref->channelDesc, a->desc))
        return record(s, cudaErrorInvalidChannelDescriptor);
    s.bindings[texref] = reinterpret_cast<std::uintptr_t>(array);
    return cudaSuccess;
}

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
    if (std::getenv("VANTREO_EMU_REPORT"))
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

// ---- test controls ------------------------------------------------------------------------------

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
