#include "render/raster.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <utility>

#include "render/screen.h"

namespace {

// ---- clipping ----

constexpr int clip_capacity = clip_max_vertices + 1;  // the pass copies the first vertex behind the last

// A pass reads one buffer and writes the other; successive passes alternate between them.
PolyVertex clip_a[clip_capacity];
PolyVertex clip_b[clip_capacity];

struct ClipPlane {
  float PolyVertex::*axis;
  float bound;
  bool keeps_greater;  // inside is above the bound (near, left, top) or below it (right, bottom)
};

bool has_vertex_outside(const ClipPlane& plane, std::span<const PolyVertex> polygon) {
  for (const PolyVertex& v : polygon) {
    const float c = v.*plane.axis;
    if (plane.keeps_greater ? c < plane.bound : c > plane.bound) return true;
  }
  return false;
}

PolyVertex crossing_point(const ClipPlane& plane, const PolyVertex& p, const PolyVertex& q) {
  const float t = (plane.bound - p.*plane.axis) / (q.*plane.axis - p.*plane.axis);
  PolyVertex r{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), p.z + t * (q.z - p.z)};
  r.*plane.axis = plane.bound;
  return r;
}

// One plane over in[0 .. n - 1] (in[n] is written); returns the count written to out.
int clip_pass(const ClipPlane& plane, PolyVertex* in, int n, PolyVertex* out) {
  in[n] = in[0];
  int count = 0;
  // A convex polygon gains at most one vertex; only a non-convex one could overrun.
  auto keep = [&](const PolyVertex& v) {
    if (count < clip_max_vertices) out[count++] = v;
  };
  const float bound = plane.bound;
  for (int j = 0; j < n; ++j) {
    const PolyVertex& p = in[j];
    const PolyVertex& q = in[j + 1];
    const float pc = p.*plane.axis;
    const float qc = q.*plane.axis;
    if (plane.keeps_greater ? pc > bound : pc < bound) keep(p);
    if ((pc < bound && bound <= qc) || (qc < bound && bound <= pc)) keep(crossing_point(plane, p, q));
  }
  return count;
}

// Applies those of the planes that cut the polygon as it comes in, in the order given.
int clip_polygon(std::span<PolyVertex> polygon, int n, std::span<const ClipPlane> planes) {
  n = int(std::clamp<std::ptrdiff_t>(n, 0, std::ssize(polygon)));
  const std::span<const PolyVertex> incoming = polygon.first(std::size_t(n));
  ClipPlane cutting[4];
  int cutting_count = 0;
  for (const ClipPlane& plane : planes)
    if (cutting_count < 4 && has_vertex_outside(plane, incoming)) cutting[cutting_count++] = plane;
  if (cutting_count == 0) return n;
  if (n > clip_max_vertices) return 0;  // more than the buffers hold: dropped whole

  std::copy(incoming.begin(), incoming.end(), clip_a);
  PolyVertex* in = clip_a;
  PolyVertex* out = clip_b;
  for (int i = 0; i < cutting_count; ++i) {
    n = clip_pass(cutting[i], in, n, out);
    if (n == 0) return 0;
    std::swap(in, out);
  }
  n = std::min(n, int(polygon.size()));
  std::copy(in, in + n, polygon.begin());
  return n;
}

// ---- the frame area ----

// The part of the frame that drawing may touch: screen_width x screen_height, cut to the rows
// the frame actually holds.
struct FrameArea {
  int width, height;
};

// How many of `rows` rows of `width` pixels the frame holds (0 for an empty size); divides only
// for a short frame, as this runs for every triangle and line.
int rows_held(std::span<const std::uint32_t> frame, int width, int rows) {
  if (width <= 0 || rows <= 0) return 0;
  if (frame.size() >= std::size_t(width) * std::size_t(rows)) return rows;
  return int(frame.size() / std::size_t(width));
}

FrameArea frame_area(std::span<const std::uint32_t> frame) {
  return {screen_width, rows_held(frame, screen_width, screen_height)};
}

// ceil(v) for v limited to 0 .. limit first; NaN counts as 0. Kept to compares and selects
// (min/max instructions): it runs twice for every row of every triangle.
int ceil_within(float v, int limit) {
  const float upper = float(limit);
  v = v > 0.0f ? v : 0.0f;
  v = v < upper ? v : upper;
  const int whole = int(v);  // v >= 0, so truncation is the floor
  return whole + (float(whole) < v ? 1 : 0);
}

// ---- lines ----

