#include "plan/device_mirror.h"

#include <algorithm>

#include "gpu/device_module.h"
#include "plan/resample_plan.h"

namespace {

// The Y tables run this many rows past dst_h, so that the fetches of surplus threads stay inside them.
constexpr std::int32_t kSurplusRows = 512;

void write_constant(std::int32_t& shadow, std::int32_t value)
{
    cudaMemcpyToSymbol(&shadow, &value, sizeof value, 0, cudaMemcpyHostToDevice);
}

void replace_array(cudaArray*& handle, const cudaChannelFormatDesc& desc, std::size_t width, std::size_t height)
{
    release_array(handle);
    cudaMallocArray(&handle, &desc, width, height);
}

template <class T>
void upload_table(cudaArray*& handle, const cudaChannelFormatDesc& desc, const std::vector<T>& table,
                  const textureReference& texture_ref)
{
    replace_array(handle, desc, table.size(), 1);
    cudaMemcpyToArray(handle, 0, 0, table.data(), table.size() * sizeof(T), cudaMemcpyHostToDevice);
    cudaBindTextureToArray(&texture_ref, handle, &desc);
}

}  // namespace

std::uint32_t dest_buffer_bytes()
{
    const ResizeRequest& r = plan.request;
    const std::uint32_t row_bytes = static_cast<std::uint32_t>(r.stride) * sizeof(PIXEL_YC);
    const std::uint32_t rows_and_spare = (static_cast<std::uint32_t>(r.dst_h) + 1) * row_bytes + 1600;
    // The last thread of the launch stores pixel (i / dst_w, i % dst_w) of the buffer.
    const std::uint32_t last_thread = static_cast<std::uint32_t>(plan.grid_blocks * r.block_threads - 1);
    const std::uint32_t last_store_end =
        ((last_thread / r.dst_w) * r.stride + last_thread % r.dst_w + 1) * sizeof(PIXEL_YC);
    return std::max(rows_and_spare, last_store_end);
}

void release_array(cudaArray*& handle)
{
    if (!handle) return;
    cudaArray* freed = handle;
    handle = nullptr;
    cudaFreeArray(freed);
}

void release_device_dest()
{
    PIXEL_YC* dest = nullptr;
    cudaMemcpyFromSymbol(&dest, &pgcGpuDestPixels, sizeof dest, 0, cudaMemcpyDeviceToHost);
    if (dest) {
        cudaFree(dest);
        PIXEL_YC* const none = nullptr;
        cudaMemcpyToSymbol(&pgcGpuDestPixels, &none, sizeof none, 0, cudaMemcpyHostToDevice);
    }
    plan.dest_buffer = nullptr;
}

void write_device_constants_and_dest()
{
    const ResizeRequest& r = plan.request;
    write_constant(gcThreadNum, r.block_threads);
    write_constant(gcDestWidth, r.dst_w);
    write_constant(gcMaxWidth, r.stride);

    release_device_dest();
    void* buffer = nullptr;
    const std::uint32_t bytes = dest_buffer_bytes();
    if (cudaMalloc(&buffer, bytes) == cudaSuccess) {
        // The download copies whole rows: the columns the kernel never writes read as zero.
        cudaMemset(buffer, 0, bytes);
        plan.dest_buffer = static_cast<PIXEL_YC*>(buffer);
    }
    cudaMemcpyToSymbol(&pgcGpuDestPixels, &plan.dest_buffer, sizeof plan.dest_buffer, 0, cudaMemcpyHostToDevice);
}

std::vector<float> tap_weight_rows(float span, std::int32_t taps, std::int32_t count)
{
    std::vector<float> table(static_cast<std::size_t>(count) * taps, 0.0f);
    float start = 0.0f;           // start boundary of the current output
    std::int32_t start_index = 0;  // its integer part: the first source index of the window
    for (std::int32_t j = 0; j < count; ++j) {
        const float end = to_single((j + 1) * static_cast<double>(span));
        const std::int32_t end_index = static_cast<std::int32_t>(end);
        const std::int32_t last = is_exact_integer(end) ? end_index - 1 : end_index;
        for (std::int32_t k = start_index; k <= last && k - start_index < taps; ++k) {
            const double lower = k == start_index ? static_cast<double>(start) : k;
            const double upper = k + 1 < end ? static_cast<double>(k + 1) : static_cast<double>(end);
            table[static_cast<std::size_t>(j) * taps + (k - start_index)] = to_single((upper - lower) / span);
        }
        start = end;
        start_index = end_index;
    }
    return table;
}

void upload_device_tables()
{
    const ResizeRequest& r = plan.request;

    std::vector<std::int32_t> start_y(static_cast<std::size_t>(r.dst_h) + kSurplusRows, 0);
    std::copy(plan.row_first.begin(), plan.row_first.begin() + r.dst_h, start_y.begin());
    upload_table(plan.start_y_array, start_y_desc, start_y, gTextureStartY);

    // Columns counted from the clipped picture's left edge: the source array holds only its columns.
    std::vector<std::int32_t> start_x(static_cast<std::size_t>(r.dst_w));
    for (std::int32_t j = 0; j < r.dst_w; ++j) start_x[j] = plan.col_first[j] - r.clip_left;
    upload_table(plan.start_x_array, start_x_desc, start_x, gTextureStartX);

    const std::int32_t taps_y = static_cast<std::int32_t>(plan.span_y) + 2;
    write_constant(gcUnitNumY, taps_y);
    upload_table(plan.weight_y_array, weight_y_desc, tap_weight_rows(plan.span_y, taps_y, r.dst_h + kSurplusRows),
                 gTextureWeightY);

    const std::int32_t taps_x = static_cast<std::int32_t>(plan.span_x) + 2;
    write_constant(gcUnitNumX, taps_x);
    upload_table(plan.weight_x_array, weight_x_desc, tap_weight_rows(plan.span_x, taps_x, r.dst_w), gTextureWeightX);

    // One spare pixel column and 32 spare rows, all zero: the last tap of the last output row or
    // column can lie one float step past the picture.
    const std::size_t width = (static_cast<std::size_t>(r.stride) + 1) * 3;
    const std::size_t height = static_cast<std::size_t>(r.src_h) + 32;
    replace_array(plan.source_array, source_desc, width, height);
    const std::vector<std::int16_t> zeros(width * height, 0);
    cudaMemcpyToArray(plan.source_array, 0, 0, zeros.data(), zeros.size() * sizeof(std::int16_t),
                      cudaMemcpyHostToDevice);
}

bool device_mirror_complete()
{
    return plan.dest_buffer && plan.start_y_array && plan.start_x_array && plan.weight_y_array &&
           plan.weight_x_array && plan.source_array;
}
