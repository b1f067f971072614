#include "plugin/hybrid_frame.h"

#include <functional>
#include <vector>

#include <boost/bind/bind.hpp>

#include "cpu/row_worker.h"

// A worker is a thread of the Boost.Thread group running a Boost.Bind call of the row worker; the
// group's own lock guards its list of threads, and its join makes the rows visible to this thread.
boost::thread* start_worker_in_group(boost::thread_group& group, const ResamplePlan& plan, const CpuJob& job)
{
    return group.create_thread(boost::bind(resample_rows_cpu, std::cref(plan), job.first_row, job.row_count,
                                           job.src_pixels, job.dst_pixels));
}

namespace {

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
    std::vector<boost::thread*> started;
    std::vector<CpuJob> on_this_thread;
    started.reserve(bands.size());  // so that recording a started thread cannot throw
    on_this_thread.reserve(bands.size() + 1);
    for (const RowBand& band : bands) {
        const CpuJob job{band.first_row, band.row_count, picture, dst};
        try {
            started.push_back(start_worker(worker_group, plan, job));
        } catch (...) {  // whatever stopped the thread from starting, its rows still get written
            on_this_thread.push_back(job);
        }
    }

    if (plan.gpu_rows >= 1 && !run_device_band(plan, mirror, picture, dst))
        on_this_thread.push_back({0, plan.gpu_rows, picture, dst});

    for (const CpuJob& job : on_this_thread)
        resample_rows_cpu(plan, job.first_row, job.row_count, job.src_pixels, job.dst_pixels);

    worker_group.join_all();
    for (boost::thread* thread : started) {
        worker_group.remove_thread(thread);
        delete thread;
    }
}
