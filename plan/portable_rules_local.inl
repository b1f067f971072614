// The shared rules (portable_rules.inl) as plain inline functions, for code compiled for an
// instruction set the rest of the build may lack: include it inside an unnamed namespace, so that no
// such copy of a rule can stand in for the portable one at link time. The fused multiply-add is the
// compiler's builtin, never an out-of-line library wrapper.
#define VANTREO_DEVICE_FUNCTION inline
#define VANTREO_FMA(a, b, c) __builtin_fmaf(a, b, c)
#include "plan/portable_rules.inl"
#undef VANTREO_FMA
#undef VANTREO_DEVICE_FUNCTION
