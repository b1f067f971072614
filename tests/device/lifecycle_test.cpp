// Start-up and shut-down as whole processes, through the built plug-in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/host/subprocess.h"
#include "tests/support/opencl_required.h"

namespace {

using host_test::run_program;
using host_test::RunResult;

using Steps = std::vector<std::string>;
// Area averaging to 32x24 with "T. Rate" 128, and a frame.
const Steps kAreaFrame{"Method=1", "T. Rate=128", "other=1", "Width=32", "Height=24", "frame"};

Steps operator+(Steps steps, const Steps& more)
{
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

// Runs the probe's steps with the emulated device configured by the environment.
RunResult probe(const Steps& steps, const char* devices = "1", const char* major = "1", bool hold_input_open = false)
{
    setenv("VANTREO_TEST_EMU_DEVICE_COUNT", devices, 1);
    setenv("VANTREO_TEST_EMU_DEVICE_MAJOR", major, 1);
    setenv("VANTREO_TEST_EMU_REPORT", "1", 1);
    RunResult result = run_program(Steps{LIFECYCLE_PROBE, VANTREO_PLUGIN_PATH} + steps, "", hold_input_open);
    unsetenv("VANTREO_TEST_EMU_DEVICE_COUNT");
    unsetenv("VANTREO_TEST_EMU_DEVICE_MAJOR");
    unsetenv("VANTREO_TEST_EMU_REPORT");
    return result;
}

// The probe returns 7 when it gets to its end: every callback returned to it.
constexpr int kProbeEnded = 7;

TEST(Lifecycle, StartUpChoosesDeviceZeroAndSaysSo)
{
    const RunResult result = probe({"Method=1", "init"}, "2");
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
                                      {"-3", none + "Using device 0: "}, {"x", none + "Using device 0: "},
                                      {"", none + "Using device 0: "}}) {
        setenv("VANTREO_DEVICE", asked, 1);
        const RunResult result = probe({"init"}, "2");
        unsetenv("VANTREO_DEVICE");
        EXPECT_EQ(result.status, kProbeEnded);
        EXPECT_EQ(result.err.rfind(said, 0), 0u) << asked << ": " << result.err;
    }
}

// OpenCL (PoCL's CPU device, on request) is device 0, loaded at the first frame with device rows
// (start-up left it for then); the frames run on it and shut-down releases what it held.
TEST(Lifecycle, OpenclDeviceComesFirst)
{
    const char* hidden = std::getenv("VANTREO_TEST_OPENCL_LIBRARY");
    const std::string hidden_library = hidden ? hidden : "";
    unsetenv("VANTREO_TEST_OPENCL_LIBRARY");
    setenv("VANTREO_OPENCL_CPU", "1", 1);
    const RunResult result = probe(Steps{"init"} + kAreaFrame + Steps{"exit"});
    unsetenv("VANTREO_OPENCL_CPU");
    if (hidden) setenv("VANTREO_TEST_OPENCL_LIBRARY", hidden_library.c_str(), 1);
    if (result.err.rfind("Using device 0: Vantreo emulated device", 0) == 0)
        END_TEST_WITHOUT_OPENCL_DEVICE("the plug-in started on the emulated device");
    EXPECT_EQ(result.status, kProbeEnded) << result.err;
    EXPECT_EQ(result.err.rfind("Using device 0: ", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "init returned 1\nframe 32x24\nexit returned 1\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 6 freed"), std::string::npos)
        << result.err;
}

TEST(Lifecycle, StartUpWithoutAUsableDeviceReturnsAndFramesPassThrough)
{
    RunResult result = probe({"init"}, "1", "0");
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.err.rfind("cutil error: device does not support CUDA.\n", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "init returned 0\n");

    // The frame keeps its size and the device is never touched; shut-down still runs and returns.
    result = probe(Steps{"init"} + kAreaFrame + Steps{"exit"}, "0");
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.err.rfind("cutil error: no devices supporting CUDA.\n", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "init returned 0\nframe 64x48\nexit returned 1\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 0 freed"), std::string::npos)
        << result.err;
}

// The prompt is for a console: standard input at its end, or an open pipe nobody writes into, gets
// none and waits for nothing; the host's standard output stays its own.
TEST(Lifecycle, ShutDownReturnsToTheHostWithoutPrompting)
{
    for (const bool hold_input_open : {false, true}) {
        const RunResult result = probe({"init", "exit"}, "1", "1", hold_input_open);
        EXPECT_EQ(result.status, kProbeEnded);
        EXPECT_EQ(result.out, "init returned 1\nexit returned 1\n");
        // Before any area-averaged frame there is nothing to free.
        EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 0 freed"), std::string::npos)
            << result.err;
    }

    // After area-averaged frames, everything the device held is released on the way out.
    const RunResult result = probe(Steps{"init"} + kAreaFrame + Steps{"exit"});
    EXPECT_EQ(result.status, kProbeEnded) << result.err;
    EXPECT_EQ(result.out, "init returned 1\nframe 32x24\nexit returned 1\n");
    EXPECT_NE(result.err.find("emulated device: 0 allocations and 0 arrays live, 6 freed"), std::string::npos)
        << result.err;
}

