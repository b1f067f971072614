#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>
#include <iostream>

#include "device/device_module.h"
#include "device/lifecycle.h"
#include "platform/device_runtime/emulated_controls.h"
#include "cpu/plan_rows.h"
#include "device/hybrid_frame.h"
#include "plan/window_tables.h"
#include "tests/support/environment.h"
#include "tests/support/cpu_rows.h"

namespace {

// Launches of either kernel.
std::uint64_t kernel_launches() { return emu::completed_launches(nullptr); }

// Frames through the executor with a plan and device mirror of the test's own.
class DeviceBand : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(start_device()); }
    void TearDown() override { emu::clear_failures(); }

    void rebuild(const ResizeRequest& r)
    {
        build_plan(r, plan);
        mirror.rebuild(plan);
    }

    // Runs one frame of `r` on a copy of `src`; returns the destination frame. A device band must
    // really run on the device unless `device_may_fail`.
    GuardedFrame hybrid_frame(const ResizeRequest& r, const GuardedFrame& src, bool device_may_fail = false)
    {
        if (plan.request != r) rebuild(r);
        GuardedFrame dst(src.max_w, r.dst_h);
        GuardedFrame input = src;
        const std::uint64_t launches = kernel_launches();
        run_hybrid_frame(plan, cpu_level_from_environment(), mirror, workers, input.pixels(), dst.pixels());
        if (!device_may_fail) {
            EXPECT_EQ(kernel_launches() - launches, plan.device_rows >= 1 ? 1u : 0u);
        }
        EXPECT_TRUE(dst.guards_intact());
        return dst;
    }

    GuardedFrame cpu_frame(const ResizeRequest& r, const GuardedFrame& src)
    {
        if (plan.request != r) rebuild(r);
        return cpu_rows_frame(plan, src);
    }

    ResamplePlan plan{};
    DeviceMirror mirror;
    boost::thread_group workers;
};

struct Agreement {
    long equal = 0;
    long total = 0;
};

// Device and CPU rules agree within 1, except at the last row and column, where a boundary one float
// step short of the picture's edge gives the CPU's last source index its full weight.
void expect_device_matches_cpu(const ResizeRequest& r, const GuardedFrame& device, const GuardedFrame& cpu,
                               Agreement& agreement)
{
    for (std::int32_t row = 0; row < r.dst_h; ++row)
        for (std::int32_t col = 0; col < r.dst_w; ++col) {
            const PIXEL_YC a = device.at(row, col), b = cpu.at(row, col);
            // Each edge axis may move a channel by the weight of one source index's sliver, at most
            // 1.3e-4 of the largest value.
            const int edge_axes = (row == r.dst_h - 1) + (col == r.dst_w - 1);
            const double allowed = 1 + edge_axes * 1.3e-4 * 32768;
            const std::int16_t da[3] = {a.y, a.cb, a.cr}, db[3] = {b.y, b.cb, b.cr};
            for (int k = 0; k < 3; ++k) {
                ASSERT_LE(std::abs(da[k] - db[k]), allowed)
                    << r.src_w << "x" << r.src_h << " -> " << r.dst_w << "x" << r.dst_h << " at " << row << "," << col;
            }
            agreement.equal += same_pixel(a, b);
            ++agreement.total;
        }
}

TEST_F(DeviceBand, KernelAgreesWithTheRowWorker)
{
    std::mt19937 rng(42);
    Agreement agreement;
    for (int trial = 0; trial < 40; ++trial) {
        const std::int32_t src_w = std::uniform_int_distribution<int>(1, 300)(rng);
        const std::int32_t src_h = std::uniform_int_distribution<int>(1, 200)(rng);
        const std::int32_t dst_w = std::uniform_int_distribution<int>(1, src_w)(rng);
        const std::int32_t dst_h = std::uniform_int_distribution<int>(1, src_h)(rng);
        const std::int32_t stride = src_w + trial % 4;
        const std::int32_t block_threads = std::uniform_int_distribution<int>(32, 512)(rng);
        GuardedFrame src(stride, src_h);
        fill_random(src, rng);
        const ResizeRequest r = area_request(src_w, src_h, dst_w, dst_h, stride, 256, block_threads);
        expect_device_matches_cpu(r, hybrid_frame(r, src), cpu_frame(r, src), agreement);
    }
    const double share = static_cast<double>(agreement.equal) / agreement.total;
    std::cout << "device pixels equal to the CPU's: " << 100 * share << "% of " << agreement.total << "\n";
    EXPECT_GT(share, 0.9);
}

