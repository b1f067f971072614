// Where the device module's constants and textures live in the images the runtime runs it from.
#pragma once

#include <cstdint>

#include "abi/filter_records.h"

// Constant bank layout: five 32-bit values, the destination pointer in 8 bytes of room, then the
// filter methods' four 32-bit values.
enum ConstantOffset : std::uint32_t {
    kOffset_gcUnitNumX = 0,
    kOffset_gcUnitNumY = 4,
    kOffset_gcThreadNum = 8,
    kOffset_gcDestWidth = 12,
    kOffset_gcMaxWidth = 16,
    kOffset_pgcGpuDestPixels = 20,
    kOffset_gcFilterTapsX = 28,
    kOffset_gcFilterTapsY = 32,
    kOffset_gcFilterBitsX = 36,
    kOffset_gcFilterBitsY = 40,
};
static_assert(sizeof(PIXEL_YC*) <= 8, "the destination pointer has 8 bytes of room");
constexpr std::uint32_t kConstantBankBytes = 44;

enum TextureUnit : int {
    kUnit_gTextureStartY = 0,
    kUnit_gTextureStartX = 1,
    kUnit_gTextureWeightY = 2,
    kUnit_gTextureWeightX = 3,
    kUnit_gTextureSrc = 4,
    kUnit_gTextureFilterFirstY = 5,
    kUnit_gTextureFilterFirstX = 6,
    kUnit_gTextureFilterWeightY = 7,
    kUnit_gTextureFilterWeightX = 8,
};
