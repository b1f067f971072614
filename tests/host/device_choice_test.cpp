// The tool's devices: --list-devices, and --device N choosing the plug-in's device, with the same
// output on the OpenCL device (PoCL, listed on request) as on the emulated device.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
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
}

}  // namespace
