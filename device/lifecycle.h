// The device outside the frames: choosing it at start-up, and the prompt at shut-down.
#pragma once

#include "cpu/cpu_level.h"

// Chooses device 0 (or the "device" option, or VANTREO_DEVICE), says which on stderr unless "quiet", makes it current,
// and prepares the texture settings and channel descriptors. With no usable device it writes why to
// stderr and returns false.
[[nodiscard]] bool start_device();

// Unless "noprompt": writes the shut-down prompt to stdout and waits for one character of stdin.
void prompt_before_exit();

// The CPU row-worker level the emulated device runs whole launches at: the CPU's best until set. The
// plug-in sets it at start-up from its settings; a real device runs no CPU code and ignores it.
void set_emulated_cpu_level(CpuLevel level);
CpuLevel emulated_cpu_level();
