// Bicubic and Lanczos-3 beside zimg (the same filters, one thread, the three planes as 16-bit) and
// OpenCV (INTER_CUBIC, INTER_LANCZOS4, 1 and 2 threads) in one run: the CPU rows at every row-worker
// level ("T. Rate" 0) and the emulated device's ("T. Rate" 256). Beside them one 16-bit plane, 1080p
// to 720p and back: the CPU rows at each level on the calling thread against zimg, and area averaging
// against OpenCV's INTER_AREA, all at one thread. With --differences, instead, how far the CPU rows
// are from zimg's float resize of the same cases (filter_zimg_test holds them to 1).
#include <benchmark/benchmark.h>

#include <zimg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "bench/bench_frames.h"
#include "cpu/plan_rows.h"
#include "device/device_mirror.h"
#include "device/lifecycle.h"
#include "host/video/test_pattern.h"
#include "device/hybrid_frame.h"
#include "tests/support/zimg_reference.h"

namespace {

struct Case {
    std::int32_t src_w, src_h, dst_w, dst_h;
};
const Case kCases[] = {
    {1920, 1080, 1280, 720}, {1280, 720, 1920, 1080}, {720, 480, 1440, 960}, {1600, 1200, 640, 480}, {640, 360, 1600, 900},
};
const Case& case_of(const benchmark::State& state) { return kCases[state.range(0)]; }
ResizeMethod method_of(const benchmark::State& state) { return static_cast<ResizeMethod>(state.range(1)); }
std::int32_t threads_of(const benchmark::State& state) { return static_cast<std::int32_t>(state.range(2)); }
std::int32_t stride_of(const Case& c) { return std::max(c.src_w, c.dst_w); }

const char* const kPlaneNames[] = {"Y", "Cb", "Cr"};
std::int16_t channel_of(const PIXEL_YC& pixel, int plane)
{
    return plane == 0 ? pixel.y : plane == 1 ? pixel.cb : pixel.cr;
}

using Room = std::unique_ptr<unsigned char, zimg_reference::FreeDeleter>;

// 64-byte aligned room, as zimg asks.
Room room(std::size_t bytes)
{
    return Room(static_cast<unsigned char*>(std::aligned_alloc(64, (bytes + 63) / 64 * 64)));
}

// zimg on the first `plane_count` of the source's channels as 16-bit planes, the graph built once;
// each frame resizes every plane.
void ZimgPlanes(benchmark::State& state, int plane_count)
{
    const Case& c = case_of(state);
    zimg_filter_graph* graph =
        zimg_reference::zimg_graph(method_of(state), c.src_w, c.src_h, c.dst_w, c.dst_h, ZIMG_PIXEL_WORD);
    size_t tmp_bytes = 0;
    zimg_filter_graph_get_tmp_size(graph, &tmp_bytes);
    const std::size_t in_stride = (static_cast<std::size_t>(c.src_w) * 2 + 63) / 64 * 64;
    const std::size_t out_stride = (static_cast<std::size_t>(c.dst_w) * 2 + 63) / 64 * 64;
    std::vector<Room> planes;
    for (int p = 0; p < plane_count; ++p) {
        planes.push_back(room(in_stride * c.src_h));
        planes.push_back(room(out_stride * c.dst_h));
        const BenchFrames& f = bench_frames();
        for (std::int32_t k = 0; k < c.src_h; ++k)
            for (std::int32_t n = 0; n < c.src_w; ++n) {
                const PIXEL_YC& pixel = f.source[static_cast<std::size_t>(k) * stride_of(c) + n];
                const std::uint16_t value = static_cast<std::uint16_t>(channel_of(pixel, p) + 8192);
                std::memcpy(planes[2 * p].get() + k * in_stride + 2 * n, &value, 2);
            }
    }
    auto tmp = room(tmp_bytes);
    for (auto _ : state) {
        for (int p = 0; p < plane_count; ++p) {
            zimg_image_buffer_const src = {ZIMG_API_VERSION, {}};
            src.plane[0] = {planes[2 * p].get(), static_cast<ptrdiff_t>(in_stride), ZIMG_BUFFER_MAX};
            zimg_image_buffer dst = {ZIMG_API_VERSION, {}};
            dst.plane[0] = {planes[2 * p + 1].get(), static_cast<ptrdiff_t>(out_stride), ZIMG_BUFFER_MAX};
            zimg_filter_graph_process(graph, &src, &dst, tmp.get(), nullptr, nullptr, nullptr, nullptr);
        }
        benchmark::ClobberMemory();
    }
    zimg_filter_graph_free(graph);
}
void Zimg(benchmark::State& state) { ZimgPlanes(state, 3); }
void PlaneZimg(benchmark::State& state) { ZimgPlanes(state, 1); }

void OpenCv(benchmark::State& state)
{
    const Case& c = case_of(state);
    cv::setNumThreads(threads_of(state));
    BenchFrames& f = bench_frames();
    const std::size_t step = static_cast<std::size_t>(stride_of(c)) * sizeof(PIXEL_YC);
    const cv::Mat src(c.src_h, c.src_w, CV_16SC3, f.source.data(), step);
    cv::Mat dst(c.dst_h, c.dst_w, CV_16SC3, f.temp.data(), step);
    const int interpolation = method_of(state) == ResizeMethod::lanczos3 ? cv::INTER_LANCZOS4 : cv::INTER_CUBIC;
    for (auto _ : state) {
        cv::resize(src, dst, cv::Size(c.dst_w, c.dst_h), 0, 0, interpolation);
        benchmark::ClobberMemory();
    }
}

// Frames through the hybrid executor, as the frame callback runs them, on the emulated device.
void Filter(benchmark::State& state, CpuLevel level, std::int32_t device_rate)
{
    if (level > best_cpu_level()) {
        state.SkipWithError("this CPU lacks the level");
        return;
    }
    static const bool started = start_device();
    if (!started) {
        state.SkipWithError("no device");
        return;
    }
    int count = 0;
    cudaGetDeviceCount(&count);
    cudaSetDevice(count - 1);
    set_emulated_cpu_level(level);
    const Case& c = case_of(state);
    ResamplePlan plan{};
    build_plan(ResizeRequest{c.src_w, c.src_h, c.dst_w, c.dst_h, stride_of(c), 0, 0, method_of(state), 64,
                             threads_of(state), device_rate, PixelLayout::editor_frame},
               plan);
    DeviceMirror mirror;
    mirror.rebuild(plan);
    boost::thread_group workers;
    BenchFrames& f = bench_frames();
    for (auto _ : state) {
        run_hybrid_frame(plan, level, mirror, workers, f.source.data(), f.temp.data());
        benchmark::ClobberMemory();
    }
}
template <CpuLevel kLevel> void CpuRows(benchmark::State& state) { Filter(state, kLevel, 0); }
void Device(benchmark::State& state) { Filter(state, best_cpu_level(), 256); }

// Case c's source as one plane: the Y channel of the benchmark's frame, rows stride_of(c) apart.
std::vector<std::int16_t> source_plane(const Case& c)
{
    std::vector<std::int16_t> plane(static_cast<std::size_t>(stride_of(c)) * c.src_h);
    const BenchFrames& f = bench_frames();
    for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = f.source[i].y;
    return plane;
}

// One plane's rows by the worker of kLevel on the calling thread, where zimg and OpenCV run theirs.
template <CpuLevel kLevel> void PlaneRows(benchmark::State& state)
{
    if (kLevel > best_cpu_level()) {
        state.SkipWithError("this CPU lacks the level");
        return;
    }
    const Case& c = case_of(state);
    ResamplePlan plan{};
    build_plan(ResizeRequest{c.src_w, c.src_h, c.dst_w, c.dst_h, stride_of(c), 0, 0, method_of(state), 64, 1, 0,
                             PixelLayout::plane},
               plan);
    const std::vector<std::int16_t> source = source_plane(c);
    std::vector<std::int16_t> output(static_cast<std::size_t>(stride_of(c)) * c.dst_h);
    for (auto _ : state) {
        run_plan_rows(kLevel, plan, 0, c.dst_h, source.data(), output.data());
        benchmark::ClobberMemory();
    }
}

void PlaneOpenCvArea(benchmark::State& state)
{
    const Case& c = case_of(state);
    cv::setNumThreads(1);
    std::vector<std::int16_t> source = source_plane(c);
    std::vector<std::int16_t> output(static_cast<std::size_t>(stride_of(c)) * c.dst_h);
    const std::size_t step = static_cast<std::size_t>(stride_of(c)) * sizeof(std::int16_t);
    const cv::Mat src(c.src_h, c.src_w, CV_16SC1, source.data(), step);
    cv::Mat dst(c.dst_h, c.dst_w, CV_16SC1, output.data(), step);
    for (auto _ : state) {
        cv::resize(src, dst, cv::Size(c.dst_w, c.dst_h), 0, 0, cv::INTER_AREA);
        benchmark::ClobberMemory();
    }
}

// In milliseconds of real time, with the fastest round beside the median: the machine's other load
// only ever slows a round down.
void Timed(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"case", "method", "threads"})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// Every case for both methods, at 1 and 2 threads or at one.
void AllCases(benchmark::internal::Benchmark* b, bool threaded)
{
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(std::size(kCases)); ++i)
        for (std::int64_t method : {2, 3})
            for (std::int64_t threads : {1, 2})
                if (threaded || threads == 1) b->Args({i, method, threads});
    Timed(b);
}

