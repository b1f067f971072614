#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "cpu/point_sampler.h"
#include "cpu/plan_rows.h"
#include "platform/device_runtime/emulated_controls.h"
#include "plugin/frame_entry.h"
#include "plugin/registration.h"
#include "settings/plugin_settings.h"
#include "tests/support/frames.h"

namespace {

ResizeRequest resolve(Controls& controls, std::int32_t w, std::int32_t h, std::int32_t max_w = 1600,
                      std::int32_t max_h = 1600)
{
    static PIXEL_YC dummy[1];
    FILTER fp = controls.filter();
    FILTER_PROC_INFO info{};
    info.ycp_edit = dummy;
    info.ycp_temp = dummy;
    info.w = w;
    info.h = h;
    info.max_w = max_w;
    info.max_h = max_h;
    const auto request = resolve_request(&fp, &info, kDefaultMaxSourceSide);
    EXPECT_TRUE(request.has_value());
    return request.value_or(ResizeRequest{});
}

TEST(ResolveRequest, DefaultsSelect640x480PointSamplingAndTheDeviceShare)
{
    Controls controls;
    const ResizeRequest r = resolve(controls, 1280, 720, 1600, 1200);
    EXPECT_EQ(r.dst_w, 640);
    EXPECT_EQ(r.dst_h, 480);
    EXPECT_EQ(r.src_w, 1280);
    EXPECT_EQ(r.src_h, 720);
    EXPECT_EQ(r.stride, 1600);
    EXPECT_EQ(r.method, ResizeMethod::point_sample);
    EXPECT_EQ(r.device_rate, 256);
    EXPECT_EQ(r.block_threads, 32);
    EXPECT_EQ(r.cpu_threads, 3);
}

TEST(ResolveRequest, PresetsWinInOrderAndOtherUsesTheTrackBars)
{
    Controls controls;
    controls.track[kTrackWidth] = 100;
    controls.track[kTrackHeight] = 90;
    controls.check[kCheck320x240] = 1;
    controls.check[kCheck512x384] = 1;
    EXPECT_EQ(resolve(controls, 800, 600).dst_w, 320);
    controls.check[kCheck320x240] = 0;
    EXPECT_EQ(resolve(controls, 800, 600).dst_h, 384);
    controls.check[kCheck320x240] = 2;  // only exactly 1 counts
    EXPECT_EQ(resolve(controls, 800, 600).dst_h, 384);
    controls.other_size(100, 90);
    const ResizeRequest r = resolve(controls, 800, 600);
    EXPECT_EQ(r.dst_w, 100);
    EXPECT_EQ(r.dst_h, 90);
}

TEST(ResolveRequest, BoundsApplyInOrder)
{
    Controls controls;
    controls.other_size(100, 100);
    ResizeRequest r = resolve(controls, 1600, 1200);
    EXPECT_EQ(r.dst_w, 200);  // an eighth of the source
    EXPECT_EQ(r.dst_h, 150);

    controls.other_size(1, 1);
    r = resolve(controls, 15, 15);
    EXPECT_EQ(r.dst_w, 1);

    controls.other_size(1600, 100);
    r = resolve(controls, 1000, 800, 1280, 1024);
    EXPECT_EQ(r.dst_w, 1280);  // the buffer bound

    // Method 0 enlarges up to the buffer; method 1 never enlarges, each axis on its own.
    Controls preset;
    r = resolve(preset, 320, 240, 640, 480);
    EXPECT_EQ(r.dst_w, 640);
    EXPECT_EQ(r.dst_h, 480);
    preset.track[kTrackMethod] = 1;
    r = resolve(preset, 320, 240, 640, 480);
    EXPECT_EQ(r.dst_w, 320);
    EXPECT_EQ(r.dst_h, 240);
    r = resolve(preset, 800, 200, 1600, 1200);
    EXPECT_EQ(r.dst_w, 640);
    EXPECT_EQ(r.dst_h, 200);
}

TEST(ResolveRequest, ClipBarsCropTheirOwnSidesAndKeepAPixel)
{
    Controls controls;
    controls.track[kTrackClipTop] = 10;
    controls.track[kTrackClipBottom] = 20;
    controls.track[kTrackClipLeft] = 30;
    controls.track[kTrackClipRight] = 40;
    ResizeRequest r = resolve(controls, 800, 600);
    EXPECT_EQ(r.clip_left, 30);
    EXPECT_EQ(r.clip_top, 10);
    EXPECT_EQ(r.src_w, 730);
    EXPECT_EQ(r.src_h, 570);

    // Amounts past the picture leave one column and one row.
    controls.track[kTrackClipLeft] = 512;
    controls.track[kTrackClipRight] = 512;
    controls.track[kTrackClipTop] = 200;
    controls.track[kTrackClipBottom] = 512;
    r = resolve(controls, 300, 400);
    EXPECT_EQ(r.clip_left, 299);
    EXPECT_EQ(r.src_w, 1);
    EXPECT_EQ(r.clip_top, 200);
    EXPECT_EQ(r.src_h, 1);
}

TEST(ResolveRequest, RejectsOversizeSourcesAndInsaneRecords)
{
    Controls controls;
    PIXEL_YC pixels[1];
    FILTER fp = controls.filter();
    FILTER_PROC_INFO info{};
    info.ycp_edit = pixels;
    info.ycp_temp = pixels;
    info.max_w = 2000;
    info.max_h = 2000;
    auto accepts = [&](std::int32_t w, std::int32_t h) {
        info.w = w;
        info.h = h;
        return resolve_request(&fp, &info, kDefaultMaxSourceSide).has_value();
    };
    EXPECT_TRUE(accepts(1600, 1600));
    EXPECT_FALSE(accepts(1601, 100));
    EXPECT_FALSE(accepts(100, 1601));
    EXPECT_FALSE(accepts(0, 100));
    EXPECT_FALSE(accepts(100, -1));
    EXPECT_FALSE(accepts(2001, 100));

    // Clipping brings an oversize frame within the limit.
    controls.track[kTrackClipLeft] = 1;
    EXPECT_TRUE(accepts(1601, 100));
    controls.track[kTrackClipLeft] = 0;
    // A raised limit takes larger sources, and still bounds them.
    info.w = 1920;
    info.h = 1080;
    EXPECT_TRUE(resolve_request(&fp, &info, 1920).has_value());
    EXPECT_FALSE(resolve_request(&fp, &info, 1919).has_value());

    info.w = info.h = 100;
    EXPECT_FALSE(resolve_request(nullptr, &info, kDefaultMaxSourceSide).has_value());
    EXPECT_FALSE(resolve_request(&fp, nullptr, kDefaultMaxSourceSide).has_value());
    info.ycp_temp = nullptr;
    EXPECT_FALSE(resolve_request(&fp, &info, kDefaultMaxSourceSide).has_value());
    info.ycp_temp = pixels;
    fp.check = nullptr;
    EXPECT_FALSE(resolve_request(&fp, &info, kDefaultMaxSourceSide).has_value());
    fp = controls.filter();
    controls.track[kTrackCpuThreads] = 0;  // outside the registered range
    EXPECT_FALSE(resolve_request(&fp, &info, kDefaultMaxSourceSide).has_value());
}

// Point sampling of `r` as the frame callback runs it: the plan, then the sampler.
void point_sample(const ResizeRequest& r, const PIXEL_YC* src, PIXEL_YC* dst)
{
    ResamplePlan plan{};
    build_plan(r, plan);
    point_sample_frame(plan, src, dst);
}

// Source columns that point sampling takes for each output column of a one-row picture.
std::vector<int> sampled_columns(std::int32_t src_w, std::int32_t dst_w)
{
    GuardedFrame src(64, 4), dst(64, 4);
    for (std::int32_t x = 0; x < 64; ++x) src.at(0, x) = PIXEL_YC{static_cast<std::int16_t>(x), 0, 0};
    ResizeRequest r{};
    r.src_w = src_w;
    r.src_h = 1;
    r.dst_w = dst_w;
    r.dst_h = 1;
    r.stride = 64;
    point_sample(r, src.pixels(), dst.pixels());
    std::vector<int> columns;
    for (std::int32_t x = 0; x < dst_w; ++x) columns.push_back(dst.at(0, x).y);
    return columns;
}

TEST(PointSample, PositionsFollowTheSinglePrecisionRatio)
{
    EXPECT_EQ(sampled_columns(7, 10), (std::vector<int>{0, 1, 1, 2, 3, 3, 4, 5, 6, 6}));
    EXPECT_EQ(sampled_columns(5, 6), (std::vector<int>{0, 1, 2, 2, 3, 4}));
    const std::vector<int> halves = sampled_columns(64, 32);
    for (int x = 0; x < 32; ++x) EXPECT_EQ(halves[x], 2 * x);
    // Enlarging twice or more would reach one column past the picture; the last column is taken.
    EXPECT_EQ(sampled_columns(3, 6), (std::vector<int>{0, 1, 1, 2, 2, 2}));
}

TEST(PointSample, ReadsOnlyTheClippedPictureAndWritesOnlyTheOutput)
{
    GuardedFrame src(40, 30), dst(40, 30);
    for (std::int32_t row = 0; row < 30; ++row)
        for (std::int32_t col = 0; col < 40; ++col)
            src.at(row, col) = PIXEL_YC{static_cast<std::int16_t>(col), static_cast<std::int16_t>(row), -7};
    ResizeRequest r{};
    r.src_w = 10;
    r.src_h = 5;
    r.clip_left = 20;
    r.clip_top = 12;
    r.dst_w = 40;
    r.dst_h = 30;
    r.stride = 40;
    point_sample(r, src.pixels(), dst.pixels());
    for (std::int32_t row = 0; row < 30; ++row)
        for (std::int32_t col = 0; col < 40; ++col) {
            const PIXEL_YC p = dst.at(row, col);
            ASSERT_GE(p.y, 20);
            ASSERT_LE(p.y, 29);
            ASSERT_GE(p.cb, 12);
            ASSERT_LE(p.cb, 16);
            ASSERT_EQ(p.cr, -7);
        }
    EXPECT_TRUE(dst.guards_intact());

    GuardedFrame small(40, 30);
    r.dst_w = 3;
    r.dst_h = 2;
    point_sample(r, src.pixels(), small.pixels());
    EXPECT_EQ(small.at(0, 3).y, kGuard);
    EXPECT_EQ(small.at(2, 0).y, kGuard);
}

TEST(FrameEntry, ExchangesThePointersAndReportsTheSize)
{
    GuardedFrame edit(800, 600), temp(800, 600);
    std::mt19937 rng(1);
    fill_random(edit, rng);
    Controls controls;
    controls.other_size(200, 150);
    FILTER fp = controls.filter();
    FILTER_PROC_INFO info = proc_info(edit, temp, 800, 600);
    EXPECT_EQ(func_proc(&fp, &info), 1);
    EXPECT_EQ(info.ycp_edit, temp.pixels());
    EXPECT_EQ(info.ycp_temp, edit.pixels());
    EXPECT_EQ(info.w, 200);
    EXPECT_EQ(info.h, 150);
    EXPECT_TRUE(same_pixel(temp.at(1, 1), edit.at(4, 4)));
}

TEST(FrameEntry, OversizeFramesPassThroughUntouched)
{
    GuardedFrame edit(1601, 4), temp(1601, 4);
    Controls controls;
    FILTER fp = controls.filter();
    FILTER_PROC_INFO info = proc_info(edit, temp, 1601, 4);
    EXPECT_EQ(func_proc(&fp, &info), 1);
    EXPECT_EQ(info.ycp_edit, edit.pixels());
    EXPECT_EQ(info.w, 1601);
    EXPECT_EQ(info.h, 4);
    EXPECT_EQ(temp.at(0, 0).y, kGuard);
}

TEST(FrameEntry, RebuildsThePlanOncePerChange)
{
    ASSERT_EQ(filter_registration()->func_init(nullptr), 1);
    GuardedFrame edit(320, 240), temp(320, 240);
    Controls controls;
    controls.method(1, 128, 32, 3);
    FILTER fp = controls.filter();
    auto run = [&] {
        FILTER_PROC_INFO info = proc_info(edit, temp, 320, 240);
        func_proc(&fp, &info);
    };
    // A build allocates the device copy of the plan anew; a frame allocates nothing.
    run();
    const std::uint64_t allocations = emu::allocations_made();
    run();
    EXPECT_EQ(emu::allocations_made(), allocations);
    controls.track[kTrackCpuThreads] = 4;
    run();
    const std::uint64_t rebuilt = emu::allocations_made();
    EXPECT_GT(rebuilt, allocations);
    run();
    EXPECT_EQ(emu::allocations_made(), rebuilt);
}

TEST(FrameEntry, MovingTheCropWithoutResizingItRebuildsThePlan)
{
    GuardedFrame edit = random_frame(100, 80, 41), temp(100, 80);
    Controls controls;
    controls.other_size(30, 20);
    controls.method(1, 0, 32, 3);
    FILTER fp = controls.filter();
    for (auto [top, left] : {std::pair{0, 0}, {6, 0}, {0, 0}, {0, 9}}) {
        controls.clip(top, 6 - top, left, 9 - left);
        FILTER_PROC_INFO info = proc_info(edit, temp, 100, 80);
        const ResizeRequest request = *resolve_request(&fp, &info, kDefaultMaxSourceSide);
        func_proc(&fp, &info);
        ResamplePlan fresh{};
        build_plan(request, fresh);
        GuardedFrame expected(100, 80);
        run_plan_rows(cpu_level_from_environment(), fresh, 0, request.dst_h, edit.pixels() + top * 100, expected.pixels());
        for (std::int32_t row = 0; row < 20; ++row)
            for (std::int32_t col = 0; col < 30; ++col)
                ASSERT_TRUE(same_pixel(temp.at(row, col), expected.at(row, col))) << top << "," << left;
    }
}

// A clip bar at the picture's size, or past it, keeps the one row or column farthest from it: the
// frame is the one that row or column alone gives, by either method.
TEST(FrameEntry, ClipsAtAndPastThePictureKeepOneRowOrColumn)
{
    constexpr std::int32_t kW = 12, kH = 10, kBufferW = 16, kBufferH = 12;
    const GuardedFrame picture = random_frame(kBufferW, kBufferH, 23);
    // The output of the frame callback on `edit` (w x h): its size and pixels, row by row.
    const auto filtered = [](Controls& controls, GuardedFrame edit, std::int32_t w, std::int32_t h) {
        GuardedFrame temp(kBufferW, kBufferH);
        FILTER fp = controls.filter();
        FILTER_PROC_INFO info = proc_info(edit, temp, w, h);
        EXPECT_EQ(func_proc(&fp, &info), 1);
        EXPECT_TRUE(edit.guards_intact() && temp.guards_intact());
        std::vector<std::int16_t> out{static_cast<std::int16_t>(info.w), static_cast<std::int16_t>(info.h)};
        for (std::int32_t row = 0; row < info.h; ++row)
            for (std::int32_t col = 0; col < info.w; ++col) {
                const PIXEL_YC& p = info.ycp_edit[row * kBufferW + col];
                out.insert(out.end(), {p.y, p.cb, p.cr});
            }
        return out;
    };
    const struct {
        const char* side;
        int track;
        std::int32_t extent;  // the picture's width or height
        std::int32_t kept;    // the column or row that remains
    } sides[] = {{"left", kTrackClipLeft, kW, kW - 1},
                 {"right", kTrackClipRight, kW, 0},
                 {"top", kTrackClipTop, kH, kH - 1},
                 {"bottom", kTrackClipBottom, kH, 0}};
    for (const std::int32_t method : {0, 1})
        for (const auto& side : sides) {
            const bool columns = side.extent == kW;
            GuardedFrame alone(kBufferW, kBufferH);
            const std::int32_t alone_w = columns ? 1 : kW, alone_h = columns ? kH : 1;
            for (std::int32_t row = 0; row < alone_h; ++row)
                for (std::int32_t col = 0; col < alone_w; ++col)
                    alone.at(row, col) = picture.at(columns ? row : side.kept, columns ? side.kept : col);
            Controls controls;
            controls.other_size(6, 5);
            controls.method(method, 0, 32, 3);
            const std::vector<std::int16_t> expected = filtered(controls, alone, alone_w, alone_h);
            for (const std::int32_t amount : {side.extent - 1, side.extent, side.extent + 1}) {
                SCOPED_TRACE(std::string(side.side) + " " + std::to_string(amount) + ", method " + std::to_string(method));
                controls.track[side.track] = amount;
                EXPECT_EQ(filtered(controls, picture, kW, kH), expected);
            }
        }
}

// Calls that overlap (the editor never makes them) filter their frame as a call alone would, or pass
// it through untouched.
TEST(FrameEntry, OverlappingCallsFilterOrPassThrough)
{
    const GuardedFrame source = random_frame(96, 64, 7), untouched(96, 64);
    // Each thread its own width, so that its calls rebuild the plan the others are using. The output's
    // width, or -1 when the source changed.
    const auto run = [&](std::int32_t thread, GuardedFrame& temp) {
        Controls controls;
        controls.other_size(40 + 8 * thread, 30);
        controls.method(1, 128, 32, 3);
        FILTER fp = controls.filter();
        GuardedFrame edit = source;
        FILTER_PROC_INFO info = proc_info(edit, temp, 96, 64);
        return func_proc(&fp, &info) == 1 && first_difference(edit, source) == -1 ? info.w : -1;
    };
    std::vector<GuardedFrame> expected(4, GuardedFrame(96, 64));
    for (std::int32_t t = 0; t < 4; ++t) run(t, expected[t]);
    std::atomic<int> filtered{0}, wrong{0};
    std::vector<std::thread> threads;
    for (std::int32_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int frame = 0; frame < 40; ++frame) {
                GuardedFrame temp(96, 64);
                const std::int32_t w = run(t, temp);
                filtered += w != 96;
                wrong += (w != 96 && w != 40 + 8 * t) || first_difference(temp, w == 96 ? untouched : expected[t]) != -1;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(filtered, 0);
}

}  // namespace
