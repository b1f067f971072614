// The OpenCL devices of the runtime, on whatever OpenCL the machine has (PoCL's CPU device in the test
// command, listed through VANTREO_OPENCL_CPU=1): their device rows against the emulated device's,
// byte for byte, and the failures that send a band to the CPU.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "device/device_module.h"
#include "device/lifecycle.h"
#include "platform/device_runtime/emulated_controls.h"
#include "platform/device_runtime/opencl_controls.h"
#include "device/hybrid_frame.h"
#include "tests/support/cpu_rows.h"
#include "tests/support/opencl_required.h"

namespace {

constexpr const char* kResampleKernel = "__globfunc__Z20calcDestPixelsKernelv";

std::string device_name(int device)
{
    cudaDeviceProp properties{};
    return cudaGetDeviceProperties(&properties, device) == cudaSuccess ? properties.name : "";
}

bool is_opencl(int device)
{
    const char* backend = vantreoDeviceBackend(device);
    return backend && std::string(backend) == "OpenCL";
}

int device_count()
{
    int count = 0;
    cudaGetDeviceCount(&count);
    return count;
}

// Frames on device 0, an OpenCL device, and on the emulated device, the last one.
class OpenclDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!is_opencl(0)) END_TEST_WITHOUT_OPENCL_DEVICE("device 0 is \"" + device_name(0) + "\"");
        // Once in the log: the device the comparisons ran on.
        static const bool named = std::printf("OpenCL device 0: %s\n", device_name(0).c_str()) > 0;
        (void)named;
        ASSERT_TRUE(start_device());
    }
    void TearDown() override
    {
        mirror.release();
        ocl::reset_devices();
    }

    // One frame of `r` through the executor on `device`, the mirror built for it there.
    GuardedFrame frame_on(int device, const ResizeRequest& r, const GuardedFrame& src)
    {
        if (plan.request != r || device != current) {
            mirror.release();  // on the device that holds it
            EXPECT_EQ(cudaSetDevice(device), cudaSuccess);
            current = device;
            build_plan(r, plan);
            mirror.rebuild(plan);
        }
        GuardedFrame dst(src.max_w, r.dst_h);
        GuardedFrame input = src;
        run_hybrid_frame(plan, cpu_level_from_environment(), mirror, workers, input.pixels(), dst.pixels());
        EXPECT_TRUE(dst.guards_intact());
        return dst;
    }

    // The frame on the OpenCL device, which must run its band there, equal to the emulated device's.
    void expect_same_bytes(const ResizeRequest& r, const GuardedFrame& src)
    {
        const std::uint64_t opencl_before = ocl::completed_launches();
        const GuardedFrame opencl = frame_on(0, r, src);
        const std::uint64_t emulated_before = emu::completed_launches(nullptr);
        const GuardedFrame emulated = frame_on(device_count() - 1, r, src);
        const std::uint64_t band = plan.device_rows >= 1 ? 1 : 0;
        EXPECT_EQ(ocl::completed_launches() - opencl_before, band);
        EXPECT_EQ(emu::completed_launches(nullptr) - emulated_before, band);
        EXPECT_EQ(first_difference(opencl, emulated), -1)
            << r.src_w << "x" << r.src_h << " -> " << r.dst_w << "x" << r.dst_h << " stride " << r.stride << " clip "
            << r.clip_left << "," << r.clip_top << " rate " << r.device_rate << " block " << r.block_threads;
    }

    GuardedFrame cpu_frame(const ResizeRequest& r, const GuardedFrame& src)
    {
        ResamplePlan cpu_plan{};
        build_plan(r, cpu_plan);
        return cpu_rows_frame(cpu_plan, src);
    }

    ResamplePlan plan{};
    DeviceMirror mirror;
    boost::thread_group workers;
    int current = -1;
};

TEST_F(OpenclDevice, ListedBeforeTheEmulatedDevice)
{
    ASSERT_GE(device_count(), 2);
    EXPECT_EQ(device_name(device_count() - 1), "Vantreo emulated device (CPU)");
    cudaDeviceProp properties{};
    ASSERT_EQ(cudaGetDeviceProperties(&properties, 0), cudaSuccess);
    EXPECT_GE(properties.major, 1);
    EXPECT_GE(properties.maxThreadsPerBlock, 1);
}