TEST_F(DeviceBand, OvershootingLastTapReadsZero)
{
    // Sizes whose last boundary lies one float step past the picture, and some that fall short.
    std::mt19937 rng(9);
    Agreement agreement;
    for (auto [src, dst] : {std::pair{1595, 1594}, {1600, 1593}, {1597, 533}, {11, 7}}) {
        GuardedFrame wide(src + 1, 4), tall(8, src);
        fill_random(wide, rng);
        fill_random(tall, rng);
        const ResizeRequest across = area_request(src, 4, dst, 3, src + 1, 256);
        const ResizeRequest down = area_request(8, src, 5, dst, 8, 256);
        expect_device_matches_cpu(across, hybrid_frame(across, wide), cpu_frame(across, wide), agreement);
        expect_device_matches_cpu(down, hybrid_frame(down, tall), cpu_frame(down, tall), agreement);

        // Pixels right of the picture do not reach the output.
        GuardedFrame extreme = wide;
        for (std::int32_t row = 0; row < 4; ++row) extreme.at(row, src) = PIXEL_YC{32767, -32768, 32767};
        EXPECT_EQ(first_difference(hybrid_frame(across, wide), hybrid_frame(across, extreme)), -1);
    }
}

// By the device's rule, with the device's taps and zeros past the picture (where the last window may
// keep a tap), the CPU's rows are the device's bytes: a picture's bytes do not depend on its split.
TEST_F(DeviceBand, CpuRowsByTheDeviceRuleAreTheDevicesBytes)
{
    std::mt19937 rng(11);
    const auto random_side = [&rng](int most) { return std::uniform_int_distribution<int>(1, most)(rng); };
    for (int trial = 0; trial < 44; ++trial) {
        // Last boundaries one float step past the picture first, then random sizes.
        const std::pair<int, int> edge[] = {{1595, 1594}, {1600, 1593}, {1597, 533}, {11, 7}};
        const std::int32_t src_w = trial < 4 ? edge[trial].first : random_side(300);
        const std::int32_t src_h = trial < 4 ? 5 : random_side(200);
        const std::int32_t dst_w = trial < 4 ? edge[trial].second : random_side(src_w);
        const std::int32_t dst_h = trial < 4 ? 3 : random_side(src_h);
        GuardedFrame src(src_w + 1, src_h + 1);
        fill_random(src, rng);
        for (std::int32_t row = 0; row <= src_h; ++row) src.at(row, src_w) = PIXEL_YC{};
        for (std::int32_t col = 0; col <= src_w; ++col) src.at(src_h, col) = PIXEL_YC{};
        const ResizeRequest r = area_request(src_w, src_h, dst_w, dst_h, src_w + 1, 256);
        const GuardedFrame device = hybrid_frame(r, src);

        ResamplePlan cpu_plan;
        build_plan(area_request(src_w, src_h, dst_w, dst_h, src_w + 1, 0), cpu_plan);
        ASSERT_TRUE(add_device_area_taps(cpu_plan));
        GuardedFrame cpu(src.max_w, dst_h);
        run_plan_rows(cpu_level_from_environment(), cpu_plan, 0, dst_h, src.pixels(), cpu.pixels(), AreaRule::device);
        for (std::int32_t row = 0; row < dst_h; ++row)
            for (std::int32_t col = 0; col < dst_w; ++col)
                ASSERT_TRUE(same_pixel(device.at(row, col), cpu.at(row, col)))
                    << src_w << "x" << src_h << " -> " << dst_w << "x" << dst_h << " at " << row << "," << col;
    }
}

TEST_F(DeviceBand, SurplusThreadsStayInsideTheBuffer)
{
    // 20 blocks of 512 threads for 100 x 100 pixels: 240 surplus threads store below the band.
    const GuardedFrame src = random_frame(1280, 100, 3);
    const ResizeRequest r = area_request(100, 100, 100, 100, 1280, 256, 512);
    const GuardedFrame device = hybrid_frame(r, src);
    EXPECT_EQ(plan.grid_blocks, 20);
    Agreement agreement;
    expect_device_matches_cpu(r, device, cpu_frame(r, src), agreement);
    EXPECT_GE(dest_buffer_bytes(plan), (102u * 1280 + 40) * 6);
}

