// Launches, block barriers, device faults and device properties of the stand-in device runtime, and
// its test controls: the launch counter and injected launch failures.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/platform/test_module.h"
#include "tests/support/environment.h"

using namespace test_module;

namespace {

struct Geometry {
    dim3 grid;
    dim3 block;
    std::uint32_t threads;  // how many threads have a counter; the rest of the grid must skip theirs
};

std::vector<std::uint32_t> sample_words(std::size_t n)
{
    std::vector<std::uint32_t> words(n);
    for (std::size_t i = 0; i < n; ++i) words[i] = static_cast<std::uint32_t>(i * 7 + 3);
    return words;
}

class LaunchGeometry : public ModuleTest, public ::testing::WithParamInterface<Geometry> {};
class LaunchErrors : public ModuleTest {};
class Barriers : public ModuleTest {};
class DeviceFaults : public ModuleTest {};
class LaunchControls : public ModuleTest {};

}  // namespace

TEST_P(LaunchGeometry, EveryThreadRunsExactlyOnce)
{
    const Geometry g = GetParam();
    DeviceBuffer counts(std::size_t{g.threads} * 4);  // exactly as long as needed: a stray store faults
    DeviceBuffer dims(6 * 4);
    ASSERT_EQ(cudaMemset(counts.get(), 0, counts.bytes()), cudaSuccess);
    ASSERT_EQ(Launch(g.grid, g.block).arg(counts.address()).arg(g.threads).arg(dims.address()).run(kCountThreads),
              cudaSuccess);
    EXPECT_EQ(cudaThreadSynchronize(), cudaSuccess);
    const std::vector<std::uint32_t> got = counts.download<std::uint32_t>();
    const auto wrong = std::find_if(got.begin(), got.end(), [](std::uint32_t c) { return c != 1; });
    EXPECT_EQ(wrong, got.end()) << "thread " << (wrong - got.begin()) << " ran " << (wrong == got.end() ? 1 : *wrong)
                                << " times";
    EXPECT_EQ(dims.download<std::uint32_t>(),
              (std::vector<std::uint32_t>{g.block.x, g.block.y, g.block.z, g.grid.x, g.grid.y, g.grid.z}));
}

INSTANTIATE_TEST_SUITE_P(
    Grids, LaunchGeometry,
    ::testing::Values(Geometry{dim3(1), dim3(1), 1}, Geometry{dim3(7), dim3(32), 7 * 32 - 5},
                      Geometry{dim3(5, 3), dim3(4, 3, 2), 5 * 3 * 24}, Geometry{dim3(3, 2), dim3(8, 8, 8), 6 * 512 - 100},
                      Geometry{dim3(1, 70), dim3(1, 1, 64), 70 * 64}, Geometry{dim3(50000, 2), dim3(32), 100000 * 32 - 1}));

TEST_F(LaunchErrors, BadConfigurationsAreReportedAndNothingRuns)
{
    DeviceBuffer counts(600 * 4), dims(6 * 4);
    ASSERT_EQ(cudaMemset(counts.get(), 0, counts.bytes()), cudaSuccess);
    const struct {
        dim3 grid, block;
        std::size_t shared;
    } bad[] = {
        {dim3(1), dim3(0), 0},        {dim3(1), dim3(513), 0},      {dim3(1), dim3(32, 32), 0},
        {dim3(1), dim3(1, 1, 65), 0}, {dim3(1), dim3(4, 0, 1), 0},  {dim3(0), dim3(32), 0},
        {dim3(65536), dim3(1), 0},    {dim3(1, 65536), dim3(1), 0}, {dim3(1, 1, 2), dim3(1), 0},
        {dim3(1), dim3(32), 16 * 1024 + 1},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(::testing::Message() << "grid " << c.grid.x << "x" << c.grid.y << "x" << c.grid.z << " block "
                                          << c.block.x << "x" << c.block.y << "x" << c.block.z);
        EXPECT_EQ(Launch(c.grid, c.block, c.shared).arg(counts.address()).arg(600u).arg(dims.address()).run(kCountThreads),
                  cudaErrorInvalidConfiguration);
        EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidConfiguration);
        EXPECT_EQ(cudaLaunch(entry(kCountThreads)), cudaErrorMissingConfiguration) << "nothing was left pending";
    }
    EXPECT_EQ(counts.download<std::uint32_t>(), std::vector<std::uint32_t>(600, 0));
    EXPECT_EQ(cudaConfigureCall(dim3(1), dim3(1), 0, reinterpret_cast<cudaStream_t>(std::uintptr_t{8})),
              cudaErrorInvalidResourceHandle);
}

