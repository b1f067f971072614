// The registration record the editor reads through GetFilterTable, and the meaning of its controls.
#pragma once

#include <array>

#include "abi/filter_records.h"
#include "plan/resize_request.h"
#include "settings/plugin_settings.h"

// Indexes into FILTER::track, in registration order.
enum TrackIndex {
    kTrackClipTop = 0,     // "Clip U"
    kTrackClipBottom = 1,  // "Clip D"
    kTrackClipLeft = 2,    // "Clip L"
    kTrackClipRight = 3,   // "Clip R"
    kTrackWidth = 4,
    kTrackHeight = 5,
    kTrackMethod = 6,
    kTrackDeviceRate = 7,
    kTrackBlockThreads = 8,
    kTrackCpuThreads = 9,
    kTrackCount = 10,
};

// Indexes into FILTER::check: the radio group of output sizes.
enum CheckIndex {
    kCheck320x240 = 0,
    kCheck512x384 = 1,
    kCheck640x480 = 2,
    kCheckOther = 3,
    kCheckCount = 4,
};

// The track bars' ranges at the default settings. The minima are always the record's.
inline constexpr std::array<std::int32_t, kTrackCount> kTrackMinimum = {0, 0, 0, 0, 1, 1, 0, 0, 32, 1};
inline constexpr std::array<std::int32_t, kTrackCount> kTrackMaximum = {512, 512, 512, 512, 1600, 1200, 1, 256, 512,
                                                                         kMaxCpuThreads};

// The track bars' maxima the record carries under `settings`: kTrackMaximum, except that a source
// limit raised above its default raises "Width" and "Height" to it where they are lower, so that
// sources it lets through can be kept at their size or enlarged to it, and extended_methods raises
// "Method" to 3 (bicubic 2, Lanczos-3 3).
std::array<std::int32_t, kTrackCount> track_maximum_for(const PluginSettings& settings);

// The record the editor reads. Its first call reads the plug-in's settings (read_settings_once).
FILTER_DLL* filter_registration();

// Reads the plug-in's settings into module_state and sets the record's maxima to follow them, the
// first time it is called; later calls change nothing, so the editor and start-up see the same
// values. A failure to read them is reported on stderr and leaves the defaults in force.
void read_settings_once();

// The maxima the record carries: kTrackMaximum until the settings are read.
const std::int32_t* registered_track_maximum();
