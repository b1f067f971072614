// The host library against the real plug-in (its registration table and controls) and against the
// test plug-ins (loading errors, broken records, and the frame callback contract).
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

#include "host/host_error.h"
#include "host/plugin_host.h"
#include "tests/host/test_support.h"

using vantreo_host::BufferSize;
using vantreo_host::HostError;
using vantreo_host::Picture;
using vantreo_host::PluginHost;
using host_test::error_of;

namespace {

Picture numbered_picture(std::int32_t w, std::int32_t h)
{
    Picture picture(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            picture.at(x, y) = {static_cast<std::int16_t>(100 * y + x), static_cast<std::int16_t>(x),
                                static_cast<std::int16_t>(-y)};
    return picture;
}

bool same_pixel(const PIXEL_YC& a, const PIXEL_YC& b) { return a.y == b.y && a.cb == b.cb && a.cr == b.cr; }

// A probe_* export of an already loaded test plug-in.
template <typename Fn>
Fn probe_export(const char* path, const char* name)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    return handle ? reinterpret_cast<Fn>(dlsym(handle, name)) : nullptr;
}

TEST(RealPlugin, RegistrationTableReadsAsTheSettingsWindowShowsIt)
{
    const PluginHost host(VANTREO_PLUGIN_PATH);
    EXPECT_EQ(host.filter_name(), "Vantreo");
    EXPECT_EQ(host.flag(), 0x00440000);
    EXPECT_TRUE(host.check_boxes_are_radio_group());
    EXPECT_EQ(host.information(), "Vantreo by Elsom 200809211840");

    struct Bar {
        const char* label;
        std::int32_t value, lo, hi;
    };
    const Bar expected[] = {{"Clip U", 0, 0, 512},    {"Clip D", 0, 0, 512},  {"Clip L", 0, 0, 512},
                            {"Clip R", 0, 0, 512},    {"Width", 640, 1, 1600}, {"Height", 480, 1, 1200},
                            {"Method", 0, 0, 1},      {"T. Rate", 256, 0, 256}, {"Cuda T.", 32, 32, 512},
                            {"CPU T.", 3, 1, 16}};
    const auto bars = host.track_bars();
    ASSERT_EQ(bars.size(), std::size(expected));
    for (std::size_t i = 0; i < bars.size(); ++i) {
        SCOPED_TRACE(expected[i].label);
        EXPECT_EQ(bars[i].label, expected[i].label);
        EXPECT_EQ(bars[i].default_value, expected[i].value);
        EXPECT_EQ(bars[i].minimum, expected[i].lo);
        EXPECT_EQ(bars[i].maximum, expected[i].hi);
        EXPECT_EQ(host.instance().track[i], expected[i].value);
    }

    const auto boxes = host.check_boxes();
    const char* const labels[] = {"320 x 240", "512 x 384", "640 x 480", "other"};
    ASSERT_EQ(boxes.size(), 4u);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].label, labels[i]);
        EXPECT_EQ(boxes[i].default_value, i == 2 ? 1 : 0);
        EXPECT_EQ(host.instance().check[i], i == 2 ? 1 : 0);
    }
}

TEST(RealPlugin, InstanceRecordHasItsOwnValueArrays)
{
    PluginHost first(VANTREO_PLUGIN_PATH);
    PluginHost second(VANTREO_PLUGIN_PATH);
    ASSERT_NE(first.instance().track, nullptr);
    ASSERT_NE(first.instance().check, nullptr);
    EXPECT_NE(static_cast<const void*>(first.instance().track), static_cast<const void*>(first.instance().track_default));
    EXPECT_NE(static_cast<const void*>(first.instance().check), static_cast<const void*>(first.instance().check_default));

    // Changing one instance leaves the registration record and other instances alone.
    first.set_track("Width", 800);
    first.select("other");
    EXPECT_EQ(first.instance().track[4], 800);
    EXPECT_EQ(first.instance().track_default[4], 640);
    EXPECT_EQ(second.track("Width"), 640);
    EXPECT_EQ(second.check("other"), 0);
}

