// Frames for tests: host-style buffers with guard pixels around them, random pictures, and a helper
// that runs the frame callback the way the host does.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "abi/filter_records.h"
#include "plugin/registration.h"
#include "plan/resize_request.h"

constexpr std::int16_t kGuard = 0x5a5a;

// A frame buffer of max_w x max_h pixels with guard pixels before and after it.
struct GuardedFrame {
    std::int32_t max_w;
    std::int32_t max_h;
    std::vector<PIXEL_YC> storage;
    static constexpr std::size_t kGuardPixels = 64;

    GuardedFrame(std::int32_t w, std::int32_t h)
        : max_w(w), max_h(h),
          storage(static_cast<std::size_t>(w) * h + 2 * kGuardPixels, PIXEL_YC{kGuard, kGuard, kGuard})
    {
    }
    PIXEL_YC* pixels() { return storage.data() + kGuardPixels; }
    const PIXEL_YC* pixels() const { return storage.data() + kGuardPixels; }
    PIXEL_YC& at(std::int32_t row, std::int32_t col) { return pixels()[static_cast<std::size_t>(row) * max_w + col]; }
    const PIXEL_YC& at(std::int32_t row, std::int32_t col) const
    {
        return pixels()[static_cast<std::size_t>(row) * max_w + col];
    }
    bool guards_intact() const
    {
        for (std::size_t i = 0; i < kGuardPixels; ++i) {
            const PIXEL_YC& a = storage[i];
            const PIXEL_YC& b = storage[storage.size() - 1 - i];
            if (a.y != kGuard || a.cb != kGuard || a.cr != kGuard || b.y != kGuard || b.cb != kGuard || b.cr != kGuard)
                return false;
        }
        return true;
    }
};

// Fills every pixel (the whole buffer) with values in [low, high].
inline void fill_random(GuardedFrame& frame, std::mt19937& rng, int low = -32768, int high = 32767)
{
    std::uniform_int_distribution<int> value(low, high);
    for (std::int32_t i = 0; i < frame.max_w * frame.max_h; ++i)
        frame.pixels()[i] = PIXEL_YC{static_cast<std::int16_t>(value(rng)), static_cast<std::int16_t>(value(rng)),
                                     static_cast<std::int16_t>(value(rng))};
}

inline bool same_pixel(const PIXEL_YC& a, const PIXEL_YC& b) { return a.y == b.y && a.cb == b.cb && a.cr == b.cr; }

// A frame of the given size with every pixel random, from a seeded generator.
inline GuardedFrame random_frame(std::int32_t w, std::int32_t h, std::uint32_t seed)
{
    GuardedFrame frame(w, h);
    std::mt19937 rng(seed);
    fill_random(frame, rng);
    return frame;
}

// The index of the first pixel (guards included) where the buffers differ, or -1 when they are equal.
inline long first_difference(const GuardedFrame& a, const GuardedFrame& b)
{
    if (a.storage.size() != b.storage.size()) return 0;
    for (std::size_t i = 0; i < a.storage.size(); ++i)
        if (!same_pixel(a.storage[i], b.storage[i])) return static_cast<long>(i);
    return -1;
}

// Control values as the host keeps them, starting from the registered defaults.
struct Controls {
    std::int32_t track[kTrackCount] = {0, 0, 0, 0, 640, 480, 0, 256, 32, 3};
    std::int32_t check[kCheckCount] = {0, 0, 1, 0};

    void other_size(std::int32_t w, std::int32_t h)
    {
        for (auto& c : check) c = 0;
        check[kCheckOther] = 1;
        track[kTrackWidth] = w;
        track[kTrackHeight] = h;
    }
    void clip(std::int32_t top, std::int32_t bottom, std::int32_t left, std::int32_t right)
    {
        track[kTrackClipTop] = top;
        track[kTrackClipBottom] = bottom;
        track[kTrackClipLeft] = left;
        track[kTrackClipRight] = right;
    }
    void method(std::int32_t method, std::int32_t device_rate, std::int32_t block_threads, std::int32_t cpu_threads)
    {
        track[kTrackMethod] = method;
        track[kTrackDeviceRate] = device_rate;
        track[kTrackBlockThreads] = block_threads;
        track[kTrackCpuThreads] = cpu_threads;
    }
    FILTER filter()
    {
        FILTER fp{};
        fp.track = track;
        fp.check = check;
        return fp;
    }
};

// An area-averaging request as the frame entry would resolve it.
inline ResizeRequest area_request(std::int32_t src_w, std::int32_t src_h, std::int32_t dst_w, std::int32_t dst_h,
                                  std::int32_t stride = 1600, std::int32_t device_rate = 0, std::int32_t block_threads = 32,
                                  std::int32_t cpu_threads = 3)
{
    return ResizeRequest{src_w, src_h, dst_w, dst_h, stride, 0, 0, ResizeMethod::area_average,
                         block_threads, cpu_threads, device_rate, PixelLayout::editor_frame};
}

inline FILTER_PROC_INFO proc_info(GuardedFrame& edit, GuardedFrame& temp, std::int32_t w, std::int32_t h)
{
    FILTER_PROC_INFO info{};
    info.ycp_edit = edit.pixels();
    info.ycp_temp = temp.pixels();
    info.w = w;
    info.h = h;
    info.max_w = edit.max_w;
    info.max_h = edit.max_h;
    return info;
}
