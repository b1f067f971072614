// Tests run once per CPU row worker level; a level this CPU lacks is skipped.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "abi/filter_records.h"
#include "cpu/plan_rows.h"

// Names a level in test messages.
inline void PrintTo(CpuLevel level, std::ostream* out) { *out << cpu_level_name(level); }

class EachCpuLevel : public ::testing::TestWithParam<CpuLevel> {
protected:
    void SetUp() override
    {
        if (GetParam() > best_cpu_level())
            GTEST_SKIP() << cpu_level_name(GetParam()) << " is not available on this CPU";
    }
    // Runs the rows at the level under test, failing the test when another level ran.
    void run_rows(const ResamplePlan& plan, std::int32_t first_row, std::int32_t row_count, const PIXEL_YC* src,
                  PIXEL_YC* dst) const
    {
        EXPECT_EQ(run_plan_rows(GetParam(), plan, first_row, row_count, src, dst), GetParam());
    }
};

inline std::string cpu_level_test_name(const ::testing::TestParamInfo<CpuLevel>& info)
{
    return cpu_level_name(info.param);
}

inline auto every_cpu_level()
{
    return ::testing::Values(CpuLevel::scalar, CpuLevel::sse2, CpuLevel::avx2, CpuLevel::avx512);
}