TEST_F(DeviceBand, EveryRateAndThreadCountWritesEveryRowTheSameWay)
{
    const GuardedFrame src = random_frame(70, 61, 17);
    // Device rows come back whole (columns past dst_w read zero); CPU rows leave those columns alone.
    const GuardedFrame device_only = hybrid_frame(area_request(63, 61, 29, 23, 70, 256), src);
    const GuardedFrame cpu_only = hybrid_frame(area_request(63, 61, 29, 23, 70, 0), src);
    for (std::int32_t rate = 0; rate <= 256; rate += 1)
        for (std::int32_t threads = 1 + rate % 16; threads <= 16; threads += 5) {
            const ResizeRequest r = area_request(63, 61, 29, 23, 70, rate, 32 + rate, threads);
            GuardedFrame frame = hybrid_frame(r, src);
            for (std::int32_t row = 0; row < 23; ++row) {
                const GuardedFrame& expected = row < plan.device_rows ? device_only : cpu_only;
                for (std::int32_t col = 0; col < 70; ++col)
                    ASSERT_TRUE(same_pixel(frame.at(row, col), expected.at(row, col)))
                        << "rate " << rate << " threads " << threads << " at " << row << "," << col;
            }
        }
}

TEST_F(DeviceBand, SameInputGivesTheSameBytes)
{
    const GuardedFrame src = random_frame(300, 200, 23);
    const ResizeRequest r = area_request(300, 200, 123, 77, 300, 128, 64);
    const GuardedFrame first = hybrid_frame(r, src);
    rebuild(area_request(300, 200, 11, 7, 300, 128));
    const GuardedFrame second = hybrid_frame(r, src);
    EXPECT_EQ(first_difference(first, second), -1);
}

TEST_F(DeviceBand, PointSamplingReleasesTheDestinationBuffer)
{
    rebuild(area_request(300, 200, 123, 77, 300, 128));
    ASSERT_TRUE(mirror.ready_for(plan));
    for (int twice = 0; twice < 2; ++twice) {
        mirror.release_device_dest();
        PIXEL_YC* symbol = reinterpret_cast<PIXEL_YC*>(1);
        ASSERT_EQ(cudaMemcpyFromSymbol(&symbol, &pgcGpuDestPixels, sizeof symbol), cudaSuccess);
        EXPECT_EQ(symbol, nullptr);
        EXPECT_FALSE(mirror.ready_for(plan));
    }
}

TEST_F(DeviceBand, ClippedPictureIsOffsetOnTheDeviceAsOnTheCpu)
{
    const GuardedFrame src = random_frame(90, 70, 31);
    for (std::int32_t rate : {0, 256}) {
        ResizeRequest r = area_request(60, 50, 25, 21, 90, rate);
        r.clip_left = 17;
        r.clip_top = 9;
        const GuardedFrame frame = hybrid_frame(r, src);
        Agreement agreement;
        expect_device_matches_cpu(r, frame, cpu_frame(r, src), agreement);
        EXPECT_GT(agreement.equal * 10, agreement.total * 8);
    }
}

// The output picture of `a` and `b` (columns 0 .. dst_w-1 of every output row) is the same.
bool same_picture(const ResizeRequest& r, const GuardedFrame& a, const GuardedFrame& b)
{
    for (std::int32_t row = 0; row < r.dst_h; ++row)
        for (std::int32_t col = 0; col < r.dst_w; ++col)
            if (!same_pixel(a.at(row, col), b.at(row, col))) return false;
    return true;
}

