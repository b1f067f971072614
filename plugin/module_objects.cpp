// The plug-in's module-wide objects, defined in one place because their construction order at load
// matters: the device module's objects, then the module state. Destruction runs in reverse.
#include "device/module_objects.inl"
#include "plugin/module_state.h"

ModuleState module_state;
