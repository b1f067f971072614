// Raw frame files, outputs that appear only when complete, the command line's sizes and settings,
// and the demo pattern.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "host/host_error.h"
#include "host/output_file.h"
#include "host/test_pattern.h"
#include "host/tool_options.h"
#include "host/yc_format.h"
#include "tests/host/test_support.h"

using namespace vantreo_host;
using namespace host_test;

namespace {

TEST(YcFormat, PixelsAreLittleEndianSigned16BitYCbCr)
{
    Picture picture(2, 1);
    picture.at(0, 0) = {0x0102, -2, 0x7fff};
    picture.at(1, 0) = {-32768, 4096, -2048};
    std::vector<unsigned char> bytes;
    encode_yc(picture, bytes);
    const std::vector<unsigned char> expected = {0x02, 0x01, 0xfe, 0xff, 0xff, 0x7f,
                                                 0x00, 0x80, 0x00, 0x10, 0x00, 0xf8};
    EXPECT_EQ(bytes, expected);

    Picture decoded(2, 1);
    decode_yc(bytes.data(), decoded);
    EXPECT_EQ(decoded.at(1, 0).y, -32768);
    EXPECT_EQ(decoded.at(0, 0).cb, -2);
    EXPECT_EQ(decoded.at(1, 0).cr, -2048);
}

TEST(YcFormat, ReaderStopsAtTheEndAndRefusesATruncatedFrame)
{
    TempDir dir;
    const std::string frame(3 * 2 * 6, '\x01');
    write_file(dir.file("two.yc"), frame + frame);
    write_file(dir.file("short.yc"), frame + frame.substr(0, 7));
    write_file(dir.file("empty.yc"), "");

    Picture picture;
    YcReader two(dir.file("two.yc"), 3, 2);
    EXPECT_TRUE(two.read(picture));
    EXPECT_EQ(picture.w, 3);
    EXPECT_EQ(picture.at(2, 1).y, 0x0101);
    EXPECT_TRUE(two.read(picture));
    EXPECT_FALSE(two.read(picture));
    EXPECT_EQ(two.frames_read(), 2);

    YcReader empty(dir.file("empty.yc"), 3, 2);
    EXPECT_FALSE(empty.read(picture));

    YcReader truncated(dir.file("short.yc"), 3, 2);
    EXPECT_TRUE(truncated.read(picture));
    const std::string message = error_of([&] { truncated.read(picture); });
    EXPECT_NE(message.find("short.yc"), std::string::npos) << message;
    EXPECT_NE(message.find("frame 1 is truncated (7 of 36 bytes"), std::string::npos) << message;

    const std::string missing = error_of([&] { YcReader reader(dir.file("none.yc"), 3, 2); });
    EXPECT_NE(missing.find("none.yc"), std::string::npos) << missing;
}

TEST(OutputFileTest, AppearsOnlyWhenCommitted)
{
    TempDir dir;
    const std::string path = dir.file("out.yc");
    {
        OutputFile output(path);
        output.write("abc", 3);
        EXPECT_EQ(dir.names().count("out.yc"), 0u) << "nothing under the final name while writing";
        output.commit();
    }
    EXPECT_EQ(read_file(path), "abc");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.yc"}) << "no temporary file left";

    // An abandoned rewrite leaves the previous file as it was and nothing else.
    {
        OutputFile output(path);
        output.write("half", 4);
    }
    EXPECT_EQ(read_file(path), "abc");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.yc"});

    {
        OutputFile output(path);
        output.write("new", 3);
        output.commit();
    }
    EXPECT_EQ(read_file(path), "new");

    const std::string message = error_of([&] { OutputFile output(dir.file("no/such/dir.yc")); });
    EXPECT_NE(message.find("no/such/dir.yc"), std::string::npos) << message;
}

TEST(ToolOptionsTest, SizesAndSettings)
{
    EXPECT_EQ(parse_size("--size", "7x5").w, 7);
    EXPECT_EQ(parse_size("--size", "1920X1080").h, 1080);
    for (const char* bad : {"", "7", "x5", "7x", "0x5", "7x-5", "-7x5", "7x5x", "7 x5", "16385x1", "99999999999x1"}) {
        const std::string message = error_of([&] { parse_size("--buffer", bad); });
        EXPECT_NE(message.find("--buffer"), std::string::npos) << "\"" << bad << "\" " << message;
    }

    const ToolOptions options = parse_tool_options(
        {"--set", "T. Rate=128", "--select=other", "--set= Width = 10 ", "--size", "7x5", "-", "out.yc"});
    ASSERT_EQ(options.settings.size(), 3u);
    EXPECT_EQ(options.settings[0].label, "T. Rate");
    EXPECT_EQ(options.settings[0].value, 128);
    EXPECT_TRUE(options.settings[1].select);
    EXPECT_EQ(options.settings[1].label, "other");
    EXPECT_EQ(options.settings[2].label, "Width");
    EXPECT_EQ(options.settings[2].value, 10);
    EXPECT_EQ(options.input, "-");
    EXPECT_EQ(options.output, "out.yc");

    EXPECT_EQ(parse_tool_options({"--set", "Clip U=-3", "a", "b"}).settings[0].value, -3);
    EXPECT_NE(error_of([] { parse_tool_options({"--set", "Width", "a", "b"}); }).find("LABEL=VALUE"), std::string::npos);
    EXPECT_NE(error_of([] { parse_tool_options({"--set", "Width=ten", "a", "b"}); }), "");
    EXPECT_NE(error_of([] { parse_tool_options({"--set", "Width=99999999999", "a", "b"}); }), "");
    EXPECT_NE(error_of([] { parse_tool_options({"--bogus", "a", "b"}); }).find("--bogus"), std::string::npos);
    EXPECT_NE(error_of([] { parse_tool_options({"a", "b", "--plugin"}); }).find("needs a value"), std::string::npos);
    EXPECT_NE(error_of([] { parse_tool_options({"--format", "png", "a", "b"}); }), "");
    EXPECT_NE(error_of([] { parse_tool_options({"only-one"}); }), "");
    EXPECT_NE(error_of([] { parse_tool_options({"--demo", "in", "out"}); }), "");
    EXPECT_EQ(parse_tool_options({"--demo", "out.yc"}).output, "out.yc");
    EXPECT_TRUE(parse_tool_options({"--list-controls"}).list_controls);
}

TEST(TestPattern, MovingDetailColourAndEdgesInTheHostScale)
{
    const Picture first = test_pattern_frame(kDemoWidth, kDemoHeight, 0, kDemoFrames);
    const Picture later = test_pattern_frame(kDemoWidth, kDemoHeight, 30, kDemoFrames);
    ASSERT_EQ(first.pixels.size(), static_cast<std::size_t>(kDemoWidth) * kDemoHeight);

    bool colour = false;
    int sharp_steps = 0;
    std::size_t moved = 0;
    for (std::int32_t y = 0; y < first.h; ++y)
        for (std::int32_t x = 0; x < first.w; ++x) {
            const PIXEL_YC& p = first.at(x, y);
            ASSERT_TRUE(p.y >= 0 && p.y <= kMaxLuma && p.cb >= -kMaxChroma && p.cb <= kMaxChroma &&
                        p.cr >= -kMaxChroma && p.cr <= kMaxChroma)
                << x << "," << y;
            colour = colour || p.cb < -500 || p.cr > 500;
            if (x > 0 && std::abs(p.y - first.at(x - 1, y).y) > kMaxLuma / 2) ++sharp_steps;
            if (p.y != later.at(x, y).y || p.cb != later.at(x, y).cb) ++moved;
        }
    EXPECT_TRUE(colour);
    EXPECT_GT(sharp_steps, 1000) << "fine detail and hard edges";
    EXPECT_GT(moved, first.pixels.size() / 20) << "the picture moves";

    const Picture again = test_pattern_frame(kDemoWidth, kDemoHeight, 30, kDemoFrames);
    EXPECT_EQ(std::memcmp(again.pixels.data(), later.pixels.data(), later.pixels.size() * sizeof(PIXEL_YC)), 0);
    EXPECT_EQ(test_pattern_frame(3, 2, 0, 1).pixels.size(), 6u) << "any size works";
}

}  // namespace
