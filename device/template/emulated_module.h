// The compiled device module handed to the runtime at registration.
#pragma once

#include "platform/cuda/cuda_runtime.h"

extern __cudaFatCudaBinary resample_module_fatbin;
