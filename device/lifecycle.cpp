#include "device/lifecycle.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/device_module.h"
#include "platform/cutil/cutil.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Set by start-up (or a test) while no launch runs; read by launches on the device's threads.
std::atomic<CpuLevel> emulated_level{best_cpu_level()};

// The host passes no command line; options are looked up in this fixed one, where none is present.
const char* host_arguments[] = {"aviutl.exe"};
constexpr int kHostArgumentCount = 1;

// The device asked for, one of `count`: VANTREO_DEVICE, which a program that loads the plug-in sets
// to choose one (vantreo-host --device N), else the "device" option (past the last device, the last
// one), else 0. A VANTREO_DEVICE that names none of the devices costs one line and gives device 0.
int requested_device(int count)
{
    const char* chosen = std::getenv("VANTREO_DEVICE");
    if (chosen) {
        int device = -1;
        const std::string option = std::string("--device=") + chosen;
        const char* arguments[] = {host_arguments[0], option.c_str()};
        if (cutGetCmdLineArgumenti(2, arguments, "device", &device) && device >= 0 && device < count) return device;
        std::fprintf(stderr, "Vantreo: VANTREO_DEVICE names none of the %d devices (0..%d); using device 0\n", count,
                     count - 1);
        return 0;
    }
    int device = 0;
    cutGetCmdLineArgumenti(kHostArgumentCount, host_arguments, "device", &device);
    return device < 0 ? 0 : device > count - 1 ? count - 1 : device;
}

bool console_on_both_ends()
{
#if defined(_WIN32)
    return _isatty(_fileno(stdin)) && _isatty(_fileno(stdout));
#else
    return isatty(fileno(stdin)) && isatty(fileno(stdout));
#endif
}

void set_point_sampling(textureReference& texture_ref)
{
    texture_ref.normalized = 0;
    texture_ref.filterMode = cudaFilterModePoint;
}

}  // namespace

bool start_device(std::string* device_name)
{
    vantreoKeepOpenclClosed(0);
    int device_count = 0;  // a failed query reads as no device
    cudaGetDeviceCount(&device_count);
    if (device_count <= 0) {
        std::fprintf(stderr, "cutil error: no devices supporting CUDA.\n");
        return false;
    }
    const int device = requested_device(device_count);

    cudaDeviceProp properties{};  // a failed query reads as a device without compute capability
    cudaGetDeviceProperties(&properties, device);
    if (properties.major < 1) {
        std::fprintf(stderr, "cutil error: device does not support CUDA.\n");
        return false;
    }
    if (!cutCheckCmdLineFlag(kHostArgumentCount, host_arguments, "quiet"))
        std::fprintf(stderr, "Using device %d: %s\n", device, properties.name);
    cudaSetDevice(device);
    if (device_name) *device_name = properties.name;

    set_point_sampling(gTextureStartY);
    set_point_sampling(gTextureStartX);
    set_point_sampling(gTextureWeightY);
    set_point_sampling(gTextureWeightX);
    set_point_sampling(gTextureSrc);
    set_point_sampling(gTextureFilterFirstY);
    set_point_sampling(gTextureFilterFirstX);
    set_point_sampling(gTextureFilterWeightY);
    set_point_sampling(gTextureFilterWeightX);
    for (cudaTextureAddressMode& mode : gTextureSrc.addressMode) mode = cudaAddressModeClamp;

    start_y_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindSigned);
    start_x_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindSigned);
    weight_y_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindFloat);
    weight_x_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindFloat);
    source_desc = cudaCreateChannelDesc(16, 0, 0, 0, cudaChannelFormatKindSigned);
    filter_first_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindSigned);
    filter_weight_desc = cudaCreateChannelDesc(16, 0, 0, 0, cudaChannelFormatKindSigned);
    return true;
}

DeviceStart start_device_when_needed()
{
    if (!std::getenv("VANTREO_DEVICE")) {
        vantreoKeepOpenclClosed(1);
        int device_count = 0;  // without OpenCL's, which would come before them
        cudaGetDeviceCount(&device_count);
        cudaDeviceProp properties{};
        if (device_count >= 1 && cudaGetDeviceProperties(&properties, device_count - 1) == cudaSuccess &&
            properties.major >= 1)
            return DeviceStart::deferred;
    }
    return start_device() ? DeviceStart::chosen : DeviceStart::failed;
}

void prompt_before_exit()
{
    if (cutCheckCmdLineFlag(kHostArgumentCount, host_arguments, "noprompt") || !console_on_both_ends()) return;
    std::fputs("\nPress ENTER to exit...\n", stdout);
    std::fflush(stdout);
    std::fflush(stderr);
    std::getchar();
}

void set_emulated_cpu_level(CpuLevel level) { emulated_level.store(level); }

CpuLevel emulated_cpu_level() { return emulated_level.load(); }
