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

namespace {

constexpr int width = 320, height = 200;
using Frame = std::vector<std::uint32_t>;
using Pixels = std::set<std::pair<int, int>>;  // (x, y)

Frame blank_frame() { return Frame(std::size_t(width * height), 0); }

Pixels lit_pixels(const Frame& frame) {
  Pixels lit;
  for (int i = 0; i < int(frame.size()); ++i)
    if (frame[std::size_t(i)] != 0) lit.insert({i % width, i / width});
  return lit;
}

Pixels filled(PolyVertex a, PolyVertex b, PolyVertex c) {
  Frame frame = blank_frame();
  fill_triangle(a, b, c, frame, 1);
  return lit_pixels(frame);
}

Pixels line_pixels(int x0, int y0, int x1, int y1) {
  Frame frame = blank_frame();
  draw_line(x0, y0, x1, y1, 0xFFFFFF, frame);
  return lit_pixels(frame);
}

// The rasteriser reads the process-wide screen size; every test starts from 320 x 200.
class Raster : public ::testing::Test {
 protected:
  void SetUp() override { set_screen_size(width, height); }
  void TearDown() override { set_screen_size(width, height); }
};
using FillTriangle = Raster;
using DrawLine = Raster;
using ClipNear = Raster;
using ClipScreen = Raster;
using RasterSafety = Raster;

// ---- filling ----

TEST_F(FillTriangle, Corner00To40To04Fills10Pixels) {
  const Pixels expected = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {0, 3}};
  EXPECT_EQ(filled({0, 0, 0}, {4, 0, 0}, {0, 4, 0}), expected);
  EXPECT_EQ(filled({0, 4, 0}, {0, 0, 0}, {4, 0, 0}), expected);  // vertex order does not matter
}

TEST_F(FillTriangle, RowsWithOneCeilingFillNothing) {
  EXPECT_TRUE(filled({10, 2.2f, 0}, {50, 2.5f, 0}, {20, 2.9f, 0}).empty());
  EXPECT_TRUE(filled({10, 5, 0}, {10.5f, 40, 0}, {10.9f, 80, 0}).empty());  // columns ceil to 11
}

TEST_F(FillTriangle, SharedEdgeIsFilledOnce) {
  const Pixels left = filled({10.5f, 10.25f, 0}, {60.75f, 12.5f, 0}, {20.25f, 70.5f, 0});
  const Pixels right = filled({60.75f, 12.5f, 0}, {20.25f, 70.5f, 0}, {70.5f, 80.25f, 0});
  Pixels both;
  std::set_intersection(left.begin(), left.end(), right.begin(), right.end(), std::inserter(both, both.end()));
  EXPECT_TRUE(both.empty());
  EXPECT_TRUE(right.count({41, 41}));  // the edge crosses row 41 at x = 40.85
  EXPECT_TRUE(left.count({40, 41}));
}

