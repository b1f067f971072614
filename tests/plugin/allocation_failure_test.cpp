// Out of memory inside the frame callback: whichever allocation of the calling thread fails, the
// exception stays inside the plug-in, the frame passes through untouched and the next frame is right.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "plugin/registration.h"
#include "tests/support/frames.h"

namespace {

// Allocations of this thread left before one fails; negative: none fails.
thread_local long allocations_until_failure = -1;
thread_local bool failure_happened = false;

void* allocate(std::size_t bytes)
{
    if (allocations_until_failure == 0) {
        allocations_until_failure = -1;
        failure_happened = true;
        throw std::bad_alloc();
    }
    if (allocations_until_failure > 0) --allocations_until_failure;
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

// Every form of allocation comes here, so that every release matches it.
void* operator new(std::size_t bytes) { return allocate(bytes); }
void* operator new[](std::size_t bytes) { return allocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept
{
    try {
        return allocate(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t bytes, const std::nothrow_t& tag) noexcept { return operator new(bytes, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// The rows from `first` to `last` - 1 of the two frames' output pictures are the same.
bool same_rows(const GuardedFrame& a, const GuardedFrame& b, std::int32_t first, std::int32_t last, std::int32_t w)
{
    for (std::int32_t row = first; row < last; ++row)
        for (std::int32_t col = 0; col < w; ++col)
            if (!same_pixel(a.at(row, col), b.at(row, col))) return false;
    return true;
}

TEST(AllocationFailure, EveryFailingAllocationLeavesTheFrameWholeOrUntouched)
{
    FILTER_DLL* table = filter_registration();
    ASSERT_EQ(table->func_init(nullptr), 1);
    const GuardedFrame source = random_frame(200, 150, 3);
    GuardedFrame edit = source, temp(200, 150);
    Controls controls;
    FILTER fp = controls.filter();
    // Area averaging at `width` x 40 with three workers; "T. Rate" 100 gives the device 16 rows.
    constexpr std::int32_t kHeight = 40, kDeviceRows = 16;
    auto run = [&](std::int32_t width, std::int32_t device_rate) {
        controls.other_size(width, kHeight);
        controls.method(1, device_rate, 64, 3);
        edit = source;
        FILTER_PROC_INFO info = proc_info(edit, temp, 180, 140);
        EXPECT_EQ(table->func_proc(&fp, &info), 1);
        return info;
    };

    int passed_through = 0;
    for (long k = 0; k < 2000; ++k) {
        const std::int32_t width = 41 + static_cast<std::int32_t>(k % 50);
        run(width, 0);
        const GuardedFrame on_cpu = temp;
        run(width, 100);
        const GuardedFrame with_device = temp;
        run(30, 100);  // so that the frame below builds the plan anew

        failure_happened = false;
        allocations_until_failure = k;
        const FILTER_PROC_INFO failed = run(width, 100);
        allocations_until_failure = -1;
        if (!failure_happened) break;  // every allocation of such a frame has failed once
        SCOPED_TRACE(::testing::Message() << "allocation " << k);

        if (failed.ycp_edit == temp.pixels()) {
            // Absorbed: a worker that could not start, or a device band that could not run, was
            // computed on the calling thread.
            ASSERT_EQ(failed.w, width);
            ASSERT_TRUE(same_rows(temp, with_device, 0, kDeviceRows, width) ||
                        same_rows(temp, on_cpu, 0, kDeviceRows, width));
            ASSERT_TRUE(same_rows(temp, on_cpu, kDeviceRows, kHeight, width));
        } else {
            ASSERT_EQ(failed.ycp_edit, edit.pixels());
            ASSERT_EQ(failed.w, 180);
            ASSERT_EQ(failed.h, 140);
            ASSERT_EQ(first_difference(edit, source), -1);
            ++passed_through;
            // The next frame builds everything anew.
            ASSERT_EQ(run(width, 100).w, width);
            ASSERT_TRUE(same_rows(temp, with_device, 0, kHeight, width));
        }
        ASSERT_TRUE(temp.guards_intact());
    }
    EXPECT_FALSE(failure_happened) << "the frame still allocates after 2000 failures";
    EXPECT_GT(passed_through, 5);
}

}  // namespace
