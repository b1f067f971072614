// Where the device module's constants and textures live in the images the runtime runs it from.
#pragma once

#include <cstdint>

#include "abi/filter_records.h"

// Constant bank layout: five 32-bit values, then the destination pointer.
enum ConstantOffset : std::uint32_t {
    kOffset_gcUnitNumX = 0,
    kOffset_gcUnitNumY = 4,
    kOffset_gcThreadNum = 8,
    kOffset_gcDestWidth = 12,
    kOffset_gcMaxWidth = 16,
    kOffset_pgcGpuDestPixels = 20,
};
constexpr std::uint32_t kConstantBankBytes = kOffset_pgcGpuDestPixels + sizeof(PIXEL_YC*);

enum TextureUnit : int {
    kUnit_gTextureStartY = 0,
    kUnit_gTextureStartX = 1,
    kUnit_gTextureWeightY = 2,
    kUnit_gTextureWeightX = 3,
    kUnit_gTextureSrc = 4,
};
