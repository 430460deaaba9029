#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "render/raster.h"
#include "render/screen.h"
#include "render/smooth.h"

#include "pixel_paths.h"

// The rasteriser and the smoothing pass. The rasteriser reads the process-wide screen size,
// which stays 320 x 200 in this program.
namespace {

constexpr int width = frame_width;
constexpr int height = frame_height;
using Frame = std::vector<std::uint32_t>;
using Pixels = std::set<std::pair<int, int>>;  // (x, y)

Pixels lit_pixels(auto draw) {
  Frame frame(width * height, 0);
  draw(std::span(frame));
  Pixels lit;
  for (int i = 0; i < width * height; ++i)
    if (frame[std::size_t(i)] != 0) lit.insert({i % width, i / width});
  return lit;
}
Pixels filled(PolyVertex a, PolyVertex b, PolyVertex c) { return lit_pixels([&](auto f) { fill_triangle(a, b, c, f, 1); }); }
Pixels line_pixels(int x0, int y0, int x1, int y1) { return lit_pixels([&](auto f) { draw_line(x0, y0, x1, y1, 1, f); }); }

TEST(FillTriangle, Corner00To40To04Fills10PixelsAndOneCeilingFillsNothing) {
  const Pixels expected = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {0, 3}};
  EXPECT_EQ(filled({0, 0, 0}, {4, 0, 0}, {0, 4, 0}), expected);
  EXPECT_EQ(filled({0, 4, 0}, {0, 0, 0}, {4, 0, 0}), expected);  // vertex order does not matter
  EXPECT_TRUE(filled({10, 2.2f, 0}, {50, 2.5f, 0}, {20, 2.9f, 0}).empty());
  EXPECT_TRUE(filled({10, 5, 0}, {10.5f, 40, 0}, {10.9f, 80, 0}).empty());  // columns ceil to 11
}

