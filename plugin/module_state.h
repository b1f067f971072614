// What the plug-in keeps between the editor's calls: the settings and the CPU rows' level, read once;
// whether start-up failed and whether the device is chosen yet; the one plan with its device mirror;
// the frame's CPU worker threads. Touched only by GetFilterTable (read_settings_once) and the three
// callbacks, which the editor calls on one thread, one at a time; everything below them takes what it
// needs as arguments.
#pragma once

#include <boost/thread/thread.hpp>

#include "cpu/cpu_level.h"
#include "device/device_mirror.h"
#include "device/lifecycle.h"
#include "plan/resample_plan.h"
#include "settings/plugin_settings.h"

struct ModuleState {
    boost::thread_group worker_group;  // the frame's CPU workers; empty between frames
    ResamplePlan plan{};               // built for plan.request; matches no frame at load
    DeviceMirror mirror;               // the device copy of the plan's last area-averaging build
    bool start_failed = false;         // no usable device: frames pass through, the device is left alone
    // Whether the device is chosen: by start-up, else by the first plan with device rows (choosing
    // it then failed: those rows go to the CPU). Without start-up, the runtime's current device.
    DeviceStart device = DeviceStart::chosen;
    PluginSettings settings;           // the defaults until read_settings_once reads them
    bool settings_read = false;        // by the first GetFilterTable, else at start-up
    CpuLevel cpu_level = CpuLevel::scalar;  // the CPU row workers' level, read with the settings
};

// Defined with the device module's registration, after it, so that the mirror frees its device
// resources before the module is unregistered.
extern ModuleState module_state;