// The plane cases of `methods` at one thread: 1080p to 720p (kCases[0]) and back (kCases[1]), but
// for area averaging, which never enlarges.
void PlaneCases(benchmark::internal::Benchmark* b, std::initializer_list<ResizeMethod> methods)
{
    for (ResizeMethod method : methods)
        for (std::int64_t i : {0, 1})
            if (method != ResizeMethod::area_average || i == 0) b->Args({i, static_cast<std::int64_t>(method), 1});
    Timed(b);
}

// Channel `channel` of case `c`'s picture in `source` (rows stride_of(c) apart) resized by zimg in
// float, rows packed.
std::vector<float> zimg_float_resize(const Case& c, ResizeMethod method, const PIXEL_YC* source, int channel)
{
    std::vector<float> plane(static_cast<std::size_t>(c.src_w) * c.src_h);
    for (std::int32_t k = 0; k < c.src_h; ++k)
        for (std::int32_t n = 0; n < c.src_w; ++n)
            plane[static_cast<std::size_t>(k) * c.src_w + n] =
                channel_of(source[static_cast<std::size_t>(k) * stride_of(c) + n], channel);
    std::vector<float> result = zimg_reference::zimg_resize(method, plane, c.src_w, c.src_h, c.dst_w, c.dst_h);
    if (result.empty()) {
        std::fprintf(stderr, "zimg could not resize %dx%d to %dx%d\n", c.src_w, c.src_h, c.dst_w, c.dst_h);
        std::exit(1);
    }
    return result;
}

