// A layout's channel count as a compile-time constant. Internal linkage: the level units include it
// too.
#pragma once

#include <cstdint>
#include <type_traits>

#include "plan/resize_request.h"

namespace {

// Calls body with std::integral_constant<std::int32_t, channels> for the layout's channel count, so
// that each layout gets a worker compiled for its own number of channels.
template <class Body>
void with_channels(PixelLayout layout, Body body)
{
    using std::integral_constant;
    switch (layout) {
    case PixelLayout::plane: body(integral_constant<std::int32_t, channel_count(PixelLayout::plane)>()); break;
    case PixelLayout::rgba: body(integral_constant<std::int32_t, channel_count(PixelLayout::rgba)>()); break;
    default: body(integral_constant<std::int32_t, channel_count(PixelLayout::editor_frame)>()); break;
    }
}

}  // namespace
