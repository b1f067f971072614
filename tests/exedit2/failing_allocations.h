// Allocations that fail on request. The host replaces operator new and exports it, so the plug-in's
// allocations come here too; only those of the plug-in's own code in a video call count. Linux only: a
// Windows DLL allocates from its own runtime.
#pragma once

// `count` more allocations of this thread succeed, the next one fails.
void fail_allocation_after(long count);
// Disarms this thread; true when its armed allocation failed.
bool disarm_allocation_failure();
