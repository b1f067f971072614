// The CUDA edge of the device module: the fat binary the build makes of kernels.cu (a cubin for
// each architecture, PTX for the newest), handed to the runtime at registration.
#include "device/kernels/module_image.h"

extern const unsigned char resample_kernels_fatbin[];

__cudaFatCudaBinary resample_module_fatbin = {resample_kernels_fatbin};
