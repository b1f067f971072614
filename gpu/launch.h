// The device band of a frame: upload the source, run the kernel, copy the band back.
#pragma once

#include <cstdint>

#include "platform/cuda/cuda_runtime.h"
#include "plugin/filter_records.h"

// Copies `rows` rows of the clipped picture (`picture` is its top row, at frame column 0) into the
// source array, its columns only, and binds the array to gTextureSrc.
cudaError_t upload_source_frame(const PIXEL_YC* picture, std::int32_t rows);

// Runs calcDestPixelsKernel over the band and waits for it; a failed configuration skips the launch.
cudaError_t launch_resample_kernel();

// Copies the first `bytes` of the destination buffer (whole rows) into `dst`.
cudaError_t download_gpu_rows(PIXEL_YC* dst, std::uint32_t bytes);
