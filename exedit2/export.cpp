// The functions the host looks up by name.
#include "abi/exedit2_records.h"
#include "device/lifecycle.h"
#include "exedit2/effect_items.h"
#include "exedit2/host_log.h"
#include "exedit2/video_call.h"

namespace {

// The oldest host the plug-in accepts: the first with the records as they are declared here.
constexpr exedit2::Dword kRequiredHostVersion = 2003300;

}  // namespace

VANTREO_EXPORT exedit2::FilterTable* GetFilterPluginTable() { return filter_table(); }

VANTREO_EXPORT exedit2::Dword RequiredVersion() { return kRequiredHostVersion; }

VANTREO_EXPORT void InitializeLogger(exedit2::Logger* logger) { set_host_log(logger); }

// The emulated device runs its launches at the CPU rows' level.
VANTREO_EXPORT bool InitializePlugin(exedit2::Dword)
{
    set_emulated_cpu_level(module_state.cpu_level);
    return true;
}

// Every call's workers are joined before it returns; what is left is the device's copy and the room
// kept for the pictures.
VANTREO_EXPORT void UninitializePlugin()
{
    try {
        module_state.device.release();
        module_state.sample_room.release();
        module_state.pixel_room.release();
    } catch (...) {
    }
}
