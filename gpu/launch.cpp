#include "gpu/launch.h"

#include "gpu/device_module.h"
#include "plan/resample_plan.h"

cudaError_t upload_source_frame(const PIXEL_YC* picture, std::int32_t rows)
{
    const ResizeRequest& r = plan.request;
    cudaMemcpy2DToArray(plan.source_array, 0, 0, picture + r.clip_left, static_cast<std::size_t>(r.stride) * sizeof(PIXEL_YC),
                        static_cast<std::size_t>(r.src_w) * sizeof(PIXEL_YC), static_cast<std::size_t>(rows),
                        cudaMemcpyHostToDevice);
    return cudaBindTextureToArray(&gTextureSrc, plan.source_array, &source_desc);
}

cudaError_t launch_resample_kernel()
{
    const dim3 grid(static_cast<unsigned int>(plan.grid_blocks), 1, 1);
    const dim3 block(static_cast<unsigned int>(plan.request.block_threads), 1, 1);
    if (cudaConfigureCall(grid, block, 0, nullptr) == cudaSuccess) calcDestPixelsKernel();
    return cudaThreadSynchronize();
}

cudaError_t download_gpu_rows(PIXEL_YC* dst, std::uint32_t bytes)
{
    return cudaMemcpy(dst, plan.dest_buffer, bytes, cudaMemcpyDeviceToHost);
}