TEST(RealPlugin, TrackBarsSetByLabelWithinTheirRange)
{
    PluginHost host(VANTREO_PLUGIN_PATH);
    host.set_track("T. Rate", 128);
    host.set_track("Method", 1);
    host.set_track("Width", 1);
    host.set_track("Height", 1200);
    EXPECT_EQ(host.instance().track[7], 128);
    EXPECT_EQ(host.instance().track[6], 1);
    EXPECT_EQ(host.track("Width"), 1);
    EXPECT_EQ(host.track("Height"), 1200);

    EXPECT_NE(error_of([&] { host.set_track("T. Rate", 257); }).find("\"T. Rate\" must be 0..256"), std::string::npos);
    EXPECT_NE(error_of([&] { host.set_track("Cuda T.", 31); }).find("\"Cuda T.\" must be 32..512"), std::string::npos);
    EXPECT_NE(error_of([&] { host.set_track("Width", 0); }).find("\"Width\" must be 1..1600"), std::string::npos);
    EXPECT_EQ(host.track("T. Rate"), 128) << "a refused value leaves the old one";

    const std::string unknown = error_of([&] { host.set_track("Rate", 1); });
    EXPECT_NE(unknown.find("\"Rate\""), std::string::npos);
    for (const char* label : {"Clip U", "Width", "T. Rate", "CPU T."})
        EXPECT_NE(unknown.find(std::string("\"") + label + "\""), std::string::npos) << unknown;
    EXPECT_NE(error_of([&] { host.set_track("other", 1); }), "") << "a check box is no track bar";
}

TEST(RealPlugin, RadioGroupKeepsExactlyOneButtonOn)
{
    PluginHost host(VANTREO_PLUGIN_PATH);
    const char* const labels[] = {"320 x 240", "512 x 384", "640 x 480", "other"};
    for (int chosen = 3; chosen >= 0; --chosen) {
        host.select(labels[chosen]);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(host.instance().check[i], i == chosen ? 1 : 0) << labels[chosen];
    }
    host.select("320 x 240");
    EXPECT_EQ(host.check("320 x 240"), 1);

    const std::string unknown = error_of([&] { host.select("800 x 600"); });
    EXPECT_NE(unknown.find("\"800 x 600\""), std::string::npos);
    EXPECT_NE(unknown.find("\"other\""), std::string::npos);
    EXPECT_EQ(host.check("320 x 240"), 1);
}

TEST(TestPlugins, CheckBoxesOutsideARadioGroupAreIndependent)
{
    PluginHost host(HOST_TEST_PROBE_CHECKS);
    EXPECT_FALSE(host.check_boxes_are_radio_group());
    EXPECT_EQ(host.information(), "") << "the record does not announce its information string";
    host.select("a");
    host.select("c");
    EXPECT_EQ(host.check("a"), 1);
    EXPECT_EQ(host.check("b"), 1);
    EXPECT_EQ(host.check("c"), 1);
}

TEST(LoadErrors, NameTheFileAndTheProblem)
{
    const std::string missing = "/nonexistent/dir/missing.auf";
    const std::string not_found = error_of([&] { PluginHost host(missing); });
    EXPECT_NE(not_found.find(missing), std::string::npos) << not_found;
    EXPECT_NE(not_found.find("cannot load"), std::string::npos) << not_found;
    EXPECT_NE(not_found.find("No such file"), std::string::npos) << "the loader's reason: " << not_found;

    const std::string no_export = error_of([] { PluginHost host(HOST_TEST_NO_EXPORT); });
    EXPECT_NE(no_export.find(HOST_TEST_NO_EXPORT), std::string::npos) << no_export;
    EXPECT_NE(no_export.find("no GetFilterTable"), std::string::npos) << no_export;

    const std::string not_a_library = error_of([] { PluginHost host(__FILE__); });
    EXPECT_NE(not_a_library.find("cannot load"), std::string::npos) << not_a_library;
}

TEST(LoadErrors, BrokenRecordsAreRefused)
{
    const struct {
        const char* path;
        const char* problem;
    } cases[] = {
        {HOST_TEST_NULL_RECORD, "no filter record"},
        {HOST_TEST_TOO_MANY_TRACKS, "track bar count 65 is outside 0..64"},
        {HOST_TEST_NEGATIVE_CHECKS, "check box count -1 is outside 0..64"},
        {HOST_TEST_MISSING_LABELS, "labels"},
        {HOST_TEST_DEFAULT_OUT_OF_RANGE, "\"Level\" has default 7 outside its range 0..5"},
        {HOST_TEST_NO_FRAME_CALLBACK, "no frame callback"},
    };
    for (const auto& c : cases) {
        const std::string message = error_of([&] { PluginHost host(c.path); });
        EXPECT_NE(message.find(c.path), std::string::npos) << message;
        EXPECT_NE(message.find(c.problem), std::string::npos) << message;
    }
}