TEST_F(LaunchErrors, LaunchAndArgumentsNeedAConfiguration)
{
    const std::uint32_t value = 1;
    EXPECT_EQ(cudaSetupArgument(&value, sizeof value, 0), cudaErrorMissingConfiguration);
    EXPECT_EQ(cudaLaunch(entry(kReadConstants)), cudaErrorMissingConfiguration);
    EXPECT_EQ(cudaGetLastError(), cudaErrorMissingConfiguration);

    ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1)), cudaSuccess);
    EXPECT_EQ(cudaSetupArgument(&value, sizeof value, 253), cudaErrorInvalidValue);
    EXPECT_EQ(cudaSetupArgument(nullptr, 4, 0), cudaErrorInvalidValue);
    EXPECT_EQ(cudaSetupArgument(&value, sizeof value, 252), cudaSuccess);
    const char unregistered_entry = 0;
    EXPECT_EQ(cudaLaunch(&unregistered_entry), cudaErrorInvalidDeviceFunction);
    EXPECT_EQ(cudaLaunch(entry(kReadConstants)), cudaErrorMissingConfiguration) << "a failed launch consumes its configuration";
}

TEST_F(LaunchErrors, KernelsTheImageLacksAreUnknown)
{
    EXPECT_EQ(Launch(dim3(1), dim3(1)).run(kUnknownToImage), cudaErrorInvalidDeviceFunction);

    // A binary whose image is not an emulated one resolves nothing.
    emu::EmulatedImage foreign{};
    std::memcpy(foreign.magic, "not-an-image!!!", 16);
    const __cudaFatCubinEntry cubins[] = {{"sm_10", &foreign}, {nullptr, nullptr}};
    __cudaFatCudaBinary binary{};
    binary.cubin = cubins;
    void** handle = __cudaRegisterFatBinary(&binary);
    const char foreign_entry = 0;
    __cudaRegisterFunction(handle, &foreign_entry, const_cast<char*>("countThreads"), "countThreads", -1, nullptr,
                           nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1)), cudaSuccess);
    EXPECT_EQ(cudaLaunch(&foreign_entry), cudaErrorInvalidDeviceFunction);
    __cudaUnregisterFatBinary(handle);

    // Dropping the module forgets its kernels.
    __cudaUnregisterFatBinary(handle_);
    DeviceBuffer out(5 * 4);
    EXPECT_EQ(Launch(dim3(1), dim3(1)).arg(out.address()).run(kReadConstants), cudaErrorInvalidDeviceFunction);
    handle_ = register_module();
    EXPECT_EQ(Launch(dim3(1), dim3(1)).arg(out.address()).run(kReadConstants), cudaSuccess);
}

TEST_F(Barriers, BlockReversesThroughSharedMemory)
{
    for (const dim3 block : {dim3(64), dim3(8, 4, 2), dim3(512), dim3(1)}) {
        const std::uint32_t n = block.x * block.y * block.z, blocks = 3;
        SCOPED_TRACE(::testing::Message() << n << " threads per block");
        DeviceBuffer in(std::size_t{n} * blocks * 4), out(std::size_t{n} * blocks * 4);
        const std::vector<std::uint32_t> input = sample_words(std::size_t{n} * blocks);
        in.upload(input);
        ASSERT_EQ(Launch(dim3(blocks), block, n * 4).arg(in.address()).arg(out.address()).run(kReverseBlock), cudaSuccess);
        const std::vector<std::uint32_t> got = out.download<std::uint32_t>();
        for (std::uint32_t b = 0; b < blocks; ++b)
            for (std::uint32_t i = 0; i < n; ++i)
                ASSERT_EQ(got[b * n + i], input[b * n + (n - 1 - i)]) << "block " << b << " thread " << i;
    }
}

TEST_F(Barriers, RepeatedBarriersKeepThreadsInStep)
{
    const std::uint32_t n = 33, blocks = 4;
    DeviceBuffer in(n * blocks * 4), out(n * blocks * 4);
    const std::vector<std::uint32_t> input = sample_words(n * blocks);
    in.upload(input);
    ASSERT_EQ(Launch(dim3(blocks), dim3(n), n * 4).arg(in.address()).arg(out.address()).run(kRotateTwice), cudaSuccess);
    const std::vector<std::uint32_t> got = out.download<std::uint32_t>();
    for (std::uint32_t b = 0; b < blocks; ++b)
        for (std::uint32_t i = 0; i < n; ++i)
            EXPECT_EQ(got[b * n + i], input[b * n + (i + 2) % n]) << "block " << b << " thread " << i;
}

TEST_F(Barriers, MisusedBarriersFault)
{
    EXPECT_DEATH(Launch(dim3(1), dim3(4)).run(kSyncWithoutBarrier),
                 "device fault in kernel syncWithoutBarrier: block barrier in a kernel not registered as using one");
    EXPECT_DEATH(Launch(dim3(2), dim3(4)).run(kDivergentBarrier),
                 "device fault in kernel divergentBarrier: the threads of a block did not all reach the same block barrier");
}

