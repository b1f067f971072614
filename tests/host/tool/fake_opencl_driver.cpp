// An OpenCL library that reports nonsense, loaded in place of the system's through
// VANTREO_TEST_OPENCL_LIBRARY. VANTREO_TEST_FAKE_OPENCL says what it gets wrong:
//   platforms  a platform count of 0xFFFFFFFF
//   devices    a device count of 0xFFFFFFFF
//   name       a device name longer than any memory
//   build-log  every build fails, with a log longer than any memory
// Otherwise it offers one GPU, "Fake OpenCL device", whose buffers and copies succeed.
#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool fails(const char* mode)
{
    const char* value = std::getenv("VANTREO_TEST_FAKE_OPENCL");
    return value && std::strcmp(value, mode) == 0;
}

constexpr std::size_t kEndlessSize = SIZE_MAX / 2;
constexpr char kName[] = "Fake OpenCL device";

// Distinct non-null handles: the library never looks behind them.
template <class Handle> Handle handle(std::uintptr_t n) { return reinterpret_cast<Handle>(n); }

template <class Handle> Handle made(cl_int* error, std::uintptr_t n)
{
    if (error) *error = CL_SUCCESS;
    return handle<Handle>(n);
}

}  // namespace

extern "C" {

CL_API_ENTRY cl_int CL_API_CALL clGetPlatformIDs(cl_uint, cl_platform_id* platforms, cl_uint* count)
{
    if (count) *count = fails("platforms") ? 0xFFFFFFFFu : 1;
    if (platforms) platforms[0] = handle<cl_platform_id>(1);
    return CL_SUCCESS;
}

CL_API_ENTRY cl_int CL_API_CALL clGetDeviceIDs(cl_platform_id, cl_device_type type, cl_uint, cl_device_id* devices,
                                               cl_uint* count)
{
    if (!(type & CL_DEVICE_TYPE_GPU)) return CL_DEVICE_NOT_FOUND;
    if (count) *count = fails("devices") ? 0xFFFFFFFFu : 1;
    if (devices) devices[0] = handle<cl_device_id>(2);
    return CL_SUCCESS;
}

CL_API_ENTRY cl_int CL_API_CALL clGetDeviceInfo(cl_device_id, cl_device_info what, std::size_t size, void* value,
                                                std::size_t* size_ret)
{
    const auto answer = [&](const void* data, std::size_t bytes) {
        if (size_ret) *size_ret = bytes;
        if (value && size >= bytes) std::memcpy(value, data, bytes);
        return CL_SUCCESS;
    };
    const cl_bool yes = CL_TRUE;
    const cl_ulong memory = cl_ulong{1} << 30;
    const std::size_t work_group = 256;
    const cl_uint units = 4;
    switch (what) {
    case CL_DEVICE_AVAILABLE:
    case CL_DEVICE_COMPILER_AVAILABLE: return answer(&yes, sizeof yes);
    case CL_DEVICE_NAME:
        if (fails("name")) {
            if (size_ret) *size_ret = kEndlessSize;
            return value ? CL_INVALID_VALUE : CL_SUCCESS;
        }
        return answer(kName, sizeof kName);
    case CL_DEVICE_GLOBAL_MEM_SIZE: return answer(&memory, sizeof memory);
    case CL_DEVICE_MAX_WORK_GROUP_SIZE: return answer(&work_group, sizeof work_group);
    case CL_DEVICE_MAX_COMPUTE_UNITS: return answer(&units, sizeof units);
    default: return CL_INVALID_VALUE;
    }
}

// Making anything succeeds; copies, releases and launches succeed and do nothing (only the build-log
// case launches, and its build fails first).
CL_API_ENTRY cl_context CL_API_CALL clCreateContext(const cl_context_properties*, cl_uint, const cl_device_id*,
                                                    void(CL_CALLBACK*)(const char*, const void*, std::size_t, void*),
                                                    void*, cl_int* error) { return made<cl_context>(error, 3); }
CL_API_ENTRY cl_command_queue CL_API_CALL clCreateCommandQueue(cl_context, cl_device_id, cl_command_queue_properties,
                                                              cl_int* error) { return made<cl_command_queue>(error, 4); }
CL_API_ENTRY cl_mem CL_API_CALL clCreateBuffer(cl_context, cl_mem_flags, std::size_t, void*, cl_int* error)
{
    return made<cl_mem>(error, 5);
}
CL_API_ENTRY cl_program CL_API_CALL clCreateProgramWithSource(cl_context, cl_uint, const char**, const std::size_t*,
                                                              cl_int* error) { return made<cl_program>(error, 6); }
CL_API_ENTRY cl_kernel CL_API_CALL clCreateKernel(cl_program, const char*, cl_int* error)
{
    return made<cl_kernel>(error, 7);
}
CL_API_ENTRY cl_int CL_API_CALL clReleaseMemObject(cl_mem) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clReleaseProgram(cl_program) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clReleaseKernel(cl_kernel) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clSetKernelArg(cl_kernel, cl_uint, std::size_t, const void*) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clFinish(cl_command_queue) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clEnqueueWriteBuffer(cl_command_queue, cl_mem, cl_bool, std::size_t, std::size_t,
                                                     const void*, cl_uint, const cl_event*, cl_event*) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clEnqueueWriteBufferRect(cl_command_queue, cl_mem, cl_bool, const std::size_t*,
                                                         const std::size_t*, const std::size_t*, std::size_t,
                                                         std::size_t, std::size_t, std::size_t, const void*, cl_uint,
                                                         const cl_event*, cl_event*) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clEnqueueReadBuffer(cl_command_queue, cl_mem, cl_bool, std::size_t, std::size_t, void*,
                                                    cl_uint, const cl_event*, cl_event*) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clEnqueueCopyBuffer(cl_command_queue, cl_mem, cl_mem, std::size_t, std::size_t,
                                                    std::size_t, cl_uint, const cl_event*, cl_event*) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clEnqueueFillBuffer(cl_command_queue, cl_mem, const void*, std::size_t, std::size_t,
                                                    std::size_t, cl_uint, const cl_event*, cl_event*) { return CL_SUCCESS; }
CL_API_ENTRY cl_int CL_API_CALL clEnqueueNDRangeKernel(cl_command_queue, cl_kernel, cl_uint, const std::size_t*,
                                                       const std::size_t*, const std::size_t*, cl_uint, const cl_event*,
                                                       cl_event*) { return CL_SUCCESS; }

CL_API_ENTRY cl_int CL_API_CALL clBuildProgram(cl_program, cl_uint, const cl_device_id*, const char*,
                                               void(CL_CALLBACK*)(cl_program, void*), void*)
{
    return fails("build-log") ? CL_BUILD_PROGRAM_FAILURE : CL_SUCCESS;
}

CL_API_ENTRY cl_int CL_API_CALL clGetProgramBuildInfo(cl_program, cl_device_id, cl_program_build_info, std::size_t,
                                                      void* value, std::size_t* size_ret)
{
    if (size_ret) *size_ret = kEndlessSize;
    return value ? CL_INVALID_VALUE : CL_SUCCESS;
}

}  // extern "C"
