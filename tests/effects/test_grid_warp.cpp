#include "effects/grid_warp.h"

#include <algorithm>
#include <array>
#include <cstdint>
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

Pixels render(const Pixels& texture, std::uint32_t fill = 0xA5A5A5A5u) {
  Pixels frame(frame_pixels, fill);
  grid_warp_render(frame, texture);
  return frame;
}

// Every pixel from the closed bilinear formula, in wrapping 32-bit sums, with no increments.
Pixels direct_render(const Pixels& texture) {
  Pixels frame(frame_pixels);
  const WarpGrid& g = warp_grid();
  for (int y = 0; y < warp_frame_height; ++y)
    for (int x = 0; x < warp_frame_width; ++x) {
      const int r = y / 8, c = x / 8, i = y % 8, j = x % 8;
      const WarpPoint &p00 = g.points[r][c], &p01 = g.points[r][c + 1];
      const WarpPoint &p10 = g.points[r + 1][c], &p11 = g.points[r + 1][c + 1];
      auto sum = [&](std::int32_t WarpPoint::*field) {
        return std::uint32_t((8 - i) * (8 - j)) * std::uint32_t(p00.*field) +
               std::uint32_t((8 - i) * j) * std::uint32_t(p01.*field) +
               std::uint32_t(i * (8 - j)) * std::uint32_t(p10.*field) + std::uint32_t(i * j) * std::uint32_t(p11.*field);
      };
      const std::int32_t column = std::int32_t(sum(&WarpPoint::u)) >> 6, row = std::int32_t(sum(&WarpPoint::v)) >> 6;
      const std::int64_t add = std::int32_t(sum(&WarpPoint::brightness)) >> 6;
      const std::uint32_t texel = texture[(std::int64_t(column) + 256 * std::int64_t(row)) & 0xFFFF];
      std::uint32_t out = 0;
      for (int shift = 0; shift <= 16; shift += 8)
        out |= std::uint32_t(std::clamp<std::int64_t>(((texel >> shift) & 0xFF) + add, 0, 255)) << shift;
      frame[std::size_t(y) * warp_frame_width + x] = out;
    }
  return frame;
}

Pixels random_texture(std::mt19937& rng) {
  Pixels texture(warp_texture_texels);
  for (auto& t : texture) t = rng();  // top bytes set on purpose: the output must clear them
  return texture;
}

}  // namespace

TEST(GridPlasma, PointsAtTimeZero) {
  grid_plasma(0.0);
  const WarpGrid& g = warp_grid();
  EXPECT_EQ(point_values(g.points[0][0]), (PointValues{0, 30, 0}));
  EXPECT_EQ(point_values(g.points[0][1]), (PointValues{12, 30, 200}));
  EXPECT_EQ(point_values(g.points[3][5]), (PointValues{59, 53, 131}));
  EXPECT_EQ(g.points[0][40].u, 343);
}

TEST(GridFlower, PointsAtTimeZero) {
  grid_flower(0.0);
  const WarpGrid& g = warp_grid();
  // (row 25, column 20) is the centre (160, 200) itself: no turn.
  EXPECT_EQ(point_values(g.points[25][20]), (PointValues{160, 200, 85}));
  EXPECT_EQ(point_values(g.points[10][10]), (PointValues{17, 111, 99}));
}

TEST(GridWarpRender, AllZeroGridFillsEveryPixelWithTexel0) {
  set_grid({0, 0, 0});
  std::mt19937 rng(1);
  Pixels texture = random_texture(rng);
  texture[0] = 0x00123456u;
  const Pixels frame = render(texture);
  EXPECT_EQ(std::count(frame.begin(), frame.end(), 0x00123456u), std::ptrdiff_t(frame_pixels));
}

