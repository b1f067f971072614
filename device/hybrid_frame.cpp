#include "device/hybrid_frame.h"

#include <array>
#include <functional>
#include <memory>

#include <boost/bind/bind.hpp>

#include "cpu/plan_rows.h"

// A worker is a thread of the Boost.Thread group; the group's own lock guards its list of threads,
// and its join makes the rows visible to this thread. The thread is added to the group once started
// (rather than by the group's create_thread, which detaches a started thread whose recording fails):
// when recording fails, the thread is joined and the failure passed on, so that its rows are written
// again on the calling thread, after it ended.
boost::thread* add_worker(boost::thread_group& group, const boost::function<void()>& body)
{
    auto thread = std::make_unique<boost::thread>(body);
    try {
        group.add_thread(thread.get());
    } catch (...) {
        thread->join();
        throw;
    }
    return thread.release();
}

void run_cpu_job(const ResamplePlan& plan, const CpuJob& job)
{
    run_plan_rows(job.level, plan, job.first_row, job.row_count, job.src_pixels, job.dst_pixels, job.area_rule);
}

// The job bound by Boost.Bind to the plan and its values.
boost::thread* start_worker_in_group(boost::thread_group& group, const ResamplePlan& plan, const CpuJob& job)
{
    return add_worker(group, boost::bind(run_cpu_job, std::cref(plan), job));
}

namespace {

// Joins the frame's workers and releases them however the frame ends, so that none outlives the
// plan and the frames it reads.
class StartedWorkers {
public:
    explicit StartedWorkers(boost::thread_group& group) : group_(group) {}
    ~StartedWorkers()
    {
        group_.join_all();
        for (std::int32_t i = 0; i < count_; ++i) {
            group_.remove_thread(threads_[i]);
            delete threads_[i];
        }
    }
    StartedWorkers(const StartedWorkers&) = delete;
    StartedWorkers& operator=(const StartedWorkers&) = delete;
    // Records a started thread, one per band at most.
    void add(boost::thread* thread) { threads_[count_++] = thread; }

private:
    boost::thread_group& group_;
    std::array<boost::thread*, kMaxCpuThreads> threads_{};
    std::int32_t count_ = 0;
};

// False when the device did not write its band, whatever stopped it (a device whose runtime throws
// fails like any other), so that the band goes to the CPU.
bool run_device_band(const ResamplePlan& plan, DeviceMirror& mirror, const void* picture, void* dst)
{
    try {
        return mirror.ready_for(plan) && mirror.upload_source_frame(plan, picture) &&
               mirror.launch_resample_kernel(plan) && mirror.download_device_rows(plan, dst);
    } catch (...) {
        return false;
    }
}

}  // namespace

void run_hybrid_frame(const ResamplePlan& plan, CpuLevel cpu_level, DeviceMirror& mirror, boost::thread_group& worker_group,
                      const void* src, void* dst, AreaRule cpu_area_rule, WorkerStart start_worker)
{
    const ResizeRequest& r = plan.request;
    const void* picture = static_cast<const std::int16_t*>(src) +
                          static_cast<std::ptrdiff_t>(r.clip_top) * r.stride * channel_count(r.layout);

    const RowBands bands = cpu_row_bands(plan);
    // The bands whose threads could not start, and the device band when the device fails.
    std::array<CpuJob, kMaxCpuThreads + 1> on_this_thread;
    std::int32_t left = 0;
    StartedWorkers started(worker_group);
    for (std::int32_t i = 0; i < bands.count; ++i) {
        const CpuJob job{cpu_level, cpu_area_rule, bands.band[i].first_row, bands.band[i].row_count, picture, dst};
        try {
            started.add(start_worker(worker_group, plan, job));
        } catch (...) {  // whatever stopped the thread from starting, its rows still get written
            on_this_thread[left++] = job;
        }
    }

    if (plan.device_rows >= 1 && !run_device_band(plan, mirror, picture, dst))
        on_this_thread[left++] = {cpu_level, cpu_area_rule, 0, plan.device_rows, picture, dst};

    for (std::int32_t i = 0; i < left; ++i)
        run_cpu_job(plan, on_this_thread[i]);
}