// A jittered grid over a rectangle, each cell cut along a random diagonal: every pixel whose
// integer coordinates lie in [left, right) x [top, bottom) is written by exactly one triangle.
void expect_tiling_covers_once(float left, float top, float right, float bottom, int columns, int rows,
                               std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> jitter(-0.25f, 0.25f);
  const float cell_w = (right - left) / float(columns), cell_h = (bottom - top) / float(rows);
  std::vector<PolyVertex> grid;
  for (int j = 0; j <= rows; ++j)
    for (int i = 0; i <= columns; ++i) {
      float x = i == columns ? right : left + float(i) * cell_w;
      float y = j == rows ? bottom : top + float(j) * cell_h;
      if (i > 0 && i < columns) x += jitter(rng) * cell_w;  // boundary points move only along it
      if (j > 0 && j < rows) y += jitter(rng) * cell_h;
      grid.push_back({x, y, 0});
    }
  // Each triangle is filled alone and its pixels counted within its bounding box.
  std::vector<int> writes(std::size_t(width * height), 0);
  Frame frame = blank_frame();
  auto fill_counted = [&](const PolyVertex& a, const PolyVertex& b, const PolyVertex& c) {
    fill_triangle(a, b, c, frame, 1);
    for (int y = std::max(0, int(std::min({a.y, b.y, c.y}))); y < std::min(height, int(std::max({a.y, b.y, c.y})) + 2); ++y)
      for (int x = std::max(0, int(std::min({a.x, b.x, c.x}))); x < std::min(width, int(std::max({a.x, b.x, c.x})) + 2); ++x)
        writes[std::size_t(y * width + x)] += int(std::exchange(frame[std::size_t(y * width + x)], 0));
  };
  auto at = [&](int i, int j) { return grid[std::size_t(j * (columns + 1) + i)]; };
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < columns; ++i) {
      if (rng() & 1) {
        fill_counted(at(i, j), at(i + 1, j), at(i + 1, j + 1));
        fill_counted(at(i, j), at(i + 1, j + 1), at(i, j + 1));
      } else {
        fill_counted(at(i, j), at(i + 1, j), at(i, j + 1));
        fill_counted(at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
      }
    }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool inside = float(x) >= left && float(x) < right && float(y) >= top && float(y) < bottom;
      ASSERT_EQ(writes[std::size_t(y * width + x)], inside ? 1 : 0) << "(" << x << ", " << y << ") seed " << seed;
    }
}

TEST_F(FillTriangle, RandomTilingOfRectangleWritesEachPixelOnce) {
  for (std::uint32_t seed = 1; seed <= 3; ++seed) expect_tiling_covers_once(3.3f, 2.7f, 301.6f, 187.2f, 40, 25, seed);
  expect_tiling_covers_once(0, 0, width, height, 64, 40, 4);  // the whole screen, edges on x = W, y = H
}

TEST_F(FillTriangle, FillPolygonFillsTheFan) {
  const PolyVertex square[] = {{10, 10, 0}, {20, 10, 0}, {20, 20, 0}, {10, 20, 0}};
  Frame frame = blank_frame();
  fill_polygon(square, 4, frame, 7);
  EXPECT_EQ(lit_pixels(frame).size(), 100u);
  EXPECT_EQ(frame[10 * width + 10], 7u);
  fill_polygon(square, 2, frame, 9);  // a count below 3 has no area
  EXPECT_EQ(std::count(frame.begin(), frame.end(), 9u), 0);
}

// ---- lines ----

TEST_F(DrawLine, HorizontalPlotsFirstEndpointNotLastOneRowBelow) {
  const Pixels expected = {{0, 1}, {1, 1}, {2, 1}};
  EXPECT_EQ(line_pixels(0, 0, 3, 0), expected);
  EXPECT_EQ(line_pixels(3, 0, 0, 0), expected);
}

TEST_F(DrawLine, LengthZeroPlotsOnePixel) { EXPECT_EQ(line_pixels(2, 5, 2, 5), (Pixels{{2, 6}})); }

TEST_F(DrawLine, SteepLinePlotsOnePixelPerRow) {
  const Pixels expected = {{0, 1}, {0, 2}, {0, 3}, {1, 4}, {1, 5}};
  EXPECT_EQ(line_pixels(0, 0, 1, 5), expected);
  EXPECT_EQ(line_pixels(1, 5, 0, 0), expected);
}