// One table row: the largest and mean difference of one channel of the CPU rows' output `ours` (rows
// stride_of(c) apart) from zimg's float resize, rounded, away from the edges, and the largest at them.
void print_differences(const Case& c, ResizeMethod method, const char* source_name, const PIXEL_YC* source,
                       const PIXEL_YC* ours, int channel)
{
    const std::vector<float> theirs = zimg_float_resize(c, method, source, channel);
    double largest = 0, largest_at_edges = 0, sum = 0;
    long count = 0;
    for (std::int32_t i = 0; i < c.dst_h; ++i)
        for (std::int32_t j = 0; j < c.dst_w; ++j) {
            const double rounded = std::floor(theirs[static_cast<std::size_t>(i) * c.dst_w + j] + 0.5);
            const PIXEL_YC& pixel = ours[static_cast<std::size_t>(i) * stride_of(c) + j];
            const double difference = std::fabs(channel_of(pixel, channel) - rounded);
            if (!zimg_reference::away_from_edges(method, i, c.dst_h, c.src_h) ||
                !zimg_reference::away_from_edges(method, j, c.dst_w, c.src_w)) {
                largest_at_edges = std::max(largest_at_edges, difference);
                continue;
            }
            largest = std::max(largest, difference);
            sum += difference;
            ++count;
        }
    std::printf("| %dx%d -> %dx%d | %s | %s | %s | %.0f | %.4f | %.0f |\n", c.src_w, c.src_h, c.dst_w, c.dst_h,
                method == ResizeMethod::lanczos3 ? "Lanczos-3" : "bicubic", source_name, kPlaneNames[channel], largest,
                count ? sum / count : 0.0, largest_at_edges);
}

