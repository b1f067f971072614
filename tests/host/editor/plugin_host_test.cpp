// The host library against the real plug-in (its registration table and controls) and against the
// test plug-ins (loading errors, broken records, the frame callback contract).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/editor/plugin_host.h"
#include "tests/host/test_support.h"

using host_test::error_of;
using vantreo_host::BufferSize;
using vantreo_host::Picture;
using vantreo_host::PluginHost;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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
    const Bar expected[] = {{"Clip U", 0, 0, 512},   {"Clip D", 0, 0, 512},    {"Clip L", 0, 0, 512},
                            {"Clip R", 0, 0, 512},   {"Width", 640, 1, 1600},  {"Height", 480, 1, 1200},
                            {"Method", 0, 0, 1},     {"T. Rate", 256, 0, 256}, {"Cuda T.", 32, 32, 512},
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

TEST(RealPlugin, ControlsSetByLabelIntoTheInstanceOnly)
{
    PluginHost host(VANTREO_PLUGIN_PATH);
    const PluginHost other(VANTREO_PLUGIN_PATH);
    host.set_track("T. Rate", 128);
    host.set_track("Width", 1);
    host.set_track("Height", 1200);
    EXPECT_EQ(host.instance().track[7], 128);
    EXPECT_EQ(host.instance().track[4], 1);
    EXPECT_EQ(host.track("Height"), 1200);
    // The registration record and other instances keep their values.
    EXPECT_EQ(host.instance().track_default[4], 640);
    EXPECT_EQ(other.track("Width"), 640);

    EXPECT_TRUE(contains(error_of([&] { host.set_track("T. Rate", 257); }), "\"T. Rate\" must be 0..256"));
    EXPECT_TRUE(contains(error_of([&] { host.set_track("Cuda T.", 31); }), "\"Cuda T.\" must be 32..512"));
    EXPECT_EQ(host.track("T. Rate"), 128) << "a refused value leaves the old one";

    const std::string unknown = error_of([&] { host.set_track("Rate", 1); });
    for (const char* part : {"\"Rate\"", "\"Clip U\"", "\"T. Rate\"", "\"CPU T.\""})
        EXPECT_TRUE(contains(unknown, part)) << unknown;
    EXPECT_NE(error_of([&] { host.set_track("other", 1); }), "") << "a check box is no track bar";
}

TEST(RealPlugin, RadioGroupKeepsExactlyOneButtonOn)
{
    PluginHost host(VANTREO_PLUGIN_PATH);
    const char* const labels[] = {"320 x 240", "512 x 384", "640 x 480", "other"};
    for (int chosen : {3, 0, 2, 1}) {
        host.select(labels[chosen]);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(host.instance().check[i], i == chosen ? 1 : 0) << labels[chosen];
    }
    const std::string unknown = error_of([&] { host.select("800 x 600"); });
    EXPECT_TRUE(contains(unknown, "\"800 x 600\"") && contains(unknown, "\"other\"")) << unknown;
    EXPECT_EQ(host.check("512 x 384"), 1);
}

TEST(Labels, MatchIgnoringCaseSpacesAndDotsUnlessAmbiguous)
{
    const std::vector<std::string> labels = {"T. Rate", "CPU T.", "640 x 480", "other", "Trate", "A b", "a. b"};
    const struct {
        const char* wanted;
        int index;  // -1: none
        const char* error;
    } cases[] = {
        {"T. Rate", 0, ""},      {"cpu t", 1, ""},  {"CPU T.", 1, ""},   {"640x480", 2, ""},
        {"640 X 480", 2, ""},    {"OTHER", 3, ""},  {"Trate", 4, ""},    {"A b", 5, ""},
        {"T.Rate", -1, "\"T.Rate\" is ambiguous: it matches \"T. Rate\", \"Trate\""},
        {"ab", -1, "\"ab\" is ambiguous: it matches \"A b\", \"a. b\""},
        {"Rate", -1, ""},        {"640x48", -1, ""}, {"", -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        std::optional<std::size_t> found;
        EXPECT_EQ(error_of([&] { found = vantreo_host::match_label(labels, c.wanted); }), c.error);
        EXPECT_EQ(found ? static_cast<int>(*found) : -1, c.index);
    }
}

TEST(LoadErrors, NameTheFileAndTheProblem)
{
    const std::string missing = "/nonexistent/dir/missing.auf";
    const std::string not_found = error_of([&] { PluginHost host(missing); });
    EXPECT_TRUE(contains(not_found, "cannot load plug-in \"" + missing + "\"")) << not_found;
#ifdef _WIN32
    // ERROR_MOD_NOT_FOUND: "The specified module could not be found." (wine: "Module not found.")
    const char* const missing_reason = "found.";
#else
    const char* const missing_reason = "No such file";
#endif
    EXPECT_TRUE(contains(not_found, missing_reason)) << "the loader's reason: " << not_found;
    EXPECT_TRUE(contains(error_of([] { PluginHost host(__FILE__); }), "cannot load"));

    const struct {
        const char* path;
        const char* problem;
    } cases[] = {
        {HOST_TEST_NO_EXPORT, "has no GetFilterTable export"},
        {HOST_TEST_NULL_RECORD, "no filter record"},
        {HOST_TEST_TOO_MANY_TRACKS, "track bar count 65 is outside 0..64"},
        {HOST_TEST_DEFAULT_OUT_OF_RANGE, "\"Level\" has default 7 outside its range 0..5"},
        {HOST_TEST_NO_FRAME_CALLBACK, "no frame callback"},
    };
    for (const auto& c : cases) {
        const std::string message = error_of([&] { PluginHost host(c.path); });
        EXPECT_TRUE(contains(message, c.path) && contains(message, c.problem)) << message;
    }
    EXPECT_NE(error_of([] { PluginHost host(HOST_TEST_MINIMAL, BufferSize{0, 10}); }), "");
    EXPECT_NE(error_of([] { PluginHost host(HOST_TEST_MINIMAL, BufferSize{16384, 16384}); }), "");
}

TEST(FrameCallback, OutputComesFromWhicheverFrameYcpEditNames)
{
    PluginHost host(HOST_TEST_PROBE, BufferSize{16, 4});
    host.init();
    const Picture input = numbered_picture(5, 3);

    const Picture same = host.process(input);
    ASSERT_EQ(same.w, 5);
    ASSERT_EQ(same.h, 3);
    for (std::size_t i = 0; i < input.pixels.size(); ++i) EXPECT_TRUE(same_pixel(same.pixels[i], input.pixels[i]));

    // Written to ycp_temp and swapped: twice as wide, rows 16 pixels apart in the buffer.
    host.set_track("Mode", 1);
    host.set_track("Shift", -7);
    const Picture wide = host.process(input);
    ASSERT_EQ(wide.w, 10);
    ASSERT_EQ(wide.h, 3);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 10; ++x) {
            PIXEL_YC expected = input.at(x / 2, y);
            expected.y = static_cast<std::int16_t>(expected.y - 7);
            EXPECT_TRUE(same_pixel(wide.at(x, y), expected)) << x << "," << y;
        }
}

TEST(FrameCallback, MisbehaviourIsAnErrorNotGarbage)
{
    PluginHost host(HOST_TEST_PROBE, BufferSize{8, 8});
    const Picture input = numbered_picture(4, 4);
    for (const auto& [mode, problem] : std::vector<std::pair<int, std::string>>{
             {3, "9x4 picture, outside the 8x8 frame"}, {4, "reported failure on frame 6"}, {5, "ycp_edit"}}) {
        host.set_track("Mode", mode);
        const std::string message = error_of([&] { host.process(input, 6); });
        EXPECT_TRUE(contains(message, problem)) << message;
    }
    host.set_track("Mode", 0);
    EXPECT_TRUE(contains(error_of([&] { host.process(numbered_picture(9, 2)); }), "does not fit"));

    // A filter without controls still gets value arrays.
    PluginHost minimal(HOST_TEST_MINIMAL, BufferSize{4, 4});
    EXPECT_TRUE(minimal.track_bars().empty());
    ASSERT_NE(minimal.instance().track, nullptr);
    ASSERT_NE(minimal.instance().check, nullptr);
    EXPECT_TRUE(same_pixel(minimal.process(input).at(3, 3), input.at(3, 3)));
}

// A filter written against the editor's SDK: its ranges left out (0..256), a button among its check
// boxes, and a frame callback that fails on any field of the record it did not expect.
TEST(SdkLayoutPlugin, RangesButtonsAndTheFrameRecordAsTheEditorGivesThem)
{
    PluginHost host(HOST_TEST_SDK_LAYOUT, BufferSize{16, 8});
    for (const auto& bar : host.track_bars()) {
        EXPECT_EQ(bar.minimum, 0) << bar.label;
        EXPECT_EQ(bar.maximum, 256) << bar.label;
    }
    const auto boxes = host.check_boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(boxes[0].button);
    EXPECT_TRUE(boxes[1].button);
    EXPECT_EQ(boxes[1].default_value, 0);
    EXPECT_TRUE(contains(error_of([&] { host.select("Reset"); }), "\"Reset\" is a button"));
    EXPECT_TRUE(contains(error_of([&] { host.set_track("Level", 257); }), "\"Level\" must be 0..256"));

    host.set_track("Level", 256);
    host.select("Invert");
    const Picture input = numbered_picture(5, 3);
    const Picture output = host.process(input);
    ASSERT_EQ(output.w, 5);
    ASSERT_EQ(output.h, 3);
    for (std::size_t i = 0; i < input.pixels.size(); ++i) {
        PIXEL_YC expected = input.pixels[i];
        expected.y = static_cast<std::int16_t>(256 - expected.y);
        EXPECT_TRUE(same_pixel(output.pixels[i], expected)) << i;
    }
}

}  // namespace
