// The OpenCL devices of the runtime: OpenCL 1.2 loaded at run time (libOpenCL.so.1, OpenCL.dll), its
// devices listed before the emulated one. The host API (runtime_state.h) keeps device addresses,
// arrays, constant banks and texture bindings for every device and calls these for the OpenCL
// objects behind them, always under its lock. Not for use outside platform/device_runtime.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/device_runtime/cuda_runtime.h"
#include "platform/device_runtime/emulated_device.h"
#include "platform/device_runtime/opencl_controls.h"
#include "platform/device_runtime/opencl_image.h"

namespace vantreo_runtime {

struct LaunchGeometry;

namespace opencl {

struct Buffer;  // an OpenCL buffer on one device

// The OpenCL devices: GPUs and accelerators, then CPU devices when VANTREO_OPENCL_CPU is 1. The
// first call not kept closed loads the library (VANTREO_TEST_OPENCL_LIBRARY names another one) and
// lists them; with no library or none usable, there are none.
int device_count();
void device_properties(int device, cudaDeviceProp* prop);
// While `closed` and before the first listing, the library stays closed and there are no devices.
void keep_closed(bool closed);

// A buffer of `bytes` on `device`, or null when the device (or the host, for its record) cannot hold it.
Buffer* create_buffer(int device, std::size_t bytes);
void release_buffer(Buffer* buffer);
// A buffer released when dropped: held so until its record is stored, which may throw.
struct BufferRelease {
    void operator()(Buffer* buffer) const { release_buffer(buffer); }
};
using HeldBuffer = std::unique_ptr<Buffer, BufferRelease>;

cudaError_t fill(Buffer* buffer, std::size_t offset, std::size_t count, unsigned char value);
cudaError_t write(Buffer* buffer, std::size_t offset, const void* src, std::size_t count);
// Writes `height` rows of `width` bytes, `spitch` apart in host memory and `dpitch` apart in the
// buffer, the first at `offset`.
cudaError_t write_rows(Buffer* buffer, std::size_t offset, std::size_t dpitch, const void* src, std::size_t spitch,
                       std::size_t width, std::size_t height);
cudaError_t read(const Buffer* buffer, std::size_t offset, void* dst, std::size_t count);
cudaError_t copy(const Buffer* from, std::size_t from_offset, Buffer* to, std::size_t to_offset, std::size_t count);

// The array bound to a texture unit.
struct TextureArgument {
    const Buffer* elements;  // null when nothing is bound
    std::int32_t width;
    std::int32_t height;
    std::int32_t element_bytes;
};

// Resolves a device address that names the base of an allocation to its buffer, or null.
using BufferLookup = const Buffer* (*)(std::uint64_t address);

struct Launch {
    const char* kernel_name;  // the name the module registered it under
    const unsigned char* constants;
    std::uint32_t constant_bytes;
    TextureArgument textures[emu::kTextureUnits];
    const unsigned char* arguments;
    std::uint32_t argument_bytes;
    std::uint32_t shared_bytes;
    BufferLookup buffer_at;
};

// Builds the image's program on the device at its first launch there, sets the kernel's arguments
// as the image says and enqueues the grid. Errors of the kernel's run come from synchronize().
cudaError_t launch(int device, const ocl::Image& image, const LaunchGeometry& geometry, const Launch& call);
cudaError_t synchronize(int device);

// Launches on OpenCL devices that ran to their end (cudaThreadSynchronize saw them finish).
std::uint64_t completed_launches();
void fail_next(ocl::Failure failure, unsigned skip);
void reset_devices();

}  // namespace opencl
}  // namespace vantreo_runtime
