#include "plugin/registration.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "plugin/frame_entry.h"
#include "plugin/guarded_entry.h"
#include "plugin/lifecycle_callbacks.h"
#include "plugin/module_state.h"

namespace {

const char* const kTrackNames[kTrackCount] = {"Clip U", "Clip D", "Clip L", "Clip R", "Width",
                                               "Height", "Method", "T. Rate", "Cuda T.", "CPU T."};
const std::int32_t kTrackDefault[kTrackCount] = {0, 0, 0, 0, 640, 480, 0, 256, 32, 3};

const char* const kCheckNames[kCheckCount] = {"320 x 240", "512 x 384", "640 x 480", "other"};
const std::int32_t kCheckDefault[kCheckCount] = {0, 0, 1, 0};

// The record's maxima: the defaults until the settings are read.
std::array<std::int32_t, kTrackCount> registered_maximum = kTrackMaximum;

FILTER_DLL registration = {
    FILTER_FLAG_RADIO_BUTTON | FILTER_FLAG_EX_INFORMATION,
    0,
    0,
    "Vantreo",
    kTrackCount,
    kTrackNames,
    kTrackDefault,
    kTrackMinimum.data(),
    registered_maximum.data(),
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

std::array<std::int32_t, kTrackCount> track_maximum_for(const PluginSettings& settings)
{
    std::array<std::int32_t, kTrackCount> maximum = kTrackMaximum;
    if (settings.max_source_side > kDefaultMaxSourceSide) {
        maximum[kTrackWidth] = std::max(maximum[kTrackWidth], settings.max_source_side);
        maximum[kTrackHeight] = std::max(maximum[kTrackHeight], settings.max_source_side);
    }
    if (settings.extended_methods == 1) maximum[kTrackMethod] = static_cast<std::int32_t>(ResizeMethod::lanczos3);
    return maximum;
}

void read_settings_once()
{
    ModuleState& state = module_state;
    if (state.settings_read) return;
    state.settings_read = true;
    // Reading them can only run out of memory; the filter then registers and starts with the defaults.
    state.settings = guarded_entry("reading the settings", PluginSettings{},
                                   [] { return load_plugin_settings(plugin_folder()); });
    registered_maximum = track_maximum_for(state.settings);
    state.cpu_level = guarded_entry("reading the CPU level", best_cpu_level(), [] {
        std::string problems;
        const CpuLevel level = cpu_level_from_environment(&problems);
        std::fputs(problems.c_str(), stderr);
        return level;
    });
}

FILTER_DLL* filter_registration()
{
    read_settings_once();
    return &registration;
}

const std::int32_t* registered_track_maximum() { return registered_maximum.data(); }
