// The resample kernel run a whole grid at a time against the same kernel run thread by thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cpu/row_worker.h"
#include "device/device_mirror.h"
#include "device/device_module.h"
#include "device/lifecycle.h"
#include "platform/cuda/emulated_controls.h"
#include "tests/support/environment.h"
#include "tests/support/frames.h"

namespace {

constexpr const char* kResampleKernel = "__globfunc__Z20calcDestPixelsKernelv";
constexpr const char* kPerThread = "VANTREO_EMU_PER_THREAD";

class GridExecution : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(start_device()); }
    void SetUp() override
    {
        const char* value = std::getenv(kPerThread);
        saved_ = value ? value : "";
        had_value_ = value != nullptr;
    }
    void TearDown() override { set_env(kPerThread, had_value_ ? saved_.c_str() : nullptr); }

    PIXEL_YC* dest_buffer()
    {
        PIXEL_YC* dest = nullptr;
        EXPECT_EQ(cudaMemcpyFromSymbol(&dest, &pgcGpuDestPixels, sizeof dest), cudaSuccess);
        return dest;
    }

    // One launch over a destination buffer filled with a pattern; returns the whole buffer, the rows
    // of the surplus threads included.
    std::vector<unsigned char> launch(bool per_thread, const GuardedFrame& src)
    {
        set_env(kPerThread, per_thread ? "1" : "0");
        const std::uint32_t bytes = dest_buffer_bytes(plan);
        PIXEL_YC* const dest = dest_buffer();
        EXPECT_EQ(cudaMemset(dest, 0xa5, bytes), cudaSuccess);
        const PIXEL_YC* picture = src.pixels() + static_cast<std::ptrdiff_t>(plan.request.clip_top) * plan.request.stride;
        const std::uint64_t whole_grid = emu::whole_grid_launches(kResampleKernel);
        EXPECT_TRUE(mirror.upload_source_frame(plan, picture));
        EXPECT_TRUE(mirror.launch_resample_kernel(plan));
        EXPECT_EQ(emu::whole_grid_launches(kResampleKernel) - whole_grid, per_thread ? 0u : 1u);
        std::vector<unsigned char> out(bytes);
        EXPECT_EQ(cudaMemcpy(out.data(), dest, bytes, cudaMemcpyDeviceToHost), cudaSuccess);
        return out;
    }

    ResamplePlan plan{};
    DeviceMirror mirror;

private:
    std::string saved_;
    bool had_value_ = false;
};

TEST_F(GridExecution, StoresTheSameBytesAsThreadByThread)
{
    std::mt19937 rng(2024);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (int trial = 0; trial < 60; ++trial) {
        // Shrinking by up to 40 times, cropped, with any block size and band.
        const std::int32_t src_w = pick(1, trial % 5 == 0 ? 1600 : 300), src_h = pick(1, trial % 7 == 0 ? 1200 : 200);
        const std::int32_t dst_w = pick(std::max(1, src_w / 40), src_w), dst_h = pick(std::max(1, src_h / 40), src_h);
        const std::int32_t clip_left = pick(0, 9), clip_top = pick(0, 9);
        const std::int32_t stride = clip_left + src_w + pick(0, 5);
        ResizeRequest r = area_request(src_w, src_h, dst_w, dst_h, stride, pick(1, 256), pick(1, 512));
        r.clip_left = clip_left;
        r.clip_top = clip_top;
        build_plan(r, plan);
        if (plan.gpu_rows == 0) continue;
        mirror.rebuild(plan);
        ASSERT_TRUE(mirror.ready_for(plan));
        GuardedFrame src(stride, clip_top + src_h);
        fill_random(src, rng);
        const std::vector<unsigned char> reference = launch(true, src);
        ASSERT_TRUE(reference == launch(false, src))
            << src_w << "x" << src_h << " -> " << dst_w << "x" << dst_h << " block " << r.block_threads
            << " band " << plan.gpu_rows;
    }
}

TEST_F(GridExecution, StoresPastTheBufferStillFault)
{
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    // A destination one pixel short of the last surplus thread's store.
    const GuardedFrame src = random_frame(100, 100, 5);
    build_plan(area_request(100, 100, 100, 100, 100, 256, 512), plan);
    mirror.rebuild(plan);
    ASSERT_TRUE(mirror.ready_for(plan));
    void* short_buffer = nullptr;
    ASSERT_EQ(cudaMalloc(&short_buffer, dest_buffer_bytes(plan) - sizeof(PIXEL_YC)), cudaSuccess);
    ASSERT_EQ(cudaMemcpyToSymbol(&pgcGpuDestPixels, &short_buffer, sizeof short_buffer), cudaSuccess);
    set_env(kPerThread, "0");
    EXPECT_DEATH((void)(mirror.upload_source_frame(plan, src.pixels()) && mirror.launch_resample_kernel(plan)),
                 "device fault in kernel __globfunc__Z20calcDestPixelsKernelv: store of 6 bytes at device "
                 "address 0x\\w+ is outside every allocation");
    cudaFree(short_buffer);
}

}  // namespace
