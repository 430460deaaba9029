// grid_warp.h: draws a whole 320x200 frame by warping a 256x256 texture through a coarse grid
// of control points. Owns the one process-wide WarpGrid: the grid functions fill it, the
// renderer only reads it. Never allocates and never reads outside the texture.
#pragma once

#include <cstdint>
#include <span>

#include "base/frame.h"

constexpr int warp_grid_rows = 26;     // points at screen y = 0, 8, ..., 200
constexpr int warp_grid_columns = 41;  // points at screen x = 0, 8, ..., 320
constexpr int warp_cell_size = 8;      // pixels per cell side
constexpr int warp_texture_texels = 65536;  // 256 columns x 256 rows, column + 256 * row

struct WarpPoint {
  std::int32_t u;           // texture column, in texels
  std::int32_t v;           // texture row, in texels
  std::int32_t brightness;  // added to each colour channel (the grid functions give 0 .. 200)
};

// Row by row, top row first. All zeros until a grid function runs.
struct WarpGrid {
  WarpPoint points[warp_grid_rows][warp_grid_columns];
};

// The grid shared by every warp layer. Whatever the last grid function left is what the next
// render uses; tests may also write it directly.
WarpGrid& warp_grid();

// Fill all points for time t (the layer passes 0.1 x its local time). Trigonometry in double,
// each value truncated toward zero.
void grid_plasma(double t);
void grid_flower(double t);

// Writes every pixel of the frame: for each 8x8 cell, texture position and brightness are
// interpolated bilinearly in 1/64 texel between the cell's four corner points; the linear
// texel index (column + 256 x row) wraps over the 65536 texels; each colour channel becomes
// clamp(texel channel + interpolated brightness, 0, 255) and the top byte is 0.
// Nothing is done unless the frame holds 320 x 200 pixels and the texture 65536.
void grid_warp_render(std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture);

// The same picture on a chosen path of base/pixel_path.h, which the processor must support;
// grid_warp_render uses pixel_path_selected(). Tests and benchmarks run every path through this.
void grid_warp_render_on(int path, std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture);

// The same picture computed a pixel at a time: the path on targets without SSE2, kept
// callable so that both paths are checked against each other.
void grid_warp_render_plain(std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture);
