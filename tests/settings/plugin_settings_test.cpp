// The plug-in's settings file and its environment override.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include <sys/stat.h>

#include "settings/plugin_settings.h"
#include "tests/host/test_support.h"
#include "tests/support/environment.h"

namespace {

struct SettingsCase {
    const char* text;
    std::int32_t max_source_side;
    const char* problems;  // every line of them, in order
};

TEST(PluginSettings, ReadsKeyValueLinesAndReportsEachProblemOnItsOwnLine)
{
    const SettingsCase cases[] = {
        {"", 1600, ""},
        {"max_source_side=4096\n", 4096, ""},
        {"\xEF\xBB\xBF; for 4K sources\r\n  Max_Source_Side = 8192  # the most\r\n\n", 8192, ""},
        {"max_source_side=1600\nmax_source_side=2000", 2000,
         "Vantreo: f.ini:2: max_source_side is set again (also on line 1); using 2000\n"},
        {"; CR alone ends a line\rmax_source_side=3000\r", 3000, ""},
        {"\r\nmax_source_side=8193\rmax_source_side=2000\n", 2000,
         "Vantreo: f.ini:2: max_source_side must be a whole number from 1600 to 8192, not '8193'; using 1600\n"},
        {"max_source_side=8193\n", 1600,
         "Vantreo: f.ini:1: max_source_side must be a whole number from 1600 to 8192, not '8193'; using 1600\n"},
        {"max_source_side=2000\nmax_source_side=1599\n", 2000,
         "Vantreo: f.ini:2: max_source_side must be a whole number from 1600 to 8192, not '1599'; using 2000\n"},
        {"max_source_side=\nmax_source_side=20x0\nmax_source_side=-2000\n", 1600,
         "Vantreo: f.ini:1: max_source_side must be a whole number from 1600 to 8192, not ''; using 1600\n"
         "Vantreo: f.ini:2: max_source_side must be a whole number from 1600 to 8192, not '20x0'; using 1600\n"
         "Vantreo: f.ini:3: max_source_side must be a whole number from 1600 to 8192, not '-2000'; using 1600\n"},
        {"[limits]\nmax_sauce_side=4000\nmax_source_side=4000\n", 4000,
         "Vantreo: f.ini:1: expected key=value, not '[limits]'\n"
         "Vantreo: f.ini:2: unknown key 'max_sauce_side' (the keys are max_source_side and extended_methods)\n"},
        // The file's bytes are shown, never sent to the terminal as they are.
        {"\x1b[2Jkey\x07=1\nmax_source_side=4\\000\xff\n", 1600,
         "Vantreo: f.ini:1: unknown key '\\x1b[2Jkey\\x07' (the keys are max_source_side and extended_methods)\n"
         "Vantreo: f.ini:2: max_source_side must be a whole number from 1600 to 8192, not '4\\\\000\\xff'; using 1600\n"},
    };
    for (const SettingsCase& c : cases) {
        PluginSettings settings;
        std::string problems;
        apply_settings_text(c.text, "f.ini", settings, problems);
        EXPECT_EQ(settings.max_source_side, c.max_source_side) << c.text;
        EXPECT_EQ(problems, c.problems) << c.text;
    }

    // A file of nothing but mistakes costs a few lines and their count.
    std::string junk, junk_problems;
    for (int i = 0; i < 32000; ++i) junk += "x\n";
    PluginSettings junk_settings;
    apply_settings_text(junk, "f.ini", junk_settings, junk_problems);
    const std::string last_two =
        "Vantreo: f.ini:5: expected key=value, not 'x'\nVantreo: f.ini: 31995 more problems like these\n";
    EXPECT_EQ(std::count(junk_problems.begin(), junk_problems.end(), '\n'), 6);
    EXPECT_EQ(junk_problems.substr(junk_problems.size() - last_two.size()), last_two);

    // The filter methods' key, case aside, 0 or 1.
    PluginSettings methods;
    std::string method_problems;
    apply_settings_text("Extended_Methods = 1\nextended_methods=2\n", "f.ini", methods, method_problems);
    EXPECT_EQ(methods.extended_methods, 1);
    EXPECT_EQ(method_problems, "Vantreo: f.ini:2: extended_methods must be a whole number from 0 to 1, not '2'; using 1\n");

    // The environment's value overrides the file's; a bad one keeps the file's.
    PluginSettings settings;
    std::string problems;
    apply_settings_text("max_source_side=3000", "f.ini", settings, problems);
    set_env(kMaxSourceSideVariable, "5000");
    apply_settings_environment(settings, problems);
    EXPECT_EQ(settings.max_source_side, 5000);
    set_env(kMaxSourceSideVariable, "lots");
    apply_settings_environment(settings, problems);
    set_env(kMaxSourceSideVariable, nullptr);
    EXPECT_EQ(settings.max_source_side, 5000);
    EXPECT_EQ(problems, "Vantreo: VANTREO_MAX_SOURCE_SIDE: max_source_side must be a whole number from 1600 to 8192, "
                        "not 'lots'; using 5000\n");
}

// The file in the plug-in's folder: read when there, silently absent, and reported when unreadable.
TEST(PluginSettings, LoadsTheFileFromTheFolderGiven)
{
    set_env(kMaxSourceSideVariable, nullptr);
    const std::string folder = ::testing::TempDir();
    const std::string path = folder + kSettingsFileName;
    std::remove(path.c_str());
    EXPECT_EQ(load_plugin_settings(folder).max_source_side, kDefaultMaxSourceSide);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("max_source_side = 3840\n", file);
    std::fclose(file);
    EXPECT_EQ(load_plugin_settings(folder).max_source_side, 3840);
    set_env(kMaxSourceSideVariable, "1920");
    EXPECT_EQ(load_plugin_settings(folder).max_source_side, 1920);
    set_env(kMaxSourceSideVariable, nullptr);
    std::remove(path.c_str());

    EXPECT_FALSE(plugin_folder().empty());
}

// Only a regular file of at most 64 KiB is read: anything else costs one line and keeps every default,
// and never holds start-up (a FIFO nobody writes to would block a plain open for ever).
TEST(PluginSettings, OnlyASmallRegularFileIsRead)
{
    set_env(kMaxSourceSideVariable, nullptr);
    const host_test::TempDir dir;
    const std::string path = dir.file(kSettingsFileName);
    const std::string line = "max_source_side=2000\n";
    const std::string padding = std::string(kMaxSettingsFileBytes - line.size() - 1, '#') + "\n";
    const struct {
        const char* kind;
        std::function<void()> make;
        std::int32_t max_source_side;
        const char* said;
    } cases[] = {
        {"64 KiB", [&] { host_test::write_file(path, padding + line); }, 2000, ""},
        {"a byte over 64 KiB", [&] { host_test::write_file(path, padding + "#" + line); }, kDefaultMaxSourceSide,
         "bytes; using the default settings\n"},
        {"a folder", [&] { std::filesystem::create_directory(path); }, kDefaultMaxSourceSide,
         "not a regular file; using the default"},
#ifndef _WIN32
        {"a FIFO", [&] { mkfifo(path.c_str(), 0600); }, kDefaultMaxSourceSide, "not a regular file"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        std::filesystem::remove(path);
        c.make();
        testing::internal::CaptureStderr();
        EXPECT_EQ(load_plugin_settings(dir.path() + "/").max_source_side, c.max_source_side);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.empty(), *c.said == '\0') << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), said.empty() ? 0 : 1) << said;
    }
}

}  // namespace
