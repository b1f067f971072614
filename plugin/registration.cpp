#include "plugin/registration.h"

#include "plugin/frame_entry.h"
#include "plugin/lifecycle_callbacks.h"

namespace {

const char* const kTrackNames[kTrackCount] = {"Clip U", "Clip D", "Clip L", "Clip R", "Width",
                                               "Height", "Method", "T. Rate", "Cuda T.", "CPU T."};
const std::int32_t kTrackDefault[kTrackCount] = {0, 0, 0, 0, 640, 480, 0, 256, 32, 3};

const char* const kCheckNames[kCheckCount] = {"320 x 240", "512 x 384", "640 x 480", "other"};
const std::int32_t kCheckDefault[kCheckCount] = {0, 0, 1, 0};

FILTER_DLL registration = {
    FILTER_FLAG_RADIO_BUTTON | FILTER_FLAG_EX_INFORMATION,
    0,
    0,
    "Vantreo",
    kTrackCount,
    kTrackNames,
    kTrackDefault,
    kTrackMinimum,
    kTrackMaximum,
    kCheckCount,
    kCheckNames,
    kCheckDefault,
    func_proc,
    func_init,
    func_exit,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    0,
    "Vantreo by Elsom 200809211840",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    {0, 0},
};

}  // namespace

const std::int32_t kTrackMinimum[kTrackCount] = {0, 0, 0, 0, 1, 1, 0, 0, 32, 1};
const std::int32_t kTrackMaximum[kTrackCount] = {512, 512, 512, 512, 1600, 1200, 1, 256, 512, kMaxCpuThreads};

FILTER_DLL* filter_registration() { return &registration; }
