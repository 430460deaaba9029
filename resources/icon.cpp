// icon.cpp: icon group 107: a white "Q" on a rounded square that fades from violet to
// rose, drawn at 16, 32 and 48 pixels with 4x4 supersampled edges.
#include <algorithm>
#include <cmath>

#include "resources/resources.h"

namespace {

constexpr int samples = 4;  // per axis, per pixel

double segment_distance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// Shapes in unit coordinates (0..1 across and down).
bool in_background(double x, double y) {
  constexpr double r = 0.2;
  const double cx = std::clamp(x, r, 1 - r), cy = std::clamp(y, r, 1 - r);
  return std::hypot(x - cx, y - cy) <= r;
}

bool in_letter(double x, double y) {
  const double d = std::hypot(x - 0.5, y - 0.46);
  return (d >= 0.17 && d <= 0.29) || segment_distance(x, y, 0.56, 0.56, 0.79, 0.8) <= 0.065;
}

std::uint32_t channel_mix(std::uint32_t a, std::uint32_t b, double t) {
  std::uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double ca = a >> shift & 0xff, cb = b >> shift & 0xff;
    out |= std::uint32_t(std::lround(ca + (cb - ca) * t)) << shift;
  }
  return out;
}

IconImage draw_icon(int size) {
  IconImage icon;
  icon.size = size;
  icon.pixels.resize(std::size_t(size) * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      int back = 0, ink = 0;
      for (int sy = 0; sy < samples; ++sy)
        for (int sx = 0; sx < samples; ++sx) {
          const double ux = (x + (sx + 0.5) / samples) / size, uy = (y + (sy + 0.5) / samples) / size;
          if (!in_background(ux, uy)) continue;
          ++back;
          ink += in_letter(ux, uy);
        }
      const std::uint32_t ground = channel_mix(0x4b1d8f, 0xe0607a, (y + 0.5) / size);
      const std::uint32_t colour = back ? channel_mix(ground, 0xffffff, double(ink) / back) : 0;
      const std::uint32_t alpha = std::uint32_t(255 * back / (samples * samples));
      icon.pixels[std::size_t(y) * size + std::size_t(x)] = alpha << 24 | colour;
    }
  return icon;
}

}  // namespace

std::vector<IconImage> resource_icon_group(int id) {
  if (id != resource_icon) return {};
  return {draw_icon(16), draw_icon(32), draw_icon(48)};
}
