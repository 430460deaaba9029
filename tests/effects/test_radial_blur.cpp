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
  // The quadrants in turn, each walked away from the centre: rows 1 .. 100 left and right of it,
  // then rows 101 .. height - 1 (where column 0 is processed too).
  for (int y = 100; y >= 1; --y) for (int x = 160; x >= 1; --x) pixel(x, y);
  for (int y = 100; y >= 1; --y) for (int x = 161; x < width; ++x) pixel(x, y);
  for (int y = 101; y < height; ++y) for (int x = 160; x >= 0; --x) pixel(x, y);
  for (int y = 101; y < height; ++y) for (int x = 161; x < width; ++x) pixel(x, y);
}

// A random 320 x 200 frame before and after one blur.
struct Blurred {
  Frame before, after;
  explicit Blurred(double strength) {
    std::mt19937 rng(1);
    before = after = random_frame(rng);
    radial_blur(after, W, H, strength);
  }
  std::uint32_t old_at(int x, int y) const { return before[std::size_t(y) * W + x]; }
  std::uint32_t at(int x, int y) const { return after[std::size_t(y) * W + x]; }
  // (x, y) became the average of (sx, sy)'s final value and its own old value, and of none of
  // the four neighbours of (sx, sy).
  bool source_is(int x, int y, int sx, int sy) const {
    auto from = [&](int ax, int ay) { return at(x, y) == average(at(ax, ay), old_at(x, y)); };
    return from(sx, sy) && !from(sx - 1, sy) && !from(sx + 1, sy) && !from(sx, sy - 1) && !from(sx, sy + 1);
  }
};

}  // namespace

TEST(RadialBlur, Strength32768Pixel0x199ReadsFrom80x150) {
  EXPECT_TRUE(Blurred(32768.0).source_is(0, 199, 80, 150));
}

TEST(RadialBlur, Strength1000RoundsAwayFromCentreOnTheLeftAndToItselfOnTheRight) {
  const Blurred b(1000.0);
  EXPECT_TRUE(b.source_is(159, 100, 160, 100));
  EXPECT_EQ(b.at(161, 100), b.old_at(161, 100) & 0xFEFEFEFEu);
  EXPECT_EQ(b.at(160, 100), b.old_at(160, 100) & 0xFEFEFEFEu);
}

// Row 0 and column 0 above the centre row are never processed.
TEST(RadialBlur, Strength65536TakesEverySourceFromTheUpdatedCentre) {
  const Blurred b(65536.0);
  const std::uint32_t centre = b.at(160, 100);
  EXPECT_EQ(centre, b.old_at(160, 100) & 0xFEFEFEFEu);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const bool processed = y >= 1 && (x >= 1 || y > 100);
      ASSERT_EQ(b.at(x, y), processed ? average(centre, b.old_at(x, y)) : b.old_at(x, y)) << x << "," << y;
    }
}

// In 0 .. 65536 every source lies between pixel and centre; outside it sources are clamped to
// the frame, and the sanitizer build sees any read beyond it (frames are exactly width x height).
// Strengths are cut toward zero, saturate beyond int32, and NaN acts as 0.
TEST(RadialBlur, MatchesPerPixelRuleForAnyStrengthAndSize) {
  std::mt19937 rng(6);
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> strengths = {0, 1, 65536, 1.9, -1.9, 2047.99, -70000.5, -1.0, -30000.0, -65536.0, -1e6,
                                   -2147483648.0, -1e300, -inf, 65537.0, 100000.0, 131072.0, 140000.0, 1e7,
                                   2147483647.0, 1e300, inf, nan};
  std::uniform_int_distribution<int> in_range(0, 65536);
  for (int i = 0; i < 12; ++i) strengths.push_back(in_range(rng) + 0.5);
  const int sizes[][2] = {{W, H}, {161, 101}, {162, 102}, {400, 300}, {1000, 120}};
  for (double strength : strengths) {
    const std::int64_t s = std::isnan(strength) ? 0 : std::int64_t(std::clamp(strength, -2147483648.0, 2147483647.0));
    for (const auto& [width, height] : sizes) {
      Frame fast = random_frame(rng, width, height), plain = fast;
      radial_blur(fast, width, height, strength);
      reference_blur(plain, width, height, s);
      ASSERT_EQ(fast, plain) << width << "x" << height << " strength " << strength;
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
