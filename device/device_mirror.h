// The device copy of an area-averaging or filter-method plan, and the device band of a frame: the
// kernel's constants, its destination buffer, the window or filter tables behind its textures and the
// array that receives the source picture. The mirror owns these device resources and frees them when
// destroyed.
#pragma once

#include <cstdint>

#include "abi/filter_records.h"
#include "plan/resample_plan.h"
#include "platform/device_runtime/cuda_runtime.h"

class DeviceMirror {
public:
    DeviceMirror() = default;
    ~DeviceMirror() { release(); }
    DeviceMirror(const DeviceMirror&) = delete;
    DeviceMirror& operator=(const DeviceMirror&) = delete;

    // Rewrites the device copy for an area-averaging or filter-method plan: the constants, a new
    // destination buffer (cleared, large enough for every store of the launch), the window tables or
    // the filter tables, and a new source array (cleared, with spare zeros past the picture).
    // Whether every step succeeded is what ready_for() tells afterwards.
    void rebuild(const ResamplePlan& plan);

    // True when the last rebuild was for `plan`'s request, succeeded, and its buffer is still held.
    bool ready_for(const ResamplePlan& plan) const;

    // Frees the destination buffer named by pgcGpuDestPixels, if any, and clears the symbol.
    void release_device_dest();
    // Frees every device resource: the destination buffer, then the arrays.
    void release();

    // The device band of one frame, each step false when the device reports a failure (the band's
    // rows are then not to be trusted). `picture` is the clipped picture's top row. Pictures are in
    // the request's layout.
    [[nodiscard]] bool upload_source_frame(const ResamplePlan& plan, const void* picture);
    [[nodiscard]] bool launch_resample_kernel(const ResamplePlan& plan);
    // Copies rows 0 .. device_rows-1, whole buffer rows (columns past dst_w read zero), into `dst`.
    [[nodiscard]] bool download_device_rows(const ResamplePlan& plan, void* dst);

private:
    [[nodiscard]] bool upload_window_tables(const ResamplePlan& plan);
    [[nodiscard]] bool upload_filter_tables(const ResamplePlan& plan);

    cudaArray* start_y_array_ = nullptr;
    cudaArray* start_x_array_ = nullptr;
    cudaArray* weight_y_array_ = nullptr;
    cudaArray* weight_x_array_ = nullptr;
    cudaArray* filter_first_y_array_ = nullptr;
    cudaArray* filter_first_x_array_ = nullptr;
    cudaArray* filter_weight_y_array_ = nullptr;
    cudaArray* filter_weight_x_array_ = nullptr;
    cudaArray* source_array_ = nullptr;
    PIXEL_YC* dest_buffer_ = nullptr;  // the address pgcGpuDestPixels holds
    ResizeRequest built_for_{};
    bool built_ = false;  // every step of the last rebuild succeeded
};

// Bytes of the destination buffer for `plan`: up to the end of the band's last row or of the
// launch's last store, whichever lies further; UINT64_MAX, which no device can hold, past 64 bits.
std::uint64_t dest_buffer_bytes(const ResamplePlan& plan);
