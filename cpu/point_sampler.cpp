#include "cpu/point_sampler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Copies one pixel as 8 bytes: the first two bytes of the pixel after `from` are read and written
// over the first two of the pixel after `to`, which the caller writes afterwards.
inline void copy_pixel_wide(PIXEL_YC* to, const PIXEL_YC* from)
{
    std::uint64_t bytes;
    std::memcpy(&bytes, from, sizeof bytes);
    std::memcpy(to, &bytes, sizeof bytes);
}

// One output row. Columns before `wide_end` name source pixels with another pixel of the clipped
// picture right of them and lie left of the row's last pixel, so their wide copies stay inside both
// pictures; the rest are copied as their own 6 bytes.
void sample_row(const std::int32_t* cols, std::int32_t wide_end, std::int32_t dst_w, const PIXEL_YC* src_row,
                PIXEL_YC* dst_row)
{
    std::int32_t x = 0;
    for (; x + 4 <= wide_end; x += 4) {
        copy_pixel_wide(dst_row + x, src_row + cols[x]);
        copy_pixel_wide(dst_row + x + 1, src_row + cols[x + 1]);
        copy_pixel_wide(dst_row + x + 2, src_row + cols[x + 2]);
        copy_pixel_wide(dst_row + x + 3, src_row + cols[x + 3]);
    }
    for (; x < wide_end; ++x) copy_pixel_wide(dst_row + x, src_row + cols[x]);
    for (; x < dst_w; ++x) dst_row[x] = src_row[cols[x]];
}

}  // namespace

void point_sample_frame(const ResamplePlan& plan, const PIXEL_YC* src, PIXEL_YC* dst)
{
    const ResizeRequest& r = plan.request;
    const std::int32_t* rows = plan.rows.point_source.data();
    const std::int32_t* cols = plan.columns.point_source.data();
    // The columns are non-decreasing: those before the first that names the picture's last column
    // may be copied wide, except the row's last pixel.
    const std::int32_t last_col = r.clip_left + r.src_w - 1;
    const std::int32_t wide_end =
        std::min(static_cast<std::int32_t>(std::lower_bound(cols, cols + r.dst_w, last_col) - cols), r.dst_w - 1);
    const std::size_t row_bytes = static_cast<std::size_t>(r.dst_w) * sizeof(PIXEL_YC);
    for (std::int32_t y = 0; y < r.dst_h; ++y) {
        PIXEL_YC* dst_row = dst + static_cast<std::ptrdiff_t>(y) * r.stride;
        // An output row with the same source row as the one above is a copy of it.
        if (y > 0 && rows[y] == rows[y - 1])
            std::memcpy(dst_row, dst_row - r.stride, row_bytes);
        else
            sample_row(cols, wide_end, r.dst_w, src + static_cast<std::ptrdiff_t>(rows[y]) * r.stride, dst_row);
    }
}
