#include "cpu/point_sampler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "cpu/channel_count.h"

namespace {

// One output row of kChannels-sample pixels. For the editor's 6-byte pixels, columns before
// `wide_end` name source pixels with another pixel of the clipped picture right of them and lie left
// of the row's last pixel: each is copied as 8 bytes, whose last two the next pixel's copy writes
// over, so that the stores stay inside both pictures. Other layouts are copied pixel by pixel.
template <std::int32_t kChannels>
void sample_row(const std::int32_t* cols, std::int32_t wide_end, std::int32_t dst_w, const std::int16_t* src_row,
                std::int16_t* dst_row)
{
    constexpr std::size_t kPixelBytes = 2 * kChannels;
    constexpr std::size_t kCopyBytes = kChannels == 3 ? 8 : kPixelBytes;
    const std::int32_t copied_wide = kChannels == 3 ? wide_end : dst_w;
    std::int32_t x = 0;
    // Unrolled: four independent loads and stores in flight hide each other's latency.
#pragma GCC unroll 4
    for (; x < copied_wide; ++x) {
        unsigned char bytes[kCopyBytes];
        std::memcpy(bytes, src_row + static_cast<std::ptrdiff_t>(cols[x]) * kChannels, kCopyBytes);
        std::memcpy(dst_row + static_cast<std::ptrdiff_t>(x) * kChannels, bytes, kCopyBytes);
    }
    for (; x < dst_w; ++x)
        std::memcpy(dst_row + static_cast<std::ptrdiff_t>(x) * kChannels,
                    src_row + static_cast<std::ptrdiff_t>(cols[x]) * kChannels, kPixelBytes);
}

template <std::int32_t kChannels>
void sample_frame(const ResamplePlan& plan, const std::int16_t* src, std::int16_t* dst)
{
    const ResizeRequest& r = plan.request;
    const std::int32_t* rows = plan.point.rows.source.data();
    const std::int32_t* cols = plan.point.columns.source.data();
    // The columns are non-decreasing: those before the first that names the picture's last column
    // may be copied wide, except the row's last pixel.
    const std::int32_t last_col = r.clip_left + r.src_w - 1;
    const std::int32_t wide_end =
        std::min(static_cast<std::int32_t>(std::lower_bound(cols, cols + r.dst_w, last_col) - cols), r.dst_w - 1);
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(r.stride) * kChannels;
    const std::size_t row_bytes = static_cast<std::size_t>(r.dst_w) * 2 * kChannels;
    for (std::int32_t y = 0; y < r.dst_h; ++y) {
        std::int16_t* dst_row = dst + y * stride;
        // An output row with the same source row as the one above is a copy of it.
        if (y > 0 && rows[y] == rows[y - 1])
            std::memcpy(dst_row, dst_row - stride, row_bytes);
        else
            sample_row<kChannels>(cols, wide_end, r.dst_w, src + rows[y] * stride, dst_row);
    }
}

}  // namespace

void point_sample_frame(const ResamplePlan& plan, const void* src, void* dst)
{
    const auto* from = static_cast<const std::int16_t*>(src);
    auto* to = static_cast<std::int16_t*>(dst);
    with_channels(plan.request.layout, [&](auto channels) { sample_frame<channels()>(plan, from, to); });
}