TEST_F(DeviceFaults, AccessesInsideAnAllocationWork)
{
    DeviceBuffer buffer(64);
    buffer.upload(std::vector<std::uint32_t>(16, 0));
    // The last two bytes, then the last word copied to the first.
    ASSERT_EQ(Launch(dim3(1), dim3(1)).arg(buffer.address() + 62).arg(std::int16_t{-2}).run(kStoreShortAt), cudaSuccess);
    ASSERT_EQ(Launch(dim3(1), dim3(1)).arg(buffer.address() + 60).arg(buffer.address()).run(kLoadWordAt), cudaSuccess);
    const std::vector<std::uint32_t> words = buffer.download<std::uint32_t>();
    EXPECT_EQ(words[15], 0xFFFE0000u);
    EXPECT_EQ(words[0], 0xFFFE0000u);
}

TEST_F(DeviceFaults, AccessesOutsideEveryAllocationStopTheProcess)
{
    // \w+ rather than a bracket expression: GoogleTest on Windows has only its simple regular expressions.
    const char* const kOverrun =
        "device fault in kernel storeShortAt: store of 2 bytes at device address 0x\\w+ is outside every allocation";
    EXPECT_DEATH(
        {
            DeviceBuffer buffer(64);
            DeviceBuffer neighbour(64);
            Launch(dim3(1), dim3(1)).arg(buffer.address() + 64).arg(std::int16_t{1}).run(kStoreShortAt);
        },
        kOverrun);
    EXPECT_DEATH(
        {
            DeviceBuffer buffer(64);
            Launch(dim3(1), dim3(1)).arg(buffer.address() + 63).arg(std::int16_t{1}).run(kStoreShortAt);
        },
        kOverrun);
    // Freed memory stays unreachable even right after a kernel used it.
    EXPECT_DEATH(
        {
            void* p = nullptr;
            cudaMalloc(&p, 64);
            const std::uint32_t address = emu::to_device_address(p);
            if (Launch(dim3(1), dim3(1)).arg(address).arg(std::int16_t{1}).run(kStoreShortAt) != cudaSuccess) std::exit(3);
            cudaFree(p);
            Launch(dim3(1), dim3(1)).arg(address).arg(std::int16_t{1}).run(kStoreShortAt);
        },
        kOverrun);
    EXPECT_DEATH(Launch(dim3(1), dim3(1)).arg(std::uint32_t{0x10}).arg(std::int16_t{1}).run(kStoreShortAt),
                 "device fault in kernel storeShortAt: store of 2 bytes at device address 0x10 is outside every allocation");
    EXPECT_DEATH(Launch(dim3(1), dim3(1)).arg(std::uint32_t{0xfffffff0}).arg(std::uint32_t{0}).run(kLoadWordAt),
                 "device fault in kernel loadWordAt: load of 4 bytes at device address 0xfffffff0 is outside every allocation");
}

TEST_F(LaunchControls, CounterCountsOnlyLaunchesThatRanToTheirEnd)
{
    const std::uint64_t read_before = emu::completed_launches("readConstants");
    const std::uint64_t count_before = emu::completed_launches("countThreads");
    const std::uint64_t all_before = emu::completed_launches(nullptr);
    DeviceBuffer out(5 * 4), counts(4), dims(6 * 4);
    ASSERT_EQ(cudaMemset(counts.get(), 0, counts.bytes()), cudaSuccess);
    ASSERT_EQ(Launch(dim3(1), dim3(1)).arg(out.address()).run(kReadConstants), cudaSuccess);
    ASSERT_EQ(Launch(dim3(1), dim3(1)).arg(out.address()).run(kReadConstants), cudaSuccess);
    ASSERT_EQ(Launch(dim3(1), dim3(1)).arg(counts.address()).arg(1u).arg(dims.address()).run(kCountThreads), cudaSuccess);

    // A failed configuration, a launch without one, a kernel the image lacks, an unregistered entry.
    EXPECT_EQ(Launch(dim3(1), dim3(0)).arg(out.address()).run(kReadConstants), cudaErrorInvalidConfiguration);
    EXPECT_EQ(cudaLaunch(entry(kReadConstants)), cudaErrorMissingConfiguration);
    EXPECT_EQ(Launch(dim3(1), dim3(1)).run(kUnknownToImage), cudaErrorInvalidDeviceFunction);
    const char unregistered_entry = 0;
    ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1)), cudaSuccess);
    EXPECT_EQ(cudaLaunch(&unregistered_entry), cudaErrorInvalidDeviceFunction);

    EXPECT_EQ(emu::completed_launches("readConstants"), read_before + 2);
    EXPECT_EQ(emu::completed_launches("countThreads"), count_before + 1);
    EXPECT_EQ(emu::completed_launches(nullptr), all_before + 3);
    EXPECT_EQ(emu::completed_launches("noSuchKernel"), 0u);
}

