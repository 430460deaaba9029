#include "effects/grid_warp.h"
#include "effects/radial_blur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "pixel_paths.h"

namespace {

constexpr int W = frame_width;
constexpr int H = frame_height;

using Frame = std::vector<std::uint32_t>;

Frame random_frame(std::uint32_t seed, int width = W, int height = H) {
  std::mt19937 rng(seed);
  Frame f(std::size_t(width) * height);
  for (auto& p : f) p = rng();  // top bytes too: the average is defined for any word
  return f;
}

std::uint32_t average(std::uint32_t a, std::uint32_t b) { return ((a >> 1) & 0x7F7F7F7Fu) + ((b >> 1) & 0x7F7F7F7Fu); }

// The per-pixel rule written plainly: a multiplication per pixel, quadrants as nested loops,
// sources clamped to the frame (which never bites for 0 <= s <= 65536).
void reference_blur(Frame& f, int width, int height, std::int64_t s) {
  auto pixel = [&](int x, int y) {
    const std::int64_t sx = std::clamp<std::int64_t>(x - (((x - 160) * s) >> 16), 0, width - 1);
    const std::int64_t sy = std::clamp<std::int64_t>(y - (((y - 100) * s) >> 16), 0, height - 1);
    f[std::size_t(y) * width + x] = average(f[std::size_t(sy) * width + sx], f[std::size_t(y) * width + x]);
  };
  // The quadrants in turn, each walked away from the centre: rows 1 .. 100 left and right of it,
  // then rows 101 .. height - 1 (where column 0 is processed too).
  for (int y = 100; y >= 1; --y) for (int x = 160; x >= 1; --x) pixel(x, y);
  for (int y = 100; y >= 1; --y) for (int x = 161; x < width; ++x) pixel(x, y);
  for (int y = 101; y < height; ++y) for (int x = 160; x >= 0; --x) pixel(x, y);
  for (int y = 101; y < height; ++y) for (int x = 161; x < width; ++x) pixel(x, y);
}

// Frames start as a pattern the renderer never writes (its top byte is 0), so a pixel left out shows.
Frame render(const Frame& texture, int path) {
  Frame frame(W * H, 0xA5A5A5A5u);
  grid_warp_render_on(path, frame, texture);
  return frame;
}

Frame render_plain(const Frame& texture) {
  Frame frame(W * H, 0xA5A5A5A5u);
  grid_warp_render_plain(frame, texture);
  return frame;
}

// Every pixel from the closed bilinear formula: the four corner values weighted in 1/64 texel,
// summed in wrapping 32 bits and shifted arithmetically, with no increments.
Frame direct_render(const Frame& texture) {
  Frame frame(W * H);
  const auto& g = warp_grid().points;
  for (int y = 0; y < frame_height; ++y)
    for (int x = 0; x < frame_width; ++x) {
      const int r = y / 8, c = x / 8, i = y % 8, j = x % 8;
      auto sum = [&](std::int32_t WarpPoint::*f) {  // corner (r + dr, c + dc) weighs (i or 8 - i) x (j or 8 - j)
        std::uint32_t s = 0;
        for (int dr = 0; dr < 2; ++dr)
          for (int dc = 0; dc < 2; ++dc) s += std::uint32_t((dr ? i : 8 - i) * (dc ? j : 8 - j)) * std::uint32_t(g[r + dr][c + dc].*f);
        return std::int32_t(s) >> 6;
      };
      const std::int64_t u = sum(&WarpPoint::u), v = sum(&WarpPoint::v), light = sum(&WarpPoint::brightness);
      const std::uint32_t texel = texture[(u + 256 * v) & 0xFFFF];
      std::uint32_t& out = frame[std::size_t(y) * W + x] = 0;
      for (int s = 0; s <= 16; s += 8) out |= std::uint32_t(std::clamp<std::int64_t>(((texel >> s) & 0xFF) + light, 0, 255)) << s;
    }
  return frame;
}

}  // namespace