TEST_F(OpenclDevice, RowsEqualTheEmulatedDevicesByteForByte)
{
    std::mt19937 rng(1301);
    for (int trial = 0; trial < 36; ++trial) {
        const std::int32_t src_w = std::uniform_int_distribution<int>(1, 320)(rng);
        const std::int32_t src_h = std::uniform_int_distribution<int>(1, 200)(rng);
        const std::int32_t clip_left = trial % 3 == 0 ? std::uniform_int_distribution<int>(0, 20)(rng) : 0;
        const std::int32_t clip_top = trial % 4 == 0 ? std::uniform_int_distribution<int>(0, 20)(rng) : 0;
        ResizeRequest r = area_request(src_w, src_h, std::uniform_int_distribution<int>(1, src_w)(rng),
                                       std::uniform_int_distribution<int>(1, src_h)(rng),
                                       src_w + clip_left + trial % 5, std::uniform_int_distribution<int>(1, 256)(rng),
                                       std::uniform_int_distribution<int>(1, 512)(rng),
                                       std::uniform_int_distribution<int>(1, 4)(rng));
        r.clip_left = clip_left;
        r.clip_top = clip_top;
        GuardedFrame src(r.stride, src_h + clip_top);
        fill_random(src, rng);
        expect_same_bytes(r, src);
    }
    // Boundaries one float step past the picture (the spare zero column and row), the largest
    // frame, and surplus threads of the last block.
    std::mt19937 edge_rng(7);
    for (auto [src, dst] : {std::pair{1595, 1594}, {1600, 1593}, {1597, 533}}) {
        GuardedFrame wide(src + 1, 4), tall(8, src);
        fill_random(wide, edge_rng);
        fill_random(tall, edge_rng);
        expect_same_bytes(area_request(src, 4, dst, 3, src + 1, 256, 96), wide);
        expect_same_bytes(area_request(8, src, 5, dst, 8, 256, 512), tall);
    }
    expect_same_bytes(area_request(1600, 1200, 1273, 901, 1600, 256, 256), random_frame(1600, 1200, 5));
    expect_same_bytes(area_request(100, 100, 100, 100, 1280, 256, 512), random_frame(1280, 100, 3));
    // The filter methods, enlarging and reducing, cropped, over the whole 16-bit range.
    for (int trial = 0; trial < 12; ++trial) {
        const std::int32_t src_w = std::uniform_int_distribution<int>(1, 200)(rng);
        const std::int32_t src_h = std::uniform_int_distribution<int>(1, 120)(rng);
        const ResizeRequest r{src_w, src_h, std::uniform_int_distribution<int>(std::max(1, src_w >> 3), 2 * src_w)(rng),
                              std::uniform_int_distribution<int>(std::max(1, src_h >> 3), 2 * src_h)(rng),
                              2 * src_w + 3, trial % 3, trial % 4,
                              trial % 2 ? ResizeMethod::lanczos3 : ResizeMethod::bicubic, 64, 2,
                              std::uniform_int_distribution<int>(1, 256)(rng), PixelLayout::editor_frame};
        GuardedFrame src(r.stride, src_h + r.clip_top);
        fill_random(src, rng);
        expect_same_bytes(r, src);
    }
}

// Planes and RGBA pictures too, each held in a frame of as many 16-bit words (guards around them).
TEST_F(OpenclDevice, EveryLayoutEqualsTheEmulatedDevicesBytes)
{
    std::mt19937 rng(1302);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (int trial = 0; trial < 8; ++trial) {
        const std::int32_t src_w = pick(1, 200), src_h = pick(1, 120);
        const bool area = trial % 2 == 0;
        ResizeRequest r = area_request(src_w, src_h, pick(area ? 1 : std::max(1, src_w >> 3), area ? src_w : 2 * src_w),
                                       pick(area ? 1 : std::max(1, src_h >> 3), area ? src_h : 2 * src_h),
                                       2 * src_w + 1, pick(1, 256), pick(1, 512), pick(1, 4));
        r.method = area ? ResizeMethod::area_average : trial % 4 == 1 ? ResizeMethod::bicubic : ResizeMethod::lanczos3;
        r.layout = trial % 3 == 0 ? PixelLayout::rgba : PixelLayout::plane;
        r.clip_left = trial % 3;
        r.clip_top = trial % 2;
        GuardedFrame src((r.stride * channel_count(r.layout) + 2) / 3, src_h + r.clip_top);
        fill_random(src, rng);
        expect_same_bytes(r, src);
    }
}

