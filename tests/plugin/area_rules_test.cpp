// Area averaging through the frame callback, byte for byte against the scalar rules in
// tests/support/area_rules.h: the device rule above the device's share of rows, the CPU rule below.
#include <gtest/gtest.h>

#include <string>

#include "plugin/module_state.h"
#include "plugin/registration.h"
#include "tests/support/area_rules.h"
#include "tests/support/frames.h"

namespace {

struct AreaCase {
    std::int32_t src_w, src_h, dst_w, dst_h;
    std::int32_t top = 0, bottom = 0, left = 0, right = 0, spare_w = 0, spare_h = 0;  // spare: buffer beyond the frame
    std::int32_t rate = 0, block_threads = 32, cpu_threads = 3;
    int low = -32768, high = 32767;  // range of the source values
};

std::string describe(const AreaCase& c, std::uint32_t seed)
{
    auto s = [](std::int32_t v) { return std::to_string(v); };
    return s(c.src_w) + "x" + s(c.src_h) + " -> " + s(c.dst_w) + "x" + s(c.dst_h) + ", clip " + s(c.top) + "/" +
           s(c.bottom) + "/" + s(c.left) + "/" + s(c.right) + ", spare " + s(c.spare_w) + "x" + s(c.spare_h) +
           ", rate " + s(c.rate) + ", block " + s(c.block_threads) + ", cpu " + s(c.cpu_threads) + ", values " +
           s(c.low) + ".." + s(c.high) + ", seed " + std::to_string(seed);
}

std::string show(const PIXEL_YC& p)
{
    return "(" + std::to_string(p.y) + ", " + std::to_string(p.cb) + ", " + std::to_string(p.cr) + ")";
}

std::int32_t uniform(std::mt19937& rng, std::int32_t low, std::int32_t high)
{
    return std::uniform_int_distribution<std::int32_t>(low, high)(rng);
}

// Runs one seeded frame through the callback; rows below G = (dst_h * rate + 128) >> 8 must equal the
// device rule, the rest the CPU rule. Reports the first differing pixel of each rule.
void check_case(const AreaCase& c, std::uint32_t seed)
{
    SCOPED_TRACE(describe(c, seed));
    static FILTER_DLL* const table = [] {
        FILTER_DLL* t = filter_registration();
        t->func_init(nullptr);
        return t;
    }();
    const std::int32_t frame_w = c.src_w + c.left + c.right, frame_h = c.src_h + c.top + c.bottom;
    GuardedFrame edit(frame_w + c.spare_w, frame_h + c.spare_h), temp(edit.max_w, edit.max_h);
    std::mt19937 rng(seed);
    fill_random(edit, rng, c.low, c.high);
    const GuardedFrame source = edit;

    Controls controls;
    controls.other_size(c.dst_w, c.dst_h);
    controls.clip(c.top, c.bottom, c.left, c.right);
    controls.method(1, c.rate, c.block_threads, c.cpu_threads);
    FILTER fp = controls.filter();
    FILTER_PROC_INFO info = proc_info(edit, temp, frame_w, frame_h);
    ASSERT_EQ(table->func_proc(&fp, &info), 1);
    ASSERT_EQ(info.w, c.dst_w);
    ASSERT_EQ(info.h, c.dst_h);
    EXPECT_TRUE(edit.guards_intact() && temp.guards_intact());

    const PIXEL_YC* picture = &source.at(c.top, c.left);
    const std::vector<PIXEL_YC> rules[2] = {
        cpu_area_rule(picture, source.max_w, c.src_w, c.src_h, c.dst_w, c.dst_h),
        device_area_rule(picture, source.max_w, c.src_w, c.src_h, c.dst_w, c.dst_h)};
    const std::int32_t device_rows = (c.dst_h * c.rate + 128) >> 8;
    long differing[2] = {0, 0};
    for (std::int32_t row = 0; row < c.dst_h; ++row)
        for (std::int32_t col = 0; col < c.dst_w; ++col) {
            const int rule = row < device_rows ? 1 : 0;
            const PIXEL_YC& want = rules[rule][static_cast<std::size_t>(row) * c.dst_w + col];
            const PIXEL_YC& got = info.ycp_edit[static_cast<std::size_t>(row) * edit.max_w + col];
            if (!same_pixel(got, want) && differing[rule]++ == 0)
                ADD_FAILURE() << (rule ? "device" : "CPU") << " row " << row << " col " << col << ": got " << show(got)
                              << ", rule gives " << show(want);
        }
    EXPECT_EQ(differing[0] + differing[1], 0) << differing[0] << " CPU and " << differing[1] << " device pixels differ";
}

// Runs fixed sizes (single pixels, odd sizes, ratios near 1, exactly 1/8), saturating frames and
// `count` random cases up to 300x200 with crops; `setup` picks each case's rate and thread counts.
template <typename Setup>
void run_cases(std::uint32_t seed, int count, Setup setup)
{
    std::vector<AreaCase> cases = {
        {1, 1, 1, 1},         {2, 1, 1, 1},       {3, 2, 1, 2},         {3, 3, 2, 1},       {8, 8, 1, 1},
        {127, 129, 16, 17},   {129, 127, 128, 126}, {300, 200, 299, 199}, {256, 200, 32, 25}, {129, 3, 17, 1},
        {1, 129, 1, 127},     {257, 131, 256, 130}, {300, 200, 38, 25},  {200, 300, 150, 100}, {97, 89, 97, 89},
    };
    for (AreaCase c : {AreaCase{300, 200, 211, 157}, AreaCase{131, 129, 128, 127}, AreaCase{97, 89, 13, 12}})
        for (auto range : {std::pair{32767, 32767}, std::pair{-32768, -32768}, std::pair{32700, 32767}}) {
            c.low = range.first, c.high = range.second;
            cases.push_back(c);
        }
    std::mt19937 rng(seed);
    for (int i = 0; i < count; ++i) {
        AreaCase c{uniform(rng, 1, 300), uniform(rng, 1, 200), 0, 0};
        // Half the outputs stay within a few pixels of the source, half spread over [src/8, src].
        const bool near = uniform(rng, 0, 1) == 0;
        auto output = [&](std::int32_t s) {
            return near ? std::max(s - uniform(rng, 0, 3), (s + 7) / 8) : uniform(rng, (s + 7) / 8, s);
        };
        c.dst_w = output(c.src_w);
        c.dst_h = output(c.src_h);
        if (uniform(rng, 0, 2) > 0)
            for (std::int32_t* edge : {&c.top, &c.bottom, &c.left, &c.right}) *edge = uniform(rng, 0, 9);
        c.spare_w = uniform(rng, 0, 1) * uniform(rng, 1, 20);
        c.spare_h = uniform(rng, 0, 3);
        cases.push_back(c);
    }
    for (AreaCase& c : cases) {
        setup(c, rng);
        check_case(c, static_cast<std::uint32_t>(rng()));
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(AreaRules, CpuRowsFollowTheCpuRule)
{
    run_cases(11, 60, [](AreaCase& c, std::mt19937& rng) { c.cpu_threads = uniform(rng, 1, 16); });
}

TEST(AreaRules, DeviceRowsFollowTheDeviceRule)
{
    run_cases(22, 60, [](AreaCase& c, std::mt19937& rng) {
        c.rate = 256;
        c.block_threads = uniform(rng, 32, 512);
    });
}

TEST(AreaRules, SharedPicturesSplitAtTheDeviceShare)
{
    run_cases(33, 60, [](AreaCase& c, std::mt19937& rng) {
        c.rate = uniform(rng, 0, 256);
        c.block_threads = uniform(rng, 32, 512);
        c.cpu_threads = uniform(rng, 1, 16);
    });
}

TEST(AreaRules, LargePicturesFollowBothRules)
{
    check_case({1280, 720, 1279, 719, 0, 0, 0, 0, 0, 0, 128, 256, 7}, 44);
    check_case({1000, 700, 163, 97, 5, 3, 9, 2, 17, 1, 77, 96, 4}, 45);
    check_case({1200, 900, 150, 900, 0, 0, 0, 0, 0, 0, 200, 512, 16}, 46);
}

// With the source limit raised, 1080p and 4K sources come down to common sizes by both rules, at
// every device share; at the default limit the same frame passes through.
TEST(AreaRules, LargerSourcesOnceTheLimitIsRaised)
{
    check_case({1, 1, 1, 1}, 47);  // the module started, at the default limit
    const std::int32_t default_limit = module_state.settings.max_source_side;
    ASSERT_EQ(default_limit, kDefaultMaxSourceSide);
    module_state.settings.max_source_side = kLargestMaxSourceSide;
    check_case({1920, 1080, 1280, 720, 0, 0, 0, 0, 0, 0, 0, 64, 2}, 48);
    check_case({1920, 1080, 960, 540, 0, 0, 0, 0, 0, 0, 128, 256, 3}, 49);
    check_case({1920, 1080, 640, 360, 0, 0, 0, 0, 0, 0, 256, 512, 16}, 50);
    check_case({3840, 2160, 1280, 720, 0, 0, 0, 0, 0, 0, 77, 128, 2}, 51);
    check_case({3840, 2160, 1280, 720, 0, 0, 0, 0, 0, 0, 256, 64, 1}, 52);

    // Point sampling: each output pixel is the source pixel at (x or y) x ratio + 0.5, truncated.
    GuardedFrame edit = random_frame(3840, 2160, 53), temp(3840, 2160);
    const GuardedFrame source = edit;
    Controls controls;
    controls.other_size(1280, 720);
    FILTER fp = controls.filter();
    FILTER_PROC_INFO info = proc_info(edit, temp, 3840, 2160);
    ASSERT_EQ(filter_registration()->func_proc(&fp, &info), 1);
    ASSERT_EQ(info.w, 1280);
    long differing = 0;
    for (std::int32_t y = 0; y < 720; ++y)
        for (std::int32_t x = 0; x < 1280; ++x)
            differing += !same_pixel(info.ycp_edit[static_cast<std::size_t>(y) * 3840 + x],
                                     source.at(static_cast<std::int32_t>(y * 3.0 + 0.5), static_cast<std::int32_t>(x * 3.0 + 0.5)));
    EXPECT_EQ(differing, 0);

    // At the default limit the same frame passes through.
    module_state.settings.max_source_side = default_limit;
    info = proc_info(edit, temp, 3840, 2160);
    ASSERT_EQ(filter_registration()->func_proc(&fp, &info), 1);
    EXPECT_EQ(info.w, 3840);
    EXPECT_EQ(info.ycp_edit, edit.pixels());
}

}  // namespace
