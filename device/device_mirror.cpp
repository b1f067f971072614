#include "device/device_mirror.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "device/device_module.h"
#include "plan/window_tables.h"

namespace {

// The source array has one zero pixel column right of the clipped picture and one zero row below
// it: the last tap of the last output column or row can lie one float step past the picture, and
// reading zero there (with a weight of the order of 1e-7) agrees with the CPU, which drops that tap.
constexpr std::size_t kSparePixels = 1;

bool write_constant(std::int32_t& shadow, std::int32_t value)
{
    return cudaMemcpyToSymbol(&shadow, &value, sizeof value, 0, cudaMemcpyHostToDevice) == cudaSuccess;
}

bool write_dest_symbol(PIXEL_YC* buffer)
{
    return cudaMemcpyToSymbol(&pgcGpuDestPixels, &buffer, sizeof buffer, 0, cudaMemcpyHostToDevice) == cudaSuccess;
}

// Frees an array, clearing the handle first so that it never names a freed array.
void release_array(cudaArray*& handle)
{
    if (!handle) return;
    cudaArray* freed = handle;
    handle = nullptr;
    cudaFreeArray(freed);
}

bool replace_array(cudaArray*& handle, const cudaChannelFormatDesc& desc, std::size_t width, std::size_t height)
{
    release_array(handle);
    return cudaMallocArray(&handle, &desc, width, height) == cudaSuccess;
}

template <class T>
bool upload_table(cudaArray*& handle, const cudaChannelFormatDesc& desc, const std::vector<T>& table,
                  const textureReference& texture_ref)
{
    return replace_array(handle, desc, table.size(), 1) &&
           cudaMemcpyToArray(handle, 0, 0, table.data(), table.size() * sizeof(T), cudaMemcpyHostToDevice) ==
               cudaSuccess &&
           cudaBindTextureToArray(&texture_ref, handle, &desc) == cudaSuccess;
}

}  // namespace

bool DeviceMirror::upload_window_tables(const ResamplePlan& plan)
{
    const WindowTables tables = build_window_tables(plan);
    return upload_table(start_y_array_, start_y_desc, tables.rows.start, gTextureStartY) &&
           upload_table(start_x_array_, start_x_desc, tables.columns.start, gTextureStartX) &&
           write_constant(gcUnitNumY, tables.rows.taps) &&
           upload_table(weight_y_array_, weight_y_desc, tables.rows.weight, gTextureWeightY) &&
           write_constant(gcUnitNumX, tables.columns.taps) &&
           upload_table(weight_x_array_, weight_x_desc, tables.columns.weight, gTextureWeightX);
}

bool DeviceMirror::upload_filter_tables(const ResamplePlan& plan)
{
    const FilterAxis& rows = plan.filter.rows;
    const FilterAxis& columns = plan.filter.columns;
    // The device's source array holds the clipped picture from its left edge.
    std::vector<std::int32_t> first_x(columns.first);
    for (std::int32_t& first : first_x) first -= plan.request.clip_left;
    return upload_table(filter_first_y_array_, filter_first_desc, rows.first, gTextureFilterFirstY) &&
           upload_table(filter_first_x_array_, filter_first_desc, first_x, gTextureFilterFirstX) &&
           upload_table(filter_weight_y_array_, filter_weight_desc, rows.weight, gTextureFilterWeightY) &&
           upload_table(filter_weight_x_array_, filter_weight_desc, columns.weight, gTextureFilterWeightX) &&
           write_constant(gcFilterTapsY, rows.taps) && write_constant(gcFilterTapsX, columns.taps) &&
           write_constant(gcFilterBitsY, rows.weight_bits) && write_constant(gcFilterBitsX, columns.weight_bits);
}

