#include "cpu/hybrid_frame.h"

#include <vector>

#include <boost/bind/bind.hpp>

#include "cpu/row_worker.h"
#include "gpu/launch.h"
#include "plan/device_mirror.h"
#include "plan/resample_plan.h"

boost::thread* (*start_worker)(const CpuJob& job) = start_worker_in_group;

boost::thread* start_worker_in_group(const CpuJob& job)
{
    return worker_group.create_thread(
        boost::bind(resample_rows_cpu, job.first_row, job.row_count, job.src_pixels, job.dst_pixels));
}

namespace {

// The CPU bands below the device band: one per worker, the last carrying the remainder.
std::vector<CpuJob> cpu_jobs(const PIXEL_YC* src, PIXEL_YC* dst)
{
    const std::int32_t first = plan.gpu_rows;
    const std::int32_t per_thread = plan.rows_per_thread;
    const std::int32_t threads = plan.request.cpu_threads;
    std::vector<CpuJob> jobs;
    if (per_thread >= 1)
        for (std::int32_t i = 0; i < threads - 1; ++i) jobs.push_back({first + i * per_thread, per_thread, src, dst});
    const std::int32_t last_first = first + (threads - 1) * per_thread;
    const std::int32_t last_count = plan.request.dst_h - last_first;
    if (last_count >= 1) jobs.push_back({last_first, last_count, src, dst});
    return jobs;
}

}  // namespace

void run_hybrid_frame(const PIXEL_YC* src, PIXEL_YC* dst)
{
    const std::int32_t stride = plan.request.stride;
    const PIXEL_YC* picture = src + static_cast<std::ptrdiff_t>(plan.request.clip_top) * stride;

    // A band whose thread cannot be started is computed on this thread once the device band is done.
    const std::vector<CpuJob> jobs = cpu_jobs(picture, dst);
    std::vector<boost::thread*> started;
    std::vector<CpuJob> not_started;
    started.reserve(jobs.size());  // so that recording a started thread cannot throw
    not_started.reserve(jobs.size() + 1);
    for (const CpuJob& job : jobs) {
        try {
            started.push_back(start_worker(job));
        } catch (...) {  // whatever stopped the thread from starting, its rows still get written
            not_started.push_back(job);
        }
    }

    // A band whose device resources could not be allocated is computed on this thread too.
    const std::int32_t gpu_rows = plan.gpu_rows;
    const bool on_device = gpu_rows >= 1 && device_mirror_complete();
    if (gpu_rows >= 1 && !on_device) not_started.push_back({0, gpu_rows, picture, dst});
    if (on_device) {
        upload_source_frame(picture, plan.row_last[gpu_rows - 1] + 1);
        launch_resample_kernel();
        download_gpu_rows(dst, static_cast<std::uint32_t>(gpu_rows * stride * sizeof(PIXEL_YC)));
    }

    for (const CpuJob& job : not_started) resample_rows_cpu(job.first_row, job.row_count, job.src_pixels, job.dst_pixels);

    worker_group.join_all();
    for (boost::thread* thread : started) {
        worker_group.remove_thread(thread);
        delete thread;
    }
}
