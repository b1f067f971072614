// A long run of the built plug-in through the stand-in editor: a YUV4MPEG2 stream of a few
// thousand frames arrives through a pipe, and the controls change every few frames (method, output
// size, crops, T. Rate, CPU T., Cuda T.). Every frame must equal the frame a fresh tool process
// gives for the same picture and controls, and once every setting has been seen the process's
// memory in use must stay where it is.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/editor/plugin_host.h"
#include "host/video/frame_streams.h"
#include "host/video/y4m_format.h"
#include "plugin/registration.h"
#include "tests/host/subprocess.h"

using namespace vantreo_host;

namespace {

constexpr std::int32_t kWidth = 160;
constexpr std::int32_t kHeight = 120;
constexpr BufferSize kBuffer{320, 240};  // room for point sampling to enlarge
constexpr int kPictures = 4;
constexpr int kSettings = 24;
constexpr int kFrames = 3000;
constexpr int kWarmUpFrames = 600;
// Growth allowed after the warm-up, for allocator noise: a leak of 450 bytes a frame exceeds it.
constexpr long kMemoryMarginBytes = 1 << 20;

// The controls' labels, in registration order, as the settings window shows them.
struct Labels {
    std::vector<std::string> tracks;
    std::vector<std::string> buttons;
};

// One state of the settings window: every track bar, and the radio button that is on.
struct Setting {
    std::int32_t track[kTrackCount];
    int button;

