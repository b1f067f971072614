#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "cpu/point_sampler.h"
#include "tests/support/frames.h"

namespace {

// The source index that output index `j` samples along an axis of `src` pixels resized to `dst`:
// the single-precision ratio, the exact product plus one half, truncated, held inside the picture.
std::int32_t sampled_index(std::int32_t j, std::int32_t src, std::int32_t dst)
{
    const float ratio = static_cast<float>(static_cast<double>(src) / dst);
    return std::min(static_cast<std::int32_t>(j * static_cast<double>(ratio) + 0.5), src - 1);
}

struct Layout {
    std::int32_t src_w, src_h, dst_w, dst_h;
    std::int32_t clip_left, clip_top;
    std::int32_t clip_right, clip_bottom;  // frame columns and rows past the clipped picture
    std::int32_t stride_extra;             // stride beyond the wider of the source frame and the output
    std::int32_t dst_extra_rows;           // rows of the output frame below the output picture
};

// Samples a source frame whose every pixel names its place (column, row, a mix of both) into a
// guarded output frame, and compares every pixel of that frame, guards included, with the rule's
// picture: the output pixels from the rule, everything else untouched. The source frame is sized
// exactly, so that AddressSanitizer sees a read past its end.
::testing::AssertionResult samples_like_the_rule(const Layout& c)
{
    const std::int32_t frame_w = c.clip_left + c.src_w + c.clip_right;
    const std::int32_t frame_h = c.clip_top + c.src_h + c.clip_bottom;
    const std::int32_t stride = std::max(frame_w, c.dst_w) + c.stride_extra;
    std::vector<PIXEL_YC> src(static_cast<std::size_t>(stride) * frame_h);
    for (std::int32_t row = 0; row < frame_h; ++row)
        for (std::int32_t col = 0; col < stride; ++col)
            src[static_cast<std::size_t>(row) * stride + col] =
                PIXEL_YC{static_cast<std::int16_t>(col), static_cast<std::int16_t>(row),
                         static_cast<std::int16_t>((row * 131 + col * 71) & 0x7fff)};

    ResizeRequest r{c.src_w, c.src_h, c.dst_w, c.dst_h, stride, c.clip_left, c.clip_top,
                    ResizeMethod::point_sample, 32, 1, 0, PixelLayout::editor_frame};
    ResamplePlan plan{};
    build_plan(r, plan);
    GuardedFrame dst(stride, c.dst_h + c.dst_extra_rows), expected = dst;
    point_sample_frame(plan, src.data(), dst.pixels());

    for (std::int32_t y = 0; y < c.dst_h; ++y)
        for (std::int32_t x = 0; x < c.dst_w; ++x)
            expected.at(y, x) = src[static_cast<std::size_t>(sampled_index(y, c.src_h, c.dst_h) + c.clip_top) * stride +
                                    sampled_index(x, c.src_w, c.dst_w) + c.clip_left];
    const long at = first_difference(dst, expected);
    if (at < 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << c.src_w << "x" << c.src_h << " to " << c.dst_w << "x" << c.dst_h
                                         << ", clip " << c.clip_left << "," << c.clip_top << ", stride " << stride
                                         << ": first difference at buffer pixel " << at;
}

// Enlarging and reducing, one-row and one-column pictures on either side, crops, strides above the
// width, and pictures that end the source or output frame. The last fixed case enlarges a picture that
// ends its frame 6 bytes into an 8-byte granule, where AddressSanitizer sees a read of even two bytes
// past the end.
TEST(PointSampler, MatchesThePerPixelRuleAndWritesOnlyTheOutput)
{
    const Layout fixed[] = {
        {1, 1, 1, 1, 0, 0, 0, 0, 0, 0},       {1, 1, 1600, 3, 0, 0, 0, 0, 0, 0},
        {1600, 1, 1, 1600, 0, 0, 0, 0, 0, 0}, {1600, 1600, 1, 1, 5, 9, 0, 0, 0, 0},
        {7, 5, 10, 6, 0, 0, 0, 0, 0, 0},      {3, 2, 6, 9, 1, 1, 0, 0, 3, 2},
        {64, 48, 63, 47, 2, 3, 1, 1, 0, 0},   {1280, 720, 1600, 1200, 160, 240, 160, 240, 0, 0},
        {10, 3, 900, 7, 1001, 0, 0, 0, 0, 0},
    };
    for (const Layout& c : fixed) EXPECT_TRUE(samples_like_the_rule(c));

    std::mt19937 rng(20240611);
    auto side = [&rng] {
        const int kind = std::uniform_int_distribution<int>(0, 7)(rng);
        if (kind == 0) return 1;
        if (kind == 1) return std::uniform_int_distribution<int>(2, 8)(rng);
        return std::uniform_int_distribution<int>(1, 1600)(rng);
    };
    auto margin = [&rng](int most) {
        return std::uniform_int_distribution<int>(0, 1)(rng) ? 0 : std::uniform_int_distribution<int>(1, most)(rng);
    };
    for (int i = 0; i < 120; ++i) {
        const Layout c{side(),      side(),      side(),    side(),     margin(100),
                       margin(100), margin(9),   margin(9), margin(40), margin(3)};
        ASSERT_TRUE(samples_like_the_rule(c)) << "case " << i;
    }
}

}  // namespace
