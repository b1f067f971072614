// The tool's frame conversions, each beside a plain copy of the picture's bytes (w x h pixels of the
// host's format) measured in the same run: the physical floor of a conversion that writes or reads them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/video/picture.h"
#include "host/video/y4m_format.h"
#include "host/video/yc_format.h"

namespace {

using namespace vantreo_host;

// The copy's time per frame in each of its runs, by the size of the picture in bytes.
std::map<std::size_t, std::vector<double>>& copy_seconds()
{
    static std::map<std::size_t, std::vector<double>> seconds;
    return seconds;
}

std::size_t picture_bytes(std::int32_t w, std::int32_t h) { return static_cast<std::size_t>(w) * h * sizeof(PIXEL_YC); }

using Clock = std::chrono::steady_clock;

// `start` is when the timed loop began; `bytes` the size of the picture converted.
void report(benchmark::State& state, Clock::time_point start, std::size_t bytes)
{
    const double per_frame =
        std::chrono::duration<double>(Clock::now() - start).count() / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    // Against the median of the copy's runs (--benchmark_repetitions): the ratio as steady as the times.
    const auto copy = copy_seconds().find(bytes);
    if (copy == copy_seconds().end()) return;
    std::vector<double> runs = copy->second;
    std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
    state.counters["x_copy"] = per_frame / runs[runs.size() / 2];
}

// Args: w, h. Copies the bytes of a w x h picture; runs before the conversions of that size.
void PictureCopy(benchmark::State& state)
{
    const std::size_t bytes =
        picture_bytes(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    copy_seconds()[bytes].push_back(std::chrono::duration<double>(Clock::now() - start).count() /
                                    static_cast<double>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

const char* const kLayouts[] = {"C420jpeg", "C422p10"};

Y4mFormat format_of(benchmark::State& state)
{
    return parse_y4m_header("YUV4MPEG2 W" + std::to_string(state.range(0)) + " H" + std::to_string(state.range(1)) +
                                " F25:1 Ip " + kLayouts[state.range(2)],
                            "bench");
}

// A frame of smooth picture with some noise, every code legal.
std::vector<unsigned char> frame_planes(const Y4mFormat& format)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-8, 8);
    std::vector<unsigned char> bytes(format.frame_bytes());
    const int shift = format.depth - 8;
    const bool wide = format.depth > 8;
    std::size_t at = 0;
    const auto put = [&](int code) {
        bytes[at++] = static_cast<unsigned char>(code & 0xff);
        if (wide) bytes[at++] = static_cast<unsigned char>(code >> 8);
    };
    for (std::int32_t y = 0; y < format.h; ++y)
        for (std::int32_t x = 0; x < format.w; ++x) put(((16 + (x + y) % 200 + 10) << shift) + noise(rng));
    for (int plane = 0; plane < 2; ++plane)
        for (std::int32_t y = 0; y < format.chroma_h(); ++y)
            for (std::int32_t x = 0; x < format.chroma_w(); ++x) put(((64 + (x * (plane + 1) + y) % 128) << shift) + noise(rng));
    return bytes;
}

// Args: w, h, layout (C420jpeg, C422p10).
void Y4mDecode(benchmark::State& state)
{
    const Y4mFormat format = format_of(state);
    const std::vector<unsigned char> bytes = frame_planes(format);
    Picture picture;
    Y4mConversion conversion;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        decode_y4m_frame(format, bytes.data(), picture, conversion);
        benchmark::ClobberMemory();
    }
    report(state, start, picture_bytes(format.w, format.h));
}

void Y4mEncode(benchmark::State& state)
{
    const Y4mFormat format = format_of(state);
    Picture picture;
    decode_y4m_frame(format, frame_planes(format).data(), picture);
    std::vector<unsigned char> bytes;
    Y4mConversion conversion;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        encode_y4m_frame(format, picture, bytes, conversion);
        benchmark::ClobberMemory();
    }
    report(state, start, picture_bytes(format.w, format.h));
}

void YcDecode(benchmark::State& state)
{
    Picture picture(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    const std::vector<unsigned char> bytes(picture.pixels.size() * kYcBytesPerPixel, 3);
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        decode_yc(bytes.data(), picture);
        benchmark::ClobberMemory();
    }
    report(state, start, bytes.size());
}

void YcEncode(benchmark::State& state)
{
    Picture picture(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    std::vector<unsigned char> bytes;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        encode_yc(picture, bytes);
        benchmark::ClobberMemory();
    }
    report(state, start, bytes.size());
}

}  // namespace

BENCHMARK(PictureCopy)->Args({1920, 1080})->Args({1280, 720})->Unit(benchmark::kMillisecond);
BENCHMARK(Y4mDecode)->Args({1920, 1080, 0})->Args({1920, 1080, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(Y4mEncode)->Args({1280, 720, 0})->Args({1280, 720, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(YcDecode)->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(YcEncode)->Args({1280, 720})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
