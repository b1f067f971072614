// The rounding rules that the device kernels and the CPU's workers share (the saturation, the device's
// area-averaging taps and store, the filter methods' integer rounding), written in the subset of C++,
// CUDA C++ and OpenCL C that the kernel body uses, so that every edge compiles the same text. The
// includer defines
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

// The filter methods' two roundings, the same on every executor (plan/arithmetic.h): a sum of
// products of weights with `weight_bits` fraction bits, exact in 32 bits, shifted right with the
// half added (round half up; >> of a negative int is arithmetic on every compiler of the build) and
// saturated. The vertical pass keeps two fraction bits in its 16-bit intermediate; the horizontal
// pass stores the whole value.
VANTREO_DEVICE_FUNCTION short filter_rounded(int sum, int shift)
{
    return saturate_to_int16((sum + (1 << (shift - 1))) >> shift);
}
VANTREO_DEVICE_FUNCTION short filter_intermediate(int sum, int weight_bits) { return filter_rounded(sum, weight_bits - 2); }
VANTREO_DEVICE_FUNCTION short filter_store(int sum, int weight_bits) { return filter_rounded(sum, weight_bits + 2); }
