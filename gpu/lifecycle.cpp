#include "gpu/lifecycle.h"

#include <cstdio>
#include <cstdlib>

#include "gpu/device_module.h"
#include "plan/device_mirror.h"
#include "plan/resample_plan.h"
#include "platform/cutil/cutil.h"

namespace {

// The host passes no command line; options are looked up in this fixed one, where none is present.
const char* host_arguments[] = {"aviutl.exe"};
constexpr int kHostArgumentCount = 1;

void set_point_sampling(textureReference& texture_ref)
{
    texture_ref.normalized = 0;
    texture_ref.filterMode = cudaFilterModePoint;
}

}  // namespace

HOST_BOOL VANTREO_CDECL func_init(FILTER*)
{
    int device_count = 0;  // a failed query reads as no device
    cudaGetDeviceCount(&device_count);
    if (device_count <= 0) {
        std::fprintf(stderr, "cutil error: no devices supporting CUDA.\n");
        std::exit(1);
    }
    int device = 0;
    cutGetCmdLineArgumenti(kHostArgumentCount, host_arguments, "device", &device);
    if (device > device_count - 1) device = device_count - 1;

    cudaDeviceProp properties{};  // a failed query reads as a device without compute capability
    cudaGetDeviceProperties(&properties, device);
    if (properties.major < 1) {
        std::fprintf(stderr, "cutil error: device does not support CUDA.\n");
        std::exit(1);
    }
    if (!cutCheckCmdLineFlag(kHostArgumentCount, host_arguments, "quiet"))
        std::fprintf(stderr, "Using device %d: %s\n", device, properties.name);
    cudaSetDevice(device);

    set_point_sampling(gTextureStartY);
    set_point_sampling(gTextureStartX);
    set_point_sampling(gTextureWeightY);
    set_point_sampling(gTextureWeightX);
    set_point_sampling(gTextureSrc);
    for (cudaTextureAddressMode& mode : gTextureSrc.addressMode) mode = cudaAddressModeClamp;

    start_y_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindSigned);
    start_x_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindSigned);
    weight_y_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindFloat);
    weight_x_desc = cudaCreateChannelDesc(32, 0, 0, 0, cudaChannelFormatKindFloat);
    source_desc = cudaCreateChannelDesc(16, 0, 0, 0, cudaChannelFormatKindSigned);
    return 1;
}

HOST_BOOL VANTREO_CDECL func_exit(FILTER*)
{
    plan.request.src_w = 0;
    plan.request.src_h = 0;
    plan.request.dst_w = 0;
    plan.request.dst_h = 0;
    plan.request.method = 0;
    release_device_dest();
    release_array(plan.start_y_array);
    release_array(plan.start_x_array);
    release_array(plan.weight_y_array);
    release_array(plan.weight_x_array);
    release_array(plan.source_array);

    if (!cutCheckCmdLineFlag(kHostArgumentCount, host_arguments, "noprompt")) {
        std::fputs("\nPress ENTER to exit...\n", stdout);
        std::fflush(stdout);
        std::fflush(stderr);
        std::getchar();
    }
    std::exit(0);
}
