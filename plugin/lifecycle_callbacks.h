// The editor's start-up and shut-down callbacks. Both return to the editor whatever happens: ending
// its process would take the editor down with the filter.
#pragma once

#include "abi/filter_records.h"

// Reads the settings, unless GetFilterTable already has, and starts the device: chosen now when the
// controls `fp` holds give it rows, else at the first frame that does (start_device_when_needed).
// Without a usable device, or when anything fails, it says why on stderr and returns 0; every frame
// then passes through untouched.
HOST_BOOL VANTREO_CDECL func_init(FILTER* fp);

// Forgets the plan, releases every device resource, on a console prompts and waits for one character
// (prompt_before_exit), and returns 1 (0 after a failure it reports), so that the editor's own
// shut-down runs on.
HOST_BOOL VANTREO_CDECL func_exit(FILTER* fp);
