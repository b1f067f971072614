// The frame callback: resolve the request, keep the plan in step, produce the frame, hand it back.
#pragma once

#include <optional>

#include "abi/filter_records.h"
#include "plan/resize_request.h"

// Filters one frame. A call made while another runs (the editor makes none) passes its frame through
// untouched.
HOST_BOOL VANTREO_CDECL func_proc(FILTER* fp, FILTER_PROC_INFO* fpip);

// The request for this frame, or nothing when the frame is to pass through untouched: a clipped source
// wider or taller than `max_source_side`, or a record no sane host sends (missing pointers, sizes
// outside the buffer, control values outside their registered ranges).
std::optional<ResizeRequest> resolve_request(const FILTER* fp, const FILTER_PROC_INFO* fpip,
                                             std::int32_t max_source_side);
