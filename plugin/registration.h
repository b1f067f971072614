// The registration record the editor reads through GetFilterTable, and the meaning of its controls.
#pragma once

#include "abi/filter_records.h"

// Indexes into FILTER::track, in registration order.
enum TrackIndex {
    kTrackClipTop = 0,     // "Clip U"
    kTrackClipBottom = 1,  // "Clip D"
    kTrackClipLeft = 2,    // "Clip L"
    kTrackClipRight = 3,   // "Clip R"
    kTrackWidth = 4,
    kTrackHeight = 5,
    kTrackMethod = 6,
    kTrackGpuRate = 7,
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

extern const std::int32_t kTrackMinimum[kTrackCount];
extern const std::int32_t kTrackMaximum[kTrackCount];

FILTER_DLL* filter_registration();
