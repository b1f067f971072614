// Frame rates of the filter through its frame callback, each beside a baseline measured in the same
// run: a plain copy of the source frame, the physical floor of any resize.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "bench/bench_frames.h"
#include "cpu/plan_rows.h"
#include "plugin/frame_entry.h"
#include "plugin/lifecycle_callbacks.h"
#include "plugin/registration.h"

namespace {

double copy_seconds_per_frame = 0;  // set by the baseline, which runs first
constexpr std::int32_t kCopyW = 1600, kCopyH = 1200;  // the baseline's picture, the largest source below

void record_rates(benchmark::State& state, double seconds, std::int32_t src_w, std::int32_t src_h)
{
    const double per_frame = seconds / static_cast<double>(state.iterations());
    state.counters["fps"] = 1 / per_frame;
    state.counters["MPix/s"] = src_w * static_cast<double>(src_h) / per_frame / 1e6;
    if (copy_seconds_per_frame > 0) state.counters["x_copy"] = per_frame / copy_seconds_per_frame;
}

void FrameCopy(benchmark::State& state)
{
    BenchFrames& f = bench_frames();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (std::size_t row = 0; row < kCopyH; ++row)
            std::memcpy(&f.temp[row * kMaxW], &f.source[row * kMaxW], kCopyW * sizeof(PIXEL_YC));
        benchmark::ClobberMemory();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    copy_seconds_per_frame = seconds / static_cast<double>(state.iterations());
    record_rates(state, seconds, kCopyW, kCopyH);
}

// Args: source w, h, output w, h, method, T. Rate, CPU threads.
void Resize(benchmark::State& state)
{
    static bool started = (func_init(nullptr), true);
    (void)started;
    const std::int32_t src_w = static_cast<std::int32_t>(state.range(0)), src_h = static_cast<std::int32_t>(state.range(1));
    std::int32_t track[kTrackCount] = {0, 0, 0, 0, static_cast<std::int32_t>(state.range(2)), static_cast<std::int32_t>(state.range(3)),
                                       static_cast<std::int32_t>(state.range(4)), static_cast<std::int32_t>(state.range(5)), 32,
                                       static_cast<std::int32_t>(state.range(6))};
    std::int32_t check[kCheckCount] = {0, 0, 0, 1};
    FILTER fp{};
    fp.track = track;
    fp.check = check;
    BenchFrames& f = bench_frames();
    FILTER_PROC_INFO info{};
    info.max_w = kMaxW;
    info.max_h = kMaxH;
    std::memcpy(f.edit.data(), f.source.data(), f.source.size() * sizeof(PIXEL_YC));
    std::memcpy(f.temp.data(), f.source.data(), f.source.size() * sizeof(PIXEL_YC));
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        info.ycp_edit = f.edit.data();
        info.ycp_temp = f.temp.data();
        info.w = src_w;
        info.h = src_h;
        func_proc(&fp, &info);
        benchmark::ClobberMemory();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    record_rates(state, seconds, src_w, src_h);
    // The CPU row worker's level (VANTREO_CPU_LEVEL forces one).
    if (state.range(4) == 1) state.SetLabel(cpu_level_name(cpu_level_from_environment()));
}

void AreaAverageSizes(benchmark::internal::Benchmark* b, std::int64_t rate)
{
    for (std::int64_t threads : {1, 2}) {
        b->Args({1600, 1200, 640, 480, 1, rate, threads});
        b->Args({1280, 720, 320, 240, 1, rate, threads});
        b->Args({1440, 1080, 1000, 700, 1, rate, threads});
    }
}

}  // namespace

BENCHMARK(FrameCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(Resize)->Name("PointSample")->Args({1600, 1200, 640, 480, 0, 0, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Resize)->Name("AreaAverageCpu")->Apply([](auto* b) { AreaAverageSizes(b, 0); })->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Resize)->Name("AreaAverageHalfDevice")->Apply([](auto* b) { AreaAverageSizes(b, 128); })->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Resize)->Name("AreaAverageDevice")->Apply([](auto* b) { AreaAverageSizes(b, 256); })->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
