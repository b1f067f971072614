// Device memory of the stand-in device runtime: the allocation table and its address space, and
// allocations, fills and copies on the emulated device or an OpenCL device.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "platform/device_runtime/opencl_backend.h"
#include "platform/device_runtime/runtime_state.h"

namespace vantreo_runtime {
namespace {

std::uint64_t align_up(std::uint64_t value)
{
    return (value + kAllocationAlignment - 1) / kAllocationAlignment * kAllocationAlignment;
}

// The lowest base in [from, kAddressLimit) for `size` bytes that keeps guard gaps to its neighbours.
bool find_room(const DeviceMemory& memory, std::uint64_t from, std::uint64_t size, std::uint32_t* base)
{
    if (size > kAddressLimit) return false;  // and the sums below cannot wrap
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

unsigned char* device_range(State& s, const void* pointer, std::size_t count)
{
    std::uint32_t address = 0;
    if (!device_address(pointer, &address)) return nullptr;
    std::uint32_t base = 0;
    const Allocation* allocation = s.memory.find(address, count, &base);
    return allocation ? allocation->bytes.get() + (address - base) : nullptr;
}

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
    opencl::HeldBuffer buffer;
    if (opencl >= 0) {
        buffer.reset(opencl::create_buffer(opencl, size));
        if (!buffer) return record(s, cudaErrorMemoryAllocation);
    } else {
        bytes.reset(new (std::nothrow) unsigned char[size]);
        if (!bytes) return record(s, cudaErrorMemoryAllocation);
        fill_garbage(bytes.get(), size);
    }
    s.memory.allocations.emplace(base, Allocation{static_cast<std::uint32_t>(size), std::move(bytes), buffer.get()});
    if (buffer) buffer.release();  // the allocation's record holds it now
    else reserve_bytes(s, size);
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
