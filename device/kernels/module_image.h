// The compiled device module handed to the runtime at registration, and the OpenCL image it carries
// in the stand-in runtime's builds.
#pragma once

#include "platform/device_runtime/cuda_runtime.h"
#include "platform/device_runtime/opencl_image.h"

extern __cudaFatCudaBinary resample_module_fatbin;
extern const ocl::Image resample_opencl_image;
