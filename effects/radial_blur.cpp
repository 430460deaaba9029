#include "effects/radial_blur.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

constexpr int max_side = 32767;  // keeps (distance to centre + 1) * 65536 inside int32

// Halves both words and masks each byte's top bit away, so every channel becomes
// floor(a / 2) + floor(b / 2): the lowest bit of both is lost and no channel carries.
inline std::uint32_t average_pixels(std::uint32_t a, std::uint32_t b) {
  return ((a >> 1) & 0x7F7F7F7Fu) + ((b >> 1) & 0x7F7F7F7Fu);
}

// Truncation toward zero; NaN gives 0 and values beyond int32 saturate.
std::int32_t strength_to_step(double strength) {
  if (std::isnan(strength)) return 0;
  if (strength >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (strength <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return std::int32_t(strength);
}

// Rows first_y, first_y + step_y, ... and, in each, columns first_x, first_x + step_x, ...
struct Quadrant {
  int first_y, step_y, rows;
  int first_x, step_x, columns;
};

// One quadrant, walking away from the centre. The offsets d * s of the current row and column
// live in 16.16 accumulators that move by step * s per row or column; >> 16 is an arithmetic
// shift, so an offset rounds toward minus infinity. Acc is int32_t when 0 <= s <= 65536 (every
// source then lies between the pixel and the centre) and int64_t otherwise, when the source
// coordinates are clamped to the frame.
template <typename Acc, bool clamp_sources>
void blur_quadrant(std::uint32_t* frame, int width, int height, std::int32_t s, const Quadrant& q) {
  const Acc row_step = Acc(q.step_y) * Acc(s);
  const Acc column_step = Acc(q.step_x) * Acc(s);
  const Acc first_column_offset = Acc(q.first_x - radial_blur_centre_x) * Acc(s);
  Acc row_offset = Acc(q.first_y - radial_blur_centre_y) * Acc(s);
  int y = q.first_y;
  for (int n = 0; n < q.rows; ++n, y += q.step_y, row_offset += row_step) {
    Acc source_y = Acc(y) - (row_offset >> 16);
    if constexpr (clamp_sources) source_y = std::clamp<Acc>(source_y, 0, height - 1);
    std::uint32_t* row = frame + std::size_t(y) * std::size_t(width);
    const std::uint32_t* source_row = frame + std::size_t(source_y) * std::size_t(width);
    Acc column_offset = first_column_offset;
    int x = q.first_x;
    for (int m = 0; m < q.columns; ++m, x += q.step_x, column_offset += column_step) {
      Acc source_x = Acc(x) - (column_offset >> 16);
      if constexpr (clamp_sources) source_x = std::clamp<Acc>(source_x, 0, width - 1);
      // The source is nearer the centre, so it was already written in this pass (or is row[x]).
      row[x] = average_pixels(source_row[source_x], row[x]);
    }
  }
}

}  // namespace

void radial_blur(std::span<std::uint32_t> frame, int width, int height, double strength) {
  if (width <= radial_blur_centre_x || width > max_side) return;
  if (height <= radial_blur_centre_y || height > max_side) return;
  if (frame.size() < std::size_t(width) * std::size_t(height)) return;

  const int cx = radial_blur_centre_x, cy = radial_blur_centre_y;
  // In this order: row 0 is never processed, column 0 only below the centre.
  const Quadrant quadrants[4] = {
      {cy, -1, cy, cx, -1, cx},                                  // upper left
      {cy, -1, cy, cx + 1, 1, width - cx - 1},                   // upper right
      {cy + 1, 1, height - cy - 1, cx, -1, cx + 1},              // lower left
      {cy + 1, 1, height - cy - 1, cx + 1, 1, width - cx - 1}};  // lower right

  const std::int32_t s = strength_to_step(strength);
  for (const Quadrant& q : quadrants) {
    if (s >= 0 && s <= 65536)
      blur_quadrant<std::int32_t, false>(frame.data(), width, height, s, q);
    else
      blur_quadrant<std::int64_t, true>(frame.data(), width, height, s, q);
  }
}