// The error walk written out in full, with the bounds test on every pixel; a steep line is
// walked with its axes swapped.
Pixels walked_line(int x0, int y0, int x1, int y1) {
  Pixels out;
  y0 += 1, y1 += 1;
  const bool steep = std::abs(x1 - x0) < std::abs(y1 - y0);
  if (steep) std::swap(x0, y0), std::swap(x1, y1);
  if (x0 > x1) std::swap(x0, x1), std::swap(y0, y1);
  const int dx = x1 - x0, dy = std::abs(y1 - y0), step = y1 > y0 ? 1 : -1;
  auto plot = [&](int main, int minor) {
    const int x = steep ? minor : main, y = steep ? main : minor;
    if (x >= 0 && x < width && y >= 0 && y < height) out.insert({x, y});
  };
  int d = 2 * dy - dx, y = y0;
  plot(x0, y0);
  for (int x = x0 + 1; x < x1; ++x) {
    if (d >= 0) y += step, d += 2 * (dy - dx);
    else d += 2 * dy;
    plot(x, y);
  }
  return out;
}

// draw_line starts its walk at the first step inside the frame; that must not move a pixel.
TEST_F(DrawLine, MatchesFullErrorWalkForRandomLines) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coord(-900, 1200);
  for (int i = 0; i < 3000; ++i) {
    const int x0 = coord(rng), y0 = coord(rng) / 2, x1 = coord(rng), y1 = coord(rng) / 2;
    ASSERT_EQ(line_pixels(x0, y0, x1, y1), walked_line(x0, y0, x1, y1)) << x0 << "," << y0 << " " << x1 << "," << y1;
    ASSERT_EQ(line_pixels(x1, y1, x0, y0), walked_line(x0, y0, x1, y1));
  }
}

TEST_F(DrawLine, ClippedEdgesOnWidthAndHeightStayInside) {
  // Lines along x = W and y = H (one row lower: y = H + 1) write nothing.
  EXPECT_TRUE(line_pixels(width, 0, width, height).empty());
  EXPECT_TRUE(line_pixels(0, height, width, height).empty());
  EXPECT_EQ(line_pixels(0, height - 2, width, height - 2).size(), std::size_t(width));
}

TEST_F(DrawLine, PolygonEdgesDrawTheFanFromFirstVertex) {
  const PolyVertex triangle[] = {{10.9f, 10.2f, 0}, {20, 10, 0}, {10, 20, 0}};
  Frame frame = blank_frame();
  draw_polygon_edges(triangle, 3, frame, 0xFFFFFF);
  Pixels expected = line_pixels(10, 10, 20, 10);
  for (const auto& p : line_pixels(20, 10, 10, 20)) expected.insert(p);
  for (const auto& p : line_pixels(10, 20, 10, 10)) expected.insert(p);
  EXPECT_EQ(lit_pixels(frame), expected);
  Frame single = blank_frame();
  draw_polygon_edges(triangle, 1, single, 0xFFFFFF);
  EXPECT_TRUE(lit_pixels(single).empty());
}

// ---- clipping ----

