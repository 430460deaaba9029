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

// The rasteriser reads the process-wide screen size, which stays 320 x 200 in this program.
namespace {

constexpr int width = 320, height = 200;
using Frame = std::vector<std::uint32_t>;
using Pixels = std::set<std::pair<int, int>>;  // (x, y)

Pixels lit_pixels(const Frame& frame) {
  Pixels lit;
  for (int i = 0; i < int(frame.size()); ++i)
    if (frame[std::size_t(i)] != 0) lit.insert({i % width, i / width});
  return lit;
}

Pixels filled(PolyVertex a, PolyVertex b, PolyVertex c) {
  Frame frame(width * height, 0);
  fill_triangle(a, b, c, frame, 1);
  return lit_pixels(frame);
}

Pixels line_pixels(int x0, int y0, int x1, int y1) {
  Frame frame(width * height, 0);
  draw_line(x0, y0, x1, y1, 0xFFFFFF, frame);
  return lit_pixels(frame);
}

TEST(FillTriangle, Corner00To40To04Fills10Pixels) {
  const Pixels expected = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {0, 3}};
  EXPECT_EQ(filled({0, 0, 0}, {4, 0, 0}, {0, 4, 0}), expected);
  EXPECT_EQ(filled({0, 4, 0}, {0, 0, 0}, {4, 0, 0}), expected);  // vertex order does not matter
}

TEST(FillTriangle, RowsWithOneCeilingFillNothing) {
  EXPECT_TRUE(filled({10, 2.2f, 0}, {50, 2.5f, 0}, {20, 2.9f, 0}).empty());
  EXPECT_TRUE(filled({10, 5, 0}, {10.5f, 40, 0}, {10.9f, 80, 0}).empty());  // columns ceil to 11
}

TEST(FillTriangle, SharedEdgeIsFilledOnce) {
  const Pixels left = filled({10.5f, 10.25f, 0}, {60.75f, 12.5f, 0}, {20.25f, 70.5f, 0});
  const Pixels right = filled({60.75f, 12.5f, 0}, {20.25f, 70.5f, 0}, {70.5f, 80.25f, 0});
  EXPECT_TRUE(std::none_of(left.begin(), left.end(), [&](const auto& p) { return right.count(p) > 0; }));
  EXPECT_TRUE(right.count({41, 41}));  // the edge crosses row 41 at x = 40.85
  EXPECT_TRUE(left.count({40, 41}));
}

