// One area-averaged frame: the top band of rows on the device, the rows below on CPU worker threads,
// both at the same time.
#pragma once

#include <cstdint>

#include <boost/thread/thread.hpp>

#include "plugin/filter_records.h"

// The frame's worker threads; empty between frames.
extern boost::thread_group worker_group;

// One run of rows for a worker thread.
struct CpuJob {
    std::int32_t first_row;
    std::int32_t row_count;
    const PIXEL_YC* src_pixels;  // the clipped picture's top row
    PIXEL_YC* dst_pixels;        // the destination frame, not advanced
};

// Starts a worker thread for `job` in worker_group and returns it; throws when the thread cannot be
// started. Tests replace it to make thread creation fail.
extern boost::thread* (*start_worker)(const CpuJob& job);
boost::thread* start_worker_in_group(const CpuJob& job);

// Writes output rows 0 .. dst_h-1 of `dst` for the current plan; returns when all are written.
void run_hybrid_frame(const PIXEL_YC* src, PIXEL_YC* dst);