std::uint64_t dest_buffer_bytes(const ResamplePlan& plan)
{
    const ResizeRequest& r = plan.request;
    const auto stride = static_cast<std::uint64_t>(r.stride);
    const auto dst_w = static_cast<std::uint64_t>(r.dst_w);
    // Both ends in pixels, below 2^63 (every factor is below 2^31); the download reads the band's
    // rows whole.
    const std::uint64_t band_end = static_cast<std::uint64_t>(plan.device_rows) * stride;
    // Thread i of the launch stores pixel (i / dst_w, i % dst_w), the surplus threads of the last block
    // included.
    const std::uint64_t last_thread =
        static_cast<std::uint64_t>(plan.grid_blocks) * static_cast<std::uint64_t>(r.block_threads) - 1;
    const std::uint64_t last_store_end = (last_thread / dst_w) * stride + last_thread % dst_w + 1;
    const std::uint64_t pixels = std::max(band_end, last_store_end);
    const auto bytes = static_cast<std::uint64_t>(pixel_bytes(r.layout));
    return pixels > UINT64_MAX / bytes ? UINT64_MAX : pixels * bytes;
}

void DeviceMirror::rebuild(const ResamplePlan& plan)
{
    const ResizeRequest& r = plan.request;
    built_for_ = r;
    built_ = false;
    if (!write_constant(gcThreadNum, r.block_threads) || !write_constant(gcDestWidth, r.dst_w) ||
        !write_constant(gcMaxWidth, r.stride) || !write_constant(gcChannels, channel_count(r.layout)))
        return;

    release_device_dest();
    void* buffer = nullptr;
    const std::uint64_t wanted = dest_buffer_bytes(plan);
    const auto bytes = static_cast<std::size_t>(wanted);
    // A band larger than the process can address, or than the device holds, goes to the CPU.
    if (bytes != wanted || cudaMalloc(&buffer, bytes) != cudaSuccess) return;
    dest_buffer_ = static_cast<PIXEL_YC*>(buffer);
    // The download copies whole rows: the columns the kernel never writes read as zero.
    if (cudaMemset(buffer, 0, bytes) != cudaSuccess || !write_dest_symbol(dest_buffer_)) return;

    if (!(is_filter_method(r.method) ? upload_filter_tables(plan) : upload_window_tables(plan))) return;

    // The layout's 16-bit elements per pixel; the upload copies the clipped picture's columns only.
    const std::size_t width = (static_cast<std::size_t>(r.src_w) + kSparePixels) * channel_count(r.layout);
    const std::size_t height = static_cast<std::size_t>(r.src_h) + kSparePixels;
    const std::vector<std::int16_t> zeros(width * height, 0);
    built_ = replace_array(source_array_, source_desc, width, height) &&
             cudaMemcpyToArray(source_array_, 0, 0, zeros.data(), zeros.size() * sizeof(std::int16_t),
                               cudaMemcpyHostToDevice) == cudaSuccess;
}

bool DeviceMirror::ready_for(const ResamplePlan& plan) const
{
    return built_ && dest_buffer_ && built_for_ == plan.request;
}

void DeviceMirror::release_device_dest()
{
    if (!dest_buffer_) return;  // the mirror is the symbol's only writer: it names nothing either
    PIXEL_YC* named = nullptr;
    cudaMemcpyFromSymbol(&named, &pgcGpuDestPixels, sizeof named, 0, cudaMemcpyDeviceToHost);
    if (named) {
        cudaFree(named);
        write_dest_symbol(nullptr);
    }
    // A buffer whose address never reached the symbol is freed here.
    if (dest_buffer_ != named) cudaFree(dest_buffer_);
    dest_buffer_ = nullptr;
}

void DeviceMirror::release()
{
    release_device_dest();
    release_array(start_y_array_);
    release_array(start_x_array_);
    release_array(weight_y_array_);
    release_array(weight_x_array_);
    release_array(filter_first_y_array_);
    release_array(filter_first_x_array_);
    release_array(filter_weight_y_array_);
    release_array(filter_weight_x_array_);
    release_array(source_array_);
    built_ = false;
}
