// The device module's interface, listed once: its constants, textures and kernels. Every edge that
// compiles, registers or passes them expands these lists (kernels.cu, kernels.cl, module_layout.h,
// kernels_opencl.cpp, device/emulated/kernels_emulated.cpp, device/device_module.h and .cpp), so a
// change here reaches them all; plugin/module_objects.cpp defines the texture references by hand, and
// does not compile where they disagree with the declarations made from here. Plain preprocessor text,
// read by C++, nvcc and OpenCL C alike; inside the lists only block comments, as a line comment would
// swallow the line joined to it.

// A pointer to device memory as the including edge spells it; the OpenCL edge defines it first, with
// its address space.
#ifndef DEVICE_POINTER
#define DEVICE_POINTER(T) T*
#endif

// The constants, in their order in the constant bank: CONSTANT(name, type, room), room being the bytes
// the bank gives it. The destination pointer has 8 on every host, so that 32- and 64-bit hosts share
// one bank layout.
#define MODULE_CONSTANTS(CONSTANT)                                                                           \
    CONSTANT(gcUnitNumX, int, 4)                            /* taps per output column */                     \
    CONSTANT(gcUnitNumY, int, 4)                            /* taps per output row */                        \
    CONSTANT(gcThreadNum, int, 4)                           /* threads per block */                          \
    CONSTANT(gcDestWidth, int, 4)                           /* dst_w */                                      \
    CONSTANT(gcMaxWidth, int, 4)                            /* pixels per row of the destination buffer */   \
    CONSTANT(pgcGpuDestPixels, DEVICE_POINTER(PIXEL_YC), 8) /* the destination buffer, or null */            \
    CONSTANT(gcFilterTapsX, int, 4)                         /* the filter methods' taps per output column */ \
    CONSTANT(gcFilterTapsY, int, 4)                         /* and per output row */                         \
    CONSTANT(gcFilterBitsX, int, 4)                         /* and the fraction bits of their weights */     \
    CONSTANT(gcFilterBitsY, int, 4)                                                                          \
    CONSTANT(gcChannels, int, 4)                            /* 16-bit samples per pixel: 3, 1 or 4 */

// The textures, in the order of their units: TEXTURE(name, element, dimensions). Unnormalised
// coordinates, point sampling, clamped addressing, elements as stored. The filter methods' tables
// (plan/filter_tables.h) count columns from the clipped picture's edge.
#define MODULE_TEXTURES(TEXTURE)                                                                             \
    TEXTURE(gTextureStartY, int, 1)          /* output row -> first source row */                            \
    TEXTURE(gTextureStartX, int, 1)          /* output column -> first source column */                      \
    TEXTURE(gTextureWeightY, float, 1)       /* row * gcUnitNumY + tap -> weight */                          \
    TEXTURE(gTextureWeightX, float, 1)       /* column * gcUnitNumX + tap -> weight */                       \
    TEXTURE(gTextureSrc, short, 2)           /* (gcChannels * column + channel, row) -> value */             \
    TEXTURE(gTextureFilterFirstY, int, 1)    /* output row -> first source row */                            \
    TEXTURE(gTextureFilterFirstX, int, 1)    /* output column -> first source column */                      \
    TEXTURE(gTextureFilterWeightY, short, 1) /* row * gcFilterTapsY + tap -> weight */                       \
    TEXTURE(gTextureFilterWeightX, short, 1) /* column * gcFilterTapsX + tap -> weight */

// The kernels, in the module's order, each with the symbol the module registers it under:
//   READING(name, symbol): no arguments of its own; it reads the constants and textures its
//     name##_READS list names, in the order an OpenCL device takes them as arguments.
//   TAKING(name, symbol, element, shared): two device buffers of element as launch arguments, the
//     input then the output, and the block-shared array `shared`, over which its threads wait for
//     each other.
#define MODULE_KERNELS(READING, TAKING)                                                                      \
    READING(calcDestPixelsKernel, "__globfunc__Z20calcDestPixelsKernelv")                                    \
    READING(calcFilterPixelsKernel, "__globfunc__Z22calcFilterPixelsKernelv")                                \
    TAKING(testKernel, "__globfunc__Z10testKernelPfS_", float, sdata)

#define calcDestPixelsKernel_READS(CONSTANT, TEXTURE)                                                        \
    CONSTANT(gcUnitNumX) CONSTANT(gcUnitNumY) CONSTANT(gcThreadNum) CONSTANT(gcDestWidth)                    \
    CONSTANT(gcMaxWidth) CONSTANT(pgcGpuDestPixels) CONSTANT(gcChannels)                                     \
    TEXTURE(gTextureStartY) TEXTURE(gTextureStartX) TEXTURE(gTextureWeightY) TEXTURE(gTextureWeightX)        \
    TEXTURE(gTextureSrc)
#define calcFilterPixelsKernel_READS(CONSTANT, TEXTURE)                                                      \
    CONSTANT(gcThreadNum) CONSTANT(gcDestWidth) CONSTANT(gcMaxWidth) CONSTANT(pgcGpuDestPixels)              \
    CONSTANT(gcFilterTapsX) CONSTANT(gcFilterTapsY) CONSTANT(gcFilterBitsX) CONSTANT(gcFilterBitsY)          \
    CONSTANT(gcChannels)                                                                                     \
    TEXTURE(gTextureFilterFirstY) TEXTURE(gTextureFilterFirstX) TEXTURE(gTextureFilterWeightY)               \
    TEXTURE(gTextureFilterWeightX) TEXTURE(gTextureSrc)

// For an edge that looks types up by name: each constant's type as name##_type and each texture's
// element as name##_element.
#define MODULE_CONSTANT_TYPE(name, type, room) typedef type name##_type;
#define MODULE_TEXTURE_ELEMENT(name, element, dimensions) typedef element name##_element;
#define DECLARE_MODULE_TYPES()                                                                               \
    MODULE_CONSTANTS(MODULE_CONSTANT_TYPE)                                                                   \
    MODULE_TEXTURES(MODULE_TEXTURE_ELEMENT)

// Stands for a list entry an expansion has no use for.
#define MODULE_SKIP(...)