// On a terminal (the one `script` gives it) the prompt shows, and ENTER ends the wait.
TEST(Lifecycle, ShutDownPromptsOnATerminal)
{
    const RunResult result = run_program(
        {"/usr/bin/script", "-qec", "'" LIFECYCLE_PROBE "' '" VANTREO_PLUGIN_PATH "' init exit", "/dev/null"}, "\n");
    EXPECT_EQ(result.status, kProbeEnded) << result.err;
    const std::string::size_type prompt = result.out.find("\r\nPress ENTER to exit...\r\n");
    EXPECT_LT(prompt, result.out.find("exit returned 1\r\n")) << result.out;
}

// The OpenCL library (here a fake one offering a GPU) is opened only once rows are to run on a
// device: at start-up when the controls give it rows, else at the first frame that does.
TEST(Lifecycle, OpenclOpensForDeviceRowsOnly)
{
    const char* set = std::getenv("VANTREO_TEST_OPENCL_LIBRARY");  // the test's environment names none there is
    const std::string no_library = set ? set : "no-such-opencl-library";
    setenv("VANTREO_TEST_OPENCL_LIBRARY", LIFECYCLE_FAKE_OPENCL, 1);
    const RunResult point = probe({"init", "frame", "exit", "opencl"});
    const RunResult idle = probe(Steps{"Method=1", "T. Rate=0", "init", "frame", "opencl"} + kAreaFrame + Steps{"opencl"});
    const RunResult area = probe({"Method=1", "init", "opencl"});
    const std::string fifo = ::testing::TempDir() + "lifecycle-fifo";
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    setenv("VANTREO_TEST_OPENCL_LIBRARY", fifo.c_str(), 1);
    const RunResult from_fifo = probe({"Method=1", "init"});
    setenv("VANTREO_TEST_OPENCL_LIBRARY", no_library.c_str(), 1);
    unlink(fifo.c_str());

    EXPECT_EQ(point.out, "init returned 1\nframe 64x48\nexit returned 1\nOpenCL closed\n");
    EXPECT_EQ(idle.out, "init returned 1\nframe 64x48\nOpenCL closed\nframe 32x24\nOpenCL loaded\n");
    EXPECT_EQ(idle.err.rfind("Using device 0: Fake OpenCL device\n", 0), 0u) << idle.err;
    EXPECT_EQ(area.out, "init returned 1\nOpenCL loaded\n");
    EXPECT_EQ(area.err.rfind("Using device 0: Fake OpenCL device\n", 0), 0u) << area.err;
    // A FIFO is no library: one line, and the emulated device.
    EXPECT_EQ(from_fifo.err.rfind("vantreo: VANTREO_TEST_OPENCL_LIBRARY \"" + fifo +
                                      "\" is not a regular file; no OpenCL device\nUsing device 0: Vantreo emulated",
                                  0),
              0u)
        << from_fifo.err;
}

// Under an address-space limit that leaves a driver too little room to start, OpenCL stays closed
// with one line, and the emulated device takes the rows.
TEST(Lifecycle, OpenclStaysClosedWithoutRoomToStartADriver)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory takes more address space than any limit leaves";
#endif
    const char* set = std::getenv("VANTREO_TEST_OPENCL_LIBRARY");
    const std::string no_library = set ? set : "no-such-opencl-library";
    setenv("VANTREO_TEST_OPENCL_LIBRARY", LIFECYCLE_FAKE_OPENCL, 1);
    const RunResult result = run_program({"/bin/sh", "-c", "ulimit -v 200000 && exec \"$0\" \"$@\"", LIFECYCLE_PROBE,
                                          VANTREO_PLUGIN_PATH, "Method=1", "init", "opencl"});
    setenv("VANTREO_TEST_OPENCL_LIBRARY", no_library.c_str(), 1);
    EXPECT_EQ(result.out, "init returned 1\nOpenCL closed\n");
    EXPECT_EQ(result.err.rfind("vantreo: too little address space is left under the process's limit (ulimit -v) to "
                               "start an OpenCL driver; the device rows run on the emulated device\nUsing device 0: "
                               "Vantreo emulated",
                               0),
              0u)
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
        run_program({LIFECYCLE_PROBE, folder + "/vantreo.auf", "Method=1", "init"}, "", false, elsewhere);
    EXPECT_EQ(result.status, kProbeEnded);
    EXPECT_EQ(result.err.rfind("Vantreo: " + folder + "/vantreo.ini:1: max_source_side must be a whole number from "
                               "1600 to 8192, not '99999'; using 1600\nUsing device 0: ", 0),
              0u)
        << result.err;
    EXPECT_EQ(result.out, "init returned 1\n");
}

}  // namespace
