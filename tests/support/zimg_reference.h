// zimg's float resize of one plane with the filter methods' kernels (Catmull-Rom as bicubic with
// b = 0, c = 0.5, Lanczos with 3 taps) and the same centre alignment: the outside check of what the
// integer rule computes, for the tests and the filter benchmark.
#pragma once

#include <zimg.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <tuple>
#include <vector>

#include "plan/resize_request.h"

namespace zimg_reference {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using AlignedFloats = std::unique_ptr<float[], FreeDeleter>;

// 64-byte aligned room for `count` floats, as zimg asks.
inline AlignedFloats aligned_floats(std::size_t count)
{
    const std::size_t bytes = (count * sizeof(float) + 63) / 64 * 64;
    return AlignedFloats(static_cast<float*>(std::aligned_alloc(64, bytes)));
}

// zimg's resize of one grey plane by the same filter as `method`: 16-bit words or floats. Null when
// zimg cannot build it.
inline zimg_filter_graph* zimg_graph(ResizeMethod method, std::int32_t src_w, std::int32_t src_h, std::int32_t dst_w,
                                     std::int32_t dst_h, zimg_pixel_type_e pixel_type)
{
    zimg_image_format in, out;
    zimg_image_format_default(&in, ZIMG_API_VERSION);
    zimg_image_format_default(&out, ZIMG_API_VERSION);
    for (auto [format, w, h] : {std::tuple{&in, src_w, src_h}, std::tuple{&out, dst_w, dst_h}}) {
        format->width = static_cast<unsigned>(w);
        format->height = static_cast<unsigned>(h);
        format->pixel_type = pixel_type;
        format->color_family = ZIMG_COLOR_GREY;
        format->depth = pixel_type == ZIMG_PIXEL_WORD ? 16 : 32;
    }
    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    const bool lanczos = method == ResizeMethod::lanczos3;
    params.resample_filter = lanczos ? ZIMG_RESIZE_LANCZOS : ZIMG_RESIZE_BICUBIC;
    params.filter_param_a = lanczos ? 3.0 : 0.0;
    params.filter_param_b = 0.5;
    return zimg_filter_graph_build(&in, &out, &params);
}

// One plane resized by zimg in float: `src` holds src_w x src_h values, rows packed, and so does the
// result; empty when zimg failed.
inline std::vector<float> zimg_resize(ResizeMethod method, const std::vector<float>& src, std::int32_t src_w,
                                      std::int32_t src_h, std::int32_t dst_w, std::int32_t dst_h)
{
    zimg_filter_graph* graph = zimg_graph(method, src_w, src_h, dst_w, dst_h, ZIMG_PIXEL_FLOAT);
    if (!graph) return {};
    size_t tmp_bytes = 0;
    zimg_filter_graph_get_tmp_size(graph, &tmp_bytes);
    const std::size_t in_stride = (static_cast<std::size_t>(src_w) + 15) / 16 * 16;
    const std::size_t out_stride = (static_cast<std::size_t>(dst_w) + 15) / 16 * 16;
    AlignedFloats in_plane = aligned_floats(in_stride * src_h), out_plane = aligned_floats(out_stride * dst_h);
    AlignedFloats tmp = aligned_floats(tmp_bytes / sizeof(float) + 1);
    for (std::int32_t k = 0; k < src_h; ++k)
        std::copy_n(&src[static_cast<std::size_t>(k) * src_w], src_w, &in_plane[k * in_stride]);
    zimg_image_buffer_const in_buffer = {ZIMG_API_VERSION, {}};
    in_buffer.plane[0] = {in_plane.get(), static_cast<ptrdiff_t>(in_stride * sizeof(float)), ZIMG_BUFFER_MAX};
    zimg_image_buffer out_buffer = {ZIMG_API_VERSION, {}};
    out_buffer.plane[0] = {out_plane.get(), static_cast<ptrdiff_t>(out_stride * sizeof(float)), ZIMG_BUFFER_MAX};
    const bool done = zimg_filter_graph_process(graph, &in_buffer, &out_buffer, tmp.get(), nullptr, nullptr, nullptr,
                                                nullptr) == ZIMG_ERROR_SUCCESS;
    zimg_filter_graph_free(graph);
    if (!done) return {};
    std::vector<float> result(static_cast<std::size_t>(dst_w) * dst_h);
    for (std::int32_t i = 0; i < dst_h; ++i)
        std::copy_n(&out_plane[i * out_stride], dst_w, &result[static_cast<std::size_t>(i) * dst_w]);
    return result;
}

// Whether output j's kernel stays inside the source: farther from the edges than the filter reaches.
inline bool away_from_edges(ResizeMethod method, std::int32_t j, std::int32_t dst, std::int32_t src)
{
    const double ratio = static_cast<double>(src) / dst;
    const double reach = (method == ResizeMethod::lanczos3 ? 3.0 : 2.0) * std::max(ratio, 1.0);
    const double centre = (j + 0.5) * ratio - 0.5;
    return centre - reach >= 0 && centre + reach <= src - 1;
}

}  // namespace zimg_reference
