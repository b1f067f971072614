// The effect as the host sees it: its table and items, and the values the items hold for one call.
#pragma once

#include <cstdint>

#include "abi/exedit2_records.h"

enum class SizeBy : std::int32_t { scale = 0, pixels = 1 };

// The values of the "Method" item.
enum class EffectMethod : std::int32_t { point = 0, area = 1, bicubic = 2, lanczos3 = 3, automatic = 4 };

// The items' values for one call, each within its item's range; whole-numbered items rounded.
struct EffectValues {
    SizeBy size_by;
    double scale_percent;  // 1 .. 800
    std::int32_t width;    // 0 .. kMaxOutputSide, 0 following the other side
    std::int32_t height;
    EffectMethod method;
    std::int32_t device_rate;  // the device's share of the rows, in 256ths
    std::int32_t cpu_threads;  // 0: one per logical processor
};

constexpr std::int32_t kMaxOutputSide = 8192;

// The table the host reads once; its items are the records the host writes values into.
exedit2::FilterTable* filter_table();

// Reads the items once. The host writes them before each call, so a call reads them first thing.
EffectValues read_effect_values();
