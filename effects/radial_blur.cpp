#include "effects/radial_blur.h"

#include <algorithm>
#include <cstddef>

#include "base/saturate.h"

namespace {

constexpr int max_side = 32767;  // keeps (distance to centre + 1) * 65536 inside int32

// floor(a / 2) + floor(b / 2) for every channel: the lowest bit of both is lost and no channel
// carries into the next. Clearing the low bits first makes each channel sum even, so one add
// in 64 bits and one shift give the same as ((a >> 1) & 0x7F7F7F7F) + ((b >> 1) & 0x7F7F7F7F).
inline std::uint32_t average_pixels(std::uint32_t a, std::uint32_t b) {
  return std::uint32_t((std::uint64_t(a & 0xFEFEFEFEu) + (b & 0xFEFEFEFEu)) >> 1);
}

// Rows first_y, first_y + step_y, ... and, in each, columns first_x, first_x + step_x, ...
struct Quadrant {
  int first_y, step_y, rows;
  int first_x, step_x, columns;
};

// One quadrant for 0 <= s <= 65536, where every source lies between the pixel and the centre.
// The offsets d x s of the current row and column live in 16.16 accumulators that move by
// step x s per row or column, and >> 16 is an arithmetic shift (floor). Per pixel, the source
// is read relative to the pixel: the accumulator `source` holds 65536 x (row distance to the
// source row x width) + 65535 - column offset, so source >> 16 is that distance minus
// floor(column offset / 65536), the source's place relative to the pixel.
void blur_quadrant(std::uint32_t* frame, int width, std::int32_t s, const Quadrant& q) {
  const std::int32_t row_step = q.step_y * s, column_step = q.step_x * s;
  const std::int32_t first_column_offset = (q.first_x - radial_blur_centre_x) * s;
  std::int32_t row_offset = (q.first_y - radial_blur_centre_y) * s;
  int y = q.first_y;
  for (int n = 0; n < q.rows; ++n, y += q.step_y, row_offset += row_step) {
    const std::int64_t row_distance = -std::int64_t(row_offset >> 16) * width;
    std::int64_t source = row_distance * 65536 + 65535 - first_column_offset;
    std::uint32_t* pixel = frame + std::size_t(y) * std::size_t(width) + q.first_x;
    std::uint32_t* const end = pixel + std::ptrdiff_t(q.columns) * q.step_x;
    // The source is nearer the centre, so it was already written in this pass (or is *pixel).
    for (; pixel != end; pixel += q.step_x, source -= column_step) *pixel = average_pixels(pixel[source >> 16], *pixel);
  }
}

// Any s: the same walk with the source's column and row clamped to the frame. Offsets are
// 64-bit here, since d x s need not fit 32 bits.
void blur_quadrant_clamped(std::uint32_t* frame, int width, int height, std::int32_t s, const Quadrant& q) {
  const std::int64_t row_step = std::int64_t(q.step_y) * s, column_step = std::int64_t(q.step_x) * s;
  std::int64_t row_offset = std::int64_t(q.first_y - radial_blur_centre_y) * s;
  int y = q.first_y;
  for (int n = 0; n < q.rows; ++n, y += q.step_y, row_offset += row_step) {
    const std::int64_t source_y = std::clamp<std::int64_t>(y - (row_offset >> 16), 0, height - 1);
    std::uint32_t* row = frame + std::size_t(y) * std::size_t(width);
    const std::uint32_t* source_row = frame + std::size_t(source_y) * std::size_t(width);
    std::int64_t column_offset = std::int64_t(q.first_x - radial_blur_centre_x) * s;
    int x = q.first_x;
    for (int m = 0; m < q.columns; ++m, x += q.step_x, column_offset += column_step) {
      const std::int64_t source_x = std::clamp<std::int64_t>(x - (column_offset >> 16), 0, width - 1);
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

  const std::int32_t s = saturate_to_int32(strength);
  for (const Quadrant& q : quadrants) {
    if (s >= 0 && s <= 65536)
      blur_quadrant(frame.data(), width, s, q);
    else
      blur_quadrant_clamped(frame.data(), width, height, s, q);
  }
}
