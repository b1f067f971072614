// The CPU's rows of a whole frame, the reference the device's rows are compared with.
#pragma once

#include "cpu/plan_rows.h"
#include "tests/support/frames.h"

// Every output row of an area-averaging `plan` computed on the CPU from `src`, into a new frame.
inline GuardedFrame cpu_rows_frame(const ResamplePlan& plan, const GuardedFrame& src)
{
    const ResizeRequest& r = plan.request;
    GuardedFrame dst(src.max_w, r.dst_h);
    run_plan_rows(cpu_level_from_environment(), plan, 0, r.dst_h, src.pixels() + static_cast<std::ptrdiff_t>(r.clip_top) * r.stride, dst.pixels());
    return dst;
}
