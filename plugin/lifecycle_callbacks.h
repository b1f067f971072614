// The editor's start-up and shut-down callbacks.
#pragma once

#include "abi/filter_records.h"

// Starts the device; ends the process with status 1 when there is no usable device.
HOST_BOOL VANTREO_CDECL func_init(FILTER* fp);

// Forgets the plan, releases every device resource, prompts and waits for one character, and ends
// the process with status 0.
[[noreturn]] HOST_BOOL VANTREO_CDECL func_exit(FILTER* fp);
