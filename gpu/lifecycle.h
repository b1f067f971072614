// Start-up and shut-down callbacks: choose the device; release every device resource and end the
// process.
#pragma once

#include "plugin/filter_records.h"

// Chooses device 0, reports it on stderr and prepares the channel descriptors; ends the process with
// status 1 when there is no usable device.
HOST_BOOL VANTREO_CDECL func_init(FILTER* fp);

// Releases the device memory, prompts and waits for one character, and ends the process with status 0.
[[noreturn]] HOST_BOOL VANTREO_CDECL func_exit(FILTER* fp);
