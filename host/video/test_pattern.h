// The built-in moving test pattern: fine detail, colour, sharp edges and motion, in the host's pixel
// scale (Y 0..4096, Cb and Cr -2048..2048).
#pragma once

#include <cstdint>

#include "host/video/picture.h"

namespace vantreo_host {

constexpr std::int32_t kDemoWidth = 1280;
constexpr std::int32_t kDemoHeight = 720;
constexpr std::int32_t kDemoFrames = 60;

constexpr std::int16_t kMaxLuma = 4096;
constexpr std::int16_t kMaxChroma = 2048;

// Frame `index` of `frame_count` of a w x h pattern. The top half holds a zone plate whose rings
// drift outwards and a set of colour bars; the bottom half a checkerboard, a hard-edged box
// travelling across it, a scrolling caption of small text, and a luma ramp. The same arguments always give the same picture.
Picture test_pattern_frame(std::int32_t w, std::int32_t h, std::int32_t index, std::int32_t frame_count);

}  // namespace vantreo_host