    std::string describe(const Labels& labels) const
    {
        std::string text = "[" + labels.buttons[button] + "]";
        for (int i = 0; i < kTrackCount; ++i) text += " " + labels.tracks[i] + "=" + std::to_string(track[i]);
        return text;
    }
    void apply(PluginHost& host, const Labels& labels) const
    {
        for (int i = 0; i < kTrackCount; ++i) host.set_track(labels.tracks[i], track[i]);
        host.select(labels.buttons[button]);
    }
    std::vector<std::string> tool_arguments(const Labels& labels) const
    {
        std::vector<std::string> arguments;
        for (int i = 0; i < kTrackCount; ++i)
            arguments.insert(arguments.end(), {"--set", labels.tracks[i] + "=" + std::to_string(track[i])});
        arguments.insert(arguments.end(), {"--select", labels.buttons[button]});
        return arguments;
    }
};

std::vector<Setting> make_settings(std::mt19937& rng)
{
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    std::vector<Setting> settings;
    for (int s = 0; s < kSettings; ++s) {
        Setting setting{};
        const bool cropped = pick(0, 1) == 1;
        for (int side : {kTrackClipTop, kTrackClipBottom, kTrackClipLeft, kTrackClipRight})
            setting.track[side] = cropped ? pick(0, 40) : 0;
        // Point sampling and area averaging in turn; area averaging never enlarges.
        const bool area = s % 2 == 1;
        setting.track[kTrackWidth] = area ? pick(kWidth / 8, kWidth) : pick(8, kBuffer.w);
        setting.track[kTrackHeight] = area ? pick(kHeight / 8, kHeight) : pick(6, kBuffer.h);
        setting.track[kTrackMethod] = area;
        const int share = pick(0, 3);
        setting.track[kTrackDeviceRate] = share == 0 ? 0 : share == 1 ? 256 : pick(1, 255);
        setting.track[kTrackBlockThreads] = pick(32, 512);
        setting.track[kTrackCpuThreads] = pick(1, 8);
        // Mostly "other", now and then a preset size.
        setting.button = pick(0, 7) < 2 ? pick(kCheck320x240, kCheck640x480) : kCheckOther;
        settings.push_back(setting);
    }
    return settings;
}

std::vector<unsigned char> pixel_bytes(const Picture& picture)
{
    const auto* begin = reinterpret_cast<const unsigned char*>(picture.pixels.data());
    return std::vector<unsigned char>(begin, begin + picture.pixels.size() * sizeof(PIXEL_YC));
}

// The frame a fresh tool process makes of `picture` with `setting`: raw host frames in and out,
// through its standard input and output, with the editor's limits and whatever size the filter gives.
std::vector<unsigned char> tool_frame(const Setting& setting, const Labels& labels, const Picture& picture)
{
    std::vector<std::string> argv = {VANTREO_HOST_TOOL, "--plugin", VANTREO_PLUGIN_PATH, "--quiet",
                                     "--editor-limits", "--allow-other-size",
                                     "--size", std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                     "--buffer", std::to_string(kBuffer.w) + "x" + std::to_string(kBuffer.h),
                                     "--format", "yc"};
    const std::vector<std::string> controls = setting.tool_arguments(labels);
    argv.insert(argv.end(), controls.begin(), controls.end());
    argv.insert(argv.end(), {"-", "-"});
    const std::vector<unsigned char> input = pixel_bytes(picture);
    const host_test::RunResult run = host_test::run_program(argv, std::string(input.begin(), input.end()));
    EXPECT_EQ(run.status, 0) << setting.describe(labels) << "\n" << run.err;
    return std::vector<unsigned char>(run.out.begin(), run.out.end());
}

// Under AddressSanitizer resident memory also holds the sanitizer's quarantine of freed blocks and
// its records of every thread that ran; there the bytes the program has allocated are what a leak
// grows.
#if defined(__SANITIZE_ADDRESS__)
#define SOAK_COUNTS_ALLOCATED_BYTES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_COUNTS_ALLOCATED_BYTES 1
#endif
#endif
#ifdef SOAK_COUNTS_ALLOCATED_BYTES
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

// Resident memory, or under AddressSanitizer the bytes allocated.
long memory_in_use()
{
#ifdef SOAK_COUNTS_ALLOCATED_BYTES
    return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
#endif
}

// The order of the settings: runs of 1..5 frames, each setting other than the one before; the
// first runs visit every setting once, so that the warm-up has seen them all.
std::vector<int> setting_of_frame(std::mt19937& rng)
{
    std::vector<int> first(kSettings);
    for (int s = 0; s < kSettings; ++s) first[s] = s;
    std::shuffle(first.begin(), first.end(), rng);
    std::vector<int> order;
    int previous = -1;
    for (std::size_t run = 0; static_cast<int>(order.size()) < kFrames; ++run) {
        int s = run < first.size() ? first[run] : std::uniform_int_distribution<int>(0, kSettings - 2)(rng);
        if (run >= first.size() && s >= previous) ++s;
        order.insert(order.end(), std::uniform_int_distribution<int>(1, 5)(rng), s);
        previous = s;
    }
    order.resize(kFrames);
    return order;
}

TEST(Soak, ChangingControlsOverThousandsOfFramesMatchFreshRunsInFlatMemory)
{
    // A reader that stops early must not end the process with the writer's broken pipe.
    std::signal(SIGPIPE, SIG_IGN);
    PluginHost host(VANTREO_PLUGIN_PATH, kBuffer);
    Labels labels;
    for (const TrackBar& bar : host.track_bars()) labels.tracks.push_back(bar.label);
    for (const CheckBox& box : host.check_boxes()) labels.buttons.push_back(box.label);
    ASSERT_EQ(labels.tracks.size(), std::size_t{kTrackCount});
    ASSERT_EQ(labels.buttons.size(), std::size_t{kCheckCount});

    std::mt19937 rng(20240607);
    const std::vector<Setting> settings = make_settings(rng);
    const std::vector<int> order = setting_of_frame(rng);

    // The stream's pictures: random 8-bit 4:2:0 planes, and what they decode to.
    const Y4mFormat format = default_y4m_format(kWidth, kHeight);
    std::vector<std::vector<unsigned char>> planes(kPictures, std::vector<unsigned char>(format.frame_bytes()));
    std::vector<Picture> pictures(kPictures);
    for (int k = 0; k < kPictures; ++k) {
        for (unsigned char& byte : planes[k]) byte = static_cast<unsigned char>(rng());
        decode_y4m_frame(format, planes[k].data(), pictures[k]);
    }

    // reference[s][k]: picture k with setting s, each from a process of its own.
    std::vector<std::vector<std::vector<unsigned char>>> reference(kSettings);
    for (int s = 0; s < kSettings; ++s)
        for (int k = 0; k < kPictures; ++k) reference[s].push_back(tool_frame(settings[s], labels, pictures[k]));
    ASSERT_FALSE(HasFailure());

    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    std::thread writer([&] {
        auto put = [&](const void* data, std::size_t size) {
            for (const char* p = static_cast<const char*>(data); size > 0;) {
                const ssize_t n = write(pipe_ends[1], p, size);
                if (n <= 0) return false;
                p += n;
                size -= static_cast<std::size_t>(n);
            }
            return true;
        };
        const std::string header = format.header(kWidth, kHeight);
        bool open = put(header.data(), header.size());
        for (int i = 0; open && i < kFrames; ++i)
            open = put("FRAME\n", 6) && put(planes[i % kPictures].data(), planes[i % kPictures].size());
        close(pipe_ends[1]);
    });
    // Declared after the writer, so that the stream is closed first and the writer stops.
    struct Join {
        std::thread& thread;
        ~Join() { thread.join(); }
    } join{writer};
    std::unique_ptr<FrameSource> source;
    try {
        source = open_y4m_source("/dev/fd/" + std::to_string(pipe_ends[0]));
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
    }
    close(pipe_ends[0]);  // the source has its own descriptor of the pipe
    if (!source) return;

    host.init();
    Picture input;
    std::vector<unsigned char> original;
    int frames = 0, wrong = 0;
    long warm = 0;
    for (; frames < kFrames && source->next(input, original); ++frames) {
        if (frames == kWarmUpFrames) warm = memory_in_use();
        const int s = order[frames], k = frames % kPictures;
        if (frames == 0 || s != order[frames - 1]) settings[s].apply(host, labels);
        ASSERT_TRUE(pixel_bytes(input) == pixel_bytes(pictures[k])) << "frame " << frames << " arrived changed";
        const Picture output = host.process(input, frames, kFrames);
        if (pixel_bytes(output) != reference[s][k] && ++wrong <= 5)
            ADD_FAILURE() << "frame " << frames << " (" << output.w << "x" << output.h << ", picture " << k
                          << ") differs from a fresh run of " << settings[s].describe(labels);
    }
    const long end = memory_in_use();
    EXPECT_EQ(frames, kFrames);
    EXPECT_EQ(wrong, 0) << wrong << " frames differ from fresh runs";
    EXPECT_LE(end - warm, kMemoryMarginBytes) << "memory in use grew from " << warm << " to " << end
                                              << " bytes after the warm-up";
    std::printf("%d frames, %d settings; memory in use %ld bytes after %d frames, %ld at the end\n", frames,
                kSettings, warm, kWarmUpFrames, end);
}

}  // namespace