TEST_F(LaunchControls, RefusedConfigurationsAndLaunchesRunNothing)
{
    const std::uint64_t before = emu::completed_launches("countThreads");
    DeviceBuffer counts(32 * 4), dims(6 * 4);
    ASSERT_EQ(cudaMemset(counts.get(), 0, counts.bytes()), cudaSuccess);
    const Launch launch = Launch(dim3(1), dim3(32)).arg(counts.address()).arg(32u).arg(dims.address());

    emu::fail_next(emu::Operation::ConfigureCall);
    EXPECT_EQ(launch.run(kCountThreads), cudaErrorInvalidConfiguration);
    EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidConfiguration);
    EXPECT_EQ(cudaLaunch(entry(kCountThreads)), cudaErrorMissingConfiguration) << "nothing was configured";

    emu::fail_next(emu::Operation::Launch);
    EXPECT_EQ(launch.run(kCountThreads), cudaErrorLaunchOutOfResources);
    EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchOutOfResources);
    EXPECT_EQ(cudaLaunch(entry(kCountThreads)), cudaErrorMissingConfiguration) << "the refused launch used up its configuration";
    EXPECT_EQ(cudaThreadSynchronize(), cudaSuccess) << "a launch refused before it started leaves nothing to report";

    EXPECT_EQ(counts.download<std::uint32_t>(), std::vector<std::uint32_t>(32, 0));
    EXPECT_EQ(emu::completed_launches("countThreads"), before);
    ASSERT_EQ(launch.run(kCountThreads), cudaSuccess);
    EXPECT_EQ(counts.download<std::uint32_t>(), std::vector<std::uint32_t>(32, 1));
    EXPECT_EQ(emu::completed_launches("countThreads"), before + 1);
}

TEST_F(LaunchControls, SynchronizeCanReportAKernelThatDied)
{
    emu::fail_next(emu::Operation::ThreadSynchronize);
    EXPECT_EQ(cudaThreadSynchronize(), cudaErrorLaunchFailure);
    EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchFailure);
    EXPECT_EQ(cudaThreadSynchronize(), cudaSuccess);
}

namespace {

// Runs in a child process: sets the variables before the runtime is first asked, prints each
// difference from what is expected and exits with 0 when there is none.
[[noreturn]] void check_devices(const char* count_env, const char* major_env, int count, int major)
{
    set_env("VANTREO_TEST_EMU_DEVICE_COUNT", count_env);
    set_env("VANTREO_TEST_EMU_DEVICE_MAJOR", major_env);
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok && ++failures) std::fprintf(stderr, "mismatch: %s\n", what);
    };
    int reported = -1;
    check(cudaGetDeviceCount(&reported) == (count == 0 ? cudaErrorNoDevice : cudaSuccess), "count result");
    check(reported == count, "device count");
    for (int d = 0; d < count; ++d) {
        cudaDeviceProp prop{};
        check(cudaGetDeviceProperties(&prop, d) == cudaSuccess, "properties");
        check(prop.major == major && prop.minor == 0, "compute capability");
        check(std::strstr(prop.name, "emulated") != nullptr, "name says emulated");
        check(cudaSetDevice(d) == cudaSuccess, "selecting a device");
    }
    cudaDeviceProp untouched{};
    untouched.major = -7;
    check(cudaGetDeviceProperties(&untouched, count) == cudaErrorInvalidDevice, "properties past the last device");
    check(cudaGetDeviceProperties(&untouched, -1) == cudaErrorInvalidDevice, "properties of device -1");
    check(untouched.major == -7, "properties untouched on failure");
    check(cudaSetDevice(count) == (count == 0 ? cudaErrorNoDevice : cudaErrorInvalidDevice), "selecting past the last");
    void* p = nullptr;
    check(cudaMalloc(&p, 16) == (count == 0 ? cudaErrorNoDevice : cudaSuccess), "allocating");
    std::fflush(stderr);
    std::exit(failures == 0 ? 0 : 1);
}

}  // namespace

TEST(Devices, CountAndCapabilityComeFromTheEnvironment)
{
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    EXPECT_EXIT(check_devices(nullptr, nullptr, 1, 1), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(check_devices("3", "2", 3, 2), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(check_devices("0", nullptr, 0, 1), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(check_devices("1", "0", 1, 0), ::testing::ExitedWithCode(0), "");
    // Values that are not numbers in range fall back to the defaults.
    EXPECT_EXIT(check_devices("two", "-1", 1, 1), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(check_devices("-1", "1x", 1, 1), ::testing::ExitedWithCode(0), "");
}
