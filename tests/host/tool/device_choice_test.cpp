// The tool's devices: --list-devices, and --device N choosing the plug-in's device, with the same
// output on the OpenCL device (PoCL, listed on request) as on the emulated device.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/subprocess.h"
#include "tests/support/opencl_required.h"

namespace {

using host_test::run_program;
using host_test::RunResult;

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::string file_bytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(ToolDevices, ListedAndChosenWithTheSameOutputOnEach)
{
    const RunResult listed = run_program({VANTREO_HOST_TOOL, "--list-devices"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const std::vector<std::string> devices = lines_of(listed.out);
    ASSERT_FALSE(devices.empty());
    const std::string last = std::to_string(devices.size() - 1);
    EXPECT_EQ(devices.back(), last + "  emulated  Vantreo emulated device (CPU)");
    if (devices.size() < 2) END_TEST_WITHOUT_OPENCL_DEVICE("--list-devices lists the emulated device alone");
    EXPECT_EQ(devices.front().rfind("0  OpenCL    ", 0), 0u) << devices.front();

    const std::string base = ::testing::TempDir() + "vantreo-device-choice-";
    std::vector<std::string> outputs;
    for (const std::string& device : {std::string("0"), last}) {
        const std::string output = base + device + ".y4m";
        // A listed line: the index, two spaces, the backend in 8 columns, two spaces, the name.
        const std::string name = devices[std::stoul(device)].substr(device.size() + 12);
        const RunResult run = run_program({VANTREO_HOST_TOOL, "--demo", "--size", "320x240", "--set", "T. Rate=200",
                                           "--device", device, output});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(", device: " + name + "; wrote "), std::string::npos) << run.err;
        outputs.push_back(file_bytes(output));
        std::remove(output.c_str());
    }
    EXPECT_FALSE(outputs[0].empty());
    EXPECT_TRUE(outputs[0] == outputs[1]);

    EXPECT_EQ(run_program({VANTREO_HOST_TOOL, "--device", "-1", "--list-devices"}).status, 2);
    // Of three devices the last is 2, and 3 is none.
    for (const char* device : {"2", "3"}) {
        const RunResult run = run_program({"/usr/bin/env", "VANTREO_TEST_OPENCL_LIBRARY=none",
                                           "VANTREO_TEST_EMU_DEVICE_COUNT=3", VANTREO_HOST_TOOL, "--demo", "--size",
                                           "64x48", "--device", device, "/dev/null"});
        EXPECT_EQ(run.status, device[0] == '2' ? 0 : 2) << run.err;
    }
}

// OpenCL drivers that report nonsense are left like failing ones: the frames are resized, with the
// bytes of the emulated device, or of the CPU where the band was the failing device's.
TEST(ToolDevices, DriversReportingNonsenseAreLeft)
{
    const std::string base = ::testing::TempDir() + "vantreo-fake-driver-";
    const auto resize = [&](const std::string& driver, const std::string& mode, const char* rate) {
        const std::string output = base + mode + rate + ".y4m";
        const RunResult run = run_program({"/usr/bin/env", "VANTREO_TEST_OPENCL_LIBRARY=" + driver, "VANTREO_TEST_FAKE_OPENCL=" + mode,
                                           VANTREO_HOST_TOOL, "--demo", "--size", "320x240", "--resize", "200x150",
                                           "--set", std::string("T. Rate=") + rate, output});
        const std::string bytes = file_bytes(output);
        std::remove(output.c_str());
        return std::make_pair(run, bytes);
    };
    const std::string emulated = resize("no-such-opencl-library", "none", "200").second;
    const std::string cpu = resize("no-such-opencl-library", "none", "0").second;
    ASSERT_FALSE(emulated.empty());
    const struct {
        const char* mode;
        const char* device;
        const std::string& bytes;
        const char* said;
    } cases[] = {
        {"platforms", "Vantreo emulated device (CPU)", emulated, ""},
        {"devices", "Vantreo emulated device (CPU)", emulated, ""},
        {"name", "Vantreo emulated device (CPU)", emulated, ""},
        {"build-log", "Fake OpenCL device", cpu, "bytes, not shown)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const auto [run, bytes] = resize(HOST_TEST_FAKE_OPENCL, c.mode, "200");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(std::string(", device: ") + c.device + "; wrote "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        EXPECT_TRUE(bytes == c.bytes);
    }
}

}  // namespace
