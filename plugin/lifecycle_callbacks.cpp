#include "plugin/lifecycle_callbacks.h"

#include "device/lifecycle.h"
#include "plugin/module_state.h"

HOST_BOOL VANTREO_CDECL func_init(FILTER*)
{
    module_state.settings = load_plugin_settings(plugin_folder());
    module_state.start_failed = !start_device();
    return module_state.start_failed ? 0 : 1;
}

HOST_BOOL VANTREO_CDECL func_exit(FILTER*)
{
    module_state.plan = ResamplePlan{};
    module_state.mirror.release();
    prompt_before_exit();
    return 1;
}
