// The plug-in's one export: the editor finds the filter through it.
#include "abi/filter_records.h"
#include "plugin/guarded_entry.h"
#include "plugin/registration.h"

VANTREO_EXPORT FILTER_DLL* VANTREO_CDECL GetFilterTable()
{
    return guarded_entry("GetFilterTable", static_cast<FILTER_DLL*>(nullptr), [] { return filter_registration(); });
}