TEST_F(DeviceBand, AnyDeviceFailureSendsTheBandToTheCpu)
{
    // The rules differ on about one pixel in a thousand: the band is large enough to show the device's.
    const GuardedFrame src = random_frame(300, 240, 37);
    const ResizeRequest r = area_request(300, 240, 127, 101, 300, 128);
    const GuardedFrame on_cpu = cpu_frame(r, src);
    ASSERT_FALSE(same_picture(r, hybrid_frame(r, src), on_cpu));

    // Failures while the mirror is built: its band goes to the CPU until the next build succeeds.
    using Op = emu::Operation;
    const std::pair<Op, unsigned> build_failures[] = {
        {Op::Malloc, 0},        {Op::MallocArray, 0},    {Op::MallocArray, 4},        {Op::MemcpyToArray, 1},
        {Op::MemcpyToArray, 4}, {Op::MemcpyToSymbol, 0}, {Op::MemcpyToSymbol, 5}, {Op::BindTextureToArray, 2}};
    for (const auto& [op, skip] : build_failures) {
        emu::fail_next(op, skip);
        rebuild(r);
        EXPECT_FALSE(mirror.ready_for(plan)) << static_cast<int>(op) << " skip " << skip;
        const std::uint64_t launches = kernel_launches();
        EXPECT_TRUE(same_picture(r, hybrid_frame(r, src, true), on_cpu)) << static_cast<int>(op);
        EXPECT_EQ(kernel_launches(), launches);
        emu::clear_failures();
    }
    // Failures during a frame: that frame's band goes to the CPU, the next runs on the device again.
    rebuild(r);
    const GuardedFrame on_device = hybrid_frame(r, src);
    for (Op op : {Op::Memcpy2DToArray, Op::BindTextureToArray, Op::ConfigureCall, Op::Launch, Op::ThreadSynchronize,
                  Op::Memcpy}) {
        emu::fail_next(op);
        EXPECT_TRUE(same_picture(r, hybrid_frame(r, src, true), on_cpu)) << static_cast<int>(op);
        EXPECT_TRUE(same_picture(r, hybrid_frame(r, src), on_device)) << static_cast<int>(op);
    }
}

// The filter methods have one rule: the frame is the CPU reference's whatever the device's share, the
// CPU's threads, the block size, and whether the emulated device runs the kernel thread by thread or
// the grid on the CPU's row worker; with crops and strides above the width, one-row and one-column
// outputs, enlarging and reducing.
TEST_F(DeviceBand, FilterMethodsGiveTheReferenceFrameForEveryShare)
{
    std::mt19937 rng(61);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (int trial = 0; trial < 24; ++trial) {
        const std::int32_t src_w = pick(1, 90), src_h = pick(1, 70), clip_left = pick(0, 4), clip_top = pick(0, 4);
        const std::int32_t dst_w = trial % 5 == 0 ? std::max(1, src_w >> 3) : pick(std::max(1, src_w >> 3), 2 * src_w);
        const std::int32_t dst_h = trial % 7 == 0 ? std::max(1, src_h >> 3) : pick(std::max(1, src_h >> 3), 2 * src_h);
        const std::int32_t stride = std::max(dst_w, clip_left + src_w) + pick(0, 3);
        GuardedFrame src(stride, clip_top + src_h);
        fill_random(src, rng, trial % 2 ? -32768 : -2048, trial % 2 ? 32767 : 4096);
        ResizeRequest r{src_w, src_h, dst_w, dst_h, stride, clip_left, clip_top,
                        trial % 2 ? ResizeMethod::lanczos3 : ResizeMethod::bicubic, 32, 1, 0, PixelLayout::editor_frame};
        build_plan(r, plan);
        GuardedFrame expected(stride, dst_h);
        filter_rows_reference(plan_row_job(plan, 0, dst_h, src.pixels() + static_cast<std::ptrdiff_t>(clip_top) * stride,
                              expected.pixels()));
        for (const char* per_thread : {"0", "1"}) {
            set_env("VANTREO_TEST_EMU_PER_THREAD", per_thread);
            for (std::int32_t rate : {0, 77, 256})
                for (std::int32_t threads : {1, 3, 16}) {
                    r.device_rate = rate;
                    r.cpu_threads = threads;
                    r.block_threads = 32 + 96 * (threads % 5);
                    EXPECT_TRUE(same_picture(r, hybrid_frame(r, src), expected))
                        << src_w << "x" << src_h << " -> " << dst_w << "x" << dst_h << " rate " << rate << " threads "
                        << threads << " per thread " << per_thread;
                }
        }
        set_env("VANTREO_TEST_EMU_PER_THREAD", nullptr);
    }
    EXPECT_GT(emu::whole_grid_launches("__globfunc__Z22calcFilterPixelsKernelv"), 0u);
}

