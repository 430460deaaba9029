#include "effects/radial_blur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr int W = 320, H = 200;

using Frame = std::vector<std::uint32_t>;

Frame random_frame(std::mt19937& rng, int width = W, int height = H) {
  Frame f(std::size_t(width) * height);
  for (auto& p : f) p = rng();  // top bytes too: the average is defined for any word
  return f;
}

std::uint32_t average(std::uint32_t a, std::uint32_t b) {
  return ((a >> 1) & 0x7F7F7F7Fu) + ((b >> 1) & 0x7F7F7F7Fu);
}

// The per-pixel rule written plainly: a multiplication per pixel, quadrants as nested loops,
// sources clamped to the frame (which never bites for 0 <= s <= 65536).
void reference_blur(Frame& f, int width, int height, std::int64_t s) {
  auto pixel = [&](int x, int y) {
    std::int64_t sx = x - (((x - 160) * s) >> 16), sy = y - (((y - 100) * s) >> 16);
    sx = std::clamp<std::int64_t>(sx, 0, width - 1);
    sy = std::clamp<std::int64_t>(sy, 0, height - 1);
    f[std::size_t(y) * width + x] = average(f[std::size_t(sy) * width + sx], f[std::size_t(y) * width + x]);
  };
  for (int y = 100; y >= 1; --y)
    for (int x = 160; x >= 1; --x) pixel(x, y);
  for (int y = 100; y >= 1; --y)
    for (int x = 161; x < width; ++x) pixel(x, y);
  for (int y = 101; y < height; ++y)
    for (int x = 160; x >= 0; --x) pixel(x, y);
  for (int y = 101; y < height; ++y)
    for (int x = 161; x < width; ++x) pixel(x, y);
}

std::uint32_t at(const Frame& f, int x, int y) { return f[std::size_t(y) * W + x]; }

// True when the blurred pixel (x, y) is the average of (sx, sy)'s final value and its own old
// value, and of none of the four neighbours of (sx, sy).
bool source_is(const Frame& before, const Frame& after, int x, int y, int sx, int sy) {
  auto from = [&](int ax, int ay) { return at(after, x, y) == average(at(after, ax, ay), at(before, x, y)); };
  return from(sx, sy) && !from(sx - 1, sy) && !from(sx + 1, sy) && !from(sx, sy - 1) && !from(sx, sy + 1);
}

bool processed(int x, int y) { return y >= 1 && (x >= 1 || y > 100); }

}  // namespace

TEST(RadialBlur, Strength32768Pixel0x199ReadsFrom80x150) {
  std::mt19937 rng(1);
  Frame before = random_frame(rng), after = before;
  radial_blur(after, W, H, 32768.0);
  EXPECT_TRUE(source_is(before, after, 0, 199, 80, 150));
}

TEST(RadialBlur, Strength1000RoundsAwayFromCentreOnTheLeftAndToItselfOnTheRight) {
  std::mt19937 rng(2);
  Frame before = random_frame(rng), after = before;
  radial_blur(after, W, H, 1000.0);
  EXPECT_TRUE(source_is(before, after, 159, 100, 160, 100));
  EXPECT_EQ(at(after, 161, 100), at(before, 161, 100) & 0xFEFEFEFEu);
  EXPECT_EQ(at(after, 160, 100), at(before, 160, 100) & 0xFEFEFEFEu);
}

TEST(RadialBlur, Strength65536TakesEverySourceFromTheUpdatedCentre) {
  std::mt19937 rng(3);
  Frame before = random_frame(rng), after = before;
  radial_blur(after, W, H, 65536.0);
  const std::uint32_t centre = at(after, 160, 100);
  EXPECT_EQ(centre, at(before, 160, 100) & 0xFEFEFEFEu);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::uint32_t expected = processed(x, y) ? average(centre, at(before, x, y)) : at(before, x, y);
      ASSERT_EQ(at(after, x, y), expected) << x << "," << y;
    }
}

TEST(RadialBlur, Strength0ClearsLowestBitsOfProcessedPixelsOnly) {
  std::mt19937 rng(4);
  Frame before = random_frame(rng), after = before;
  radial_blur(after, W, H, 0.0);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::uint32_t expected = processed(x, y) ? at(before, x, y) & 0xFEFEFEFEu : at(before, x, y);
      ASSERT_EQ(at(after, x, y), expected) << x << "," << y;
    }
}

TEST(RadialBlur, StrengthIsTruncatedTowardZero) {
  std::mt19937 rng(5);
  const Frame before = random_frame(rng);
  for (double strength : {1.9, -1.9, 2047.99, -70000.5}) {
    Frame truncated = before, whole = before;
    radial_blur(truncated, W, H, strength);
    radial_blur(whole, W, H, std::trunc(strength));
    EXPECT_EQ(truncated, whole) << strength;
  }
}

TEST(RadialBlur, MatchesPerPixelRuleOnRandomFramesStrengthsAndSizes) {
  std::mt19937 rng(6);
  std::uniform_int_distribution<int> strength(0, 65536);
  const int sizes[][2] = {{W, H}, {161, 101}, {162, 102}, {400, 300}, {1000, 120}};
  for (int round = 0; round < 40; ++round) {
    const int s = round == 0 ? 65536 : round == 1 ? 1 : strength(rng);
    const int width = sizes[round % 5][0], height = sizes[round % 5][1];
    Frame fast = random_frame(rng, width, height), plain = fast;
    radial_blur(fast, width, height, s + 0.5);
    reference_blur(plain, width, height, s);
    ASSERT_EQ(fast, plain) << width << "x" << height << " s = " << s;
  }
}

// Run under the sanitizer build: the frames are exactly width x height, so any source outside
// them is reported. The result must also be the rule with sources clamped to the frame.
TEST(RadialBlur, OutOfRangeStrengthsKeepSourcesInsideTheFrame) {
  std::mt19937 rng(8);
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const double strengths[] = {-1.0, -30000.0, -65536.0, -1e6, -2147483648.0, -1e300, -inf, 65537.0,
                              100000.0, 131072.0, 140000.0, 1e7, 2147483647.0, 1e300, inf, nan};
  for (double strength : strengths) {
    // Beyond int32 the strength saturates; NaN acts as 0.
    const std::int64_t s = std::isnan(strength) ? 0 : std::int64_t(std::clamp(strength, -2147483648.0, 2147483647.0));
    for (int width : {W, 161}) {
      const int height = width == W ? H : 101;
      Frame fast = random_frame(rng, width, height), plain = fast;
      radial_blur(fast, width, height, strength);
      reference_blur(plain, width, height, s);
      ASSERT_EQ(fast, plain) << "strength " << strength << " width " << width;
    }
  }
}

TEST(RadialBlur, FrameWithoutCentreOrTooFewPixelsIsLeftAlone) {
  std::mt19937 rng(10);
  const Frame before = random_frame(rng);
  Frame f = before;
  radial_blur(std::span(f).first(W * H - 1), W, H, 30000.0);
  radial_blur(std::span(f).first(160 * 200), 160, 200, 30000.0);
  radial_blur(std::span(f).first(320 * 100), 320, 100, 30000.0);
  EXPECT_EQ(f, before);
}