// Every failure of the OpenCL calls behind a frame costs that frame its device band, which the CPU
// computes; the next frame, or the next build of the mirror, runs on the device again.
TEST_F(OpenclDevice, FailuresSendTheBandToTheCpu)
{
    const GuardedFrame src = random_frame(300, 240, 37);
    const ResizeRequest r = area_request(300, 240, 127, 101, 300, 128);
    const GuardedFrame on_cpu = cpu_frame(r, src);
    const GuardedFrame on_device = frame_on(0, r, src);
    ASSERT_NE(first_difference(on_device, on_cpu), -1);  // the device rules differ on some pixels

    using ocl::Failure;
    // While the mirror is built: the dest buffer, an array, the buffer's clearing, a table's upload.
    for (const auto& [failure, skip] : {std::pair{Failure::CreateBuffer, 0u}, {Failure::CreateBuffer, 3u},
                                        {Failure::Write, 0u}, {Failure::Write, 2u}}) {
        ocl::fail_next(failure, skip);
        mirror.rebuild(plan);
        EXPECT_FALSE(mirror.ready_for(plan)) << static_cast<int>(failure) << " skip " << skip;
        const std::uint64_t launches = ocl::completed_launches();
        EXPECT_EQ(first_difference(frame_on(0, r, src), on_cpu), -1) << static_cast<int>(failure);
        EXPECT_EQ(ocl::completed_launches(), launches);
        mirror.rebuild(plan);
        EXPECT_EQ(first_difference(frame_on(0, r, src), on_device), -1) << static_cast<int>(failure);
    }
    // During a frame: the source's upload, the launch, the kernel's run, the read-back.
    for (Failure failure : {Failure::Write, Failure::Launch, Failure::Finish, Failure::Read}) {
        ocl::fail_next(failure);
        EXPECT_EQ(first_difference(frame_on(0, r, src), on_cpu), -1) << static_cast<int>(failure);
        EXPECT_EQ(first_difference(frame_on(0, r, src), on_device), -1) << static_cast<int>(failure);
    }
}

// A device that keeps failing, or whose build fails, is left for the rest of the run with one line
// on stderr (after the build log); its bands go to the CPU without another OpenCL call.
TEST_F(OpenclDevice, DeviceThatKeepsFailingIsLeft)
{
    const GuardedFrame src = random_frame(200, 150, 41);
    const ResizeRequest r = area_request(200, 150, 91, 67, 200, 256);
    const GuardedFrame on_cpu = cpu_frame(r, src);
    const GuardedFrame on_device = frame_on(0, r, src);

    for (int with_build_failure = 0; with_build_failure < 2; ++with_build_failure) {
        ocl::reset_devices();  // the next launch builds the program again
        if (with_build_failure) ocl::fail_next(ocl::Failure::Build);
        else
            for (unsigned n = 0; n < 3; ++n) ocl::fail_next(ocl::Failure::Launch, n);
        testing::internal::CaptureStderr();
        const std::uint64_t launches = ocl::completed_launches();
        for (int frame = 0; frame < 5; ++frame)
            EXPECT_EQ(first_difference(frame_on(0, r, src), on_cpu), -1) << with_build_failure << " " << frame;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ocl::completed_launches(), launches);
        std::size_t lines = 0;
        for (std::size_t at = said.find("its rows go to the CPU"); at != std::string::npos;
             at = said.find("its rows go to the CPU", at + 1))
            ++lines;
        EXPECT_EQ(lines, 1u) << said;
        EXPECT_EQ(said.find("failed to build") != std::string::npos, with_build_failure == 1) << said;
        EXPECT_EQ(said.find("injected build failure") != std::string::npos, with_build_failure == 1) << said;

        ocl::reset_devices();
        mirror.rebuild(plan);
        EXPECT_EQ(first_difference(frame_on(0, r, src), on_device), -1);
    }
}

// Run by the test command where no OpenCL device may be listed (a missing library, or no CPU device
// asked for, PoCL's only kind): the emulated device is device 0, silently.
TEST(OpenclAbsent, EmulatedDeviceTakesOver)
{
    const char* expected = std::getenv("VANTREO_TEST_EXPECT_NO_OPENCL");
    if (!expected || std::string(expected) != "1") GTEST_SKIP() << "run with an OpenCL device listed";
    testing::internal::CaptureStderr();
    ASSERT_TRUE(start_device());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Using device 0: Vantreo emulated device (CPU)\n");
    EXPECT_EQ(device_count(), 1);
    ResamplePlan plan{};
    const ResizeRequest r = area_request(64, 48, 31, 23, 64, 256);
    build_plan(r, plan);
    DeviceMirror mirror;
    mirror.rebuild(plan);
    GuardedFrame src = random_frame(64, 48, 2), dst(64, 23);
    boost::thread_group workers;
    const std::uint64_t launches = emu::completed_launches(kResampleKernel);
    run_hybrid_frame(plan, cpu_level_from_environment(), mirror, workers, src.pixels(), dst.pixels());
    EXPECT_EQ(emu::completed_launches(kResampleKernel), launches + 1);
}

}  // namespace
