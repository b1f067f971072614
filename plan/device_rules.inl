// The device's rounding rules, written in the subset of C++, CUDA C++ and OpenCL C that the kernel
// body uses, so that every edge compiles the same text. The includer defines
//   VANTREO_DEVICE_FUNCTION   what precedes each function (inline, __host__ __device__, ...)
//   VANTREO_FMA(a, b, c)      a * b + c rounded once
// C++ sees short and int as std::int16_t and std::int32_t.

VANTREO_DEVICE_FUNCTION short saturate_to_int16(int value)
{
    return (short)(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

// One tap of a channel sum: value * weight + sum rounded once, a fused multiply-add on purpose (the
// device computes it so; the emulated device must give the same bits).
VANTREO_DEVICE_FUNCTION float device_accumulate(float sum, float value, float weight)
{
    return VANTREO_FMA(value, weight, sum);
}

// The half is added in single precision.
VANTREO_DEVICE_FUNCTION short store_channel_single(float sum) { return saturate_to_int16((int)(sum + 0.5f)); }