TEST(GridWarpRender, U300V10ReadsTexelIndex2860) {
  set_grid({300, 10, 0});
  Pixels texture(warp_texture_texels);
  for (std::size_t n = 0; n < texture.size(); ++n) texture[n] = std::uint32_t(n);
  const Pixels frame = render(texture);
  EXPECT_EQ(frame.front(), 2860u);  // column 44 of texture row 11
  EXPECT_EQ(frame.back(), 2860u);
}

TEST(GridWarpRender, TexelIndexIsLinearAndWrapsOverTheTexture) {
  Pixels texture(warp_texture_texels);
  for (std::size_t n = 0; n < texture.size(); ++n) texture[n] = std::uint32_t(n);
  set_grid({-1, 0, 0});  // column -1 of row 0 is the last texel
  EXPECT_EQ(render(texture)[1000], 65535u);
  set_grid({256, 3, 0});  // column 256 of row 3 is column 0 of row 4
  EXPECT_EQ(render(texture)[1000], 4u * 256u);
  set_grid({5, 257, 0});  // row 257 is row 1
  EXPECT_EQ(render(texture)[1000], 256u + 5u);
}

TEST(GridWarpRender, Red100Add200ClampsTo255) {
  set_grid({0, 0, 200});
  Pixels texture(warp_texture_texels, 0x00645010u);  // red 100, green 80, blue 16
  EXPECT_EQ(render(texture)[12345], 0x00FFFFD8u);
}

TEST(GridWarpRender, NegativeBrightnessDarkensDownTo0) {
  set_grid({0, 0, -100});
  Pixels texture(warp_texture_texels, 0x00C86432u);  // red 200, green 100, blue 50
  EXPECT_EQ(render(texture)[777], 0x00640000u);
}

// The incremental sums against the closed formula, for both paths. Grids with small values
// stand for the grid functions' output; full 32-bit values exercise the wrapping sums.
TEST(GridWarpRender, MatchesBilinearFormulaOnRandomGrids) {
  std::mt19937 rng(2);
  const std::int32_t ranges[][2] = {{-400, 800}, {-3000, 3000}, {-2147483647 - 1, 2147483647}};
  for (int round = 0; round < 12; ++round) {
    const auto& range = ranges[round % 3];
    std::uniform_int_distribution<std::int32_t> value(range[0], range[1]), brightness(-300, 600);
    for (auto& row : warp_grid().points)
      for (auto& p : row) p = {value(rng), value(rng), round % 3 == 2 ? value(rng) : brightness(rng)};
    const Pixels texture = random_texture(rng);
    const Pixels expected = direct_render(texture);
    ASSERT_EQ(render(texture), expected) << "round " << round;
    Pixels plain(frame_pixels, 0xA5A5A5A5u);
    grid_warp_render_plain(plain, texture);
    ASSERT_EQ(plain, expected) << "round " << round;
  }
}

TEST(GridWarpRender, PlasmaAndFlowerGridsMatchBilinearFormula) {
  std::mt19937 rng(3);
  const Pixels texture = random_texture(rng);
  for (double t : {0.0, 0.37, 12.5, -4.0, 1000.25}) {
    grid_plasma(t);
    ASSERT_EQ(render(texture), direct_render(texture)) << "plasma t = " << t;
    grid_flower(t);
    ASSERT_EQ(render(texture), direct_render(texture)) << "flower t = " << t;
  }
}

TEST(GridWarpRender, TooSmallFrameOrTextureIsLeftAlone) {
  set_grid({0, 0, 0});
  Pixels frame(frame_pixels, 7u), short_frame(frame_pixels - 1, 7u);
  const Pixels texture(warp_texture_texels, 1u), short_texture(warp_texture_texels - 1, 1u);
  grid_warp_render(frame, short_texture);
  grid_warp_render(short_frame, texture);
  grid_warp_render_plain(frame, short_texture);
  EXPECT_EQ(std::count(frame.begin(), frame.end(), 7u), std::ptrdiff_t(frame_pixels));
  EXPECT_EQ(std::count(short_frame.begin(), short_frame.end(), 7u), std::ptrdiff_t(frame_pixels - 1));
}