void expect_vertex(const PolyVertex& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

TEST_F(ClipNear, OneVertexBehindGivesQuadrilateral) {
  PolyVertex polygon[clip_max_vertices] = {{0, 0, 2}, {10, 0, 10}, {0, 10, 10}};
  ASSERT_EQ(clip_near(polygon, 3), 4);
  expect_vertex(polygon[0], 2.5f, 0, 4);
  expect_vertex(polygon[1], 10, 0, 10);
  expect_vertex(polygon[2], 0, 10, 10);
  expect_vertex(polygon[3], 0, 2.5f, 4);
}

TEST_F(ClipNear, AllBehindGivesNothing) {
  PolyVertex polygon[clip_max_vertices] = {{0, 0, 1}, {10, 0, 3.9f}, {0, 10, 2}};
  EXPECT_EQ(clip_near(polygon, 3), 0);
}

TEST_F(ClipNear, NoneBehindIsUnchanged) {
  PolyVertex polygon[clip_max_vertices] = {{0, 0, 4}, {10, 0, 5}, {0, 10, 6}};
  ASSERT_EQ(clip_near(polygon, 3), 3);
  expect_vertex(polygon[0], 0, 0, 4);
}

TEST_F(ClipScreen, TriangleLeftOfScreenGivesNothing) {
  PolyVertex polygon[clip_max_vertices] = {{-5, 10, 0}, {-0.5f, 50, 0}, {-30, 90, 0}};
  EXPECT_EQ(clip_screen(polygon, 3), 0);
}

TEST_F(ClipScreen, VertexOnLeftEdgeIsKeptOnce) {
  PolyVertex polygon[clip_max_vertices] = {{0, 50, 0}, {-10, 100, 0}, {50, 150, 0}};
  ASSERT_EQ(clip_screen(polygon, 3), 3);  // dropped by its own test, remade by its edge (t = 0)
  expect_vertex(polygon[0], 0, 50, 0);
  EXPECT_EQ(polygon[1].x, 0.0f);
  EXPECT_NEAR(polygon[1].y, 100 + 50.0f / 6, 1e-4);
  expect_vertex(polygon[2], 50, 150, 0);

  PolyVertex reversed[clip_max_vertices] = {{-10, 100, 0}, {0, 50, 0}, {50, 150, 0}};
  ASSERT_EQ(clip_screen(reversed, 3), 3);  // remade at t = 1
  expect_vertex(reversed[0], 0, 50, 0);
}

TEST_F(ClipScreen, AllFourEdgesApplyLeftRightBottomTop) {
  PolyVertex polygon[clip_max_vertices] = {{-100, -100, 0}, {1000, -100, 0}, {-100, 1000, 0}};
  ASSERT_EQ(clip_screen(polygon, 3), 4);
  // The top pass runs last: its output starts at its first crossing.
  expect_vertex(polygon[0], 320, 0, 0);
  expect_vertex(polygon[1], 320, 200, 0);
  expect_vertex(polygon[2], 0, 200, 0);
  expect_vertex(polygon[3], 0, 0, 0);
}

TEST_F(ClipScreen, FollowsScreenSize) {
  set_screen_size(100, 50);
  PolyVertex polygon[clip_max_vertices] = {{50, 10, 0}, {150, 10, 0}, {50, 70, 0}};
  const int n = clip_screen(polygon, 3);
  for (int i = 0; i < n; ++i) {
    EXPECT_LE(polygon[i].x, 100.0f);
    EXPECT_LE(polygon[i].y, 50.0f);
  }
  Frame frame = blank_frame();
  fill_polygon(polygon, n, frame, 1);
  EXPECT_GT(std::count(frame.begin(), frame.begin() + 5000, 1u), 0);
  EXPECT_EQ(std::count(frame.begin() + 5000, frame.end(), 1u), 0);
}

// ---- projection ----

TEST(ProjectVertex, Fov90PointLandsAt226And67) {
  set_screen_size(width, height);
  // Vertical factor for a 320 x 200 screen with aspect 0.75: (200 * 0.5 / 0.75) / tan(fov / 2).
  const float factor = float((height * 0.5 / 0.75) / std::tan(M_PI / 4));
  PolyVertex v{10, 5, 20};
  project_vertex(v, factor);
  EXPECT_NEAR(v.x, 226.67f, 0.01f);
  EXPECT_NEAR(v.y, 66.67f, 0.01f);
  EXPECT_EQ(v.z, 20.0f);
}

// ---- safety ----

// A frame with guard zones on both sides that nothing may touch.
struct GuardedFrame {
  static constexpr std::size_t guard = 4096;
  static constexpr std::uint32_t sentinel = 0xDEADBEEF;
  std::vector<std::uint32_t> storage = std::vector<std::uint32_t>(guard + std::size_t(width * height) + guard, sentinel);
  std::span<std::uint32_t> frame() { return std::span(storage).subspan(guard, std::size_t(width * height)); }
  bool guards_intact() const {
    return std::all_of(storage.begin(), storage.begin() + guard, [](auto p) { return p == sentinel; }) &&
           std::all_of(storage.end() - guard, storage.end(), [](auto p) { return p == sentinel; });
  }
};

float wild_coordinate(std::mt19937& rng) {
  constexpr float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const float specials[] = {nan, inf, -inf, 3e38f, -3e38f, 0, 320, 200, -1e-40f, 1e-40f};
  std::uniform_real_distribution<float> unit(-1, 1);
  switch (rng() % 8) {
    case 0: return specials[rng() % 10];
    case 1: return unit(rng) * 1e30f;
    case 2: return unit(rng) * 1e9f;
    case 3: return unit(rng) * 1e5f;
    default: return unit(rng) * 2000;
  }
}

TEST_F(RasterSafety, WildPolygonsNeverWriteOutsideFrameOrBuffers) {
  std::mt19937 rng(5);
  GuardedFrame guarded;
  for (int i = 0; i < 20000; ++i) {
    const int n = int(rng() % 16);
    std::vector<PolyVertex> polygon(static_cast<std::size_t>(n));
    for (auto& v : polygon) v = {wild_coordinate(rng), wild_coordinate(rng), wild_coordinate(rng)};
    // As the render pass does it, then straight to the fill and the lines without clipping.
    std::vector<PolyVertex> clipped = polygon;
    int count = clip_near(clipped, n);
    for (int k = 0; k < count; ++k) project_vertex(clipped[std::size_t(k)], 133.33f);
    count = clip_screen(clipped, count);
    ASSERT_LE(count, std::max(n, clip_max_vertices));
    fill_polygon(clipped, count, guarded.frame(), 0x00112233);
    draw_polygon_edges(clipped, count, guarded.frame(), 0x00FFFFFF);
    fill_polygon(polygon, n, guarded.frame(), 0x00445566);
    draw_polygon_edges(polygon, n, guarded.frame(), 0x00FFFFFF);
    ASSERT_TRUE(guarded.guards_intact()) << "polygon " << i;
  }
}

TEST_F(RasterSafety, ExtremeIntegerLinesStayInsideAndEnd) {
  GuardedFrame guarded;
  constexpr int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  const int ends[] = {lo, hi, -1, 0, 199, 200, 319, 320};
  for (int x0 : ends)
    for (int y0 : ends)
      for (int x1 : ends)
        for (int y1 : ends) draw_line(x0, y0, x1, y1, 0x00FFFFFF, guarded.frame());
  EXPECT_TRUE(guarded.guards_intact());
}

TEST_F(RasterSafety, ShortFrameIsNotOverrun) {
  // A frame holding only 10 rows: drawing is cut to them.
  GuardedFrame guarded;
  const auto rows = guarded.frame().first(std::size_t(width * 10));
  const PolyVertex big[] = {{0, 0, 0}, {320, 0, 0}, {320, 200, 0}, {0, 200, 0}};
  fill_polygon(big, 4, rows, 1);
  draw_polygon_edges(big, 4, rows, 2);
  EXPECT_TRUE(std::all_of(guarded.frame().begin() + width * 10, guarded.frame().end(),
                          [](auto p) { return p == GuardedFrame::sentinel; }));
  EXPECT_TRUE(guarded.guards_intact());
}

TEST_F(RasterSafety, PolygonLargerThanClipBuffersIsDroppedWhenCut) {
  std::vector<PolyVertex> many(40, PolyVertex{100, 100, 10});
  EXPECT_EQ(clip_near(many, 40), 40);  // nothing to cut: unchanged
  many[7].z = 1;
  EXPECT_EQ(clip_near(many, 40), 0);
  // A zigzag crossing the left edge at every edge would make 22 vertices from 11.
  std::vector<PolyVertex> zigzag;
  for (int i = 0; i < clip_max_vertices; ++i) zigzag.push_back({i % 2 ? -10.0f : 10.0f, float(10 * i), 0});
  EXPECT_LE(clip_screen(zigzag, clip_max_vertices), clip_max_vertices);
}

}  // namespace
