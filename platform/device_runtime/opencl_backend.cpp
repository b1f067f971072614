// The runtime's OpenCL devices (opencl_backend.h). The library is opened at the first device query
// not asked to leave it closed, which the filter makes from a callback, never while the module is
// being loaded.
#include "platform/device_runtime/opencl_backend.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl.h>

#include "platform/device_runtime/runtime_internal.h"
#include "platform/printable_text.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vantreo_runtime {
namespace opencl {

struct Buffer {
    int device;
    cl_mem mem;
};

// The entry points the runtime calls, typed from the Khronos declarations so that the calling
// convention (stdcall in 32-bit Windows) comes with them.
#define VANTREO_OPENCL_ENTRIES(X)                                                                          \
    X(clGetPlatformIDs) X(clGetDeviceIDs) X(clGetDeviceInfo) X(clCreateContext) X(clCreateCommandQueue)  \
    X(clCreateBuffer) X(clReleaseMemObject) X(clEnqueueWriteBuffer) X(clEnqueueWriteBufferRect)          \
    X(clEnqueueReadBuffer) X(clEnqueueCopyBuffer) X(clEnqueueFillBuffer) X(clCreateProgramWithSource)    \
    X(clBuildProgram) X(clGetProgramBuildInfo) X(clReleaseProgram) X(clCreateKernel) X(clReleaseKernel)   \
    X(clSetKernelArg) X(clEnqueueNDRangeKernel) X(clFinish)

namespace {

struct Api {
#define VANTREO_DECLARE_ENTRY(name) decltype(&::name) name = nullptr;
    VANTREO_OPENCL_ENTRIES(VANTREO_DECLARE_ENTRY)
#undef VANTREO_DECLARE_ENTRY
};

struct Program {
    cl_program program = nullptr;
    std::map<std::string, cl_kernel> kernels;  // by OpenCL function name, created at first use
};

struct Device {
    cl_device_id id = nullptr;
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
    std::string name;
    cl_ulong global_bytes = 0;
    std::size_t max_work_group = 0;
    cl_uint compute_units = 0;
    std::map<const ocl::Image*, Program> programs;
    unsigned consecutive_failures = 0;
    bool left = false;  // failed too often: every call fails at once for the rest of the run
    bool launch_pending = false;
};

// Consecutive failed calls after which a device is left for the rest of the run.
constexpr unsigned kFailuresBeforeLeaving = 3;
// The most a driver may report of each, beyond which what it says is nonsense and it is left like a
// driver that fails: platforms, devices of a platform, a device's name, a build log (of which more
// is not shown).
constexpr cl_uint kMostPlatforms = 64;
constexpr cl_uint kMostDevices = 64;
constexpr std::size_t kLongestDeviceText = 4096;
constexpr std::size_t kLongestBuildLog = 64 * 1024;
constexpr std::size_t kFailureKinds = static_cast<std::size_t>(ocl::Failure::Read) + 1;

struct Backend {
    bool listed = false;
    bool closed = false;  // the library is to stay closed until asked for again
    Api api;
    std::vector<Device> devices;
    std::uint64_t completed_launches = 0;
    std::array<std::uint64_t, kFailureKinds> calls{};
    std::array<std::set<std::uint64_t>, kFailureKinds> failing;
};

// Never destroyed, like the host API's state: OpenCL objects are not released at process exit.
Backend& backend()
{
    static Backend* const instance = new Backend;
    return *instance;
}

// Counts a call of `failure`'s kind; true when it is to fail.
bool injected(ocl::Failure failure)
{
    Backend& b = backend();
    const auto kind = static_cast<std::size_t>(failure);
    return b.failing[kind].erase(++b.calls[kind]) != 0;
}

// False, with a line, when the test library named is there but is no regular file: opening a FIFO
// would wait for a writer, a device file read whatever it gives. A name that is not there fails to
// load as a missing library does, silently.
bool openable_library(const char* name)
{
    struct stat status {};
    if (stat(name, &status) != 0 || S_ISREG(status.st_mode)) return true;
    std::fprintf(stderr, "vantreo: VANTREO_TEST_OPENCL_LIBRARY \"%s\" is not a regular file; no OpenCL device\n",
                 printable_text(name).c_str());
    return false;
}

#if !defined(_WIN32)
// The address space a driver may take as it starts: libraries, a compiler, and threads with their
// stacks and heaps.
constexpr std::uint64_t kDriverAddressSpace = std::uint64_t{256} << 20;

// False, with a line, when the process's address-space limit (ulimit -v) leaves less than a driver
// may take: one that runs out while it starts may end the process (PoCL aborts when it cannot start
// its threads), where without it the rows go to the emulated device and any later shortage is
// reported as such.
bool address_space_left_for_a_driver()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long long pages = 0;
    const bool read = statm && std::fscanf(statm, "%llu", &pages) == 1;
    if (statm) std::fclose(statm);
    if (!read) return true;
    const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    if (used + kDriverAddressSpace <= limit.rlim_cur) return true;
    std::fprintf(stderr, "vantreo: too little address space is left under the process's limit (ulimit -v) to start an "
                         "OpenCL driver; the device rows run on the emulated device\n");
    return false;
}
#endif

bool open_library(Api& api)
{
    const char* override_name = std::getenv("VANTREO_TEST_OPENCL_LIBRARY");
    const bool overridden = override_name && *override_name;
    if (overridden && !openable_library(override_name)) return false;
#if defined(_WIN32)
    HMODULE library = LoadLibraryA(overridden ? override_name : "OpenCL.dll");
    if (!library) return false;
    const auto symbol = [library](const char* name) { return reinterpret_cast<void*>(GetProcAddress(library, name)); };
#else
    if (!address_space_left_for_a_driver()) return false;
    void* library = dlopen(overridden ? override_name : "libOpenCL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    const auto symbol = [library](const char* name) { return dlsym(library, name); };
#endif
    bool complete = true;
#define VANTREO_LOAD_ENTRY(name)                                               \
    api.name = reinterpret_cast<decltype(api.name)>(symbol(#name));            \
    complete = complete && api.name != nullptr;
    VANTREO_OPENCL_ENTRIES(VANTREO_LOAD_ENTRY)
#undef VANTREO_LOAD_ENTRY
    // The library stays loaded for the rest of the process: its objects live as long.
    return complete;
}

std::string device_text(const Api& api, cl_device_id id, cl_device_info what)
{
    std::size_t size = 0;
    if (api.clGetDeviceInfo(id, what, 0, nullptr, &size) != CL_SUCCESS || size == 0 || size > kLongestDeviceText)
        return {};
    std::string text(size, '\0');
    if (api.clGetDeviceInfo(id, what, size, &text[0], nullptr) != CL_SUCCESS) return {};
    text.resize(std::strlen(text.c_str()));
    return text;
}

template <class T> T device_value(const Api& api, cl_device_id id, cl_device_info what)
{
    T value{};
    if (api.clGetDeviceInfo(id, what, sizeof value, &value, nullptr) != CL_SUCCESS) return T{};
    return value;
}

// A device the runtime can use: available, with a compiler, and a context and queue of its own.
bool open_device(const Api& api, cl_device_id id, Device* device)
{
    if (!device_value<cl_bool>(api, id, CL_DEVICE_AVAILABLE) || !device_value<cl_bool>(api, id, CL_DEVICE_COMPILER_AVAILABLE))
        return false;
    // Shown in messages and lists as it is safe to show.
    device->name = printable_text(device_text(api, id, CL_DEVICE_NAME));
    if (device->name.empty()) return false;  // a driver that cannot say its device's name
    cl_int error = CL_SUCCESS;
    cl_context context = api.clCreateContext(nullptr, 1, &id, nullptr, nullptr, &error);
    if (!context || error != CL_SUCCESS) return false;
    cl_command_queue queue = api.clCreateCommandQueue(context, id, 0, &error);
    if (!queue || error != CL_SUCCESS) return false;  // the context stays: nothing is ever released at the end
    device->id = id;
    device->context = context;
    device->queue = queue;
    device->global_bytes = device_value<cl_ulong>(api, id, CL_DEVICE_GLOBAL_MEM_SIZE);
    device->max_work_group = device_value<std::size_t>(api, id, CL_DEVICE_MAX_WORK_GROUP_SIZE);
    device->compute_units = device_value<cl_uint>(api, id, CL_DEVICE_MAX_COMPUTE_UNITS);
    return true;
}

void list_usable_devices(Backend& b)
{
    if (!open_library(b.api)) return;
    cl_uint platform_count = 0;
    if (b.api.clGetPlatformIDs(0, nullptr, &platform_count) != CL_SUCCESS || platform_count == 0 ||
        platform_count > kMostPlatforms)
        return;
    std::vector<cl_platform_id> platforms(platform_count);
    if (b.api.clGetPlatformIDs(platform_count, platforms.data(), nullptr) != CL_SUCCESS) return;
    const char* cpu = std::getenv("VANTREO_OPENCL_CPU");
    const bool with_cpu = cpu && std::strcmp(cpu, "1") == 0;
    // GPUs and accelerators first, then CPU devices.
    for (const cl_device_type type : {cl_device_type{CL_DEVICE_TYPE_GPU | CL_DEVICE_TYPE_ACCELERATOR},
                                      cl_device_type{CL_DEVICE_TYPE_CPU}}) {
        if (type == CL_DEVICE_TYPE_CPU && !with_cpu) continue;
        for (cl_platform_id platform : platforms) {
            cl_uint count = 0;
            if (b.api.clGetDeviceIDs(platform, type, 0, nullptr, &count) != CL_SUCCESS || count == 0 ||
                count > kMostDevices)
                continue;
            std::vector<cl_device_id> ids(count);
            if (b.api.clGetDeviceIDs(platform, type, count, ids.data(), nullptr) != CL_SUCCESS) continue;
            for (cl_device_id id : ids) {
                Device device;
                if (open_device(b.api, id, &device)) b.devices.push_back(std::move(device));
            }
        }
    }
}

// Lists the devices once. Whatever stops the listing (memory, a driver that throws), OpenCL then
// offers no device and the emulated device is the one left.
void list_devices(Backend& b)
{
    b.listed = true;
    try {
        list_usable_devices(b);
    } catch (...) {
        b.devices.clear();
    }
}

Backend& listed_backend()
{
    Backend& b = backend();
    if (!b.listed) list_devices(b);
    return b;
}

// Leaves a device for the rest of the run, with one line.
void leave(Device& device, const char* call, cl_int code)
{
    device.left = true;
    std::fprintf(stderr,
                 "vantreo: OpenCL device \"%s\" left after %s failed (error %d, %u failures in a row); its rows go to "
                 "the CPU for the rest of the run\n",
                 device.name.c_str(), call, static_cast<int>(code), device.consecutive_failures);
}

// Counts a failed call on `device`; after too many in a row the device is left.
cudaError_t failed(Device& device, cudaError_t error, const char* call, cl_int code)
{
    if (!device.left && ++device.consecutive_failures >= kFailuresBeforeLeaving) leave(device, call, code);
    return error;
}

cudaError_t checked(Device& device, cl_int code, const char* call, cudaError_t error = cudaErrorLaunchFailure)
{
    return code == CL_SUCCESS ? cudaSuccess : failed(device, error, call, code);
}

}  // namespace

namespace {

Device& device_of(const Buffer* buffer) { return backend().devices[static_cast<std::size_t>(buffer->device)]; }

// The program of `image` on `device`, built at its first use; null when the build failed, which
// leaves the device (a build that failed fails again), its log on stderr.
Program* built_program(Device& device, const ocl::Image& image)
{
    auto found = device.programs.find(&image);
    if (found != device.programs.end()) return &found->second;
    Api& api = backend().api;
    const std::string source =
        std::string(injected(ocl::Failure::Build) ? "#error injected build failure\n" : "") + image.source;
    const char* text = source.c_str();
    cl_int error = CL_SUCCESS;
    cl_program program = api.clCreateProgramWithSource(device.context, 1, &text, nullptr, &error);
    if (!program || error != CL_SUCCESS) {
        failed(device, cudaErrorLaunchFailure, "clCreateProgramWithSource", error);
        return nullptr;
    }
    // Contraction is off in the source; no option may relax the arithmetic.
    error = api.clBuildProgram(program, 1, &device.id, "-cl-std=CL1.2", nullptr, nullptr);
    if (error != CL_SUCCESS) {
        std::size_t size = 0;
        api.clGetProgramBuildInfo(program, device.id, CL_PROGRAM_BUILD_LOG, 0, nullptr, &size);
        std::string log;
        if (size > kLongestBuildLog)
            log = "(a log of " + std::to_string(size) + " bytes, not shown)";
        else if (size > 0) {
            log.assign(size, '\0');
            api.clGetProgramBuildInfo(program, device.id, CL_PROGRAM_BUILD_LOG, size, &log[0], nullptr);
        }
        std::fprintf(stderr, "vantreo: the kernels failed to build on OpenCL device \"%s\" (error %d):\n%s\n",
                     device.name.c_str(), static_cast<int>(error), log.c_str());
        api.clReleaseProgram(program);
        ++device.consecutive_failures;
        leave(device, "clBuildProgram", error);  // the same build would fail again
        return nullptr;
    }
    Program& built = device.programs[&image];
    built.program = program;
    return &built;
}

cl_kernel kernel_of(Device& device, Program& program, const char* entry)
{
    auto found = program.kernels.find(entry);
    if (found != program.kernels.end()) return found->second;
    cl_int error = CL_SUCCESS;
    cl_kernel kernel = backend().api.clCreateKernel(program.program, entry, &error);
    if (!kernel || error != CL_SUCCESS) {
        failed(device, cudaErrorLaunchFailure, "clCreateKernel", error);
        return nullptr;
    }
    program.kernels.emplace(entry, kernel);
    return kernel;
}

template <class T> T read_value(const unsigned char* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Sets the kernel's arguments as the image lists them; false when one names nothing the device holds.
bool set_arguments(Device& device, cl_kernel kernel, const ocl::ImageKernel& entry, const Launch& call)
{
    Api& api = backend().api;
    cl_uint index = 0;
    cl_int status = CL_SUCCESS;
    const auto set = [&](std::size_t size, const void* value) {
        if (status == CL_SUCCESS) status = api.clSetKernelArg(kernel, index, size, value);
        ++index;
    };
    for (int i = 0; i < entry.argument_count; ++i) {
        const ocl::KernelArgument& argument = entry.arguments[i];
        switch (argument.kind) {
        case ocl::ArgumentKind::Constant:
            if (std::uint64_t{argument.offset} + argument.size > call.constant_bytes) return false;
            set(argument.size, call.constants + argument.offset);
            break;
        case ocl::ArgumentKind::ConstantBuffer:
        case ocl::ArgumentKind::ArgumentBuffer: {
            const bool from_constants = argument.kind == ocl::ArgumentKind::ConstantBuffer;
            const unsigned char* bytes = from_constants ? call.constants : call.arguments;
            const std::uint32_t available = from_constants ? call.constant_bytes : call.argument_bytes;
            if (argument.size != sizeof(void*) || std::uint64_t{argument.offset} + argument.size > available) return false;
            const Buffer* buffer = call.buffer_at(reinterpret_cast<std::uintptr_t>(read_value<void*>(bytes + argument.offset)));
            if (!buffer || buffer->device != static_cast<int>(&device - backend().devices.data())) return false;
            set(sizeof(cl_mem), &buffer->mem);
            break;
        }
        case ocl::ArgumentKind::Texture: {
            if (argument.offset >= static_cast<std::uint32_t>(emu::kTextureUnits)) return false;
            const TextureArgument& texture = call.textures[argument.offset];
            if (!texture.elements || texture.element_bytes != static_cast<std::int32_t>(argument.size)) return false;
            set(sizeof(cl_mem), &texture.elements->mem);
            set(sizeof(cl_int), &texture.width);
            set(sizeof(cl_int), &texture.height);
            break;
        }
        case ocl::ArgumentKind::SharedMemory:
            set(std::max<std::size_t>(call.shared_bytes, 1), nullptr);
            break;
        }
    }
    return status == CL_SUCCESS;
}

}  // namespace

int device_count()
{
    const Backend& b = backend();
    return !b.listed && b.closed ? 0 : static_cast<int>(listed_backend().devices.size());
}

void keep_closed(bool closed) { backend().closed = closed; }

void device_properties(int device, cudaDeviceProp* prop)
{
    const Device& d = listed_backend().devices[static_cast<std::size_t>(device)];
    std::snprintf(prop->name, sizeof prop->name, "%s", d.name.c_str());
    prop->totalGlobalMem = static_cast<std::size_t>(std::min<cl_ulong>(d.global_bytes, SIZE_MAX));
    prop->maxThreadsPerBlock = static_cast<int>(std::min<std::size_t>(d.max_work_group, kMaxThreadsPerBlock));
    prop->maxThreadsDim[0] = prop->maxThreadsPerBlock;
    prop->multiProcessorCount = static_cast<int>(d.compute_units);
    prop->major = 1;
    prop->minor = 0;
}

Buffer* create_buffer(int device, std::size_t bytes)
{
    Backend& b = listed_backend();
    Device& d = b.devices[static_cast<std::size_t>(device)];
    if (d.left) return nullptr;
    cl_int error = CL_MEM_OBJECT_ALLOCATION_FAILURE;
    cl_mem mem = injected(ocl::Failure::CreateBuffer)
                     ? nullptr
                     : b.api.clCreateBuffer(d.context, CL_MEM_READ_WRITE, bytes, nullptr, &error);
    if (!mem || error != CL_SUCCESS) {
        failed(d, cudaErrorMemoryAllocation, "clCreateBuffer", error);
        return nullptr;
    }
    // Short of host memory for the record, the device is not at fault.
    Buffer* buffer = new (std::nothrow) Buffer{device, mem};
    if (!buffer) b.api.clReleaseMemObject(mem);
    return buffer;
}

void release_buffer(Buffer* buffer)
{
    backend().api.clReleaseMemObject(buffer->mem);
    delete buffer;
}

// One transfer enqueued (and waited for) on the buffer's device: refused at once by a device that was
// left; a failure, or an injected one of `kind`, counts against the device.
template <class Enqueue>
cudaError_t transfer(const Buffer* buffer, ocl::Failure kind, const char* call, Enqueue enqueue)
{
    Device& d = device_of(buffer);
    if (d.left) return cudaErrorLaunchFailure;
    return checked(d, injected(kind) ? CL_OUT_OF_RESOURCES : enqueue(backend().api, d.queue), call);
}

cudaError_t fill(Buffer* buffer, std::size_t offset, std::size_t count, unsigned char value)
{
    return transfer(buffer, ocl::Failure::Write, "clEnqueueFillBuffer", [&](const Api& api, cl_command_queue queue) {
        return api.clEnqueueFillBuffer(queue, buffer->mem, &value, 1, offset, count, 0, nullptr, nullptr);
    });
}

cudaError_t write(Buffer* buffer, std::size_t offset, const void* src, std::size_t count)
{
    return transfer(buffer, ocl::Failure::Write, "clEnqueueWriteBuffer", [&](const Api& api, cl_command_queue queue) {
        return api.clEnqueueWriteBuffer(queue, buffer->mem, CL_TRUE, offset, count, src, 0, nullptr, nullptr);
    });
}

cudaError_t write_rows(Buffer* buffer, std::size_t offset, std::size_t dpitch, const void* src, std::size_t spitch,
                       std::size_t width, std::size_t height)
{
    const std::size_t buffer_origin[3] = {offset % dpitch, offset / dpitch, 0};
    const std::size_t host_origin[3] = {0, 0, 0};
    const std::size_t region[3] = {width, height, 1};
    return transfer(buffer, ocl::Failure::Write, "clEnqueueWriteBufferRect", [&](const Api& api, cl_command_queue queue) {
        return api.clEnqueueWriteBufferRect(queue, buffer->mem, CL_TRUE, buffer_origin, host_origin, region, dpitch, 0,
                                            spitch, 0, src, 0, nullptr, nullptr);
    });
}

cudaError_t read(const Buffer* buffer, std::size_t offset, void* dst, std::size_t count)
{
    return transfer(buffer, ocl::Failure::Read, "clEnqueueReadBuffer", [&](const Api& api, cl_command_queue queue) {
        return api.clEnqueueReadBuffer(queue, buffer->mem, CL_TRUE, offset, count, dst, 0, nullptr, nullptr);
    });
}

cudaError_t copy(const Buffer* from, std::size_t from_offset, Buffer* to, std::size_t to_offset, std::size_t count)
{
    Device& d = device_of(to);
    if (d.left) return cudaErrorLaunchFailure;
    if (from->device != to->device) return cudaErrorInvalidValue;
    const cl_int error =
        backend().api.clEnqueueCopyBuffer(d.queue, from->mem, to->mem, from_offset, to_offset, count, 0, nullptr, nullptr);
    return checked(d, error, "clEnqueueCopyBuffer");
}

cudaError_t launch(int device, const ocl::Image& image, const LaunchGeometry& geometry, const Launch& call)
{
    Backend& b = listed_backend();
    Device& d = b.devices[static_cast<std::size_t>(device)];
    if (d.left) return cudaErrorLaunchFailure;
    const ocl::ImageKernel* entry = nullptr;
    for (int i = 0; i < image.kernel_count; ++i)
        if (std::strcmp(image.kernels[i].name, call.kernel_name) == 0) entry = &image.kernels[i];
    if (!entry) return cudaErrorInvalidDeviceFunction;
    if (std::size_t{geometry.block.x} * geometry.block.y * geometry.block.z > d.max_work_group)
        return cudaErrorInvalidConfiguration;
    Program* program = built_program(d, image);
    if (!program) return cudaErrorLaunchFailure;
    cl_kernel kernel = kernel_of(d, *program, entry->entry);
    if (!kernel) return cudaErrorLaunchFailure;
    if (!set_arguments(d, kernel, *entry, call)) return cudaErrorLaunchFailure;
    const std::size_t local[3] = {geometry.block.x, geometry.block.y, geometry.block.z};
    const std::size_t global[3] = {std::size_t{geometry.grid.x} * geometry.block.x,
                                   std::size_t{geometry.grid.y} * geometry.block.y, geometry.block.z};
    const cl_int error = injected(ocl::Failure::Launch)
                             ? CL_OUT_OF_RESOURCES
                             : b.api.clEnqueueNDRangeKernel(d.queue, kernel, 3, nullptr, global, local, 0, nullptr, nullptr);
    if (error != CL_SUCCESS) return failed(d, cudaErrorLaunchOutOfResources, "clEnqueueNDRangeKernel", error);
    d.launch_pending = true;
    return cudaSuccess;
}

cudaError_t synchronize(int device)
{
    Backend& b = listed_backend();
    Device& d = b.devices[static_cast<std::size_t>(device)];
    if (d.left) return cudaErrorLaunchFailure;
    const cl_int error = injected(ocl::Failure::Finish) ? CL_OUT_OF_RESOURCES : b.api.clFinish(d.queue);
    const bool had_launch = d.launch_pending;
    d.launch_pending = false;
    if (error != CL_SUCCESS) return failed(d, cudaErrorLaunchFailure, "clFinish", error);
    if (had_launch) {
        ++b.completed_launches;
        d.consecutive_failures = 0;  // a launch that ran to its end: the device works
    }
    return cudaSuccess;
}

std::uint64_t completed_launches() { return backend().completed_launches; }

void fail_next(ocl::Failure failure, unsigned skip)
{
    Backend& b = backend();
    const auto kind = static_cast<std::size_t>(failure);
    b.failing[kind].insert(b.calls[kind] + 1 + skip);
}

void reset_devices()
{
    Backend& b = backend();
    for (auto& failing : b.failing) failing.clear();
    for (Device& d : b.devices) {
        for (auto& [image, program] : d.programs) {
            for (auto& [name, kernel] : program.kernels) b.api.clReleaseKernel(kernel);
            b.api.clReleaseProgram(program.program);
        }
        d.programs.clear();
        d.consecutive_failures = 0;
        d.left = false;
        d.launch_pending = false;
    }
}

}  // namespace opencl
}  // namespace vantreo_runtime