// A line as a walk along its longer (main) axis: pixel k, 0 <= k < length, lies at main
// coordinate main_start + k and minor coordinate minor_start + minor_step * M(k).
struct LineWalk {
  std::int64_t main_start, length, minor_start, minor_step;
  std::int64_t main_delta, minor_delta;  // |extent| along each axis, main_delta >= minor_delta
};

// Plots the steps whose main coordinate lies in 0 .. main_limit - 1. The error walk
// (d = 2 minor - main; per step: d >= 0 moves the minor coordinate and adds 2 (minor - main),
// else adds 2 minor) moves the minor coordinate exactly M(k) = floor((2k minor + main) / 2 main)
// times in its first k steps, which lets the walk begin at the first step inside the frame.
template <typename Plot>
void walk_line(const LineWalk& line, std::int64_t main_limit, Plot plot) {
  const std::int64_t first = std::max<std::int64_t>(0, -line.main_start);
  const std::int64_t last = std::min(line.length, main_limit - line.main_start);
  if (first >= last) return;
  const std::int64_t dmain = line.main_delta, dminor = line.minor_delta;
  const std::int64_t moved = dmain == 0 ? 0 : (2 * first * dminor + dmain) / (2 * dmain);
  std::int64_t d = 2 * (first + 1) * dminor - dmain - 2 * moved * dmain;
  std::int64_t minor = line.minor_start + line.minor_step * moved;
  for (std::int64_t k = first; k < last; ++k) {
    plot(line.main_start + k, minor);
    if (d >= 0) {
      minor += line.minor_step;
      d += 2 * (dminor - dmain);
    } else {
      d += 2 * dminor;
    }
  }
}

std::int64_t limit_coordinate(int v) {
  return std::clamp<std::int64_t>(v, -line_coordinate_limit, line_coordinate_limit);
}

int truncate_coordinate(float v) {
  if (v <= -float(line_coordinate_limit)) return -line_coordinate_limit;
  if (v >= float(line_coordinate_limit)) return line_coordinate_limit;
  return int(v);
}

}  // namespace

int clip_near(std::span<PolyVertex> polygon, int n) {
  const ClipPlane near_plane[] = {{&PolyVertex::z, near_plane_z, true}};
  return clip_polygon(polygon, n, near_plane);
}

int clip_screen(std::span<PolyVertex> polygon, int n) {
  const float width = float(screen_width), height = float(screen_height);
  const ClipPlane screen_edges[] = {
      {&PolyVertex::x, 0.0f, true},     // left
      {&PolyVertex::x, width, false},   // right
      {&PolyVertex::y, height, false},  // bottom
      {&PolyVertex::y, 0.0f, true},     // top
  };
  return clip_polygon(polygon, n, screen_edges);
}

void fill_spans(SpanWalk& walk, int first_row, int end_row, std::uint32_t colour) {
  const int height = rows_held(walk.frame, walk.width, walk.height);
  if (height == 0) return;
  if (first_row < 0) {
    const float skipped = float(std::min(end_row, 0) - first_row);
    walk.long_x += skipped * walk.long_step;
    walk.short_x += skipped * walk.short_step;
    first_row = 0;
  }
  end_row = std::min(end_row, height);
  // The walk is held in locals: the row stores could otherwise alias it.
  const int columns = walk.width;
  const std::size_t width = std::size_t(columns);
  std::uint32_t* const pixels = walk.frame.data();
  float long_x = walk.long_x, short_x = walk.short_x;
  const float long_step = walk.long_step, short_step = walk.short_step;
  // Row y covers columns ceil(left) .. ceil(right) - 1, so a shared edge is filled once.
  for (int y = first_row; y < end_row; ++y) {
    const bool long_is_left = long_x < short_x;
    const int begin = ceil_within(long_is_left ? long_x : short_x, columns);
    const int end = ceil_within(long_is_left ? short_x : long_x, columns);
    if (begin < end) {
      std::uint32_t* const row = pixels + std::size_t(y) * width;
      std::fill(row + begin, row + end, colour);
    }
    long_x += long_step;
    short_x += short_step;
  }
  walk.long_x = long_x;
  walk.short_x = short_x;
}

