// Subsampled chroma planes to full resolution for the filter, and back for the output.
//
// Along each halved axis a chroma sample is either centred between its two luma samples or
// co-sited with the first of them. Upsampling interpolates linearly at the luma positions
// (centred: 3/4 and 1/4 of the two nearest samples; co-sited: the sample itself, then the
// midpoint of two); downsampling averages what each chroma site covers (centred: its two
// pixels; co-sited: 1/4, 1/2, 1/4 around its pixel). Edges repeat the outermost sample; an odd
// size leaves the last chroma sample covering one pixel. Results round to nearest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantreo_host {

enum class Siting { kCentred, kCoSited };

struct ChromaGrid {
    bool halve_width = false;
    bool halve_height = false;
    Siting horizontal = Siting::kCentred;
    Siting vertical = Siting::kCentred;

    std::int32_t width(std::int32_t w) const { return halve_width ? (w + 1) / 2 : w; }
    std::int32_t height(std::int32_t h) const { return halve_height ? (h + 1) / 2 : h; }
};

// One channel in the host's scale, rows packed.
struct Plane {
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::vector<std::int16_t> samples;

    void resize(std::int32_t width, std::int32_t height)
    {
        w = width;
        h = height;
        samples.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
    std::int16_t& at(std::int32_t x, std::int32_t y) { return samples[static_cast<std::size_t>(y) * w + x]; }
    std::int16_t at(std::int32_t x, std::int32_t y) const { return samples[static_cast<std::size_t>(y) * w + x]; }
};

// `chroma` is grid.width(w) x grid.height(h); `full` becomes w x h.
void upsample_chroma(const Plane& chroma, const ChromaGrid& grid, std::int32_t w, std::int32_t h, Plane& full);

// `full` is w x h; `chroma` becomes grid.width(w) x grid.height(h).
void downsample_chroma(const Plane& full, const ChromaGrid& grid, Plane& chroma);

}  // namespace vantreo_host
