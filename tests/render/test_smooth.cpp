#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/smooth.h"

namespace {

using Frame = std::vector<std::uint32_t>;

constexpr int row = smooth_row_length;

void expect_both_give(const Frame& input, const Frame& expected) {
  Frame packed = input, reference = input;
  smooth_frame(packed);
  smooth_frame_reference(reference);
  EXPECT_EQ(reference, expected);
  EXPECT_EQ(packed, expected);
}

TEST(SmoothFrame, UniformFrameIsUnchanged) {
  for (std::uint32_t colour : {0x00000000u, 0x00FFFFFFu, 0x00804020u, 0xFF123456u, 0xFFFFFFFFu}) {
    const Frame frame(smooth_frame_pixels, colour);
    expect_both_give(frame, frame);
  }
}

// One blue 200 at (6, 6) spreads down and to the right: each pixel's left and up-left samples
// are already smoothed values. Worked by hand, e.g. (6, 6) = (L 50 + R 0 + UL 50 + DR 0) >> 2 = 25.
TEST(SmoothFrame, OneBluePixelSpreadsAsWorkedByHand) {
  Frame input(smooth_frame_pixels, 0);
  input[6 * row + 6] = 0xAB0000C8u;  // blue 200; the top byte must survive
  Frame expected(smooth_frame_pixels, 0);
  const struct {
    int x, y;
    std::uint32_t value;
  } smoothed[] = {
      {5, 5, 50}, {6, 5, 12}, {7, 5, 3},                          // DR, then L, of the 200
      {5, 6, 50}, {6, 6, 0xAB000000u | 25}, {7, 6, 9}, {8, 6, 3},  // R, then L and UL
      {6, 7, 12}, {7, 7, 9}, {8, 7, 4}, {9, 7, 1},                 // UL and L only from here
      {7, 8, 3}, {8, 8, 3}, {9, 8, 1},
  };
  for (const auto& s : smoothed) expected[s.y * row + s.x] = s.value;
  expect_both_give(input, expected);
}

// Full-range bytes, then frames of only 0 and 255 bytes, which reach the largest lane sums.
// Pixels outside 321 .. 63678 and all top bytes must come out as they went in.
TEST(SmoothFrame, PackedMatchesReferenceOnRandomFramesAndKeepsBordersAndTopBytes) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    Frame input(smooth_frame_pixels);
    for (auto& pixel : input) pixel = seed > 10 ? (rng() & 0x01010101u) * 0xFFu : rng();
    Frame packed = input, reference = input;
    smooth_frame(packed);
    smooth_frame_reference(reference);
    ASSERT_EQ(packed, reference) << "seed " << seed;
    for (std::size_t k = 0; k < input.size(); ++k) {
      ASSERT_EQ(packed[k] >> 24, input[k] >> 24) << k;
      ASSERT_TRUE((k >= 321 && k <= 63678) || packed[k] == input[k]) << k;
    }
  }
}

TEST(SmoothFrame, FrameTooSmallIsLeftAlone) {
  Frame frame(smooth_frame_pixels - 1, 0);
  frame[1000] = 0x00FFFFFF;
  const Frame input = frame;
  smooth_frame(frame);
  EXPECT_EQ(frame, input);
}

}  // namespace
