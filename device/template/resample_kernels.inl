// The device module's kernels, written once. The including edge (kernels_emulated.cpp for the
// stand-in device, kernels.cu for a real one) defines the vocabulary used here:
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
    const std::int32_t unit_x = CONSTANT_INT(gcUnitNumX);
    const std::int32_t unit_y = CONSTANT_INT(gcUnitNumY);
    const std::int32_t dest_width = CONSTANT_INT(gcDestWidth);
    const std::int32_t i = static_cast<std::int32_t>(BLOCK_INDEX_X) * CONSTANT_INT(gcThreadNum) +
                           static_cast<std::int32_t>(THREAD_INDEX_X);
    const std::int32_t row = i / dest_width;
    const std::int32_t col = i % dest_width;
    const std::int32_t sy = TEX1D(int, gTextureStartY, row);
    const std::int32_t sx = TEX1D(int, gTextureStartX, col);

    float y = 0.0f, cb = 0.0f, cr = 0.0f;
    for (std::int32_t j = 0; j < unit_y; ++j) {
        const float wy = TEX1D(float, gTextureWeightY, row * unit_y + j);
        const std::int32_t r = sy + j;
        for (std::int32_t m = 0; m < unit_x; ++m) {
            const float w = wy * TEX1D(float, gTextureWeightX, col * unit_x + m);
            const std::int32_t x = 3 * (sx + m);
            y = device_accumulate(y, static_cast<float>(TEX2D(short, gTextureSrc, x, r)), w);
            cb = device_accumulate(cb, static_cast<float>(TEX2D(short, gTextureSrc, x + 1, r)), w);
            cr = device_accumulate(cr, static_cast<float>(TEX2D(short, gTextureSrc, x + 2, r)), w);
        }
    }
    const PIXEL_YC pixel = {store_channel_single(y), store_channel_single(cb), store_channel_single(cr)};
    STORE_PIXEL(CONSTANT_PIXELS(pgcGpuDestPixels), row * CONSTANT_INT(gcMaxWidth) + col, pixel);
}

// Each block multiplies its first blockDim elements by blockDim, through shared memory.
DEFINE_KERNEL_2(testKernel, float, g_idata, g_odata)
{
    SHARED_ARRAY(float, sdata);
    const unsigned int t = THREAD_INDEX_X;
    sdata[t] = LOAD_GLOBAL(float, g_idata, t);
    SYNC_BLOCK();
    sdata[t] = static_cast<float>(BLOCK_DIM_X) * sdata[t];
    SYNC_BLOCK();
    STORE_GLOBAL(g_odata, t, sdata[t]);
}
