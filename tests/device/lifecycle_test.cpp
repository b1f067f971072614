// Start-up and shut-down as whole processes, through the built plug-in.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/host/subprocess.h"

namespace {

using host_test::run_program;
using host_test::RunResult;

// Runs the probe with the emulated device configured by the environment.
RunResult probe(const char* mode, const char* devices = "1", const char* major = "1", const std::string& input = "",
                bool hold_input_open = false)
{
    setenv("VANTREO_EMU_DEVICE_COUNT", devices, 1);
    setenv("VANTREO_EMU_DEVICE_MAJOR", major, 1);
    setenv("VANTREO_EMU_REPORT", "1", 1);
    RunResult result = run_program({LIFECYCLE_PROBE, VANTREO_PLUGIN_PATH, mode}, input, hold_input_open);
    unsetenv("VANTREO_EMU_DEVICE_COUNT");
    unsetenv("VANTREO_EMU_DEVICE_MAJOR");
    unsetenv("VANTREO_EMU_REPORT");
    return result;
}

TEST(Lifecycle, StartUpChoosesDeviceZeroAndSaysSo)
{
    const RunResult result = probe("init", "2");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err.rfind("Using device 0: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("\nemulated device: 0 allocations and 0 arrays live"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("emulated"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "init returned\n");
}

TEST(Lifecycle, StartUpEndsTheProcessWithoutAUsableDevice)
{
    RunResult result = probe("init", "0");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("cutil error: no devices supporting CUDA.\n", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "");

    result = probe("init", "1", "0");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("cutil error: device does not support CUDA.\n", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(Lifecycle, ShutDownPromptsAndEndsTheProcess)
{
    // At end of input the wait is over at once. Before any area-averaged frame there is nothing to free.
    RunResult result = probe("exit");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "init returned\n\nPress ENTER to exit...\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 0 freed"), std::string::npos)
        << result.err;

    // With a console left open, one key press ends it.
    result = probe("exit", "1", "1", "\n", true);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "init returned\n\nPress ENTER to exit...\n");

    // After area-averaged frames, everything the device held is released on the way out.
    result = probe("frame-exit");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "init returned\n\nPress ENTER to exit...\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 6 freed"), std::string::npos)
        << result.err;
}

}  // namespace
