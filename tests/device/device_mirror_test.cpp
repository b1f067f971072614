// What the kernel finds on the device after a build: the constants, the window tables behind the
// textures, and the module's registration.
#include <gtest/gtest.h>

#include <cstring>

#include "device/device_mirror.h"
#include "device/device_module.h"
#include "device/lifecycle.h"
#include "platform/device_runtime/emulated_controls.h"
#include "tests/support/frames.h"

namespace {

std::int32_t read_constant(const std::int32_t& shadow)
{
    std::int32_t value = -1;
    EXPECT_EQ(cudaMemcpyFromSymbol(&value, &shadow, sizeof value), cudaSuccess);
    return value;
}

template <class T> std::vector<T> texture_elements(const textureReference& texture_ref)
{
    const std::vector<unsigned char> bytes = emu::bound_texture_elements(&texture_ref);
    std::vector<T> elements(bytes.size() / sizeof(T));
    std::memcpy(elements.data(), bytes.data(), elements.size() * sizeof(T));
    return elements;
}

TEST(DeviceMirror, ConstantsAndWindowTablesReadBack)
{
    ASSERT_TRUE(start_device());
    struct Case {
        std::int32_t src_w, src_h, dst_w, dst_h, clip_left, taps_x, taps_y;
    };
    // 1080 -> 720 rows: span 1.5; 1000 -> 300: span 3.33; 7 -> 1 columns: span 6.9999995, so 8 taps.
    for (const Case c : {Case{10, 1080, 10, 720, 0, 3, 3}, Case{7, 1000, 1, 300, 3, 8, 5}, Case{64, 48, 64, 48, 5, 3, 3}}) {
        ResizeRequest r = area_request(c.src_w, c.src_h, c.dst_w, c.dst_h, 80, 128, 64, 2);
        r.clip_left = c.clip_left;
        ResamplePlan plan{};
        build_plan(r, plan);
        DeviceMirror mirror;
        mirror.rebuild(plan);
        ASSERT_TRUE(mirror.ready_for(plan));

        EXPECT_EQ(read_constant(gcUnitNumX), c.taps_x);
        EXPECT_EQ(read_constant(gcUnitNumY), c.taps_y);
        EXPECT_EQ(read_constant(gcThreadNum), 64);
        EXPECT_EQ(read_constant(gcDestWidth), c.dst_w);
        EXPECT_EQ(read_constant(gcMaxWidth), 80);

        // Output rows past dst_h start at row 0; columns count from the clipped picture's left edge.
        std::vector<std::int32_t> start_y(plan.area.rows.first.begin(), plan.area.rows.first.end() - 1);
        start_y.resize(start_y.size() + 512, 0);
        EXPECT_EQ(texture_elements<std::int32_t>(gTextureStartY), start_y);
        std::vector<std::int32_t> start_x;
        for (std::int32_t j = 0; j < c.dst_w; ++j) start_x.push_back(plan.area.columns.first[j] - c.clip_left);
        EXPECT_EQ(texture_elements<std::int32_t>(gTextureStartX), start_x);
        EXPECT_EQ(texture_elements<float>(gTextureWeightY).size(), (c.dst_h + 512u) * c.taps_y);
        EXPECT_EQ(texture_elements<float>(gTextureWeightX).size(), static_cast<std::size_t>(c.dst_w) * c.taps_x);
    }
}

// 7160 whole rows of a 100000-pixel buffer are 4,296,000,000 bytes, past 32 bits: more than the
// device holds, so the mirror is not ready and the band goes to the CPU.
TEST(DeviceMirror, BandsPast32BitsAreSizedWhole)
{
    ASSERT_TRUE(start_device());
    ResamplePlan plan{};
    build_plan(area_request(64, 7160, 64, 7160, 100000, 256), plan);
    EXPECT_EQ(dest_buffer_bytes(plan), 7160u * 100000ull * sizeof(PIXEL_YC));
    DeviceMirror mirror;
    mirror.rebuild(plan);
    EXPECT_FALSE(mirror.ready_for(plan));
}

TEST(DeviceMirror, SharedSymbolIsRegisteredByItsName)
{
    EXPECT_EQ(emu::registered_shared_symbols(module_handle), std::vector<std::string>{"sdata"});
}

}  // namespace
