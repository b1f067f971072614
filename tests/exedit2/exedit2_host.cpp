// The stand-in editor's checks of the 64-bit plug-in: its items, the sizes it makes, the alpha rule
// against double references, the methods, threads, the device's share and failures inside a call.
// Usage: exedit2_host PLUGIN_PATH [--expect-device TEXT]; exit status 0 when every check passed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/exedit2/stand_in_editor.h"
#include "plan/filter_tables.h"
#include "tests/exedit2/failing_allocations.h"

namespace {

StandInEditor* editor = nullptr;
std::string expected_device;  // --expect-device
std::thread::id loading_thread;

using exedit2::Rgba;
enum Method : std::int32_t { kPoint, kArea, kBicubic, kLanczos3, kAuto };
constexpr Method kMethods[] = {kPoint, kArea, kBicubic, kLanczos3, kAuto};

Settings scale(double percent, Method method = kAuto, double rate = 0) { return {0, percent, 0, 0, method, rate}; }
Settings pixels(double w, double h, Method method = kAuto, double rate = 0) { return {1, 100, w, h, method, rate}; }

// Random codes, or opaque ones; halves: opaque red on the left, transparent green on the right; a
// flat colour, translucent or opaque.
enum class Alpha { random, opaque, halves, flat, flat_opaque };
Rgba flat_colour(Alpha alpha) { return {37, 201, 90, std::uint8_t(alpha == Alpha::flat ? 77 : 255)}; }
Picture test_picture(std::int32_t w, std::int32_t h, std::uint32_t seed, Alpha alpha = Alpha::random)
{
    std::mt19937 rng(seed);
    const auto code = [&] { return static_cast<std::uint8_t>(rng()); };
    Picture picture{w, h, std::vector<Rgba>(static_cast<std::size_t>(w) * h)};
    for (std::size_t k = 0; k < picture.pixels.size(); ++k) {
        const Rgba random{code(), code(), code(), alpha == Alpha::opaque ? std::uint8_t(255) : code()};
        const Rgba half = k % w < w / 2u ? Rgba{255, 0, 0, 255} : Rgba{0, 255, 0, 0};
        picture.pixels[k] = alpha == Alpha::halves ? half : alpha >= Alpha::flat ? flat_colour(alpha) : random;
    }
    return picture;
}

std::string size_of(const Picture& p) { return std::to_string(p.width) + "x" + std::to_string(p.height); }
double channel(const Rgba& p, int c) { return c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.a; }

// Lines logged since `mark` (at `level`, if given) that contain `text`.
int count_lines(std::size_t mark, const std::string& text, std::optional<LogLevel> level = std::nullopt)
{
    const std::vector<LogLine> lines = editor->log();
    return int(std::count_if(lines.begin() + std::ptrdiff_t(mark), lines.end(), [&](const LogLine& line) {
        return (!level || line.level == *level) && line.text.find(text) != std::string::npos;
    }));
}

// Each channel of an output pixel (r, g, b, a: what it holds or stands for) against its reference.
struct Expected {
    double got = 0, reference = 0, bound = 0;
};
using Expectation = std::array<Expected, 4>;
Expectation against(const Rgba& p, const Rgba& reference, double bound = 0)
{
    Expectation e;
    for (int c = 0; c < 4; ++c) e[c] = {channel(p, c), channel(reference, c), bound};
    return e;
}

// Empty when each channel of `out` is within the bound of expected_at(y, x, pixel); else how many
// are not, and the first.
template <class ExpectedAt>
std::string strays(const Picture& out, ExpectedAt expected_at)
{
    int count = 0;
    std::ostringstream first;
    for (std::int32_t y = 0; y < out.height; ++y)
        for (std::int32_t x = 0; x < out.width; ++x) {
            const Expectation e = expected_at(y, x, out.at(y, x));
            for (int c = 0; c < 4; ++c)
                if (!(std::fabs(e[c].got - e[c].reference) <= e[c].bound) && !count++)
                    first << "(" << x << ", " << y << ") " << "rgba"[c] << " " << e[c].got << ", reference "
                          << e[c].reference << " +- " << e[c].bound;
        }
    return count ? std::to_string(count) + " strays, first " + first.str() : "";
}

// The coverage of each source index in output j of dst over src, as shares of the output's span.
FilterWindow area_window(std::int32_t dst, std::int32_t src, std::int32_t j)
{
    const std::int64_t left = std::int64_t{j} * src, right = left + src;  // in 1/dst of a source pixel
    FilterWindow window{static_cast<std::int32_t>(left / dst), {}};
    for (std::int64_t n = window.first; n * dst < right; ++n)
        window.weight.push_back(static_cast<double>(std::min(right, (n + 1) * dst) - std::max(left, n * dst)) / src);
    return window;
}

// One output pixel in double: the premultiplied colours (c a / 255) and alpha in 8-bit codes, each
// with the bound the core's filter rule keeps to against such a double filter (plan/arithmetic.h):
// 1/2 + M_x / 8 + 2^-(b+1) (TV_x + M_x TV_y) in the core's samples. Taken at the coarsest scale the
// plug-in could use, one sample per code (a finer one divides the rounding terms), with b = 14, the
// coarser weight step. Premultiplied samples add their own rounding (at most 1/2 a sample, times the
// weights' magnitude M_x M_y), and 0.01 covers TV of rounded samples against TV of exact ones.
struct ExactPixel {
    double value[4], bound[4];
};
ExactPixel exact_pixel(const Picture& in, const FilterWindow& rows, const FilterWindow& columns, bool premultiplied)
{
    const double step = std::ldexp(1.0, -14);
    ExactPixel pixel{};
    for (int c = 0; c < 4; ++c) {
        const auto at = [&](std::size_t u, std::size_t t) {
            const Rgba& p = in.at(rows.first + std::int32_t(u), columns.first + std::int32_t(t));
            return c == 3 ? p.a : channel(p, c) * p.a / 255.0;
        };
        double sum = 0, variation_x = 0, variation_y = 0, previous = 0, magnitude_x = 0, magnitude_y = 0;
        for (double w : rows.weight) magnitude_y += std::fabs(w) + step;
        for (std::size_t t = 0; t < columns.weight.size(); ++t) {
            double column = 0, variation = 0;
            for (std::size_t u = 0; u < rows.weight.size(); ++u) {
                column += rows.weight[u] * at(u, t);
                if (u > 0) variation += std::fabs(at(u, t) - at(u - 1, t));
            }
            sum += columns.weight[t] * column;
            variation_y = std::max(variation_y, variation);
            if (t > 0) variation_x += std::fabs(column - previous);
            previous = column;
            magnitude_x += std::fabs(columns.weight[t]) + step;
        }
        pixel.value[c] = sum;
        pixel.bound[c] = 0.5 + magnitude_x / 8 + step / 2 * (variation_x + magnitude_x * variation_y) +
                         (premultiplied ? 0.5 * magnitude_x * magnitude_y : 0) + 0.01;
    }
    return pixel;
}

// `out` against the double reference of Area, Bicubic or Lanczos-3. Area: alpha the coverage-weighted
// mean of alpha, colour sum(w a c) / sum(w a), both within one code; alpha 0 with colour 0. The
// filters on an opaque picture: alpha 255, each colour as the core resizes a plane, clamped to
// 0 .. 255. Otherwise alpha (clamped to 0 .. 255) within its bound plus the rounding to a code; a
// colour's c a / 255 against the reference clamped to 0 .. alpha (clamping moves neither further than
// the larger of the two bounds), plus one code for the division and the rounding of alpha.
std::string reference_strays(const Picture& in, const Picture& out, Method method)
{
    const ResizeMethod filter = method == kLanczos3 ? ResizeMethod::lanczos3 : ResizeMethod::bicubic;
    const auto window = [&](std::int32_t dst, std::int32_t src, std::int32_t j) {
        return method == kArea ? area_window(dst, src, j) : filter_window(filter, dst, src, j);
    };
    std::vector<FilterWindow> rows, columns;
    for (std::int32_t j = 0; j < out.height; ++j) rows.push_back(window(out.height, in.height, j));
    for (std::int32_t j = 0; j < out.width; ++j) columns.push_back(window(out.width, in.width, j));
    const bool opaque = std::all_of(in.pixels.begin(), in.pixels.end(), [](const Rgba& p) { return p.a == 255; });
    return strays(out, [&](std::int32_t y, std::int32_t x, const Rgba& p) {
        const ExactPixel exact = exact_pixel(in, rows[y], columns[x], !opaque);
        const double alpha = std::clamp(exact.value[3], 0.0, 255.0);
        Expectation e;
        for (int c = 0; c < 3; ++c) {
            const double colour = channel(p, c);
            if (method == kArea && p.a == 0) e[c] = {colour, 0, 0};
            else if (method == kArea) e[c] = {colour, alpha > 0 ? exact.value[c] * 255 / alpha : colour, 1};
            else if (opaque) e[c] = {colour, std::clamp(exact.value[c], 0.0, 255.0), exact.bound[c]};
            else
                e[c] = {colour * p.a / 255, std::clamp(exact.value[c], 0.0, alpha),
                        std::max(exact.bound[c], exact.bound[3]) + 1};
        }
        e[3] = {channel(p, 3), opaque && method != kArea ? 255 : alpha,
                method == kArea ? 1 : opaque ? 0 : exact.bound[3] + 0.5};
        return e;
    });
}

TEST(Exedit2Table, OffersItsItemsInOrderWithTheirDefaults)
{
    EXPECT_EQ(editor->required_version(), 2003300u);
    const exedit2::FilterTable& table = editor->table();
    EXPECT_EQ(table.flag, exedit2::kFilterVideo);
    EXPECT_EQ(utf8(table.name), "Vantreo");
    ASSERT_NE(table.video, nullptr);
    std::string items;
    for (void** entry = table.items; entry && *entry; ++entry) {
        const auto* track = static_cast<const exedit2::TrackItem*>(*entry);
        const auto* select = static_cast<const exedit2::SelectItem*>(*entry);
        const std::string type = utf8(track->header.type);
        std::ostringstream item;
        item << type << " " << utf8(track->header.name) << " = ";
        if (type == "track")
            item << track->value << " in " << track->min << " .. " << track->max << " step " << track->step;
        if (type == "select") item << select->value << " of";
        for (auto* option = type == "select" ? select->options : nullptr; option && option->name; ++option)
            item << " " << utf8(option->name) << ":" << option->value;
        items += item.str() + "; ";
    }
    EXPECT_EQ(items, "select Size by = 0 of Scale:0 Pixels:1; track Scale = 100 in 1 .. 800 step 0.01; "
                     "track Width = 0 in 0 .. 8192 step 1; track Height = 0 in 0 .. 8192 step 1; "
                     "select Method = 4 of Point:0 Area:1 Bicubic:2 Lanczos-3:3 Auto:4; "
                     "track T. Rate = 0 in 0 .. 256 step 1; track CPU T. = 0 in 0 .. 16 step 1; ");
}

// The size a setting makes, set after reading the object; the object's own size touches nothing
// ("untouched": no image callback); past the limits, the object is left as it is with a warning.
TEST(Exedit2Size, FollowsTheSettingsWithinTheLimits)
{
    const struct {
        Settings settings;
        std::int32_t width, height;  // the object's
        std::string outcome;
    } cases[] = {
        {scale(50), 101, 57, "51x29"}, {scale(1), 101, 57, "1x1"},  // halves away from zero; at least 1
        {scale(33.33), 300, 200, "100x67"}, {scale(0), 250, 150, "3x2"}, {scale(2000), 9, 7, "72x56"},  // 1 to 800 %
        {pixels(300, 20), 101, 57, "300x20"}, {pixels(0, 114), 101, 57, "202x114"}, {pixels(50, 0), 101, 57, "50x28"},
        {pixels(49.6, 0.4), 101, 57, "50x28"}, {pixels(1, 0), 300, 100, "1x1"},  // to nearest; at least 1
        {pixels(9000, 1), 101, 57, "8192x1"}, {pixels(-5, 30), 101, 57, "53x30"},  // clamped to 0 .. 8192
        {scale(100), 101, 57, "untouched"}, {scale(100.4), 101, 57, "untouched"}, {pixels(0, 0), 101, 57, "untouched"},
        {pixels(101, 0), 101, 57, "untouched"}, {pixels(0, 57), 101, 57, "untouched"},
        {pixels(101, 57), 101, 57, "untouched"},
        // A side of 8200; one of 16384 by the aspect; a source past 2^26 pixels, given no pixels.
        {scale(800), 1025, 2, "left"}, {pixels(8192, 0), 100, 200, "left"}, {scale(50), 16384, 4097, "left"},
    };
    for (const auto& c : cases) {
        const bool too_large = std::int64_t{c.width} * c.height > (1 << 26);
        const Picture object = too_large ? Picture{c.width, c.height, {}} : test_picture(c.width, c.height, 1);
        const std::size_t mark = editor->log_size();
        const CallResult result = editor->call(object, c.settings);
        const bool whole = result.image.pixels.size() == std::size_t(result.image.width) * result.image.height;
        const std::string set = (result.got_image && whole ? "" : "unread or partial ") + size_of(result.image);
        const std::string outcome = !result.returned ? "returned false"
                                    : result.set_image ? set
                                    : count_lines(mark, "left as it is", LogLevel::warn) == 1 ? "left"
                                    : result.got_image ? "read, not set" : "untouched";
        EXPECT_EQ(outcome, c.outcome) << "case " << &c - cases;
    }
}

// Every method on every kind of picture: no colour from transparent pixels, an opaque picture stays
// opaque, a flat colour stays within one code (past an eighth too, where the plug-in runs passes),
// Area (reducing), Bicubic and Lanczos-3 (down to an eighth) keep to their references; Area enlarges
// a side that grows by Bicubic, and Auto is Area when no side grows, else Bicubic.
TEST(Exedit2Alpha, MethodsKeepToTheRuleAndTheirReferences)
{
    const std::int32_t sizes[][4] = {{53, 41, 29, 17}, {97, 61, 41, 23}, {53, 41, 97, 83}, {40, 30, 71, 13},
                                     {640, 480, 6, 5}};
    for (Method method : kMethods)
        for (Alpha alpha : {Alpha::random, Alpha::opaque, Alpha::halves, Alpha::flat, Alpha::flat_opaque})
            for (const auto& s : sizes) {
                SCOPED_TRACE(testing::Message() << "method " << method << ", alpha " << int(alpha) << ", size "
                                                << &s - sizes);
                const Picture object = test_picture(s[0], s[1], 5, alpha);
                const Picture out = editor->call(object, pixels(s[2], s[3], method)).image;
                ASSERT_TRUE(out.width == s[2] && out.height == s[3]) << size_of(out);
                EXPECT_EQ(alpha == Alpha::random ? "" : strays(out, [alpha](std::int32_t, std::int32_t, const Rgba& p) {
                    if (alpha >= Alpha::flat) return against(p, flat_colour(alpha), 1);
                    if (alpha == Alpha::opaque) return against(p, {p.r, p.g, p.b, 255});
                    return against(p, p.a ? Rgba{255, 0, 0, p.a} : Rgba{});
                }), "");
                const auto clear = std::count_if(out.pixels.begin(), out.pixels.end(), [](Rgba p) { return p.a == 0; });
                EXPECT_TRUE(alpha != Alpha::halves || (clear > 0 && clear < std::ptrdiff_t(out.pixels.size())));
                const bool reduces = s[2] <= s[0] && s[3] <= s[1], enlarges = s[2] >= s[0] && s[3] >= s[1];
                const bool filter = (method == kBicubic || method == kLanczos3) && s[2] * 8 >= s[0] && s[3] * 8 >= s[1];
                const bool referenced = method == kArea ? reduces : filter;
                EXPECT_EQ(referenced ? reference_strays(object, out, method) : "", "");
                const Method same_as = method == kAuto && reduces ? kArea : kBicubic;
                if (method == kAuto || (method == kArea && enlarges)) {
                    EXPECT_TRUE(out == editor->call(object, pixels(s[2], s[3], same_as)).image);
                }
            }
}

// With the device's share of rows or without, one thread and then four at once give the bytes of one
// thread on the CPU alone.
TEST(Exedit2Threads, FourThreadsAndTheDeviceGiveTheBytesOfOneThread)
{
    constexpr std::size_t kThreads = 4, kRounds = 2;
    std::vector<Picture> objects;
    for (int k = 0; k < 12; ++k) objects.push_back(test_picture(40 + 7 * k, 30 + 5 * k, 10 + k, Alpha(k % 2)));
    for (double percent : {43.0, 170.0})
        for (Method method : kMethods) {
            std::vector<Picture> alone;
            for (const Picture& object : objects) alone.push_back(editor->call(object, scale(percent, method)).image);
            for (double rate : {0.0, 128.0, 256.0}) {
                ASSERT_TRUE(editor->write_items(scale(percent, method, rate)));
                std::vector<Picture> together(objects.size() * (1 + kRounds));
                for (std::size_t k = 0; k < objects.size(); ++k) together[k] = editor->call(objects[k]).image;
                std::vector<std::thread> threads;
                for (std::size_t t = 0; t < kThreads; ++t)
                    threads.emplace_back([&, t] {
                        for (std::size_t k = objects.size() + t; k < together.size(); k += kThreads)
                            together[k] = editor->call(objects[k % objects.size()]).image;
                    });
                for (std::thread& thread : threads) thread.join();
                for (std::size_t k = 0; k < together.size(); ++k)
                    EXPECT_TRUE(together[k] == alone[k % objects.size()])
                        << percent << " %, method " << method << ", T. Rate " << rate << ", picture " << k % 12;
            }
        }
}

// The calling thread's N-th allocation in the call fails, for N = 0, 1, ... until a call completes:
// each returns true and either sets the right image, or none and logs an error.
TEST(Exedit2Failure, NoExceptionLeavesACall)
{
#ifdef _WIN32
    GTEST_SKIP() << "a Windows DLL allocates from its own runtime, out of the host's reach";
#endif
    const Picture object = test_picture(64, 48, 13);
    int left_as_it_was = 0;
    for (Method method : kMethods)
        for (double rate : {0.0, 128.0}) {
            const Settings settings = pixels(40, 30, method, rate);
            const Picture expected = editor->call(object, settings).image;
            long failing = 0;
            for (bool failed = true; failed && failing < 10000; ++failing) {
                SCOPED_TRACE(testing::Message() << "method " << method << ", T. Rate " << rate << ", allocation "
                                                << failing);
                editor->call(object, pixels(41, 30, method, rate));  // so that the failing call builds everything anew
                ASSERT_TRUE(editor->write_items(settings));
                const std::size_t mark = editor->log_size();
                fail_allocation_after(failing);
                const CallResult result = editor->call(object);
                failed = disarm_allocation_failure();
                ASSERT_TRUE(result.returned);
                if (result.set_image) {
                    ASSERT_TRUE(result.image == expected);
                } else {
                    ASSERT_TRUE(failed && count_lines(mark, "left as it is", LogLevel::error) == 1);
                }
                left_as_it_was += !result.set_image;
            }
            EXPECT_GT(failing, 1) << "no allocation failed: the host's operator new does not reach the plug-in";
        }
    EXPECT_GT(left_as_it_was, 0);
}

// Last: the log of every check above, written only by the threads of the calls. Area's enlarging by
// Bicubic is said once. The first call on the device names it, or, if none was expected, may say the
// rows stay on the CPU.
TEST(Exedit2Log, ComesFromTheCallsAndNamesTheDevice)
{
    EXPECT_EQ(editor->stray_image_calls(), 0) << "get_image or set_image called from a thread outside the call";
    EXPECT_EQ(count_lines(0, "Area"), 1);
    const std::vector<LogLine> lines = editor->log();
    for (const LogLine& line : lines)
        EXPECT_TRUE(line.in_video_call || line.thread == loading_thread) << "logged from another thread: " << line.text;
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const LogLine& line) {
        if (line.level == LogLevel::info && line.text.rfind("Vantreo: device rows on ", 0) == 0)
            return line.text.find(expected_device) != std::string::npos;
        return expected_device.empty() && line.text.find("on the CPU") != std::string::npos;
    })) << "no info line \"Vantreo: device rows on ...\" naming " << expected_device;
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc == 4 && std::string(argv[2]) == "--expect-device") expected_device = argv[3];
    else if (argc != 2) {
        std::fprintf(stderr, "usage: exedit2_host PLUGIN_PATH [--expect-device TEXT]\n");
        return 2;
    }
    std::string error;
    StandInEditor loaded(argv[1], error);
    if (!error.empty()) {
        std::fprintf(stderr, "exedit2_host: %s\n", error.c_str());
        return 1;
    }
    editor = &loaded;
    loading_thread = std::this_thread::get_id();
    return RUN_ALL_TESTS();
}
