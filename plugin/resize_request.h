// The resolved parameters of one frame.
#pragma once

#include <cstdint>

struct ResizeRequest {
    std::int32_t src_w;          // width of the clipped source picture
    std::int32_t src_h;          // height of the clipped source picture
    std::int32_t dst_w;          // output width
    std::int32_t dst_h;          // output height
    std::int32_t stride;         // pixels per row of both frame buffers (the host's max_w)
    std::int32_t clip_left;      // frame columns left of the clipped picture
    std::int32_t clip_top;       // frame rows above the clipped picture
    std::int32_t method;         // 0 point sampling, 1 area averaging
    std::int32_t block_threads;  // device threads per block
    std::int32_t cpu_threads;    // CPU worker threads
    std::int32_t gpu_rate;       // device share of the output rows, in 256ths
};

inline bool operator==(const ResizeRequest& a, const ResizeRequest& b)
{
    return a.src_w == b.src_w && a.src_h == b.src_h && a.dst_w == b.dst_w && a.dst_h == b.dst_h &&
           a.stride == b.stride && a.clip_left == b.clip_left && a.clip_top == b.clip_top &&
           a.method == b.method && a.block_threads == b.block_threads && a.cpu_threads == b.cpu_threads &&
           a.gpu_rate == b.gpu_rate;
}
inline bool operator!=(const ResizeRequest& a, const ResizeRequest& b) { return !(a == b); }