// A jittered grid over a rectangle; each cell is filled as the fan of its four corners or as two
// triangles cut along the other diagonal, polygon k in colour k + 1. Filled first to last and
// last to first, a pixel written by two polygons ends in different colours; so every pixel
// whose integer coordinates lie in [left, right) x [top, bottom) must get the same colour both
// times, and no other pixel any.
void expect_tiling_covers_once(float left, float top, float right, float bottom, int columns, int rows,
                               std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> jitter(-0.25f, 0.25f);
  const float cell_w = (right - left) / float(columns), cell_h = (bottom - top) / float(rows);
  std::vector<PolyVertex> grid;
  for (int j = 0; j <= rows; ++j)
    for (int i = 0; i <= columns; ++i)  // boundary points move only along the boundary
      grid.push_back({i == columns ? right : left + float(i) * cell_w + (i > 0 ? jitter(rng) * cell_w : 0),
                      j == rows ? bottom : top + float(j) * cell_h + (j > 0 ? jitter(rng) * cell_h : 0), 0});
  auto at = [&](int i, int j) { return grid[std::size_t(j * (columns + 1) + i)]; };
  std::vector<std::vector<PolyVertex>> polygons;
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < columns; ++i) {
      if (rng() & 1) {
        polygons.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
      } else {
        polygons.push_back({at(i, j), at(i + 1, j), at(i, j + 1)});
        polygons.push_back({at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
      }
    }
  Frame forward(width * height, 0), backward(width * height, 0);
  for (std::size_t k = 0, r = polygons.size() - 1; k < polygons.size(); ++k, --r) {
    fill_polygon(polygons[k], int(polygons[k].size()), forward, std::uint32_t(k + 1));
    fill_polygon(polygons[r], int(polygons[r].size()), backward, std::uint32_t(r + 1));
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool inside = float(x) >= left && float(x) < right && float(y) >= top && float(y) < bottom;
      const std::uint32_t colour = forward[std::size_t(y * width + x)];
      ASSERT_TRUE(colour == backward[std::size_t(y * width + x)] && (colour != 0) == inside)
          << "(" << x << ", " << y << ") seed " << seed;
    }
}

TEST(FillTriangle, RandomTilingOfRectangleWritesEachPixelOnce) {
  for (std::uint32_t seed = 1; seed <= 3; ++seed) expect_tiling_covers_once(3.3f, 2.7f, 301.6f, 187.2f, 40, 25, seed);
  expect_tiling_covers_once(0, 0, width, height, 64, 40, 4);  // the whole screen, edges on x = W, y = H
}

// Lines are drawn one row below their endpoints; the first endpoint is plotted, the last not.
TEST(DrawLine, FirstEndpointPlottedLastNotOneRowBelowEitherWay) {
  const struct {
    int x0, y0, x1, y1;
    Pixels expected;
  } cases[] = {
      {0, 0, 3, 0, {{0, 1}, {1, 1}, {2, 1}}},
      {2, 5, 2, 5, {{2, 6}}},                                  // length 0: one pixel
      {0, 0, 1, 5, {{0, 1}, {0, 2}, {0, 3}, {1, 4}, {1, 5}}},  // steep: one pixel a row
      {width, 0, width, height, {}},                           // along x = W
      {0, height - 1, width, height - 1, {}},                  // drawn on y = H
  };
  for (const auto& c : cases) {
    EXPECT_EQ(line_pixels(c.x0, c.y0, c.x1, c.y1), c.expected) << c.x0 << "," << c.y0 << " " << c.x1 << "," << c.y1;
    EXPECT_EQ(line_pixels(c.x1, c.y1, c.x0, c.y0), c.expected) << c.x1 << "," << c.y1 << " " << c.x0 << "," << c.y0;
  }
  EXPECT_EQ(line_pixels(0, height - 2, width, height - 2).size(), std::size_t(width));  // drawn on y = H - 1
}

// The error walk written out in full from the first endpoint, with the bounds test on every
// pixel; a steep line is walked with its axes swapped. draw_line starts its walk at the first
// step inside the frame: that must not move a pixel.
TEST(DrawLine, MatchesFullErrorWalkForRandomLines) {
  auto walked_line = [](int x0, int y0, int x1, int y1) {
    Pixels out;
    y0 += 1, y1 += 1;
    const bool steep = std::abs(x1 - x0) < std::abs(y1 - y0);
    if (steep) std::swap(x0, y0), std::swap(x1, y1);
    if (x0 > x1) std::swap(x0, x1), std::swap(y0, y1);
    const int dx = x1 - x0, dy = std::abs(y1 - y0), step = y1 > y0 ? 1 : -1;
    for (int x = x0, y = y0, d = 2 * dy - dx; x < std::max(x1, x0 + 1); ++x) {
      const int px = steep ? y : x, py = steep ? x : y;
      if (px >= 0 && px < width && py >= 0 && py < height) out.insert({px, py});
      if (d >= 0) y += step, d -= 2 * dx;
      d += 2 * dy;
    }
    return out;
  };
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coord(-900, 1200);
  for (int i = 0; i < 3000; ++i) {
    const int x0 = coord(rng), y0 = coord(rng) / 2, x1 = coord(rng), y1 = coord(rng) / 2;
    ASSERT_EQ(line_pixels(x0, y0, x1, y1), walked_line(x0, y0, x1, y1)) << x0 << "," << y0 << " " << x1 << "," << y1;
    ASSERT_EQ(line_pixels(x1, y1, x0, y0), walked_line(x0, y0, x1, y1));
  }
}

// A vertex exactly on a plane is dropped by its own test and made again by the edge leaving it.
TEST(ClipPolygon, NearQuadrilateralScreenOutsideAndVertexOnEdge) {
  const struct {
    const char* what;
    int (*clip)(std::span<PolyVertex>, int);
    std::vector<PolyVertex> in, out;
  } cases[] = {
      {"one vertex behind the near plane", clip_near, {{0, 0, 2}, {10, 0, 10}, {0, 10, 10}},
       {{2.5f, 0, 4}, {10, 0, 10}, {0, 10, 10}, {0, 2.5f, 4}}},
      {"all behind", clip_near, {{0, 0, 1}, {10, 0, 3.9f}, {0, 10, 2}}, {}},
      {"none behind", clip_near, {{0, 0, 4}, {10, 0, 5}, {0, 10, 6}}, {{0, 0, 4}, {10, 0, 5}, {0, 10, 6}}},
      {"left of the screen", clip_screen, {{-5, 10, 0}, {-0.5f, 50, 0}, {-30, 90, 0}}, {}},
      {"vertex on x = 0, remade at t = 0", clip_screen, {{0, 50, 0}, {-10, 100, 0}, {50, 150, 0}},
       {{0, 50, 0}, {0, 100 + 50.0f / 6, 0}, {50, 150, 0}}},
      {"vertex on x = 0, remade at t = 1", clip_screen, {{-10, 100, 0}, {0, 50, 0}, {50, 150, 0}},
       {{0, 50, 0}, {50, 150, 0}, {0, 100 + 50.0f / 6, 0}}},
      {"left, right, bottom, then top: the output starts at the top pass's first crossing", clip_screen,
       {{-100, -100, 0}, {1000, -100, 0}, {-100, 1000, 0}}, {{320, 0, 0}, {320, 200, 0}, {0, 200, 0}, {0, 0, 0}}},
  };
  for (const auto& c : cases) {
    PolyVertex polygon[clip_max_vertices];
    std::copy(c.in.begin(), c.in.end(), polygon);
    ASSERT_EQ(c.clip(std::span(polygon), int(c.in.size())), int(c.out.size())) << c.what;
    for (std::size_t i = 0; i < c.out.size(); ++i) {
      EXPECT_FLOAT_EQ(polygon[i].x, c.out[i].x) << c.what << ", vertex " << i;
      EXPECT_FLOAT_EQ(polygon[i].y, c.out[i].y) << c.what << ", vertex " << i;
      EXPECT_FLOAT_EQ(polygon[i].z, c.out[i].z) << c.what << ", vertex " << i;
    }
  }
}

// Rows of a frame between guard zones that nothing may touch.
struct GuardedFrame {
  std::vector<std::uint32_t> storage;
  std::span<std::uint32_t> frame;
  explicit GuardedFrame(int rows)
      : storage(std::size_t(width * rows) + 8192, 0xDEADBEEF), frame(std::span(storage).subspan(4096, std::size_t(width * rows))) {}
  bool guards_intact() const {
    return std::count(storage.begin(), storage.begin() + 4096, 0xDEADBEEF) +
               std::count(storage.end() - 4096, storage.end(), 0xDEADBEEF) == 8192;
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

// Up to 15 vertices: more than the clip buffers hold. Each polygon goes through the clips as the
// render pass sends it, and straight to the fill and the lines without clipping, into the whole
// screen and into a frame of only 10 rows (drawing is cut to them). Run under the sanitizer
// build, which also sees the clip buffers.
TEST(RasterSafety, WildPolygonsAndLinesNeverWriteOutsideFrameOrBuffers) {
  std::mt19937 rng(5);
  GuardedFrame screen(height), ten_rows(10);
  for (int i = 0; i < 20000; ++i) {
    const int n = int(rng() % 16);
    std::vector<PolyVertex> polygon(static_cast<std::size_t>(n));
    for (auto& v : polygon) v = {wild_coordinate(rng), wild_coordinate(rng), wild_coordinate(rng)};
    std::vector<PolyVertex> clipped = polygon;
    int count = clip_near(clipped, n);
    for (int k = 0; k < count; ++k) project_vertex(clipped[std::size_t(k)], 133.33f);
    count = clip_screen(clipped, count);
    ASSERT_LE(count, std::max(n, clip_max_vertices));
    for (GuardedFrame* guarded : {&screen, &ten_rows}) {
      fill_polygon(clipped, count, guarded->frame, 0x00112233);
      draw_polygon_edges(clipped, count, guarded->frame, 0x00FFFFFF);
      fill_polygon(polygon, n, guarded->frame, 0x00445566);
      draw_polygon_edges(polygon, n, guarded->frame, 0x00FFFFFF);
      ASSERT_TRUE(guarded->guards_intact()) << "polygon " << i;
    }
  }
  const int ends[] = {std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), -1, 0, 199, 200, 319, 320};
  for (int x0 : ends)
    for (int y0 : ends)
      for (int x1 : ends)
        for (int y1 : ends) draw_line(x0, y0, x1, y1, 0x00FFFFFF, screen.frame);
  EXPECT_TRUE(screen.guards_intact());
}

}  // namespace
