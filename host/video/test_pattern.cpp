#include "host/video/test_pattern.h"

#include <algorithm>
#include <cmath>

namespace vantreo_host {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::int16_t clamp16(double value, double lo, double hi)
{
    return static_cast<std::int16_t>(std::lround(std::min(std::max(value, lo), hi)));
}

// RGB in 0..1 to the host's YCbCr scale (BT.601 weights).
PIXEL_YC from_rgb(double r, double g, double b)
{
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    return {clamp16(y * kMaxLuma, 0, kMaxLuma), clamp16((b - y) * 0.564 * kMaxLuma, -kMaxChroma, kMaxChroma),
            clamp16((r - y) * 0.713 * kMaxLuma, -kMaxChroma, kMaxChroma)};
}

PIXEL_YC grey(double level) { return {clamp16(level * kMaxLuma, 0, kMaxLuma), 0, 0}; }

// 75% bars: white, yellow, cyan, green, magenta, red, blue, black.
PIXEL_YC colour_bar(std::int32_t bar)
{
    static const double kBars[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                       {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
    return from_rgb(0.75 * kBars[bar][0], 0.75 * kBars[bar][1], 0.75 * kBars[bar][2]);
}

// A 5 x 7 pixel font for the scrolling caption; each row's low five bits, leftmost pixel highest.
struct Glyph {
    char character;
    unsigned char rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
};
constexpr char kCaption[] = "VANTREO 0123456789 ";
constexpr std::int32_t kGlyphW = 5, kGlyphH = 7, kCellW = 6;

// Whether caption pixel (column, row) of the unscaled, endlessly repeated caption is ink.
bool caption_ink(std::int32_t column, std::int32_t row)
{
    constexpr std::int32_t length = sizeof kCaption - 1;
    const std::int32_t cell = column / kCellW % length;
    const std::int32_t x = column % kCellW;
    if (x >= kGlyphW) return false;
    for (const Glyph& glyph : kFont)
        if (glyph.character == kCaption[cell]) return (glyph.rows[row] >> (kGlyphW - 1 - x)) & 1;
    return false;
}

}  // namespace

Picture test_pattern_frame(std::int32_t w, std::int32_t h, std::int32_t index, std::int32_t frame_count)
{
    Picture picture(w, h);
    if (w < 1 || h < 1) return picture;
    const double t = frame_count > 0 ? static_cast<double>(index) / frame_count : 0.0;
    const std::int32_t half_w = std::max(w / 2, 1);
    const std::int32_t top_h = std::max(h / 2, 1);

    // Zone plate: the ring frequency grows with the radius up to the pixel rate at the corners.
    const double cx = half_w / 2.0;
    const double cy = top_h / 2.0;
    const double corner = cx * cx + cy * cy;
    const double k = corner > 0 ? kPi / (2.0 * std::sqrt(corner)) : 0.0;
    const double phase = 2.0 * kPi * 4.0 * t;

    // Box: a quarter of the bottom half's height, crossing the width once over the sequence.
    const std::int32_t bottom_h = h - top_h;
    const std::int32_t box = std::max(bottom_h / 2, 1);
    const std::int32_t box_x = static_cast<std::int32_t>(std::lround(t * std::max(w - box, 0)));
    const std::int32_t box_y = top_h + (bottom_h - box) / 2;
    const std::int32_t square = std::max(std::min(w, h) / 24, 2);
    const std::int32_t ramp_top = top_h + bottom_h - std::max(bottom_h / 8, 1);

    // Caption: dark text on light ground just above the ramp, scrolling left.
    const std::int32_t text_scale = std::max(h / 360, 1);
    const std::int32_t caption_h = (kGlyphH + 2) * text_scale;
    const std::int32_t caption_top = std::max(ramp_top - caption_h, top_h);
    const std::int32_t scroll = static_cast<std::int32_t>(std::lround(t * w));

    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            PIXEL_YC pixel;
            if (y < top_h && x < half_w) {
                const double dx = x + 0.5 - cx;
                const double dy = y + 0.5 - cy;
                pixel = grey(0.5 + 0.5 * std::cos(k * (dx * dx + dy * dy) - phase));
            } else if (y < top_h) {
                pixel = colour_bar(std::min((x - half_w) * 8 / std::max(w - half_w, 1), 7));
            } else if (y >= ramp_top) {
                pixel = grey(static_cast<double>(x) / std::max(w - 1, 1));
            } else if (y >= caption_top) {
                const std::int32_t row = (y - caption_top) / text_scale - 1;
                const bool ink = row >= 0 && row < kGlyphH && caption_ink((x + scroll) / text_scale, row);
                pixel = grey(ink ? 0.05 : 0.95);
            } else if (x >= box_x && x < box_x + box && y >= box_y && y < box_y + box) {
                pixel = from_rgb(1.0, 0.1, 0.1);
            } else {
                const bool dark = ((x / square) + (y / square)) % 2 != 0;
                pixel = grey(dark ? 0.1 : 0.9);
            }
            picture.at(x, y) = pixel;
        }
    }
    return picture;
}

}  // namespace vantreo_host