// In 0 .. 65536 every source lies between pixel and centre; outside it sources are clamped to
// the frame, and the sanitizer build sees any read beyond it (frames are exactly width x height).
// Strengths are cut toward zero, saturate beyond int32, and NaN acts as 0. A frame without the
// centre (160, 100), or with fewer than width x height pixels, is left alone.
TEST(RadialBlur, MatchesPerPixelRuleForAnyStrengthAndSize) {
  std::mt19937 rng(6);
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> strengths = {0, 1, 65536, 1.9, -1.9, 2047.99, -70000.5, -1.0, -30000.0, -65536.0, -1e6,
                                   -2147483648.0, -1e300, -inf, 65537.0, 100000.0, 131072.0, 140000.0, 1e7,
                                   2147483647.0, 1e300, inf, nan};
  for (int i = 0; i < 12; ++i) strengths.push_back(double(rng() % 65537) + 0.5);
  const int sizes[][2] = {{W, H}, {161, 101}, {162, 102}, {400, 300}, {1000, 120}};
  for (double strength : strengths) {
    const std::int64_t s = std::isnan(strength) ? 0 : std::int64_t(std::clamp(strength, -2147483648.0, 2147483647.0));
    for (const auto& [width, height] : sizes) {
      Frame fast = random_frame(rng(), width, height);
      Frame plain = fast;
      radial_blur(fast, width, height, strength);
      reference_blur(plain, width, height, s);
      ASSERT_EQ(fast, plain) << width << "x" << height << " strength " << strength;
    }
  }
  const Frame before = random_frame(rng());
  Frame f = before;
  for (auto [pixels, width, height] : {std::tuple{W * H - 1, W, H}, {160 * 200, 160, 200}, {320 * 100, 320, 100}})
    radial_blur(std::span(f).first(std::size_t(pixels)), width, height, 30000.0);
  EXPECT_EQ(f, before);
}

// A uniform grid gives every pixel the same value. Texel n of `numbered` is n. A frame or a
// texture one pixel short is left alone.
TEST(GridWarpRender, UniformGridTexelIndexWrapsChannelsClampAndTooSmallIsLeftAlone) {
  Frame numbered(warp_texture_texels);
  std::iota(numbered.begin(), numbered.end(), 0u);
  const struct { WarpPoint point; std::uint32_t texture_fill, expected; } cases[] = {  // fill 0: the numbered texture
      {{300, 10, 0}, 0, 2860},                  // U = 300 x 64, V = 10 x 64: column 44 of row 11
      {{-1, 0, 0}, 0, 65535},                   // column -1 of row 0 is the last texel (the index wraps)
      {{0, 0, 200}, 0x00645010, 0x00FFFFD8},    // red 100 + 200 clamps to 255
      {{0, 0, -100}, 0x00C86432, 0x00640000},   // darkens down to 0
      {{0, 0, 0}, 0xFF123456, 0x00123456},      // the top byte is cleared
  };
  for (const auto& c : cases) {
    for (auto& row : warp_grid().points) std::fill(std::begin(row), std::end(row), c.point);
    const Frame texture = c.texture_fill ? Frame(warp_texture_texels, c.texture_fill) : numbered;
    for (int path : supported_pixel_paths()) {
      const Frame frame = render(texture, path);
      EXPECT_EQ(std::count(frame.begin(), frame.end(), c.expected), W * H)
          << pixel_path_name(path) << ": " << c.point.u << ", " << c.point.v << ", " << c.point.brightness;
    }
  }
  Frame frame(W * H, 7u);
  Frame short_frame(W * H - 1, 7u);
  const std::span<const std::uint32_t> short_texture = std::span(numbered).first(warp_texture_texels - 1);
  grid_warp_render_plain(frame, short_texture);
  for (int path : supported_pixel_paths()) {
    grid_warp_render_on(path, frame, short_texture);
    grid_warp_render_on(path, short_frame, numbered);
  }
  EXPECT_EQ(frame, Frame(W * H, 7u));
  EXPECT_EQ(short_frame, Frame(W * H - 1, 7u));
}

// Every path against the closed formula: random grids of small values (as the grid functions
// give) and of full 32-bit values (the sums wrap), then plasma and flower grids at several times.
TEST(GridWarpRender, BothPathsMatchBilinearFormula) {
  std::mt19937 rng(2);
  constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min(), highest = std::numeric_limits<std::int32_t>::max();
  const std::int32_t ranges[][2] = {{-400, 800}, {-3000, 3000}, {lowest, highest}};
  const double times[] = {0.0, 0.37, 12.5, -4.0, 1000.25};
  for (int round = 0; round < 22; ++round) {
    std::uniform_int_distribution<std::int32_t> value(ranges[round % 3][0], ranges[round % 3][1]), brightness(-300, 600);
    for (auto& row : warp_grid().points)
      for (auto& p : row) p = {value(rng), value(rng), round % 3 == 2 ? value(rng) : brightness(rng)};
    if (round >= 12) (round % 2 ? grid_flower : grid_plasma)(times[(round - 12) / 2]);  // over the random grid
    const Frame texture = random_frame(rng(), 256, 256);  // top bytes set: the output must clear them
    const Frame expected = direct_render(texture);
    ASSERT_EQ(render_plain(texture), expected) << "plain, round " << round;
    for (int path : supported_pixel_paths()) ASSERT_EQ(render(texture, path), expected) << pixel_path_name(path) << ", round " << round;
  }
}
