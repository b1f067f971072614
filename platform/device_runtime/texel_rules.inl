// How a texture fetch picks its element, in the subset of C++ and OpenCL C that both accept, so that
// the emulated device and the kernels an OpenCL device builds read the same element. The includer
// defines VANTREO_TEXEL_FUNCTION, what precedes the function (inline, or nothing).

// Point sampling with unnormalised coordinates and clamped addressing along one axis of `extent`
// elements: the element at the integer part of the coordinate, the nearest end element for a
// coordinate outside the array.
VANTREO_TEXEL_FUNCTION int texel_index(float coordinate, int extent)
{
    if (!(coordinate >= 0.0f)) return 0;  // also NaN
    if (coordinate >= (float)extent) return extent - 1;
    return (int)coordinate;
}
