// The effect's video call: the object's image resized to the size its items ask for.
#pragma once

#include "abi/exedit2_records.h"
#include "cpu/cpu_level.h"
#include "exedit2/core_passes.h"

// What the module keeps between calls: the CPU rows' level, read at load (VANTREO_CPU_LEVEL forces
// one), since the host need not call InitializePlugin; the shared device; room for the pictures.
struct ModuleState {
    CpuLevel cpu_level = cpu_level_from_environment();
    SharedDevice device;
    RoomPool<std::int16_t> sample_room;
    RoomPool<exedit2::Rgba> pixel_room;
};
extern ModuleState module_state;

// Always true (the object's later effects go on). Nothing thrown inside reaches the host: a call
// that fails leaves the object as it was and logs why.
bool video_call(exedit2::VideoCall* call) noexcept;
