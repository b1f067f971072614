// The device band of a frame: upload the source, run the kernel, copy the band back.
#include "device/device_mirror.h"
#include "device/device_module.h"

bool DeviceMirror::upload_source_frame(const ResamplePlan& plan, const void* picture)
{
    const ResizeRequest& r = plan.request;
    // Only the rows the band reads, and only the clipped picture's columns.
    const std::int32_t last_row = is_filter_method(r.method)
                                      ? plan.filter.rows.first[plan.device_rows - 1] + plan.filter.rows.taps - 1
                                      : plan.area.rows.last[plan.device_rows - 1];
    const std::size_t rows = static_cast<std::size_t>(last_row) + 1;
    const auto bytes = static_cast<std::size_t>(pixel_bytes(r.layout));
    const std::size_t pitch = static_cast<std::size_t>(r.stride) * bytes;
    return cudaMemcpy2DToArray(source_array_, 0, 0, static_cast<const unsigned char*>(picture) + r.clip_left * bytes,
                               pitch, static_cast<std::size_t>(r.src_w) * bytes, rows,
                               cudaMemcpyHostToDevice) == cudaSuccess &&
           cudaBindTextureToArray(&gTextureSrc, source_array_, &source_desc) == cudaSuccess;
}

bool DeviceMirror::launch_resample_kernel(const ResamplePlan& plan)
{
    const dim3 grid(static_cast<unsigned int>(plan.grid_blocks), 1, 1);
    const dim3 block(static_cast<unsigned int>(plan.request.block_threads), 1, 1);
    cudaGetLastError();  // so that only this launch's error is seen below
    const bool configured = cudaConfigureCall(grid, block, 0, nullptr) == cudaSuccess;
    if (configured) {
        if (is_filter_method(plan.request.method))
            calcFilterPixelsKernel();
        else
            calcDestPixelsKernel();
    }
    const bool launched = configured && cudaGetLastError() == cudaSuccess;
    // The wait comes in every case: the kernel must be finished before its buffer is read or replaced.
    const bool finished = cudaThreadSynchronize() == cudaSuccess;
    return launched && finished;
}

bool DeviceMirror::download_device_rows(const ResamplePlan& plan, void* dst)
{
    const std::size_t bytes =
        static_cast<std::size_t>(plan.device_rows) * static_cast<std::size_t>(plan.request.stride) *
        static_cast<std::size_t>(pixel_bytes(plan.request.layout));
    return cudaMemcpy(dst, dest_buffer_, bytes, cudaMemcpyDeviceToHost) == cudaSuccess;
}
