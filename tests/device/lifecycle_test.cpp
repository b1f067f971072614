// Start-up and shut-down as whole processes, through the built plug-in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/host/subprocess.h"
#include "tests/support/opencl_required.h"

namespace {

using host_test::run_program;
using host_test::RunResult;

// Runs the probe with the emulated device configured by the environment.
RunResult probe(const char* mode, const char* devices = "1", const char* major = "1", const std::string& input = "",
                bool hold_input_open = false)
{
    setenv("VANTREO_TEST_EMU_DEVICE_COUNT", devices, 1);
    setenv("VANTREO_TEST_EMU_DEVICE_MAJOR", major, 1);
    setenv("VANTREO_TEST_EMU_REPORT", "1", 1);
    RunResult result = run_program({LIFECYCLE_PROBE, VANTREO_PLUGIN_PATH, mode}, input, hold_input_open);
    unsetenv("VANTREO_TEST_EMU_DEVICE_COUNT");
    unsetenv("VANTREO_TEST_EMU_DEVICE_MAJOR");
    unsetenv("VANTREO_TEST_EMU_REPORT");
    return result;
}

// The probe returns 7 when it gets to its end: every callback returned to it.
constexpr int kProbeEnded = 7;

TEST(Lifecycle, StartUpChoosesDeviceZeroAndSaysSo)
{
    const RunResult result = probe("init", "2");
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.err.rfind("Using device 0: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("\nemulated device: 0 allocations and 0 arrays live"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "init returned 1\n");
}

TEST(Lifecycle, StartUpTakesTheDeviceTheEnvironmentNames)
{
    // One that names none of the devices costs a line, and device 0 is used.
    const std::string none = "Vantreo: VANTREO_DEVICE names none of the 2 devices (0..1); using device 0\n";
    for (const auto& [asked, said] : {std::pair{"1", std::string("Using device 1: ")}, {"2", none + "Using device 0: "},
                                      {"-3", none + "Using device 0: "}, {"x", none + "Using device 0: "}}) {
        setenv("VANTREO_DEVICE", asked, 1);
        const RunResult result = probe("init", "2");
        unsetenv("VANTREO_DEVICE");
        EXPECT_EQ(result.status, kProbeEnded);
        EXPECT_EQ(result.err.rfind(said, 0), 0u) << asked << ": " << result.err;
    }
}

// OpenCL (PoCL's CPU device, on request) is device 0, loaded from the start-up callback; the frames
// run on it and shut-down releases what it held.
TEST(Lifecycle, OpenclDeviceComesFirst)
{
    const char* hidden = std::getenv("VANTREO_TEST_OPENCL_LIBRARY");
    const std::string hidden_library = hidden ? hidden : "";
    unsetenv("VANTREO_TEST_OPENCL_LIBRARY");
    setenv("VANTREO_OPENCL_CPU", "1", 1);
    const RunResult result = probe("frame-exit");
    unsetenv("VANTREO_OPENCL_CPU");
    if (hidden) setenv("VANTREO_TEST_OPENCL_LIBRARY", hidden_library.c_str(), 1);
    if (result.err.rfind("Using device 0: Vantreo emulated device", 0) == 0)
        END_TEST_WITHOUT_OPENCL_DEVICE("the plug-in started on the emulated device");
    EXPECT_EQ(result.status, kProbeEnded) << result.err;
    EXPECT_EQ(result.err.rfind("Using device 0: ", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "init returned 1\nframe 32x24\n\nPress ENTER to exit...\nexit returned 1\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 6 freed"), std::string::npos)
        << result.err;
}

TEST(Lifecycle, StartUpWithoutAUsableDeviceReturnsAndFramesPassThrough)
{
    RunResult result = probe("init", "1", "0");
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.err.rfind("cutil error: device does not support CUDA.\n", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "init returned 0\n");

    // The frame keeps its size and the device is never touched; shut-down still runs and returns.
    result = probe("frame-exit", "0");
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.err.rfind("cutil error: no devices supporting CUDA.\n", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "init returned 0\nframe 64x48\n\nPress ENTER to exit...\nexit returned 1\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 0 freed"), std::string::npos)
        << result.err;
}

TEST(Lifecycle, ShutDownPromptsAndReturnsToTheHost)
{
    // At end of input the wait is over at once. Before any area-averaged frame there is nothing to free.
    RunResult result = probe("exit");
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.out, "init returned 1\n\nPress ENTER to exit...\nexit returned 1\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 0 freed"), std::string::npos)
        << result.err;

    // With a console left open, one key press ends the wait.
    result = probe("exit", "1", "1", "\n", true);
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.out, "init returned 1\n\nPress ENTER to exit...\nexit returned 1\n");

    // After area-averaged frames, everything the device held is released on the way out.
    result = probe("frame-exit");
    EXPECT_EQ(result.status, kProbeEnded) << result.err;
    EXPECT_EQ(result.out, "init returned 1\nframe 32x24\n\nPress ENTER to exit...\nexit returned 1\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 6 freed"), std::string::npos)
        << result.err;
}

// The settings file is the one beside the loaded plug-in, not one in the current folder; its
// problems are reported at start-up, which goes on.
TEST(Lifecycle, StartUpReadsTheSettingsFileBesideThePlugIn)
{
    const std::string folder = ::testing::TempDir() + "beside-plugin";
    const std::string elsewhere = ::testing::TempDir() + "elsewhere";
    ASSERT_EQ(std::system(("rm -rf '" + folder + "' '" + elsewhere + "' && mkdir -p '" + folder + "' '" + elsewhere +
                           "' && cp '" VANTREO_PLUGIN_PATH "' '" + folder + "/vantreo.auf'")
                              .c_str()),
              0);
    for (const std::string& at : {folder, elsewhere}) {
        std::ofstream(at + "/vantreo.ini") << "max_source_side=" << (at == folder ? "99999" : "hello") << "\n";
    }
    const RunResult result =
        run_program({LIFECYCLE_PROBE, folder + "/vantreo.auf", "init"}, "", false, elsewhere);
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.err.rfind("Vantreo: " + folder + "/vantreo.ini:1: max_source_side must be a whole number from "
                               "1600 to 8192, not '99999'; using 1600\nUsing device 0: ", 0),
              0u)
        << result.err;
    EXPECT_EQ(result.out, "init returned 1\n");
}

}  // namespace
