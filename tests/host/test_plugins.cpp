// Small filter plug-ins for the host's tests, one per TEST_PLUGIN_* definition.
//
// PROBE: track bars "Mode" 0..5 and "Shift" -100..100, check boxes "a", "b", "c" in a radio group.
// The frame callback by Mode: 0 leaves the frame untouched; 1 doubles the width into ycp_temp
// (Y += Shift) and swaps the frame pointers; 2 adds Shift to Y in ycp_edit itself, as many filters
// do; 3 returns a width one past max_w; 4 reports failure;
// 5 sets ycp_edit to null. With Shift at 100 it ends the process with status 3. The exit callback
// behaves like the real filter's: prompt on standard output, wait for a key, end the process.
// MINIMAL: no controls, no init or exit callback, a frame callback that changes nothing.
// The others are broken records the host must refuse.
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "abi/filter_records.h"

namespace {

#if defined(TEST_PLUGIN_PROBE)

const char* const kTrackNames[] = {"Mode", "Shift"};
const std::int32_t kTrackDefault[] = {0, 5};
const std::int32_t kTrackMin[] = {0, -100};
const std::int32_t kTrackMax[] = {5, 100};
const char* const kCheckNames[] = {"a", "b", "c"};
const std::int32_t kCheckDefault[] = {0, 1, 0};

HOST_BOOL VANTREO_CDECL probe_exit(FILTER*)
{
    std::printf("\nPress ENTER to exit...\n");
    std::fflush(stdout);
    std::getchar();
    std::fprintf(stderr, "probe exit callback done\n");
    std::exit(0);
}

HOST_BOOL VANTREO_CDECL probe_proc(FILTER* fp, FILTER_PROC_INFO* fpip)
{
    if (fp->track[1] == 100) std::exit(3);
    const std::int32_t stride = fpip->max_w;
    switch (fp->track[0]) {
    case 1:
        for (std::int32_t y = 0; y < fpip->h; ++y)
            for (std::int32_t x = 0; x < 2 * fpip->w; ++x) {
                PIXEL_YC pixel = fpip->ycp_edit[y * stride + x / 2];
                pixel.y = static_cast<std::int16_t>(pixel.y + fp->track[1]);
                fpip->ycp_temp[y * stride + x] = pixel;
            }
        fpip->w *= 2;
        std::swap(fpip->ycp_edit, fpip->ycp_temp);
        return 1;
    case 2:
        for (std::int32_t y = 0; y < fpip->h; ++y)
            for (std::int32_t x = 0; x < fpip->w; ++x)
                fpip->ycp_edit[y * stride + x].y = static_cast<std::int16_t>(fpip->ycp_edit[y * stride + x].y + fp->track[1]);
        return 1;
    case 3:
        fpip->w = fpip->max_w + 1;
        return 1;
    case 4:
        return 0;
    case 5:
        fpip->ycp_edit = nullptr;
        return 1;
    default:
        return 1;
    }
}

FILTER_DLL build()
{
    FILTER_DLL record{};
    record.flag = FILTER_FLAG_RADIO_BUTTON | FILTER_FLAG_EX_INFORMATION;
    record.name = "Probe";
    record.track_n = 2;
    record.track_name = kTrackNames;
    record.track_default = kTrackDefault;
    record.track_s = kTrackMin;
    record.track_e = kTrackMax;
    record.check_n = 3;
    record.check_name = kCheckNames;
    record.check_default = kCheckDefault;
    record.func_proc = probe_proc;
    record.func_exit = probe_exit;
    record.information = "Probe filter for the host tests";
    return record;
}

#else

HOST_BOOL VANTREO_CDECL unchanged_proc(FILTER*, FILTER_PROC_INFO*) { return 1; }

#if defined(TEST_PLUGIN_DEFAULT_OUT_OF_RANGE)
const char* const kOneName[] = {"Level"};
const std::int32_t kOneDefault[] = {7};
const std::int32_t kOneMin[] = {0};
const std::int32_t kOneMax[] = {5};
#endif

FILTER_DLL build()
{
    FILTER_DLL record{};
    record.name = "Minimal";
    record.func_proc = unchanged_proc;
#if defined(TEST_PLUGIN_TOO_MANY_TRACKS)
    record.track_n = 65;
#elif defined(TEST_PLUGIN_DEFAULT_OUT_OF_RANGE)
    record.track_n = 1;
    record.track_name = kOneName;
    record.track_default = kOneDefault;
    record.track_s = kOneMin;
    record.track_e = kOneMax;
#elif defined(TEST_PLUGIN_NO_FRAME_CALLBACK)
    record.func_proc = nullptr;
#endif
    return record;
}

#endif

[[maybe_unused]] FILTER_DLL registration = build();

}  // namespace

#ifdef TEST_PLUGIN_NULL_RECORD
VANTREO_EXPORT FILTER_DLL* VANTREO_CDECL GetFilterTable() { return nullptr; }
#else
VANTREO_EXPORT FILTER_DLL* VANTREO_CDECL GetFilterTable() { return &registration; }
#endif
