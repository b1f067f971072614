// A shared library that is not a filter plug-in: it exports something, but no GetFilterTable.
#include "abi/filter_records.h"

VANTREO_EXPORT int VANTREO_CDECL not_a_filter() { return 42; }
