#include "effects/grid_warp.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Pixels = std::vector<std::uint32_t>;

constexpr std::size_t frame_pixels = std::size_t(warp_frame_width) * warp_frame_height;

using PointValues = std::array<std::int32_t, 3>;  // u, v, brightness
PointValues point_values(const WarpPoint& p) { return {p.u, p.v, p.brightness}; }

void set_grid(const WarpPoint& p) {
  for (auto& row : warp_grid().points) std::fill(std::begin(row), std::end(row), p);
}

// Pixels start as a pattern the renderer never writes (its top byte is 0), so a pixel left out shows.
Pixels render(const Pixels& texture, bool plain = false) {
  Pixels frame(frame_pixels, 0xA5A5A5A5u);
  plain ? grid_warp_render_plain(frame, texture) : grid_warp_render(frame, texture);
  return frame;
}

// Every pixel from the closed bilinear formula: the four corner values weighted in 1/64 texel,
// summed in wrapping 32 bits and shifted arithmetically, with no increments.
Pixels direct_render(const Pixels& texture) {
  Pixels frame(frame_pixels);
  const auto& g = warp_grid().points;
  for (int y = 0; y < warp_frame_height; ++y)
    for (int x = 0; x < warp_frame_width; ++x) {
      const int r = y / 8, c = x / 8, i = y % 8, j = x % 8;
      auto sum = [&](std::int32_t WarpPoint::*f) {
        return std::int32_t(std::uint32_t((8 - i) * (8 - j)) * std::uint32_t(g[r][c].*f) +
                            std::uint32_t((8 - i) * j) * std::uint32_t(g[r][c + 1].*f) +
                            std::uint32_t(i * (8 - j)) * std::uint32_t(g[r + 1][c].*f) +
                            std::uint32_t(i * j) * std::uint32_t(g[r + 1][c + 1].*f)) >> 6;
      };
      const std::uint32_t texel = texture[(std::int64_t(sum(&WarpPoint::u)) + 256 * std::int64_t(sum(&WarpPoint::v))) & 0xFFFF];
      std::uint32_t& out = frame[std::size_t(y) * warp_frame_width + x] = 0;
      for (int shift = 0; shift <= 16; shift += 8)
        out |= std::uint32_t(std::clamp<std::int64_t>(((texel >> shift) & 0xFF) + std::int64_t(sum(&WarpPoint::brightness)), 0, 255))
               << shift;
    }
  return frame;
}

}  // namespace

TEST(GridFunctions, PlasmaAndFlowerPointsAtTimeZero) {
  const auto& p = warp_grid().points;
  grid_plasma(0.0);
  EXPECT_EQ(point_values(p[0][0]), (PointValues{0, 30, 0}));
  EXPECT_EQ(point_values(p[0][1]), (PointValues{12, 30, 200}));
  EXPECT_EQ(point_values(p[3][5]), (PointValues{59, 53, 131}));
  EXPECT_EQ(p[0][40].u, 343);
  grid_flower(0.0);
  EXPECT_EQ(point_values(p[25][20]), (PointValues{160, 200, 85}));  // the centre (160, 200): no turn
  EXPECT_EQ(point_values(p[10][10]), (PointValues{17, 111, 99}));
}

// A uniform grid gives every pixel the same value. Texel n of `numbered` is n.
TEST(GridWarpRender, UniformGridTexelIndexWrapsAndChannelsClamp) {
  Pixels numbered(warp_texture_texels);
  std::iota(numbered.begin(), numbered.end(), 0u);
  const struct {
    WarpPoint point;
    std::uint32_t texture_fill, expected;  // fill 0: the numbered texture
  } cases[] = {
      {{0, 0, 0}, 0, 0},                        // the all-zero start grid reads texel 0
      {{300, 10, 0}, 0, 2860},                  // U = 300 x 64, V = 10 x 64: column 44 of row 11
      {{-1, 0, 0}, 0, 65535},                   // column -1 of row 0 is the last texel
      {{256, 3, 0}, 0, 4 * 256},                // column 256 of row 3 is column 0 of row 4
      {{5, 257, 0}, 0, 256 + 5},                // row 257 is row 1
      {{0, 0, 200}, 0x00645010, 0x00FFFFD8},    // red 100 + 200 clamps to 255
      {{0, 0, -100}, 0x00C86432, 0x00640000},   // darkens down to 0
      {{0, 0, 0}, 0xFF123456, 0x00123456},      // the top byte is cleared
  };
  for (const auto& c : cases) {
    set_grid(c.point);
    const Pixels frame = render(c.texture_fill ? Pixels(warp_texture_texels, c.texture_fill) : numbered);
    EXPECT_EQ(std::count(frame.begin(), frame.end(), c.expected), std::ptrdiff_t(frame_pixels))
        << c.point.u << ", " << c.point.v << ", " << c.point.brightness;
  }
}

// Both paths against the closed formula: random grids of small values (as the grid functions
// give) and of full 32-bit values (the sums wrap), then plasma and flower grids at several times.
TEST(GridWarpRender, BothPathsMatchBilinearFormula) {
  std::mt19937 rng(2);
  constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min(), highest = std::numeric_limits<std::int32_t>::max();
  const std::int32_t ranges[][2] = {{-400, 800}, {-3000, 3000}, {lowest, highest}};
  const double times[] = {0.0, 0.37, 12.5, -4.0, 1000.25};
  for (int round = 0; round < 22; ++round) {
    if (round < 12) {
      std::uniform_int_distribution<std::int32_t> value(ranges[round % 3][0], ranges[round % 3][1]), brightness(-300, 600);
      for (auto& row : warp_grid().points)
        for (auto& p : row) p = {value(rng), value(rng), round % 3 == 2 ? value(rng) : brightness(rng)};
    } else {
      (round % 2 ? grid_flower : grid_plasma)(times[(round - 12) / 2]);
    }
    Pixels texture(warp_texture_texels);
    for (auto& t : texture) t = rng();  // top bytes set on purpose: the output must clear them
    const Pixels expected = direct_render(texture);
    ASSERT_EQ(render(texture), expected) << "round " << round;
    ASSERT_EQ(render(texture, true), expected) << "plain, round " << round;
  }
}

TEST(GridWarpRender, TooSmallFrameOrTextureIsLeftAlone) {
  Pixels frame(frame_pixels, 7u), short_frame(frame_pixels - 1, 7u);
  grid_warp_render(frame, Pixels(warp_texture_texels - 1, 1u));
  grid_warp_render_plain(frame, Pixels(warp_texture_texels - 1, 1u));
  grid_warp_render(short_frame, Pixels(warp_texture_texels, 1u));
  EXPECT_EQ(frame, Pixels(frame_pixels, 7u));
  EXPECT_EQ(short_frame, Pixels(frame_pixels - 1, 7u));
}