void fill_triangle(const PolyVertex& a, const PolyVertex& b, const PolyVertex& c,
                   std::span<std::uint32_t> frame, std::uint32_t colour) {
  for (float v : {a.x, a.y, b.x, b.y, c.x, c.y})
    if (!std::isfinite(v)) return;
  const FrameArea area = frame_area(frame);
  if (area.width <= 0 || area.height <= 0) return;

  const PolyVertex* top = &a;
  const PolyVertex* middle = &b;
  const PolyVertex* bottom = &c;
  if (middle->y < top->y) std::swap(top, middle);
  if (bottom->y < middle->y) std::swap(middle, bottom);
  if (middle->y < top->y) std::swap(top, middle);
  const PolyVertex& t = *top;
  const PolyVertex& m = *middle;
  const PolyVertex& btm = *bottom;

  // Rows are cut to the frame here, so the walk starts on the first row that is drawn.
  const int y_top = ceil_within(t.y, area.height);
  const int y_middle = ceil_within(m.y, area.height);
  const int y_bottom = ceil_within(btm.y, area.height);
  if (y_top == y_bottom) return;

  SpanWalk walk{};
  walk.frame = frame;
  walk.width = area.width;
  walk.height = area.height;
  walk.long_step = (btm.x - t.x) * (1.0f / (btm.y - t.y));
  walk.long_x = t.x + (float(y_top) - t.y) * walk.long_step;
  if (y_top < y_middle) {
    walk.short_step = (m.x - t.x) * (1.0f / (m.y - t.y));
    walk.short_x = t.x + (float(y_top) - t.y) * walk.short_step;
    fill_spans(walk, y_top, y_middle, colour);
  }
  if (y_middle < y_bottom) {
    walk.short_step = (btm.x - m.x) * (1.0f / (btm.y - m.y));
    walk.short_x = m.x + (float(y_middle) - m.y) * walk.short_step;
    fill_spans(walk, y_middle, y_bottom, colour);
  }
}

void fill_polygon(std::span<const PolyVertex> polygon, int n, std::span<std::uint32_t> frame,
                  std::uint32_t colour) {
  n = int(std::min<std::ptrdiff_t>(n, std::ssize(polygon)));
  for (int k = 1; k + 1 < n; ++k) fill_triangle(polygon[0], polygon[k], polygon[k + 1], frame, colour);
}

void draw_line(int x0, int y0, int x1, int y1, std::uint32_t colour, std::span<std::uint32_t> frame) {
  const FrameArea area = frame_area(frame);
  if (area.width <= 0 || area.height <= 0) return;
  auto plot = [&](std::int64_t x, std::int64_t y) {
    if (x >= 0 && x < area.width && y >= 0 && y < area.height)
      frame[std::size_t(y) * std::size_t(area.width) + std::size_t(x)] = colour;
  };
  // Every line is drawn one row below its endpoints.
  std::int64_t ax = limit_coordinate(x0), ay = limit_coordinate(y0) + 1;
  std::int64_t bx = limit_coordinate(x1), by = limit_coordinate(y1) + 1;
  const std::int64_t dx = bx > ax ? bx - ax : ax - bx;
  const std::int64_t dy = by > ay ? by - ay : ay - by;
  if (dx < dy) {
    if (ay > by) {
      std::swap(ax, bx);
      std::swap(ay, by);
    }
    const LineWalk line{ay, by - ay, ax, bx > ax ? 1 : -1, dy, dx};
    walk_line(line, area.height, [&](std::int64_t y, std::int64_t x) { plot(x, y); });
  } else {
    if (ax > bx) {
      std::swap(ax, bx);
      std::swap(ay, by);
    }
    const LineWalk line{ax, std::max<std::int64_t>(bx - ax, 1), ay, by > ay ? 1 : -1, dx, dy};
    walk_line(line, area.width, plot);
  }
}

void draw_triangle_edges(const PolyVertex& a, const PolyVertex& b, const PolyVertex& c,
                         std::span<std::uint32_t> frame, std::uint32_t colour) {
  for (float v : {a.x, a.y, b.x, b.y, c.x, c.y})
    if (std::isnan(v)) return;
  const int ax = truncate_coordinate(a.x), ay = truncate_coordinate(a.y);
  const int bx = truncate_coordinate(b.x), by = truncate_coordinate(b.y);
  const int cx = truncate_coordinate(c.x), cy = truncate_coordinate(c.y);
  draw_line(ax, ay, bx, by, colour, frame);
  draw_line(bx, by, cx, cy, colour, frame);
  draw_line(cx, cy, ax, ay, colour, frame);
}

void draw_polygon_edges(std::span<const PolyVertex> polygon, int n, std::span<std::uint32_t> frame,
                        std::uint32_t colour) {
  n = int(std::min<std::ptrdiff_t>(n, std::ssize(polygon)));
  for (int k = 0; k + 1 < n; ++k) draw_triangle_edges(polygon[0], polygon[k], polygon[k + 1], frame, colour);
}
