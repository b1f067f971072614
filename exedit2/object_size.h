// The size an object is resized to, whether it may be, and the core's passes that get it there.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "exedit2/effect_items.h"
#include "plan/resize_request.h"

struct PictureSize {
    std::int32_t w;
    std::int32_t h;
};
inline bool operator==(PictureSize a, PictureSize b) { return a.w == b.w && a.h == b.h; }

// The most pixels an object or its result may have: as the 64-bit tool's frames.
constexpr std::int64_t kMaxObjectPixels = std::int64_t{1} << 26;

// The size `values` ask for an object of `object`'s size, past the limits too (a side stops at the
// largest 32-bit value).
PictureSize output_size(const EffectValues& values, PictureSize object);

// Why an object of size `object` is not resized to `output`, or nothing when it may be.
std::optional<std::string> size_refusal(PictureSize object, PictureSize output);

// One run of the core: the method and the size it resizes to.
struct ResizePass {
    ResizeMethod method;
    PictureSize size;
};

// The core's runs that take `object` to `output` by `method`, in order. Area averaging never
// enlarges: a side that grows is enlarged by bicubic, as the automatic choice would, after the other
// side is averaged. The filter methods reduce a side by at most 8 per run.
struct ResizePasses {
    std::array<ResizePass, 12> pass;  // room for a side of 2^31 reduced to 1
    std::int32_t count;
    bool area_enlarged;  // area averaging was asked to enlarge a side
    bool filter_method;  // some run is bicubic or Lanczos-3
};
ResizePasses resize_passes(PictureSize object, PictureSize output, EffectMethod method);
