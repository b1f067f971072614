// Digests of whole output pictures of seeded frames, one or more per path (point sampling, CPU rows,
// device rows, both at once, cropped). Any change of output bytes shows here, even when two paths
// that other tests compare drift together. A new digest is printed by the failing assertion.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "cpu/plan_rows.h"
#include "plugin/registration.h"
#include "tests/support/environment.h"
#include "tests/support/frames.h"

namespace {

// 64-bit FNV-1a over the output size and every channel of the output picture, little-endian.
std::uint64_t picture_digest(const PIXEL_YC* pixels, std::int32_t stride, std::int32_t w, std::int32_t h)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    auto add = [&hash](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            hash ^= (value >> (8 * i)) & 0xffu;
            hash *= 0x100000001b3ull;
        }
    };
    add(static_cast<std::uint32_t>(w), 4);
    add(static_cast<std::uint32_t>(h), 4);
    for (std::int32_t row = 0; row < h; ++row)
        for (std::int32_t col = 0; col < w; ++col) {
            const PIXEL_YC& p = pixels[static_cast<std::size_t>(row) * stride + col];
            add(static_cast<std::uint16_t>(p.y), 2);
            add(static_cast<std::uint16_t>(p.cb), 2);
            add(static_cast<std::uint16_t>(p.cr), 2);
        }
    return hash;
}

struct GoldenCase {
    const char* path;
    std::int32_t frame_w, frame_h, buffer_w, buffer_h;
    std::int32_t clip_top, clip_bottom, clip_left, clip_right;
    std::int32_t out_w, out_h, method, device_rate, block_threads, cpu_threads;
    std::uint32_t seed;
    std::uint64_t digest;
};

const GoldenCase kCases[] = {
    {"point sampling, enlarging", 211, 157, 700, 500, 0, 0, 0, 0, 643, 487, 0, 256, 32, 3, 1, 0xec79c4fcc8b01326},
    {"point sampling, cropped", 800, 600, 800, 600, 3, 5, 7, 11, 317, 211, 0, 256, 32, 3, 2, 0x5885378ea1ea3e40},
    {"CPU rows", 643, 487, 700, 500, 0, 0, 0, 0, 211, 157, 1, 0, 32, 3, 3, 0xea96867f23d0d663},
    {"CPU rows, ratio near 1, cropped", 131, 129, 140, 130, 1, 0, 2, 0, 128, 127, 1, 0, 32, 2, 4, 0x6cc7a20cfe02c64c},
    {"device rows", 643, 487, 700, 500, 0, 0, 0, 0, 211, 157, 1, 256, 96, 3, 3, 0xa4f0aad3fcb2e967},
    {"device rows, ratio near 1, cropped", 131, 129, 140, 130, 1, 0, 2, 0, 128, 127, 1, 256, 64, 2, 4, 0x0d8090e14e231d36},
    {"device and CPU rows, cropped", 480, 360, 500, 400, 9, 4, 13, 6, 173, 119, 1, 100, 33, 5, 5, 0x5bbe8212f10fa1e2},
    {"bicubic, enlarging, device and CPU rows", 211, 157, 700, 500, 0, 0, 0, 0, 643, 487, 2, 100, 64, 3, 6, 0x1f95a6b714467dae},
    {"Lanczos-3, reducing, cropped, device and CPU rows", 480, 360, 500, 400, 9, 4, 13, 6, 173, 119, 3, 77, 96, 2, 7, 0x655155ecf0cd73bc},
    {"Lanczos-3, CPU rows only, near 1", 131, 129, 140, 130, 1, 0, 2, 0, 128, 127, 3, 0, 32, 3, 8, 0xaa7e58e2fc36552d},
};

TEST(GoldenOutput, EveryPathGivesTheRecordedBytes)
{
    // Run with a level forced that this CPU lacks, the test would only repeat the run of a lower level.
    const char* forced = std::getenv(kCpuLevelVariable);
    if (forced && cpu_level_for_setting(forced, best_cpu_level()) != cpu_level_for_setting(forced, CpuLevel::avx512))
        GTEST_SKIP() << forced << " is not available on this CPU";
    set_env(kExtendedMethodsVariable, "1");  // read at the first registration, in this process
    FILTER_DLL* table = filter_registration();
    table->func_init(nullptr);
    for (const GoldenCase& c : kCases) {
        GuardedFrame edit(c.buffer_w, c.buffer_h), temp(c.buffer_w, c.buffer_h);
        std::mt19937 rng(c.seed);
        fill_random(edit, rng);
        Controls controls;
        controls.other_size(c.out_w, c.out_h);
        controls.clip(c.clip_top, c.clip_bottom, c.clip_left, c.clip_right);
        controls.method(c.method, c.device_rate, c.block_threads, c.cpu_threads);
        FILTER fp = controls.filter();
        FILTER_PROC_INFO info = proc_info(edit, temp, c.frame_w, c.frame_h);
        ASSERT_EQ(table->func_proc(&fp, &info), 1);
        ASSERT_EQ(info.ycp_edit, temp.pixels()) << c.path;
        const std::uint64_t digest = picture_digest(info.ycp_edit, c.buffer_w, info.w, info.h);
        char printed[32];
        std::snprintf(printed, sizeof printed, "0x%016llx", static_cast<unsigned long long>(digest));
        EXPECT_EQ(digest, c.digest) << c.path << ": " << printed;
        EXPECT_TRUE(temp.guards_intact()) << c.path;
    }
}

}  // namespace