// A jittered grid over a rectangle (the last one the whole screen, edges on x = W, y = H); each
// cell is filled as the fan of its four corners or as two triangles cut along the other
// diagonal, polygon k in colour k + 1. Filled first to last and last to first, a pixel written by
// two polygons ends in different colours; so every pixel whose integer coordinates lie in
// [left, right) x [top, bottom) must get the same colour both times, and no other pixel any.
TEST(FillPolygon, RandomTilingOfRectangleWritesEachPixelOnce) {
  const float part[] = {3.3f, 2.7f, 301.6f, 187.2f}, whole[] = {0, 0, width, height};
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    const auto& [left, top, right, bottom] = seed == 4 ? whole : part;
    const int columns = seed == 4 ? 64 : 40, rows = seed == 4 ? 40 : 25;
    const float cell_w = (right - left) / float(columns), cell_h = (bottom - top) / float(rows);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> jitter(-0.25f, 0.25f);
    std::vector<PolyVertex> grid;
    for (int j = 0; j <= rows; ++j)
      for (int i = 0; i <= columns; ++i)  // boundary points move only along the boundary
        grid.push_back({i == columns ? right : left + float(i) * cell_w + (i > 0 ? jitter(rng) * cell_w : 0),
                        j == rows ? bottom : top + float(j) * cell_h + (j > 0 ? jitter(rng) * cell_h : 0), 0});
    auto at = [&](int i, int j) { return grid[std::size_t(j * (columns + 1) + i)]; };
    std::vector<std::vector<PolyVertex>> polygons;
    for (int j = 0; j < rows; ++j)
      for (int i = 0; i < columns; ++i)
        if (rng() & 1) {
          polygons.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        } else {
          polygons.push_back({at(i, j), at(i + 1, j), at(i, j + 1)});
          polygons.push_back({at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    Frame forward(width * height, 0), backward(width * height, 0);
    for (std::size_t k = 0; k < polygons.size(); ++k) {
      const std::size_t r = polygons.size() - 1 - k;
      fill_polygon(polygons[k], int(polygons[k].size()), forward, std::uint32_t(k + 1));
      fill_polygon(polygons[r], int(polygons[r].size()), backward, std::uint32_t(r + 1));
    }
    for (std::size_t i = 0; i < forward.size(); ++i) {
      const float x = float(i % width), y = float(i / width);
      const bool inside = x >= left && x < right && y >= top && y < bottom;
      ASSERT_EQ(forward[i], backward[i]) << "(" << x << ", " << y << ") seed " << seed;
      ASSERT_EQ(forward[i] != 0, inside) << "(" << x << ", " << y << ") seed " << seed;
    }
  }
}

// Lines are drawn one row below their endpoints; the first endpoint is plotted, the last not.
TEST(DrawLine, FirstEndpointPlottedLastNotOneRowBelowEitherWay) {
  const struct { int x0, y0, x1, y1; Pixels expected; } cases[] = {
      {0, 0, 3, 0, {{0, 1}, {1, 1}, {2, 1}}},
      {2, 5, 2, 5, {{2, 6}}},                                  // length 0: one pixel
      {0, 0, 1, 5, {{0, 1}, {0, 2}, {0, 3}, {1, 4}, {1, 5}}},  // steep: one pixel a row
      {width, 0, width, height, {}},                           // along x = W
      {0, height - 1, width, height - 1, {}},                  // drawn on y = H
  };
  for (const auto& c : cases) {
    EXPECT_EQ(line_pixels(c.x0, c.y0, c.x1, c.y1), c.expected) << c.x0 << "," << c.y0 << " " << c.x1 << "," << c.y1;
    EXPECT_EQ(line_pixels(c.x1, c.y1, c.x0, c.y0), c.expected) << "reversed";
  }
  EXPECT_EQ(line_pixels(0, height - 2, width, height - 2).size(), std::size_t(width));  // drawn on y = H - 1
}

// Up to 15 vertices (more than the clip buffers hold) of NaN, infinite, huge or ordinary
// coordinates. Each polygon goes through the clips as the render pass sends it, and straight to
// the fill and the lines without clipping, into the whole screen and into a frame of only 10
// rows (drawing is cut to them), each between guard zones that nothing may touch; then lines
// between extreme integer ends. Run under the sanitizer build, which also sees the clip buffers.
TEST(RasterSafety, WildPolygonsAndLinesNeverWriteOutsideFrameOrBuffers) {
  constexpr std::uint32_t guard = 0xDEADBEEF;
  Frame stores[] = {Frame(width * height + 8192, guard), Frame(width * 10 + 8192, guard)};
  auto inner = [](Frame& s) { return std::span(s).subspan(4096, s.size() - 8192); };
  auto guards_left = [&](const Frame& s) {
    return std::count(s.begin(), s.begin() + 4096, guard) + std::count(s.end() - 4096, s.end(), guard);
  };
  constexpr float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const float specials[] = {nan, inf, -inf, 3e38f, -3e38f, 0, 320, 200, -1e-40f, 1e-40f}, scales[] = {1e30f, 1e9f, 1e5f, 2000};
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> unit(-1, 1);
  auto wild = [&] { const unsigned k = rng() % 8; return k == 0 ? specials[rng() % 10] : unit(rng) * scales[std::min(k, 4u) - 1]; };
  for (int i = 0; i < 20000; ++i) {
    const int n = int(rng() % 16);
    std::vector<PolyVertex> polygon(static_cast<std::size_t>(n));
    for (auto& v : polygon) v = {wild(), wild(), wild()};
    std::vector<PolyVertex> clipped = polygon;
    int count = clip_near(clipped, n);
    for (int k = 0; k < count; ++k) project_vertex(clipped[std::size_t(k)], 133.33f);
    count = clip_screen(clipped, count);
    ASSERT_LE(count, std::max(n, clip_max_vertices));
    for (Frame& store : stores) {
      fill_polygon(clipped, count, inner(store), 0x00112233);
      draw_polygon_edges(clipped, count, inner(store), 0x00FFFFFF);
      fill_polygon(polygon, n, inner(store), 0x00445566);
      draw_polygon_edges(polygon, n, inner(store), 0x00FFFFFF);
      ASSERT_EQ(guards_left(store), 8192) << "polygon " << i;
    }
  }
  const int ends[] = {std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), -1, 0, 199, 200, 319, 320};
  for (int x0 : ends) for (int y0 : ends) for (int x1 : ends) for (int y1 : ends) draw_line(x0, y0, x1, y1, 0x00FFFFFF, inner(stores[0]));
  EXPECT_EQ(guards_left(stores[0]), 8192);
}

// Every path the processor runs and the per-byte reference each give `expected`.
void expect_every_path_gives(const Frame& input, const Frame& expected) {
  Frame reference = input;
  smooth_frame_reference(reference);
  EXPECT_EQ(reference, expected);
  for (int path : supported_pixel_paths()) {
    Frame packed = input;
    smooth_frame_on(path, packed);
    EXPECT_EQ(packed, expected) << pixel_path_name(path);
  }
}

// A frame one pixel short of the pass is left alone, whatever it holds.
TEST(SmoothFrame, TooSmallFrameIsUnchanged) {
  Frame small(frame_pixels - 1, 0);
  small[1000] = 0x00FFFFFF;
  expect_every_path_gives(small, small);
}

// One blue 200 at (6, 6) spreads down and to the right: each pixel's left and up-left samples
// are already smoothed values. Worked by hand, e.g. (6, 6) = (L 50 + R 0 + UL 50 + DR 0) >> 2 = 25.
TEST(SmoothFrame, OneBluePixelSpreadsAsWorkedByHand) {
  Frame input(frame_pixels, 0);
  Frame expected(frame_pixels, 0);
  input[6 * frame_width + 6] = 0xAB0000C8u;  // blue 200; the top byte must survive
  const std::uint32_t smoothed[4][5] = {     // rows 5 .. 8, columns 5 .. 9
      {50, 12, 3, 0, 0},                      // DR, then L, of the 200
      {50, 0xAB000000u | 25, 9, 3, 0},        // R, then L and UL
      {0, 12, 9, 4, 1},                       // UL and L only from here
      {0, 0, 3, 3, 1}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) expected[(y + 5) * frame_width + x + 5] = smoothed[y][x];
  expect_every_path_gives(input, expected);
}

// Full-range bytes, then frames of only 0 and 255 bytes, which reach the largest lane sums; every
// path against the reference. Pixels outside 321 .. 63678 and all top bytes come out as they went in.
TEST(SmoothFrame, EveryPathMatchesReferenceOnRandomFramesAndKeepsBordersAndTopBytes) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    Frame input(frame_pixels);
    for (auto& pixel : input) pixel = seed > 10 ? (rng() & 0x01010101u) * 0xFFu : rng();
    Frame reference = input;
    smooth_frame_reference(reference);
    for (std::size_t k = 0; k < input.size(); ++k) {
      ASSERT_EQ(reference[k] >> 24, input[k] >> 24) << k;
      if (k < 321 || k > 63678) {
        ASSERT_EQ(reference[k], input[k]) << k;
      }
    }
    for (int path : supported_pixel_paths()) {
      Frame packed = input;
      smooth_frame_on(path, packed);
      ASSERT_EQ(packed, reference) << pixel_path_name(path) << ", seed " << seed;
    }
  }
}

}  // namespace
