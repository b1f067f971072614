// Arrays of the stand-in device runtime: their channel formats, allocation, copies into them and their
// binding to texture references. The copy helpers here, which share large copies out over the host
// threads, serve device memory too.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "platform/device_runtime/opencl_backend.h"
#include "platform/device_runtime/runtime_state.h"

namespace vantreo_runtime {
namespace {

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

}  // namespace

// `count` bytes between ranges that do not overlap, as rows of a part each and the rest.
void copy_bytes(unsigned char* to, const unsigned char* from, std::size_t count)
{
    const std::size_t whole = count / kCopyPartBytes * kCopyPartBytes;
    copy_rows(to, kCopyPartBytes, from, kCopyPartBytes, kCopyPartBytes, whole / kCopyPartBytes);
    std::memcpy(to + whole, from + whole, count - whole);
}

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

}  // namespace vantreo_runtime

using namespace vantreo_runtime;

cudaChannelFormatDesc cudaCreateChannelDesc(int x, int y, int z, int w, cudaChannelFormatKind f)
{
    return cudaChannelFormatDesc{x, y, z, w, f};
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
    opencl::HeldBuffer buffer;
    if (const int opencl = opencl_device(s); opencl >= 0) {
        buffer.reset(opencl::create_buffer(opencl, bytes));
        if (!buffer) return record(s, cudaErrorMemoryAllocation);
    } else {
        if (bytes > kDeviceMemoryBytes - s.bytes_in_use) return record(s, cudaErrorMemoryAllocation);
        data.reset(new (std::nothrow) unsigned char[bytes]);
        if (!data) return record(s, cudaErrorMemoryAllocation);
        fill_garbage(data.get(), bytes);
    }
    const std::uintptr_t handle = s.next_array_handle++;
    s.arrays.emplace(handle, DeviceArray{*desc, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                                         element, bytes, std::move(data), buffer.get()});
    if (buffer) buffer.release();  // the array's record holds it now
    else reserve_bytes(s, bytes);
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
