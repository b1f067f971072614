#include "plugin/lifecycle_callbacks.h"

#include "device/lifecycle.h"
#include "plugin/guarded_entry.h"
#include "plugin/module_state.h"
#include "plugin/registration.h"

HOST_BOOL VANTREO_CDECL func_init(FILTER*)
{
    const HOST_BOOL started = guarded_entry("start-up", HOST_BOOL{0}, [] {
        read_settings_once();  // already read when GetFilterTable ran, so start-up and the record agree
        set_emulated_cpu_level(module_state.cpu_level);
        return start_device() ? HOST_BOOL{1} : HOST_BOOL{0};
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
