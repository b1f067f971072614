// The record's ranges follow a source limit raised and the filter methods offered by the settings,
// which the process's first registration reads once, and the frame callback takes what they allow.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "cpu/cpu_level.h"
#include "plugin/registration.h"
#include "tests/support/environment.h"
#include "tests/support/frames.h"

TEST(Registration, ALimitRaisedAtRegistrationHoldsForEveryFrame)
{
    EXPECT_EQ(track_maximum_for(PluginSettings{kDefaultMaxSourceSide}), kTrackMaximum);  // "Height" stays 1200
    EXPECT_EQ(kTrackMaximum[kTrackMethod], 1);  // the editor's two methods unless the setting says otherwise
    set_env(kMaxSourceSideVariable, "3840");
    set_env(kExtendedMethodsVariable, "1");
    set_env(kCpuLevelVariable, "sse4");
    testing::internal::CaptureStderr();
    FILTER_DLL* table = filter_registration();
    filter_registration();  // reads nothing again, says nothing again
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Vantreo: VANTREO_CPU_LEVEL must be scalar, sse2, avx2 or avx512, not 'sse4'; using " +
                  std::string(cpu_level_name(best_cpu_level())) + "\n");
    set_env(kCpuLevelVariable, nullptr);
    set_env(kMaxSourceSideVariable, nullptr);  // start-up keeps what registration read
    set_env(kExtendedMethodsVariable, nullptr);
    ASSERT_EQ(table->func_init(nullptr), 1);
    EXPECT_EQ(std::pair(table->track_e[kTrackWidth], table->track_e[kTrackHeight]), std::pair(3840, 3840));
    EXPECT_EQ(table->track_e[kTrackMethod], 3);

    GuardedFrame edit = random_frame(2560, 1440, 5), temp(2560, 1440);
    Controls controls;
    const auto run = [&](std::int32_t w, std::int32_t h) {
        controls.other_size(w, h);
        FILTER fp = controls.filter();
        FILTER_PROC_INFO info = proc_info(edit, temp, 1920, 1080);
        table->func_proc(&fp, &info);
        return std::pair(info.w, info.h);
    };
    EXPECT_EQ(run(3841, 1440), std::pair(1920, 1080));  // above the maximum: passed through
    EXPECT_EQ(run(3840, 3840), std::pair(2560, 1440));  // bounded by the buffer
    EXPECT_EQ(run(2560, 1440), std::pair(2560, 1440));  // 1080p to 1440p by point sampling
    EXPECT_TRUE(same_pixel(temp.at(1439, 2559), edit.at(1079, 1919)) && temp.guards_intact());
    controls.track[kTrackMethod] = 3;  // Lanczos-3 enlarges up to the buffer too
    EXPECT_EQ(run(2560, 1440), std::pair(2560, 1440));
}
