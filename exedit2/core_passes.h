// Running an object's passes through the core: the pictures they pass between, the CPU's threads,
// and the one device the module's calls share.
#pragma once

#include <cstdint>
#include <mutex>

#include "cpu/cpu_level.h"
#include "device/device_mirror.h"
#include "device/lifecycle.h"
#include "exedit2/object_size.h"
#include "exedit2/room_pool.h"

// The module's device and its copy of the last plan that ran on it. One call at a time uses it; a
// call that finds it in use, or finds no usable device, leaves its rows to the CPU, which writes the
// same bytes.
class SharedDevice {
public:
    // Locks the device for the caller when it is free and usable, choosing it at the first use.
    // Logs the device chosen, or that there is none, from the calling thread.
    std::unique_lock<std::mutex> try_acquire();
    // The mirror, for the holder of try_acquire's lock.
    DeviceMirror& mirror() { return mirror_; }
    // Frees the device resources (waiting for a call that uses them).
    void release();

private:
    std::mutex mutex_;
    DeviceMirror mirror_;
    DeviceStart start_ = DeviceStart::deferred;
};

// What a call's runs take from the effect's items and the module.
struct CoreSettings {
    CpuLevel cpu_level;
    std::int32_t cpu_threads;  // 1 .. kMaxCpuThreads
    std::int32_t device_rate;  // 0 .. 256
};

// Two pictures of the core's RGBA layout with one stride, large enough for every run of the passes
// and a column and a row of zeros past them: `source` holds the object at the start and the result
// at the end.
// Left uninitialised: every sample a run reads is written first.
struct PassPictures {
    std::int32_t stride;
    RoomPool<std::int16_t>::Lease first_room;
    RoomPool<std::int16_t>::Lease second_room;
    std::int16_t* source;
    std::int16_t* result;
};
PassPictures pass_pictures(PictureSize object, const ResizePasses& passes, RoomPool<std::int16_t>& room);

// Runs `passes` on the object in `pictures.source`, leaving the result there.
void run_passes(const ResizePasses& passes, PictureSize object, const CoreSettings& settings, SharedDevice& device,
                PassPictures& pictures);
