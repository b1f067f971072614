#include "plugin/lifecycle_callbacks.h"

#include <cstdlib>

#include "device/lifecycle.h"
#include "plugin/module_state.h"

HOST_BOOL VANTREO_CDECL func_init(FILTER*)
{
    if (!start_device()) std::exit(1);
    return 1;
}

HOST_BOOL VANTREO_CDECL func_exit(FILTER*)
{
    module_state.plan = ResamplePlan{};
    module_state.mirror.release();
    prompt_before_exit();
    std::exit(0);
}
