// raster.h: cuts small convex polygons at the near plane and the screen edges and draws them
// into the frame as flat areas or lines; no depth buffer, no shading within a face.
// Owns the fixed clip buffers, reused by every face. Allocates nothing, and writes nothing
// outside the frame or its buffers, whatever coordinates (NaN, huge) or counts come in.
#pragma once

#include <cstdint>
#include <span>

// Camera space before projection (x right, y up, z distance in front of the camera);
// pixel coordinates after it (x right, y down, (0, 0) the top left pixel), z then unused.
struct PolyVertex {
  float x, y, z;
};

// Most vertices a clip takes in or gives back: a pass keeps a copy of the first vertex behind
// the last in buffers of 12. A triangle cut by the near plane and the four screen edges has at
// most 8, so a face's work polygon of this size always holds the result.
constexpr int clip_max_vertices = 11;

// Camera-space depth below which a polygon is cut away.
constexpr float near_plane_z = 4.0f;

// Polygons are convex, n vertices closed by the edge from the last back to the first. The
// clips work in place and return the new count (0 when nothing is left). Each plane is one pass
// over the edges: a vertex strictly inside is kept, and where an edge goes from below the bound
// to at-or-above it (either way round) the crossing point is added; so a vertex lying exactly on
// a plane is dropped by its own test and made again as the crossing of an edge leaving it.
// A polygon that no plane cuts comes back unchanged. One that a plane cuts but that has more
// than clip_max_vertices vertices cannot be held and comes back empty; a pass that would make
// more (only from a polygon that is not convex) keeps its first clip_max_vertices. At most
// polygon.size() vertices are written back.

// Keeps the part with z >= near_plane_z.
int clip_near(std::span<PolyVertex> polygon, int n);

// Keeps the part with 0 <= x <= screen_width and 0 <= y <= screen_height. Which edges cut is
// decided once from the polygon as it comes in; they are applied left, right, bottom, top.
int clip_screen(std::span<PolyVertex> polygon, int n);

// Fills the fan of triangles (v[0], v[k], v[k + 1]) in order of k with fill_triangle. Its
// first member, k = 0, is (v[0], v[0], v[1]) and has no area, so filling starts at k = 1.
void fill_polygon(std::span<const PolyVertex> polygon, int n, std::span<std::uint32_t> frame,
                  std::uint32_t colour);

// Fills the pixels (x, y) whose integer coordinates lie inside the triangle by the half-open
// rule: rows ceil(top) .. ceil(bottom) - 1, and in each row the columns ceil(left) ..
// ceil(right) - 1 between its two edges, so triangles that share an edge fill it once. Edge x
// values are 32-bit floats starting at the first row and stepped per row by slopes computed as
// dx * (1 / dy). Rows and columns outside the frame are cut off; a triangle with a NaN or
// infinite coordinate draws nothing.
void fill_triangle(const PolyVertex& a, const PolyVertex& b, const PolyVertex& c,
                   std::span<std::uint32_t> frame, std::uint32_t colour);

// What a triangle's fill carries from row to row: the x of its long edge (top to bottom vertex)
// and of its short edge (top to middle, then middle to bottom) on the current row, each with its
// step per row, and the area written: rows of `width` pixels, rows 0 .. height - 1 of `frame`.
struct SpanWalk {
  float long_x, long_step;
  float short_x, short_step;
  std::span<std::uint32_t> frame;
  int width, height;
};

// Rows first_row .. end_row - 1: the pixels ceil(left) .. ceil(right) - 1 of each row get the
// colour, left and right being the smaller and larger edge x; then both edges step once. Columns
// are cut to 0 .. width - 1 and rows to the area (edges are moved past rows above it).
void fill_spans(SpanWalk& walk, int first_row, int end_row, std::uint32_t colour);

// Draws the edges of the fan (v[0], v[k], v[k + 1]), k = 0 .. n - 2, with
// draw_triangle_edges; the first, degenerate triangle gives the pixel at v[0] and the edge v[0]
// to v[1]. A count below 2 draws nothing.
void draw_polygon_edges(std::span<const PolyVertex> polygon, int n, std::span<std::uint32_t> frame,
                        std::uint32_t colour);

// Draws the lines a->b, b->c and c->a, coordinates truncated toward zero (and limited to
// +-line_coordinate_limit). A triangle with a NaN coordinate draws nothing.
void draw_triangle_edges(const PolyVertex& a, const PolyVertex& b, const PolyVertex& c,
                         std::span<std::uint32_t> frame, std::uint32_t colour);

// Coordinates are limited to this magnitude before a line is walked, which keeps its error
// terms inside 64 bits; it lies far beyond any screen.
constexpr int line_coordinate_limit = 1 << 30;

// Draws the line one row below its endpoints, (x0, y0 + 1) to (x1, y1 + 1), by the midpoint
// error walk along the longer axis: the first endpoint along that axis is plotted and the last
// is not (a line of length 0 plots its one pixel), and a->b plots what b->a plots. A pixel is
// written only when 0 <= x < screen_width and 0 <= y < screen_height (and inside the frame).
void draw_line(int x0, int y0, int x1, int y1, std::uint32_t colour, std::span<std::uint32_t> frame);
