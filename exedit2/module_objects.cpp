// The plug-in's module-wide objects, in the order their construction at load needs: the device
// module's objects, then the module state. Destruction runs in reverse.
#include "device/module_objects.inl"
#include "exedit2/video_call.h"

ModuleState module_state;
