// Frames for the benchmarks: a seeded source picture in an editor-sized buffer (room for a 4K source),
// and two buffers of the same size to write into.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "abi/filter_records.h"

constexpr std::int32_t kMaxW = 3840, kMaxH = 2160;

struct BenchFrames {
    std::vector<PIXEL_YC> source, edit, temp;
    BenchFrames() : source(kMaxW * kMaxH), edit(kMaxW * kMaxH), temp(kMaxW * kMaxH)
    {
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> value(0, 4096);
        for (PIXEL_YC& p : source)
            p = PIXEL_YC{static_cast<std::int16_t>(value(rng)), static_cast<std::int16_t>(value(rng) - 2048),
                         static_cast<std::int16_t>(value(rng) - 2048)};
    }
};

inline BenchFrames& bench_frames()
{
    static BenchFrames frames;
    return frames;
}
