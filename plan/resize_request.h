// The resolved parameters of one frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>

// How the output is computed; the values are those of the "Method" track bar.
enum class ResizeMethod : std::int32_t {
    point_sample = 0,  // each output pixel copies the nearest source pixel
    area_average = 1,  // each output pixel is the coverage-weighted mean of the source under it
    bicubic = 2,       // separable Keys cubic (a = -0.5), widened to filter when reducing
    lanczos3 = 3,      // separable Lanczos with three lobes, likewise
};

// Bicubic and Lanczos-3: the methods with a filter kernel of several taps per axis.
inline bool is_filter_method(ResizeMethod method)
{
    return method == ResizeMethod::bicubic || method == ResizeMethod::lanczos3;
}

// How a picture's samples lie in memory: signed 16-bit channels, interleaved pixel by pixel. Every
// method, CPU level and device takes each layout, and each channel is resized as a plane would be.
enum class PixelLayout : std::int32_t {
    editor_frame = 0,  // three channels (Y, Cb, Cr): the editor's PIXEL_YC
    plane = 1,         // one channel: a video plane
    rgba = 2,          // four channels: premultiplied red, green, blue and alpha
};

// The 16-bit samples of one pixel.
constexpr std::int32_t channel_count(PixelLayout layout)
{
    return layout == PixelLayout::plane ? 1 : layout == PixelLayout::rgba ? 4 : 3;
}
constexpr std::int32_t kMaxChannels = 4;
// The bytes of one pixel.
constexpr std::int32_t pixel_bytes(PixelLayout layout) { return 2 * channel_count(layout); }

// The most CPU worker threads a frame runs: the executor keeps its workers in fixed room.
constexpr std::int32_t kMaxCpuThreads = 16;

// The part of the clipped source picture that the output shows, as zimg's active region or Pillow's
// box: in source pixels from the clipped picture's top-left corner, fractional, and free to reach
// past the picture (what lies outside reads the nearest edge pixel). Finite; a side is positive, or 0
// with its left or top 0, which stands for the picture's whole side: value-initialised, the window is
// the whole picture, and the plan's tables are those of a request without one.
struct SourceWindow {
    double left;
    double top;
    double width;
    double height;
};

struct ResizeRequest {
    std::int32_t src_w;          // width of the clipped source picture
    std::int32_t src_h;          // height of the clipped source picture
    std::int32_t dst_w;          // output width
    std::int32_t dst_h;          // output height
    std::int32_t stride;         // pixels per row of both pictures (the editor's max_w)
    std::int32_t clip_left;      // frame columns left of the clipped picture
    std::int32_t clip_top;       // frame rows above the clipped picture
    ResizeMethod method;
    std::int32_t block_threads;  // device threads per block
    std::int32_t cpu_threads;    // CPU worker threads, 1 .. kMaxCpuThreads
    std::int32_t device_rate;    // device share of the output rows, in 256ths
    PixelLayout layout;          // of both pictures; value-initialised, the editor's frame
    SourceWindow window{};       // the initialiser lets a brace list of the fields above stop there
};

// Every field, in order: the one list the comparison (and with it the plan's change test) reads.
inline auto request_fields(const ResizeRequest& r)
{
    return std::tie(r.src_w, r.src_h, r.dst_w, r.dst_h, r.stride, r.clip_left, r.clip_top, r.method, r.block_threads,
                    r.cpu_threads, r.device_rate, r.layout, r.window.left, r.window.top, r.window.width,
                    r.window.height);
}

// The bytes of the fields a tuple of references names. ResizeRequest has no padding, so a field
// missing from request_fields leaves its bytes short of the record's.
template <class Fields>
struct ListedBytes;
template <class... Fields>
struct ListedBytes<std::tuple<Fields...>> {
    static constexpr std::size_t value = (sizeof(Fields) + ...);
};
static_assert(ListedBytes<decltype(request_fields(ResizeRequest{}))>::value == sizeof(ResizeRequest),
              "request_fields lists every field of ResizeRequest");

inline bool operator==(const ResizeRequest& a, const ResizeRequest& b) { return request_fields(a) == request_fields(b); }
inline bool operator!=(const ResizeRequest& a, const ResizeRequest& b) { return !(a == b); }
