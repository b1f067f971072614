#include "plugin/lifecycle_callbacks.h"

#include "device/lifecycle.h"
#include "plugin/guarded_entry.h"
#include "plugin/module_state.h"
#include "plugin/registration.h"

namespace {

// Whether the controls the host starts with give rows to the device: a method other than point
// sampling, with a "T. Rate" above 0.
bool device_rows_expected(const FILTER* fp)
{
    return fp && fp->track && fp->track[kTrackMethod] >= 1 && fp->track[kTrackDeviceRate] >= 1;
}

}  // namespace

HOST_BOOL VANTREO_CDECL func_init(FILTER* fp)
{
    const HOST_BOOL started = guarded_entry("start-up", HOST_BOOL{0}, [fp] {
        read_settings_once();  // already read when GetFilterTable ran, so start-up and the record agree
        set_emulated_cpu_level(module_state.cpu_level);
        // Without device rows to run, the OpenCL drivers are not loaded until a frame has some.
        const bool chosen_now = device_rows_expected(fp);
        module_state.device = chosen_now ? (start_device() ? DeviceStart::chosen : DeviceStart::failed)
                                         : start_device_when_needed();
        return module_state.device == DeviceStart::failed ? HOST_BOOL{0} : HOST_BOOL{1};
    });
    module_state.start_failed = !started;
    return started;
}

HOST_BOOL VANTREO_CDECL func_exit(FILTER*)
{
    return guarded_entry("shut-down", HOST_BOOL{0}, [] {
        module_state.plan = ResamplePlan{};
        module_state.mirror.release();
        prompt_before_exit();
        return HOST_BOOL{1};
    });
}
