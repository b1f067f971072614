// The successor's plug-in, vantreo.auf2, through the stand-in editor's video call (get_image, the
// straight-alpha conversions, the core's passes, set_image), beside OpenCV's resize of the same
// 8-bit RGBA picture (INTER_AREA, INTER_CUBIC, INTER_LANCZOS4, without premultiplying), both at 1 and
// 2 threads, on an opaque picture and on one with alpha. The device's share is 0, the plug-in's
// default. usage: vantreo_exedit2_bench [benchmark options] (the plug-in is found where it was built)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "host/exedit2/stand_in_editor.h"

namespace {

struct Case {
    std::int32_t src_w, src_h, dst_w, dst_h;
};
const Case kCases[] = {{1920, 1080, 1280, 720}, {1280, 720, 1920, 1080}};
constexpr std::int32_t kMethods[] = {1, 2, 3};  // Area, Bicubic, Lanczos-3, as the "Method" item numbers them
const char* const kMethodNames[] = {"Point", "Area", "Bicubic", "Lanczos-3"};
const int kOpenCvMethods[] = {cv::INTER_NEAREST, cv::INTER_AREA, cv::INTER_CUBIC, cv::INTER_LANCZOS4};

const Case& case_of(const benchmark::State& state) { return kCases[state.range(0)]; }
std::int32_t method_of(const benchmark::State& state) { return static_cast<std::int32_t>(state.range(1)); }
int threads_of(const benchmark::State& state) { return static_cast<int>(state.range(2)); }
bool with_alpha(const benchmark::State& state) { return state.range(3) != 0; }

// A smooth pattern with edges; with alpha, a ramp with a transparent band.
Picture pattern(std::int32_t w, std::int32_t h, bool alpha)
{
    Picture picture{w, h, std::vector<exedit2::Rgba>(static_cast<std::size_t>(w) * h)};
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const auto a = static_cast<std::uint8_t>(!alpha ? 255 : (x / 64) % 4 == 0 ? 0 : (x * 255) / w);
            picture.at(y, x) = {static_cast<std::uint8_t>((x * 7 + y * 3) & 255),
                                static_cast<std::uint8_t>((x ^ y) & 255),
                                static_cast<std::uint8_t>(((x / 16 + y / 16) % 2) * 255), a};
        }
    return picture;
}

StandInEditor& editor()
{
    static std::string error;
    static StandInEditor instance(VANTREO_BUILT_AUF2, error);
    if (!error.empty()) {
        std::fprintf(stderr, "vantreo_exedit2_bench: %s\n", error.c_str());
        std::exit(1);
    }
    return instance;
}

void Vantreo(benchmark::State& state)
{
    const Case& c = case_of(state);
    const Picture object = pattern(c.src_w, c.src_h, with_alpha(state));
    Settings settings;
    settings.size_by = 1;
    settings.width = c.dst_w;
    settings.height = c.dst_h;
    settings.method = method_of(state);
    settings.cpu_threads = threads_of(state);
    for (auto _ : state) {
        const CallResult result = editor().call(object, settings);
        if (!result.set_image) state.SkipWithError("the plug-in left the object as it was");
        benchmark::DoNotOptimize(result.image.pixels.data());
    }
}

void OpenCv(benchmark::State& state)
{
    const Case& c = case_of(state);
    Picture object = pattern(c.src_w, c.src_h, with_alpha(state));
    const cv::Mat src(c.src_h, c.src_w, CV_8UC4, object.pixels.data());
    cv::Mat dst;
    cv::setNumThreads(threads_of(state));
    for (auto _ : state) {
        cv::resize(src, dst, cv::Size(c.dst_w, c.dst_h), 0, 0, kOpenCvMethods[method_of(state)]);
        benchmark::DoNotOptimize(dst.data);
    }
}

void register_all()
{
    for (std::int64_t i = 0; i < 2; ++i)
        for (const std::int32_t method : kMethods) {
            // Area averaging enlarges no side: the enlargement is for the filter methods.
            if (method == 1 && i == 1) continue;
            for (const int threads : {1, 2})
                for (const int alpha : {0, 1}) {
                    const Case& c = kCases[i];
                    const std::string name = std::to_string(c.src_w) + "x" + std::to_string(c.src_h) + "->" +
                                             std::to_string(c.dst_w) + "x" + std::to_string(c.dst_h) + "/" +
                                             kMethodNames[method] + "/" + std::to_string(threads) + "t/" +
                                             (alpha ? "alpha" : "opaque");
                    for (auto [label, run] : {std::pair{"Vantreo", &Vantreo}, std::pair{"OpenCV", &OpenCv}})
                        benchmark::RegisterBenchmark((std::string(label) + "/" + name).c_str(), run)
                            ->Args({i, method, threads, alpha})
                            ->Unit(benchmark::kMillisecond)
                            ->UseRealTime();
                }
        }
}

}  // namespace

int main(int argc, char** argv)
{
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
