// The plug-in's one export: the editor finds the filter through it.
#include "abi/filter_records.h"
#include "plugin/registration.h"

VANTREO_EXPORT FILTER_DLL* VANTREO_CDECL GetFilterTable() { return filter_registration(); }
