// pixels.h: pixel formats, off-screen surfaces and the converting area copy of the
// display toolkit. Surfaces are plain pixel arrays owned by their record; nothing here
// touches a window. The display format is 32 bits, 0x00RRGGBB.
#pragma once

#include <cstdint>
#include <vector>

struct PixelFormat {
  int bits = 32;
  std::uint32_t red_mask = 0xff0000;
  std::uint32_t green_mask = 0xff00;
  std::uint32_t blue_mask = 0xff;
  std::uint32_t alpha_mask = 0;
};

constexpr PixelFormat display_pixel_format{32, 0xff0000, 0xff00, 0xff, 0};
constexpr PixelFormat rgb555_pixel_format{16, 0x7c00, 0x3e0, 0x1f, 0};
constexpr PixelFormat bgr24_pixel_format{24, 0xff0000, 0xff00, 0xff, 0};

inline bool operator==(const PixelFormat& a, const PixelFormat& b) {
  return a.bits == b.bits && a.red_mask == b.red_mask && a.green_mask == b.green_mask &&
         a.blue_mask == b.blue_mask && a.alpha_mask == b.alpha_mask;
}

// A rectangle of pixels, right and bottom exclusive.
struct Area {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Rows of `pitch` bytes, top row first; `pixels` holds height * pitch bytes.
struct Surface {
  int width = 0;
  int height = 0;
  PixelFormat format;
  int pitch = 0;
  std::vector<std::uint8_t> pixels;
  bool locked = false;
};

Surface surface_create(int width, int height, const PixelFormat& format);
void surface_clear(Surface& surface);
// The pixel address, valid until surface_unlock; rows are `pitch` bytes apart.
std::uint8_t* surface_lock(Surface& surface);
void surface_unlock(Surface& surface);

// Copies src_area of src onto dst_area of dst without scaling: source pixel (x, y) lands
// at (x + dst_area.left - src_area.left, y + dst_area.top - src_area.top). Packed 16, 24
// and 32-bit formats convert by their masks (5-5-5 widens 0x1f to 0xff); other formats
// copy only onto their own format. Everything is clipped to both areas and both surfaces,
// a locked destination is allowed, and src may be dst (overlapping areas copy correctly).
void surface_copy_area(const Surface& src, Surface& dst, const Area& src_area, const Area& dst_area);
