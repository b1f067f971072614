// Where the device module's constants and textures live in the images the runtime runs it from, as
// module_interface.inl lists them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/filter_records.h"
#include "device/kernels/module_interface.inl"

DECLARE_MODULE_TYPES()

// The constant bank: each constant in its room, in the listed order, without padding between them.
struct ConstantBank {
#define CONSTANT_ROOM(name, type, room)                                                                  \
    unsigned char name[room];                                                                           \
    static_assert(sizeof(type) <= (room), #name " fits its room in the constant bank");
    MODULE_CONSTANTS(CONSTANT_ROOM)
#undef CONSTANT_ROOM
};

enum ConstantOffset : std::uint32_t {
#define CONSTANT_OFFSET(name, type, room) kOffset_##name = offsetof(ConstantBank, name),
    MODULE_CONSTANTS(CONSTANT_OFFSET)
#undef CONSTANT_OFFSET
};
constexpr std::uint32_t kConstantBankBytes = sizeof(ConstantBank);

enum TextureUnit : int {
#define TEXTURE_UNIT(name, element, dimensions) kUnit_##name,
    MODULE_TEXTURES(TEXTURE_UNIT)
#undef TEXTURE_UNIT
};