TEST(LoadErrors, FrameBufferSizeIsChecked)
{
    EXPECT_NE(error_of([] { PluginHost host(HOST_TEST_MINIMAL, BufferSize{0, 10}); }), "");
    EXPECT_NE(error_of([] { PluginHost host(HOST_TEST_MINIMAL, BufferSize{16385, 1}); }), "");
    EXPECT_NE(error_of([] { PluginHost host(HOST_TEST_MINIMAL, BufferSize{16384, 16384}); }), "");
}

TEST(FrameCallback, OutputComesFromWhicheverFrameYcpEditNames)
{
    PluginHost host(HOST_TEST_PROBE, BufferSize{16, 4});
    const auto init_calls = probe_export<int (*)()>(HOST_TEST_PROBE, "probe_init_calls");
    ASSERT_NE(init_calls, nullptr);
    const int inits_before = init_calls();
    host.init();
    EXPECT_EQ(init_calls(), inits_before + 1);
    const Picture input = numbered_picture(5, 3);

    // Untouched: the picture comes back as it went in.
    const Picture same = host.process(input);
    ASSERT_EQ(same.w, 5);
    ASSERT_EQ(same.h, 3);
    for (std::size_t i = 0; i < input.pixels.size(); ++i) EXPECT_TRUE(same_pixel(same.pixels[i], input.pixels[i]));

    // Written to ycp_temp and swapped: twice as wide, rows 16 pixels apart in the buffer.
    host.set_track("Mode", 1);
    host.set_track("Shift", -7);
    host.select("c");
    const Picture wide = host.process(input, 3, 9);
    ASSERT_EQ(wide.w, 10);
    ASSERT_EQ(wide.h, 3);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 10; ++x) {
            PIXEL_YC expected = input.at(x / 2, y);
            expected.y = static_cast<std::int16_t>(expected.y - 7);
            EXPECT_TRUE(same_pixel(wide.at(x, y), expected)) << x << "," << y;
        }
    const auto seen = probe_export<std::int32_t (*)(int)>(HOST_TEST_PROBE, "probe_seen");
    EXPECT_EQ(seen(0), 1);
    EXPECT_EQ(seen(1), -7);
    EXPECT_EQ(seen(2), 0);
    EXPECT_EQ(seen(3), 0);
    EXPECT_EQ(seen(4), 1);
    EXPECT_EQ(probe_export<std::int32_t (*)()>(HOST_TEST_PROBE, "probe_seen_stride")(), 16);

    // Rewritten in place without a swap: half as wide, read from the edit frame.
    host.set_track("Mode", 2);
    const Picture narrow = host.process(input);
    ASSERT_EQ(narrow.w, 3);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 3; ++x) EXPECT_TRUE(same_pixel(narrow.at(x, y), input.at(2 * x, y)));
}

TEST(FrameCallback, MisbehaviourIsAnErrorNotGarbage)
{
    PluginHost host(HOST_TEST_PROBE, BufferSize{8, 8});
    host.init();
    const Picture input = numbered_picture(4, 4);
    for (const auto& [mode, problem] : std::vector<std::pair<int, std::string>>{
             {3, "9x4 picture, outside the 8x8 frame"}, {4, "reported failure on frame 6"}, {5, "ycp_edit"}}) {
        host.set_track("Mode", mode);
        const std::string message = error_of([&] { host.process(input, 6); });
        EXPECT_NE(message.find(problem), std::string::npos) << message;
    }
    host.set_track("Mode", 0);
    EXPECT_NE(error_of([&] { host.process(numbered_picture(9, 2)); }).find("does not fit"), std::string::npos);
    Picture inconsistent = numbered_picture(4, 4);
    inconsistent.pixels.pop_back();
    EXPECT_NE(error_of([&] { host.process(inconsistent); }), "");
}

TEST(FrameCallback, FilterWithoutControlsOrInitCallback)
{
    PluginHost host(HOST_TEST_MINIMAL, BufferSize{4, 4});
    EXPECT_TRUE(host.track_bars().empty());
    EXPECT_TRUE(host.check_boxes().empty());
    host.init();
    const Picture input = numbered_picture(4, 4);
    const Picture output = host.process(input);
    ASSERT_EQ(output.pixels.size(), input.pixels.size());
    EXPECT_TRUE(same_pixel(output.at(3, 3), input.at(3, 3)));
    EXPECT_NE(error_of([&] { host.select("a"); }).find("none"), std::string::npos);
}

}  // namespace
