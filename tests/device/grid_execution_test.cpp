// The area-averaging kernel run a whole grid at a time against the same kernel run thread by thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cpu/plan_rows.h"
#include "device/device_mirror.h"
#include "device/device_module.h"
#include "device/lifecycle.h"
#include "plan/window_tables.h"
#include "platform/device_runtime/emulated_controls.h"
#include "tests/support/environment.h"
#include "tests/support/frames.h"

namespace {

constexpr const char* kResampleKernel = "__globfunc__Z20calcDestPixelsKernelv";
constexpr const char* kPerThread = "VANTREO_TEST_EMU_PER_THREAD";

// Every row-worker level this CPU runs: the whole-grid area averaging hands its rows to them.
std::vector<CpuLevel> levels_here()
{
    std::vector<CpuLevel> levels;
    for (CpuLevel level : {CpuLevel::scalar, CpuLevel::sse2, CpuLevel::avx2, CpuLevel::avx512})
        if (level <= best_cpu_level()) levels.push_back(level);
    return levels;
}

class GridExecution : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(start_device()); }
    void SetUp() override
    {
        const char* value = std::getenv(kPerThread);
        saved_ = value ? value : "";
        had_value_ = value != nullptr;
        saved_level_ = emulated_cpu_level();
    }
    void TearDown() override
    {
        set_env(kPerThread, had_value_ ? saved_.c_str() : nullptr);
        set_emulated_cpu_level(saved_level_);
    }

    PIXEL_YC* dest_buffer()
    {
        PIXEL_YC* dest = nullptr;
        EXPECT_EQ(cudaMemcpyFromSymbol(&dest, &pgcGpuDestPixels, sizeof dest), cudaSuccess);
        return dest;
    }

    // One launch over a destination buffer filled with a pattern, thread by thread or whole at the
    // row-worker `level`; returns the whole buffer, the rows of the surplus threads included.
    std::vector<unsigned char> launch(bool per_thread, const GuardedFrame& src, CpuLevel level = best_cpu_level())
    {
        set_env(kPerThread, per_thread ? "1" : "0");
        set_emulated_cpu_level(level);
        const auto bytes = static_cast<std::size_t>(dest_buffer_bytes(plan));
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
    CpuLevel saved_level_ = CpuLevel::scalar;
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
        if (plan.device_rows == 0) continue;
        mirror.rebuild(plan);
        ASSERT_TRUE(mirror.ready_for(plan));
        GuardedFrame src(stride, clip_top + src_h);
        fill_random(src, rng);
        const std::vector<unsigned char> reference = launch(true, src);
        for (CpuLevel level : levels_here())
            ASSERT_TRUE(reference == launch(false, src, level))
                << src_w << "x" << src_h << " -> " << dst_w << "x" << dst_h << " block " << r.block_threads
                << " band " << plan.device_rows << " at " << cpu_level_name(level);
    }
}

// Pixels whose stored value tells the device's rounding rules from the CPU's, in a launch the row
// workers take. Column 0: taps (1, 32627, -1) with weights (1, w, 0.5 + 2^-24), w far below 2^-13; the
// fused second tap rounds 1 + 32627 w up to 1 + 2^-23 (the double multiply-add would round it down to
// 1), so the sum ends at 0.5 + 2^-24 and stores 1 (0.5 - 2^-24 would store 0). Column 4: one tap of
// value 1 and weight 0.5 - 2^-25, which stores 1 with the half added in single (1 - 2^-25 rounds to
// 1) and 0 with it added in double.
TEST_F(GridExecution, KeepsTheDeviceRoundingRules)
{
    build_plan(area_request(8, 1, 8, 1, 8, 256, 32), plan);
    mirror.rebuild(plan);
    ASSERT_TRUE(mirror.ready_for(plan));
    const std::int32_t taps = window_taps(plan.area.columns.span);
    ASSERT_GE(taps, 3);
    std::vector<float> weights(static_cast<std::size_t>(8 * taps), 0.0f);
    for (std::int32_t c = 0; c < 8; ++c) weights[c * taps] = 1.0f;
    weights[1] = 0x1.011b38p-39f;
    weights[2] = 0x1.000002p-1f;
    weights[4 * taps] = 0x1.fffffep-2f;
    cudaArray* weight_x = nullptr;
    ASSERT_EQ(cudaMallocArray(&weight_x, &weight_x_desc, weights.size(), 1), cudaSuccess);
    ASSERT_EQ(cudaMemcpyToArray(weight_x, 0, 0, weights.data(), weights.size() * sizeof(float), cudaMemcpyHostToDevice),
              cudaSuccess);
    ASSERT_EQ(cudaBindTextureToArray(&gTextureWeightX, weight_x, &weight_x_desc), cudaSuccess);

    GuardedFrame src(8, 1);
    for (std::int32_t n = 0; n < 8; ++n) src.at(0, n) = PIXEL_YC{0, 0, 0};
    src.at(0, 0).y = 1;
    src.at(0, 1).y = 32627;
    src.at(0, 2).y = -1;
    src.at(0, 4).y = 1;
    const std::vector<unsigned char> reference = launch(true, src);
    PIXEL_YC stored[8];
    std::memcpy(stored, reference.data(), sizeof stored);
    EXPECT_EQ(stored[0].y, 1);
    EXPECT_EQ(stored[4].y, 1);
    for (CpuLevel level : levels_here())
        EXPECT_TRUE(reference == launch(false, src, level)) << "at " << cpu_level_name(level);
    mirror.release();
    cudaFreeArray(weight_x);
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
                 "device fault in kernel __globfunc__Z20calcDestPixelsKernelv: store of 2 bytes at device "
                 "address 0x\\w+ is outside every allocation");
    cudaFree(short_buffer);
}

}  // namespace
