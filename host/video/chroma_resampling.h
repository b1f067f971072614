// Subsampled chroma planes to full resolution for the filter, and back for the output.
//
// Along each halved axis chroma sample c[i] covers pixels 2i and 2i + 1 (with an odd number of
// pixels the last sample covers the last pixel alone), and lies either centred between them
// (C420jpeg both ways, every 4:2:0 layout vertically) or co-sited with the first (C420mpeg2,
// C420paldv and C422 horizontally). Up and down are an exact pair: down(up(c)) = c at every size, so
// a frame the filter hands back as it was comes back as it was read.
//
// Centred. Up: the two pixels of c[i] become c[i] + t and c[i] - t, t = (c[i-1] - c[i+1]) / 8
//   rounded to nearest, halves away from zero: each pixel the mean over its half of the cell of the
//   quadratic whose cell means are c[i-1], c[i], c[i+1] (sharper than linear interpolation, and the
//   pair's mean is c[i] itself). Down: the mean of the two pixels, halves rounded upwards; they sum to
//   2 c[i] exactly. A sample covering one pixel gives it its value, and takes it back.
// Co-sited. Up: pixel 2i is c[i], pixel 2i + 1 the midpoint m(c[i], c[i+1]) = (c[i] + c[i+1] + 1) >> 1.
//   Down: c[i] = p[2i] + ((r[2i-1] + r[2i+1] + 1) >> 2), r[k] = p[k] - m(p[k-1], p[k+1]) being how far
//   odd pixel k lies from the midpoint of its neighbours: the low-pass of the 5/3 lifting wavelet,
//   [-1, 2, 6, 2, -1] / 8 on an ordinary line. Every r of up's own output is 0.
// Edges: up repeats the outermost chroma sample (c[-1] = c[0], c[m] = c[m-1]); co-sited down mirrors
//   the line about its end pixels (p[-k] = p[k], p[n-1+k] = p[n-1-k]), which is the same extension.
// Both axes (4:2:0): up is vertical then horizontal, down horizontal then vertical.
//
// Rounding bound: pixels that each grew by 0 or 1 after up (area averaging at the same size adds 1 to
// negative values) come back within 1 of c, both axes of 4:2:0 together too (within 2 co-sited both
// ways, which no layout is: the horizontal step's -1..1 feeds the vertical one). With the levels' own
// rounding of half a unit that stays under half a code step up to 10 bits (a 10-bit code is 4.0 host
// units or more): such frames come back bit for bit. From 12 bits on a code is about 1 host unit or
// less, and comes back as host_to_chroma(chroma_to_host(code) + d), d in -1..1 (0 for a frame handed
// back unchanged).
//
// Upsampling works in 16 bits, saturating: values as code values give (within +-16383) never reach
// the limits, so the rule above holds exactly for them. Downsampling takes any 16-bit values, works
// in 32 bits and saturates its results to 16.
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

// Full-resolution rows of one plane (or of one field of a frame), made row by row from its chroma
// rows; holds the few rows that takes, allocating nothing once it has met its widest plane.
class ChromaUpsampler {
public:
    // A plane of w x h pixels with `rows` chroma rows: grid.height(h), or fewer (the bottom field of some
    // frame heights lacks its last chroma row, and the last it has stands in for it).
    void start(const ChromaGrid& grid, std::int32_t w, std::int32_t h, std::int32_t rows);

    // Full-resolution row y (w values), rows asked for in order 0, 1, 2, ... `fetch(j, row)` writes
    // chroma row j (grid.width(w) values in the host's scale) into `row`; it is called once per row j.
    template <typename Fetch>
    const std::int16_t* row(std::int32_t y, Fetch&& fetch)
    {
        std::int32_t first = 0;
        std::int32_t last = 0;
        chroma_rows(y, first, last);
        for (std::int32_t j = first; j <= last; ++j)
            if (std::int16_t* slot = slot_to_fill(j)) fetch(j, slot);
        return make_row(y);
    }

private:
    void chroma_rows(std::int32_t y, std::int32_t& first, std::int32_t& last) const;
    std::int16_t* slot_to_fill(std::int32_t j);
    const std::int16_t* slot(std::int32_t j) const;
    const std::int16_t* make_row(std::int32_t y);

    ChromaGrid grid_;
    std::int32_t w_ = 0;
    std::int32_t h_ = 0;
    std::int32_t cw_ = 0;
    std::int32_t rows_ = 0;
    std::int32_t held_[3] = {-1, -1, -1};  // the chroma row in each slot
    std::vector<std::int16_t> slots_;      // 3 chroma rows
    std::vector<std::int16_t> tall_;       // 2 rows after the vertical step, chroma wide
    std::vector<std::int16_t> full_;       // 2 full-resolution rows
};

// Chroma rows of one plane (or field), made from its full-resolution rows as they come.
class ChromaDownsampler {
public:
    void start(const ChromaGrid& grid, std::int32_t w, std::int32_t h);

    // Takes full-resolution row y (w values), rows in order 0, 1, 2, ...; returns chroma row `j`
    // (grid.width(w) values) when the row completes one, else null.
    const std::int16_t* push(const std::int16_t* row, std::int32_t y, std::int32_t& j);
    // After the last row: the chroma row still to come, if any (then null).
    const std::int16_t* finish(std::int32_t& j);

private:
    const std::int16_t* emit(const std::int32_t* even, const std::int32_t* before, const std::int32_t* after,
                             std::int32_t site, std::int32_t& j);

    ChromaGrid grid_;
    std::int32_t w_ = 0;
    std::int32_t h_ = 0;
    std::int32_t cw_ = 0;
    std::int32_t pending_ = -1;  // a chroma row finish() still owes
    std::vector<std::int32_t> residuals_;  // scratch of the horizontal step
    std::vector<std::int32_t> even_;       // the last even row, chroma wide
    std::vector<std::int32_t> odd_;        // the odd row after it
    std::vector<std::int32_t> next_;       // scratch for the row after that
    std::vector<std::int32_t> before_;     // co-sited: r of the odd row before `even_`
    std::vector<std::int32_t> after_;      // co-sited: r of `odd_`
    std::vector<std::int16_t> out_;
};

}  // namespace vantreo_host
