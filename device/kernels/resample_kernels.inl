// The device module's kernels, written once in the subset of C++, CUDA C++ and OpenCL C that all
// three accept (C casts; int is 32-bit, short 16-bit). The including edge
// (device/emulated/kernels_emulated.cpp for the stand-in device, kernels.cu for a CUDA device,
// kernels.cl for an OpenCL device) gives them the constants and textures module_interface.inl lists, and
// defines the vocabulary used here:
//   DEFINE_KERNEL_0(name), DEFINE_KERNEL_2(name, T, a, b)   kernel heads
//   BLOCK_INDEX_X, THREAD_INDEX_X, BLOCK_DIM_X                the thread's position
//   CONSTANT_INT(name), CONSTANT_PIXELS(name)                 module constants
//   TEX1D(T, texture, index), TEX2D(T, texture, x, y)         point-sampled, clamped fetches
//   STORE_SAMPLE(pixels, index, value)                        a 16-bit store, `index` samples on
//   LOAD_GLOBAL(T, pointer, index), STORE_GLOBAL(pointer, index, value)
//   SHARED_ARRAY(T, name), SYNC_BLOCK()                       block-shared memory and barrier

// Every layout: a pixel is gcChannels 16-bit samples (plan/resize_request.h), each channel summed on
// its own, so that the editor's three-channel pixel gets exactly the values of a pixel written channel
// by channel.
#define MAX_CHANNELS 4

// One output pixel per thread, by the device rules of plan/arithmetic.h: the weighted sum of a fixed
// window of gcUnitNumY x gcUnitNumX source pixels; the dense tap tables hold zero outside the pixel's
// own span. Threads past the band (the last block's surplus) compute rows below it, which the
// destination buffer has room for and which are never copied back.
DEFINE_KERNEL_0(calcDestPixelsKernel)
{
    const int unit_x = CONSTANT_INT(gcUnitNumX);
    const int unit_y = CONSTANT_INT(gcUnitNumY);
    const int dest_width = CONSTANT_INT(gcDestWidth);
    const int channels = CONSTANT_INT(gcChannels);
    if (channels < 1 || channels > MAX_CHANNELS) return;  // no layout: nothing to store
    const int i = (int)(BLOCK_INDEX_X) * CONSTANT_INT(gcThreadNum) + (int)(THREAD_INDEX_X);
    const int row = i / dest_width;
    const int col = i % dest_width;
    const int sy = TEX1D(int, gTextureStartY, row);
    const int sx = TEX1D(int, gTextureStartX, col);

    float sum[MAX_CHANNELS] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int j = 0; j < unit_y; ++j) {
        const float wy = TEX1D(float, gTextureWeightY, row * unit_y + j);
        const int r = sy + j;
        for (int m = 0; m < unit_x; ++m) {
            const float w = wy * TEX1D(float, gTextureWeightX, col * unit_x + m);
            const int x = channels * (sx + m);
            for (int c = 0; c < channels; ++c)
                sum[c] = device_accumulate(sum[c], (float)(TEX2D(short, gTextureSrc, x + c, r)), w);
        }
    }
    const int at = (row * CONSTANT_INT(gcMaxWidth) + col) * channels;
    for (int c = 0; c < channels; ++c)
        STORE_SAMPLE(CONSTANT_PIXELS(pgcGpuDestPixels), at + c, store_channel_single(sum[c]));
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
    const int channels = CONSTANT_INT(gcChannels);
    if (channels < 1 || channels > MAX_CHANNELS) return;  // no layout: nothing to store
    const int i = (int)(BLOCK_INDEX_X) * CONSTANT_INT(gcThreadNum) + (int)(THREAD_INDEX_X);
    const int row = i / dest_width;
    const int col = i % dest_width;
    const int sy = TEX1D(int, gTextureFilterFirstY, row);
    const int sx = TEX1D(int, gTextureFilterFirstX, col);

    int sum[MAX_CHANNELS] = {0, 0, 0, 0};
    for (int m = 0; m < taps_x; ++m) {
        const int x = channels * (sx + m);
        int column[MAX_CHANNELS] = {0, 0, 0, 0};
        for (int j = 0; j < taps_y; ++j) {
            const int wy = TEX1D(short, gTextureFilterWeightY, row * taps_y + j);
            const int r = sy + j;
            for (int c = 0; c < channels; ++c) column[c] += wy * TEX2D(short, gTextureSrc, x + c, r);
        }
        const int wx = TEX1D(short, gTextureFilterWeightX, col * taps_x + m);
        for (int c = 0; c < channels; ++c) sum[c] += wx * filter_intermediate(column[c], bits_y);
    }
    const int bits_x = CONSTANT_INT(gcFilterBitsX);
    const int at = (row * CONSTANT_INT(gcMaxWidth) + col) * channels;
    for (int c = 0; c < channels; ++c)
        STORE_SAMPLE(CONSTANT_PIXELS(pgcGpuDestPixels), at + c, filter_store(sum[c], bits_x));
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
