// The filter beside OpenCV's resize on the same 3 x int16 frames, measured in one run: OpenCV's
// INTER_AREA and INTER_NEAREST at 1 and 2 threads, a copy of the source picture (the floor of any
// resize), the CPU rows at every row-worker level, the emulated device, the first OpenCL device
// (PoCL's CPU device when scripts/bench.sh sets VANTREO_OPENCL_CPU=1), point sampling, and the best
// level's row worker without a worker thread.
// scripts/bench.sh turns the medians into ratios to OpenCV, a table and a chart.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "bench/bench_frames.h"
#include "cpu/point_sampler.h"
#include "cpu/plan_rows.h"
#include "device/device_mirror.h"
#include "device/lifecycle.h"
#include "device/hybrid_frame.h"

namespace {

// stride: the editor's maximum width, which every buffer row holds: the device copies whole buffer rows.
struct Case {
    std::int32_t src_w, src_h, dst_w, dst_h, stride;
};
const Case kCases[] = {
    {1600, 1200, 640, 480, 1600}, {1440, 1080, 1000, 700, 1600}, {1280, 720, 320, 240, 1600},
    {1600, 1200, 1597, 1199, 1600}, {720, 480, 704, 480, 1600},
    // sources above the default limit, which a setting raises
    {1920, 1080, 1280, 720, 1920}, {3840, 2160, 1280, 720, 3840},
};

const Case& case_of(const benchmark::State& state) { return kCases[state.range(0)]; }
std::int32_t threads_of(const benchmark::State& state) { return static_cast<std::int32_t>(state.range(1)); }

cv::Mat frame_mat(std::vector<PIXEL_YC>& pixels, std::int32_t w, std::int32_t h, std::int32_t stride)
{
    return cv::Mat(h, w, CV_16SC3, pixels.data(), static_cast<std::size_t>(stride) * sizeof(PIXEL_YC));
}

void OpenCv(benchmark::State& state, int interpolation)
{
    const Case& c = case_of(state);
    cv::setNumThreads(threads_of(state));
    BenchFrames& f = bench_frames();
    const cv::Mat src = frame_mat(f.source, c.src_w, c.src_h, c.stride);
    cv::Mat dst = frame_mat(f.temp, c.dst_w, c.dst_h, c.stride);
    for (auto _ : state) {
        cv::resize(src, dst, cv::Size(c.dst_w, c.dst_h), 0, 0, interpolation);
        benchmark::ClobberMemory();
    }
}
void OpenCvArea(benchmark::State& state) { OpenCv(state, cv::INTER_AREA); }
void OpenCvNearest(benchmark::State& state) { OpenCv(state, cv::INTER_NEAREST); }

void SourceCopy(benchmark::State& state)
{
    const Case& c = case_of(state);
    BenchFrames& f = bench_frames();
    const std::size_t row_bytes = static_cast<std::size_t>(c.src_w) * sizeof(PIXEL_YC);
    for (auto _ : state) {
        for (std::int32_t row = 0; row < c.src_h; ++row)
            std::memcpy(&f.temp[static_cast<std::size_t>(row) * c.stride], &f.source[static_cast<std::size_t>(row) * c.stride],
                        row_bytes);
        benchmark::ClobberMemory();
    }
}

ResizeRequest request_for(const Case& c, ResizeMethod method, std::int32_t device_rate, std::int32_t cpu_threads)
{
    return ResizeRequest{c.src_w, c.src_h, c.dst_w, c.dst_h, c.stride, 0, 0, method, 64, cpu_threads, device_rate, PixelLayout::editor_frame};
}

// The devices the device rows run on: the emulated device is the last one, an OpenCL device first.
enum class DeviceChoice { emulated, opencl };

// Frames of one area-averaging request through the executor, as the frame callback runs them.
void AreaAverage(benchmark::State& state, std::int32_t device_rate, CpuLevel level,
                 DeviceChoice choice = DeviceChoice::emulated)
{
    static const bool started = start_device();
    int count = 0;
    cudaGetDeviceCount(&count);
    const int device = choice == DeviceChoice::emulated ? count - 1 : 0;
    const char* backend = vantreoDeviceBackend(device);
    if (!started || !backend || (choice == DeviceChoice::opencl) != (std::string(backend) == "OpenCL")) {
        state.SkipWithError(started ? "no such device" : "no device");
        return;
    }
    cudaSetDevice(device);
    const Case& c = case_of(state);
    ResamplePlan plan{};
    build_plan(request_for(c, ResizeMethod::area_average, device_rate, threads_of(state)), plan);
    DeviceMirror mirror;
    mirror.rebuild(plan);
    boost::thread_group workers;
    BenchFrames& f = bench_frames();
    // One frame before the timing: an OpenCL device builds its program at its first launch.
    run_hybrid_frame(plan, level, mirror, workers, f.source.data(), f.temp.data());
    for (auto _ : state) {
        run_hybrid_frame(plan, level, mirror, workers, f.source.data(), f.temp.data());
        benchmark::ClobberMemory();
    }
}
template <CpuLevel kLevel> void CpuRows(benchmark::State& state)
{
    if (kLevel > best_cpu_level()) {
        state.SkipWithError("this CPU lacks the level");
        return;
    }
    AreaAverage(state, 0, kLevel);
}
// Every row by the best level's row worker on the calling thread: the CPU rows without the start and
// join of a worker thread, which the executor pays on every frame.
void RowWorkerAlone(benchmark::State& state)
{
    const Case& c = case_of(state);
    ResamplePlan plan{};
    build_plan(request_for(c, ResizeMethod::area_average, 0, 1), plan);
    BenchFrames& f = bench_frames();
    for (auto _ : state) {
        run_plan_rows(best_cpu_level(), plan, 0, c.dst_h, f.source.data(), f.temp.data());
        benchmark::ClobberMemory();
    }
}
void Device(benchmark::State& state) { AreaAverage(state, 256, cpu_level_from_environment()); }
void OpenclDevice(benchmark::State& state)
{
    AreaAverage(state, 256, cpu_level_from_environment(), DeviceChoice::opencl);
}

// Frames of one point-sampling request, the plan built once as the frame callback builds it.
void PointSample(benchmark::State& state)
{
    ResamplePlan plan{};
    build_plan(request_for(case_of(state), ResizeMethod::point_sample, 0, 1), plan);
    BenchFrames& f = bench_frames();
    for (auto _ : state) {
        point_sample_frame(plan, f.source.data(), f.temp.data());
        benchmark::ClobberMemory();
    }
}

// Every case at 1 and 2 threads, or at one thread where the work has no threads of its own.
void AllCases(benchmark::internal::Benchmark* b, bool threaded)
{
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(std::size(kCases)); ++i)
        for (std::int64_t threads : {1, 2})
            if (threaded || threads == 1) b->Args({i, threads});
    b->ArgNames({"case", "threads"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

BENCHMARK(OpenCvArea)->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(OpenCvNearest)->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(SourceCopy)->Apply([](auto* b) { AllCases(b, false); });
BENCHMARK(CpuRows<CpuLevel::scalar>)->Name("CpuRows/scalar")->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(CpuRows<CpuLevel::sse2>)->Name("CpuRows/sse2")->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(CpuRows<CpuLevel::avx2>)->Name("CpuRows/avx2")->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(CpuRows<CpuLevel::avx512>)->Name("CpuRows/avx512")->Apply([](auto* b) { AllCases(b, true); });
BENCHMARK(RowWorkerAlone)->Apply([](auto* b) { AllCases(b, false); });
BENCHMARK(Device)->Apply([](auto* b) { AllCases(b, false); });
BENCHMARK(OpenclDevice)->Apply([](auto* b) { AllCases(b, false); });
BENCHMARK(PointSample)->Apply([](auto* b) { AllCases(b, false); });

BENCHMARK_MAIN();
