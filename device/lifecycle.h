// The device outside the frames: choosing it at start-up, and the prompt at shut-down.
#pragma once

#include <string>

#include "cpu/cpu_level.h"

// Chooses device 0 (or the "device" option, or VANTREO_DEVICE), says which on stderr unless "quiet", makes it current,
// and prepares the texture settings and channel descriptors. With no usable device it writes why to
// stderr and returns false. The chosen device's name goes to `device_name` too, when given.
[[nodiscard]] bool start_device(std::string* device_name = nullptr);

enum class DeviceStart { failed, chosen, deferred };

// Start-up while no rows are to run on the device. Unless VANTREO_DEVICE names one, it only checks that
// the last device, the emulated one, is usable, and the OpenCL loader (with the drivers it loads)
// stays closed until start_device() chooses the device once rows are to run on it. Where that device
// is not usable, or one is named, it is start_device() now.
[[nodiscard]] DeviceStart start_device_when_needed();

// Unless "noprompt", and only when standard input and output are both a terminal (a console someone
// reads): writes the shut-down prompt to stdout and waits for one character of stdin. Otherwise they
// belong to the program that loaded the plug-in, and nothing is written or waited for.
void prompt_before_exit();

// The CPU row-worker level the emulated device runs whole launches at: the CPU's best until set. The
// plug-in sets it at start-up from its settings; a real device runs no CPU code and ignores it.
void set_emulated_cpu_level(CpuLevel level);
CpuLevel emulated_cpu_level();
