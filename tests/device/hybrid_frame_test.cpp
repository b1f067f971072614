#include <gtest/gtest.h>

#include <stdexcept>

#include "cpu/plan_rows.h"
#include "device/hybrid_frame.h"
#include "tests/support/frames.h"

namespace {

std::vector<CpuJob> recorded_jobs;
int starts_to_fail_from = 1 << 30;  // jobs from this index on fail to start
bool fail_with_foreign_exception = false;  // fail by throwing something that is no std::exception

boost::thread* recording_start(boost::thread_group& group, const ResamplePlan& plan, const CpuJob& job)
{
    const int index = static_cast<int>(recorded_jobs.size());
    recorded_jobs.push_back(job);
    if (index >= starts_to_fail_from) {
        if (fail_with_foreign_exception) throw index;
        throw boost::thread_resource_error();
    }
    return start_worker_in_group(group, plan, job);
}

// CPU rows only: the mirror is never built, so a device band would be computed on the CPU as well.
class HybridFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorded_jobs.clear();
        starts_to_fail_from = 1 << 30;
        fail_with_foreign_exception = false;
    }

    // Resizes a random src_w x src_h picture to dst_w x dst_h; returns the destination frame.
    GuardedFrame run(std::int32_t dst_h, std::int32_t device_rate, std::int32_t cpu_threads, std::uint32_t seed = 1)
    {
        const std::int32_t src_w = 97, src_h = dst_h * 3 / 2 + 1, dst_w = 41, stride = 100;
        GuardedFrame src = random_frame(stride, src_h, seed), dst(stride, dst_h);
        build_plan(area_request(src_w, src_h, dst_w, dst_h, stride, device_rate, 32, cpu_threads), plan);
        run_hybrid_frame(plan, cpu_level_from_environment(), mirror, workers, src.pixels(), dst.pixels(), AreaRule::cpu,
                         recording_start);
        EXPECT_TRUE(dst.guards_intact());
        EXPECT_EQ(workers.size(), 0u);
        return dst;
    }

    ResamplePlan plan{};
    DeviceMirror mirror;
    boost::thread_group workers;
};

std::vector<std::pair<int, int>> job_rows()
{
    std::vector<std::pair<int, int>> rows;
    for (const CpuJob& job : recorded_jobs) rows.emplace_back(job.first_row, job.row_count);
    return rows;
}

using Rows = std::vector<std::pair<int, int>>;

TEST_F(HybridFrame, SplitsRowsBelowTheDeviceBandIntoContiguousBands)
{
    run(480, 128, 3);
    EXPECT_EQ(job_rows(), (Rows{{240, 80}, {320, 80}, {400, 80}}));
    recorded_jobs.clear();
    run(100, 100, 3);
    EXPECT_EQ(job_rows(), (Rows{{39, 20}, {59, 20}, {79, 21}}));
    recorded_jobs.clear();
    run(100, 0, 3);
    EXPECT_EQ(job_rows(), (Rows{{0, 33}, {33, 33}, {66, 34}}));
    recorded_jobs.clear();
    run(240, 255, 3);
    EXPECT_EQ(job_rows(), (Rows{{239, 1}}));
    recorded_jobs.clear();
    run(240, 256, 3);
    EXPECT_TRUE(recorded_jobs.empty());
    recorded_jobs.clear();
    run(50, 64, 1);
    EXPECT_EQ(job_rows(), (Rows{{13, 37}}));
    recorded_jobs.clear();
    run(2, 0, 16);
    EXPECT_EQ(job_rows(), (Rows{{0, 2}}));
    recorded_jobs.clear();
    // More workers than the executor has room for: the last one it runs takes the rest.
    run(100, 0, kMaxCpuThreads + 4);
    ASSERT_EQ(recorded_jobs.size(), static_cast<std::size_t>(kMaxCpuThreads));
    EXPECT_EQ(job_rows().back(), (std::pair<int, int>{75, 25}));
}

TEST_F(HybridFrame, ThreadedFrameEqualsOneCallOfTheRowWorker)
{
    for (std::int32_t threads : {1, 2, 3, 7, 16}) {
        const GuardedFrame threaded = run(120, 0, threads, 11);
        GuardedFrame single(100, 120);
        GuardedFrame src = random_frame(100, 120 * 3 / 2 + 1, 11);
        run_plan_rows(cpu_level_from_environment(), plan, 0, 120, src.pixels(), single.pixels());
        ASSERT_EQ(recorded_jobs.size(), static_cast<std::size_t>(std::min(threads, 120)));
        for (std::int32_t i = 0; i < 100 * 120; ++i)
            ASSERT_TRUE(same_pixel(threaded.storage[i + GuardedFrame::kGuardPixels], single.pixels()[i])) << i;
        recorded_jobs.clear();
    }
}

TEST_F(HybridFrame, BandsWhoseThreadCannotStartAreComputedAnyway)
{
    const GuardedFrame expected = run(90, 0, 4, 5);
    recorded_jobs.clear();
    starts_to_fail_from = 1;
    const GuardedFrame degraded = run(90, 0, 4, 5);
    EXPECT_EQ(recorded_jobs.size(), 4u);
    EXPECT_EQ(first_difference(expected, degraded), -1);
    recorded_jobs.clear();
    starts_to_fail_from = 0;
    fail_with_foreign_exception = true;
    const GuardedFrame none_started = run(90, 0, 4, 5);
    EXPECT_EQ(first_difference(expected, none_started), -1);
}

TEST_F(HybridFrame, WorkerGroupIsEmptyAfterEveryFrame)
{
    for (int frame = 0; frame < 20; ++frame) run(30, frame % 2 ? 0 : 100, 1 + frame % 16, frame);
    EXPECT_EQ(workers.size(), 0u);
}

}  // namespace
