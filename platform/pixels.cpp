// pixels.cpp: surfaces and the converting area copy.
#include "platform/pixels.h"

#include <algorithm>
#include <cstring>

namespace {

int bytes_per_pixel(const PixelFormat& format) { return (format.bits + 7) / 8; }

// One source pixel as 0x00RRGGBB. 16-bit sources are 5-5-5 with each channel widened by
// repeating its top bits, so 0x1f becomes 0xff.
std::uint32_t read_rgb(const PixelFormat& format, const std::uint8_t* p) {
  switch (format.bits) {
    case 16: {
      std::uint32_t v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
      std::uint32_t r = (v >> 10) & 0x1f, g = (v >> 5) & 0x1f, b = v & 0x1f;
      r = r << 3 | r >> 2;
      g = g << 3 | g >> 2;
      b = b << 3 | b >> 2;
      return r << 16 | g << 8 | b;
    }
    case 24:
      return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
    default:
      return (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
              std::uint32_t(p[3]) << 24) & 0x00ffffff;
  }
}

void write_rgb(const PixelFormat& format, std::uint8_t* p, std::uint32_t rgb) {
  std::uint32_t r = rgb >> 16 & 0xff, g = rgb >> 8 & 0xff, b = rgb & 0xff;
  switch (format.bits) {
    case 16: {
      std::uint32_t v = (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
      p[0] = std::uint8_t(v);
      p[1] = std::uint8_t(v >> 8);
      return;
    }
    case 24:
      p[0] = std::uint8_t(b);
      p[1] = std::uint8_t(g);
      p[2] = std::uint8_t(r);
      return;
    default:
      p[0] = std::uint8_t(b);
      p[1] = std::uint8_t(g);
      p[2] = std::uint8_t(r);
      p[3] = 0;
      return;
  }
}

// Clips an area to a surface; false when nothing of it is left.
bool clip_to(const Surface& s, Area& a) {
  a.left = std::max(a.left, 0);
  a.top = std::max(a.top, 0);
  a.right = std::min(a.right, s.width);
  a.bottom = std::min(a.bottom, s.height);
  return a.left < a.right && a.top < a.bottom;
}

}  // namespace

Surface surface_create(int width, int height, const PixelFormat& format) {
  Surface s;
  s.width = std::max(width, 0);
  s.height = std::max(height, 0);
  s.format = format;
  s.pitch = s.width * bytes_per_pixel(format);
  s.pixels.assign(std::size_t(s.pitch) * std::size_t(s.height), 0);
  return s;
}

void surface_clear(Surface& surface) { std::fill(surface.pixels.begin(), surface.pixels.end(), 0); }

std::uint8_t* surface_lock(Surface& surface) {
  surface.locked = true;
  return surface.pixels.data();
}

void surface_unlock(Surface& surface) { surface.locked = false; }

void surface_copy_area(const Surface& src, Surface& dst, const Area& src_area, const Area& dst_area) {
  // Clip each area to its surface, moving the other area's corner by the same amount so
  // that pixels stay paired; then copy the overlap of the two sizes.
  Area s = src_area, d = dst_area;
  const int dx = d.left - s.left, dy = d.top - s.top;
  if (!clip_to(src, s) || !clip_to(dst, d)) return;
  const int left = std::max(s.left + dx, d.left), top = std::max(s.top + dy, d.top);
  const int right = std::min(s.right + dx, d.right), bottom = std::min(s.bottom + dy, d.bottom);
  if (left >= right || top >= bottom) return;

  const int sbpp = bytes_per_pixel(src.format), dbpp = bytes_per_pixel(dst.format);
  for (int y = top; y < bottom; ++y) {
    const std::uint8_t* sp = src.pixels.data() + std::size_t(y - dy) * src.pitch + std::size_t(left - dx) * sbpp;
    std::uint8_t* dp = dst.pixels.data() + std::size_t(y) * dst.pitch + std::size_t(left) * dbpp;
    if (src.format == dst.format) {
      std::memcpy(dp, sp, std::size_t(right - left) * sbpp);
      continue;
    }
    for (int x = left; x < right; ++x, sp += sbpp, dp += dbpp) write_rgb(dst.format, dp, read_rgb(src.format, sp));
  }
}
