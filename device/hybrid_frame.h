// One area-averaged or filtered frame: the top band of rows on the device, the rows below on CPU
// worker threads, both at the same time.
#pragma once

#include <cstdint>

#include <boost/function.hpp>
#include <boost/thread/thread.hpp>

#include "cpu/cpu_level.h"
#include "device/device_mirror.h"
#include "plan/resample_plan.h"

// One run of rows for a worker thread.
struct CpuJob {
    CpuLevel level;          // the row worker's instruction-set level
    AreaRule area_rule;      // the rounding rule of area-averaging rows
    std::int32_t first_row;
    std::int32_t row_count;
    const void* src_pixels;  // the clipped picture's top row
    void* dst_pixels;        // the destination picture, not advanced
};

// Starts a thread running `body` and adds it to `group`, or throws (with no thread left running).
boost::thread* add_worker(boost::thread_group& group, const boost::function<void()>& body);

// Computes `job`'s rows of `plan` (area averaging or a filter method) on the calling thread.
void run_cpu_job(const ResamplePlan& plan, const CpuJob& job);

// Starts a worker thread in `group` that runs `job` on `plan`, and returns it; throws when the thread
// cannot be started.
using WorkerStart = boost::thread* (*)(boost::thread_group& group, const ResamplePlan& plan, const CpuJob& job);
boost::thread* start_worker_in_group(boost::thread_group& group, const ResamplePlan& plan, const CpuJob& job);

// Writes output rows 0 .. dst_h-1 of `dst` for an area-averaging or filter-method `plan` and returns
// when all are written, the CPU's rows at `cpu_level`. The CPU's area-averaging rows follow
// `cpu_area_rule`: the CPU's own (the editor's frames), or the device's, which makes a picture's
// bytes the same however its rows are split (the plan then needs its device_area taps). The device
// band runs on `mirror` when it is ready for the plan; a band the device cannot compute (no
// resources, a failed upload, launch or copy-back), and any CPU band whose thread cannot be
// started, is computed on the calling thread.
// `worker_group` is empty again on return. `src` and `dst` are whole pictures of the plan's layout.
void run_hybrid_frame(const ResamplePlan& plan, CpuLevel cpu_level, DeviceMirror& mirror, boost::thread_group& worker_group,
                      const void* src, void* dst, AreaRule cpu_area_rule = AreaRule::cpu,
                      WorkerStart start_worker = start_worker_in_group);
