// The device module's kernels, written once in the subset of C++, CUDA C++ and OpenCL C that all
// three accept (C casts; int is 32-bit, short 16-bit). The including edge
// (device/emulated/kernels_emulated.cpp for the stand-in device, kernels.cu for a CUDA device,
// kernels.cl for an OpenCL device) gives them the constants and textures module_interface.inl lists, and
// defines the vocabulary used here:
//   DEFINE_KERNEL_0(name), DEFINE_KERNEL_2(name, T, a, b)   kernel heads
//   BLOCK_INDEX_X, THREAD_INDEX_X, BLOCK_DIM_X                the thread's position
//   CONSTANT_INT(name), CONSTANT_PIXELS(name)                 module constants
//   TEX1D(T, texture, index), TEX2D(T, texture, x, y)         point-sampled, clamped fetches
//   STORE_PIXEL(pixels, index, pixel)                         global stores
//   LOAD_GLOBAL(T, pointer, index), STORE_GLOBAL(pointer, index, value)
//   SHARED_ARRAY(T, name), SYNC_BLOCK()                       block-shared memory and barrier

// One output pixel per thread, by the device rules of plan/arithmetic.h: the weighted sum of a fixed
// window of gcUnitNumY x gcUnitNumX source pixels; the dense tap tables hold zero outside the pixel's
// own span. Threads past the band (the last block's surplus) compute rows below it, which the
// destination buffer has room for and which are never copied back.
DEFINE_KERNEL_0(calcDestPixelsKernel)
{
    const int unit_x = CONSTANT_INT(gcUnitNumX);
    const int unit_y = CONSTANT_INT(gcUnitNumY);
    const int dest_width = CONSTANT_INT(gcDestWidth);
    const int i = (int)(BLOCK_INDEX_X) * CONSTANT_INT(gcThreadNum) + (int)(THREAD_INDEX_X);
    const int row = i / dest_width;
    const int col = i % dest_width;
    const int sy = TEX1D(int, gTextureStartY, row);
    const int sx = TEX1D(int, gTextureStartX, col);

    float y = 0.0f, cb = 0.0f, cr = 0.0f;
    for (int j = 0; j < unit_y; ++j) {
        const float wy = TEX1D(float, gTextureWeightY, row * unit_y + j);
        const int r = sy + j;
        for (int m = 0; m < unit_x; ++m) {
            const float w = wy * TEX1D(float, gTextureWeightX, col * unit_x + m);
            const int x = 3 * (sx + m);
            y = device_accumulate(y, (float)(TEX2D(short, gTextureSrc, x, r)), w);
            cb = device_accumulate(cb, (float)(TEX2D(short, gTextureSrc, x + 1, r)), w);
            cr = device_accumulate(cr, (float)(TEX2D(short, gTextureSrc, x + 2, r)), w);
        }
    }
    const PIXEL_YC pixel = {store_channel_single(y), store_channel_single(cb), store_channel_single(cr)};
    STORE_PIXEL(CONSTANT_PIXELS(pgcGpuDestPixels), row * CONSTANT_INT(gcMaxWidth) + col, pixel);
}

// One output pixel per thread by the filter methods' integer rule (plan/arithmetic.h): for each of its
// gcFilterTapsX source columns the vertical pass over gcFilterTapsY source rows, then the horizontal
// pass over those intermediates; the same values as the CPU's, which computes each intermediate once
// per output row. Threads past the band compute rows below it, as above.
DEFINE_KERNEL_0(calcFilterPixelsKernel)
{
    const int taps_x = CONSTANT_INT(gcFilterTapsX);
    const int taps_y = CONSTANT_INT(gcFilterTapsY);
    const int bits_y = CONSTANT_INT(gcFilterBitsY);
    const int dest_width = CONSTANT_INT(gcDestWidth);
    const int i = (int)(BLOCK_INDEX_X) * CONSTANT_INT(gcThreadNum) + (int)(THREAD_INDEX_X);
    const int row = i / dest_width;
    const int col = i % dest_width;
    const int sy = TEX1D(int, gTextureFilterFirstY, row);
    const int sx = TEX1D(int, gTextureFilterFirstX, col);

    int y = 0, cb = 0, cr = 0;
    for (int m = 0; m < taps_x; ++m) {
        const int x = 3 * (sx + m);
        int column_y = 0, column_cb = 0, column_cr = 0;
        for (int j = 0; j < taps_y; ++j) {
            const int wy = TEX1D(short, gTextureFilterWeightY, row * taps_y + j);
            const int r = sy + j;
            column_y += wy * TEX2D(short, gTextureSrc, x, r);
            column_cb += wy * TEX2D(short, gTextureSrc, x + 1, r);
            column_cr += wy * TEX2D(short, gTextureSrc, x + 2, r);
        }
        const int wx = TEX1D(short, gTextureFilterWeightX, col * taps_x + m);
        y += wx * filter_intermediate(column_y, bits_y);
        cb += wx * filter_intermediate(column_cb, bits_y);
        cr += wx * filter_intermediate(column_cr, bits_y);
    }
    const int bits_x = CONSTANT_INT(gcFilterBitsX);
    const PIXEL_YC pixel = {filter_store(y, bits_x), filter_store(cb, bits_x), filter_store(cr, bits_x)};
    STORE_PIXEL(CONSTANT_PIXELS(pgcGpuDestPixels), row * CONSTANT_INT(gcMaxWidth) + col, pixel);
}

// Each block multiplies its first blockDim elements by blockDim, through shared memory.
DEFINE_KERNEL_2(testKernel, float, g_idata, g_odata)
{
    SHARED_ARRAY(float, sdata);
    const unsigned int t = THREAD_INDEX_X;
    sdata[t] = LOAD_GLOBAL(float, g_idata, t);
    SYNC_BLOCK();
    sdata[t] = (float)(BLOCK_DIM_X) * sdata[t];
    SYNC_BLOCK();
    STORE_GLOBAL(g_odata, t, sdata[t]);
}