// The table of differences from zimg for every case, both methods, on the test pattern and on the
// benchmark's own noise.
void print_differences()
{
    std::printf("| case | method | source | plane | largest | mean | largest at the edges |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    using Source = std::pair<const char*, const PIXEL_YC*>;
    const PIXEL_YC* noise = bench_frames().source.data();
    std::vector<PIXEL_YC> ours(static_cast<std::size_t>(kMaxW) * kMaxH);
    for (const Case& c : kCases) {
        const std::vector<PIXEL_YC> pattern =
            vantreo_host::test_pattern_frame(stride_of(c), c.src_h, 17, vantreo_host::kDemoFrames).pixels;
        for (ResizeMethod method : {ResizeMethod::bicubic, ResizeMethod::lanczos3})
            for (const auto& [name, source] : {Source{"pattern", pattern.data()}, Source{"noise", noise}}) {
                const ResizeRequest request{c.src_w, c.src_h, c.dst_w, c.dst_h, stride_of(c), 0, 0, method, 64, 1, 0, PixelLayout::editor_frame};
                ResamplePlan plan{};
                build_plan(request, plan);
                run_plan_rows(best_cpu_level(), plan, 0, c.dst_h, source, ours.data());
                for (int channel = 0; channel < 3; ++channel)
                    print_differences(c, method, name, source, ours.data(), channel);
            }
    }
}

}  // namespace

BENCHMARK(Zimg)->Apply([](auto* b) { AllCases(b, false); });
BENCHMARK(OpenCv)->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(CpuRows<CpuLevel::scalar>)->Name("CpuRows/scalar")->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(CpuRows<CpuLevel::sse2>)->Name("CpuRows/sse2")->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(CpuRows<CpuLevel::avx2>)->Name("CpuRows/avx2")->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(CpuRows<CpuLevel::avx512>)->Name("CpuRows/avx512")->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(Device)->Apply([](auto* b) { AllCases(b, false); });

const auto kPlaneFilters = {ResizeMethod::bicubic, ResizeMethod::lanczos3};
const auto kPlaneMethods = {ResizeMethod::area_average, ResizeMethod::bicubic, ResizeMethod::lanczos3};
BENCHMARK(PlaneZimg)->Apply([](auto* b) { PlaneCases(b, kPlaneFilters); });
BENCHMARK(PlaneOpenCvArea)->Apply([](auto* b) { PlaneCases(b, {ResizeMethod::area_average}); });
BENCHMARK(PlaneRows<CpuLevel::sse2>)->Name("PlaneRows/sse2")->Apply([](auto* b) { PlaneCases(b, kPlaneMethods); });
BENCHMARK(PlaneRows<CpuLevel::avx2>)->Name("PlaneRows/avx2")->Apply([](auto* b) { PlaneCases(b, kPlaneMethods); });
BENCHMARK(PlaneRows<CpuLevel::avx512>)->Name("PlaneRows/avx512")->Apply([](auto* b) { PlaneCases(b, kPlaneMethods); });

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--differences") == 0) {
        print_differences();
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The results of two builds sit side by side in the tables: each says which it is.
    benchmark::AddCustomContext("build_type", VANTREO_BUILD_TYPE);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
