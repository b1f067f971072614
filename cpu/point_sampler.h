// Point sampling of a whole frame from a plan's lookups.
#pragma once

#include "plan/resample_plan.h"

// Copies into each pixel of the dst_w x dst_h output picture of `dst` the source pixel that a
// point-sampling plan names for its row and column. `src` and `dst` are whole pictures of the
// request's stride and layout; only the clipped picture of `src` is read and nothing of `dst` outside
// the output picture is written.
void point_sample_frame(const ResamplePlan& plan, const void* src, void* dst);
