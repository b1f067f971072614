// The compiled device module handed to the runtime at registration, and the OpenCL image it carries
// in the stand-in runtime's builds.
#pragma once

#include "platform/cuda/cuda_runtime.h"
#include "platform/cuda/opencl_image.h"

extern __cudaFatCudaBinary resample_module_fatbin;
extern const ocl::Image resample_opencl_image;