// Every layout on the device, thread by thread and whole grids: each channel of a picture comes out as
// that channel alone does as a plane, and for the filter methods as the CPU's reference.
TEST_F(DeviceBand, EachChannelOfEveryLayoutIsResizedAsAPlane)
{
    std::mt19937 rng(3202);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    // The device's whole band of `r` for `source` (rows of r.stride pixels of r.layout).
    auto device_band = [&](const ResizeRequest& r, const std::vector<std::int16_t>& source) {
        build_plan(r, plan);
        mirror.rebuild(plan);
        std::vector<std::int16_t> band(static_cast<std::size_t>(r.stride) * r.dst_h * channel_count(r.layout), kGuard);
        EXPECT_TRUE(mirror.upload_source_frame(plan, source.data() + static_cast<std::ptrdiff_t>(r.clip_top) *
                                                                         r.stride * channel_count(r.layout)) &&
                    mirror.launch_resample_kernel(plan) && mirror.download_device_rows(plan, band.data()));
        return band;
    };
    for (int trial = 0; trial < 12; ++trial) {
        const auto method = static_cast<ResizeMethod>(1 + trial % 3);
        const std::int32_t src_w = pick(1, 70), src_h = pick(1, 50), clip_left = pick(0, 3), clip_top = pick(0, 3);
        const bool reduce = method == ResizeMethod::area_average || trial % 2 == 0;
        const std::int32_t dst_w = reduce ? pick(std::max(1, src_w >> 3), src_w) : pick(src_w, 2 * src_w);
        const std::int32_t dst_h = reduce ? pick(std::max(1, src_h >> 3), src_h) : pick(src_h, 2 * src_h);
        const std::int32_t stride = std::max(dst_w, clip_left + src_w) + pick(0, 3), rows = clip_top + src_h;
        std::vector<std::int16_t> rgba(static_cast<std::size_t>(stride) * rows * 4);
        for (std::int16_t& sample : rgba) sample = static_cast<std::int16_t>(pick(-32768, 32767));
        const ResizeRequest base{src_w, src_h, dst_w, dst_h, stride, clip_left, clip_top, method, 64, 1, 256,
                                 PixelLayout::editor_frame};
        set_env("VANTREO_TEST_EMU_PER_THREAD", trial % 4 == 3 ? "1" : "0");
        std::vector<std::vector<std::int16_t>> planes;
        for (std::int32_t c = 0; c < 4; ++c) {
            ResizeRequest r = base;
            r.layout = PixelLayout::plane;
            std::vector<std::int16_t> plane(static_cast<std::size_t>(stride) * rows);
            for (std::size_t k = 0; k < plane.size(); ++k) plane[k] = rgba[4 * k + c];
            planes.push_back(device_band(r, plane));
            if (is_filter_method(method)) {
                std::vector<std::int16_t> reference(planes.back().size(), kGuard);
                filter_rows_reference(plan_row_job(plan, 0, dst_h, plane.data() + clip_top * stride, reference.data()));
                for (std::int32_t i = 0; i < dst_h; ++i)
                    for (std::int32_t j = 0; j < dst_w; ++j)
                        ASSERT_EQ(planes.back()[i * stride + j], reference[i * stride + j]) << "trial " << trial;
            }
        }
        for (PixelLayout layout : {PixelLayout::editor_frame, PixelLayout::rgba}) {
            ResizeRequest r = base;
            r.layout = layout;
            const std::int32_t channels = channel_count(layout);
            std::vector<std::int16_t> source(static_cast<std::size_t>(stride) * rows * channels);
            for (std::size_t k = 0; k < source.size(); ++k) source[k] = rgba[4 * (k / channels) + k % channels];
            const std::vector<std::int16_t> band = device_band(r, source);
            for (std::int32_t i = 0; i < dst_h; ++i)
                for (std::int32_t j = 0; j < dst_w; ++j)
                    for (std::int32_t c = 0; c < channels; ++c)
                        ASSERT_EQ(band[(i * stride + j) * channels + c], planes[c][i * stride + j])
                            << "trial " << trial << ", layout " << static_cast<int>(layout) << " at " << i << "," << j;
        }
    }
    set_env("VANTREO_TEST_EMU_PER_THREAD", nullptr);
}

}  // namespace
