#include "plugin/hybrid_frame.h"

#include <functional>
#include <memory>
#include <vector>

#include <boost/bind/bind.hpp>

#include "cpu/row_worker.h"

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

// The row worker bound by Boost.Bind to the job's four values.
boost::thread* start_worker_in_group(boost::thread_group& group, const ResamplePlan& plan, const CpuJob& job)
{
    return add_worker(group, boost::bind(resample_rows_cpu, std::cref(plan), job.first_row, job.row_count,
                                         job.src_pixels, job.dst_pixels));
}

namespace {

// Joins the frame's workers and releases them however the frame ends, so that none outlives the
// plan and the frames it reads.
class StartedWorkers {
public:
    StartedWorkers(boost::thread_group& group, std::size_t count) : group_(group) { threads_.reserve(count); }
    ~StartedWorkers()
    {
        group_.join_all();
        for (boost::thread* thread : threads_) {
            group_.remove_thread(thread);
            delete thread;
        }
    }
    StartedWorkers(const StartedWorkers&) = delete;
    StartedWorkers& operator=(const StartedWorkers&) = delete;
    // Records a started thread; cannot throw, as the room was reserved.
    void add(boost::thread* thread) { threads_.push_back(thread); }

private:
    boost::thread_group& group_;
    std::vector<boost::thread*> threads_;
};

bool run_device_band(const ResamplePlan& plan, DeviceMirror& mirror, const PIXEL_YC* picture, PIXEL_YC* dst)
{
    return mirror.ready_for(plan) && mirror.upload_source_frame(plan, picture) &&
           mirror.launch_resample_kernel(plan) && mirror.download_gpu_rows(plan, dst);
}

}  // namespace

void run_hybrid_frame(const ResamplePlan& plan, DeviceMirror& mirror, boost::thread_group& worker_group,
                      const PIXEL_YC* src, PIXEL_YC* dst, WorkerStart start_worker)
{
    const PIXEL_YC* picture = src + static_cast<std::ptrdiff_t>(plan.request.clip_top) * plan.request.stride;

    const std::vector<RowBand> bands = cpu_row_bands(plan);
    std::vector<CpuJob> on_this_thread;
    on_this_thread.reserve(bands.size() + 1);
    StartedWorkers started(worker_group, bands.size());
    for (const RowBand& band : bands) {
        const CpuJob job{band.first_row, band.row_count, picture, dst};
        try {
            started.add(start_worker(worker_group, plan, job));
        } catch (...) {  // whatever stopped the thread from starting, its rows still get written
            on_this_thread.push_back(job);
        }
    }

    if (plan.gpu_rows >= 1 && !run_device_band(plan, mirror, picture, dst))
        on_this_thread.push_back({0, plan.gpu_rows, picture, dst});

    for (const CpuJob& job : on_this_thread)
        resample_rows_cpu(plan, job.first_row, job.row_count, job.src_pixels, job.dst_pixels);
}
