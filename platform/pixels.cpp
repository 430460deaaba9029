// pixels.cpp: surfaces and the converting area copy.
#include "platform/pixels.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace {

int bytes_per_pixel(const PixelFormat& format) { return (format.bits + 7) / 8; }

// Formats the area copy reads and writes: packed 16, 24 or 32 bits with non-empty
// channel masks inside the pixel. Anything else (palettes, 8 bits) is never touched.
bool is_packed_format(const PixelFormat& f) {
  if (f.bits != 16 && f.bits != 24 && f.bits != 32) return false;
  const std::uint64_t limit = std::uint64_t(1) << f.bits;
  return f.red_mask && f.green_mask && f.blue_mask && f.red_mask < limit && f.green_mask < limit &&
         f.blue_mask < limit;
}

// A surface whose record is consistent: rows at least as long as the width and a pixel
// array that holds every row. Copies leave inconsistent records alone.
bool is_sound_surface(const Surface& s) {
  if (s.width <= 0 || s.height <= 0 || s.pitch <= 0) return false;
  return std::int64_t(s.pitch) >= std::int64_t(s.width) * bytes_per_pixel(s.format) &&
         std::uint64_t(s.pixels.size()) >= std::uint64_t(s.pitch) * std::uint64_t(s.height);
}

// One channel of a format: where its mask starts and how many bits it holds.
struct Channel {
  int shift = 0;
  int bits = 0;
};

Channel channel_of(std::uint32_t mask) {
  Channel c;
  c.shift = std::countr_zero(mask);
  c.bits = std::min(8, std::popcount(mask));
  // A mask wider than 8 bits keeps its top 8.
  c.shift += std::popcount(mask) - c.bits;
  return c;
}

// Widens a channel of n bits to 8 by repeating its top bits, so a full 5-bit 0x1f becomes 0xff.
std::uint32_t widen(std::uint32_t v, int bits) {
  std::uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += bits) out = out << bits | v;
  return (out >> (((8 + bits - 1) / bits) * bits - 8)) & 0xff;
}

std::uint32_t load(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

void store(std::uint8_t* p, int bytes, std::uint32_t v) {
  for (int i = 0; i < bytes; ++i, v >>= 8) p[i] = std::uint8_t(v);
}

// Per-copy conversion tables for formats that are not one of the fast pairs below.
struct Converter {
  Channel src[3], dst[3];
  int src_bytes = 0, dst_bytes = 0;

  std::uint32_t convert(const std::uint8_t* p) const {
    const std::uint32_t v = load(p, src_bytes);
    std::uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
      const std::uint32_t level = widen(v >> src[c].shift & ((1u << src[c].bits) - 1), src[c].bits);
      out |= (level >> (8 - dst[c].bits)) << dst[c].shift;
    }
    return out;
  }
};

Converter make_converter(const PixelFormat& from, const PixelFormat& to) {
  Converter c;
  c.src_bytes = bytes_per_pixel(from);
  c.dst_bytes = bytes_per_pixel(to);
  const std::uint32_t from_masks[3] = {from.red_mask, from.green_mask, from.blue_mask};
  const std::uint32_t to_masks[3] = {to.red_mask, to.green_mask, to.blue_mask};
  for (int i = 0; i < 3; ++i) {
    c.src[i] = channel_of(from_masks[i]);
    c.dst[i] = channel_of(to_masks[i]);
  }
  return c;
}

// The two conversions the video layer makes every frame, written out for speed: 5-5-5 and
// 24-bit B, G, R onto the 0x00RRGGBB display format. They agree with Converter bit for bit.
// Whole pixels are assembled in a register and stored at once.
void store_display(std::uint8_t* dp, std::uint32_t rgb) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(dp, &rgb, 4);
  } else {
    store(dp, 4, rgb);
  }
}

constexpr std::uint32_t rgb555_widened(std::uint32_t v) {
  const std::uint32_t r = v >> 10 & 0x1f, g = v >> 5 & 0x1f, b = v & 0x1f;
  return (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
}

// Widening copies every output bit from one input bit, so the two bytes of a 5-5-5 pixel
// can be widened apart and the halves or-ed: out = low[byte 0] | high[byte 1].
struct Rgb555Tables {
  std::uint32_t low[256], high[256];
};

constexpr Rgb555Tables make_rgb555_tables() {
  Rgb555Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    t.low[i] = rgb555_widened(i);
    t.high[i] = rgb555_widened(i << 8);
  }
  return t;
}

constexpr Rgb555Tables rgb555_tables = make_rgb555_tables();

void row_rgb555_to_display(const std::uint8_t* sp, std::uint8_t* dp, int n) {
  for (int i = 0; i < n; ++i) store_display(dp + 4 * i, rgb555_tables.low[sp[2 * i]] | rgb555_tables.high[sp[2 * i + 1]]);
}

void row_bgr24_to_display(const std::uint8_t* sp, std::uint8_t* dp, int n) {
  for (int i = 0; i < n; ++i)
    store_display(dp + 4 * i, std::uint32_t(sp[3 * i]) | std::uint32_t(sp[3 * i + 1]) << 8 | std::uint32_t(sp[3 * i + 2]) << 16);
}

// An area as 64-bit edges, so that areas anywhere in the int range shift without overflow.
struct Span {
  std::int64_t left, top, right, bottom;
};

}  // namespace

Surface surface_create(int width, int height, const PixelFormat& format) {
  Surface s;
  s.format = format;
  const std::int64_t pitch = std::int64_t(std::max(width, 0)) * bytes_per_pixel(format);
  if (width <= 0 || height <= 0 || bytes_per_pixel(format) <= 0 || pitch > std::numeric_limits<int>::max())
    return s;  // an empty surface: nothing is ever copied to or from it
  s.width = width;
  s.height = height;
  s.pitch = int(pitch);
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
  if (!is_sound_surface(src) || !is_sound_surface(dst)) return;
  const bool same_format = src.format == dst.format;
  if (!same_format && (!is_packed_format(src.format) || !is_packed_format(dst.format))) return;

  // Source pixel (x, y) lands on (x + dx, y + dy). Clip the source area to its surface,
  // move it into destination coordinates, then clip it to the destination area and surface.
  const std::int64_t dx = std::int64_t(dst_area.left) - src_area.left;
  const std::int64_t dy = std::int64_t(dst_area.top) - src_area.top;
  Span r{std::max<std::int64_t>(src_area.left, 0) + dx, std::max<std::int64_t>(src_area.top, 0) + dy,
         std::min<std::int64_t>(src_area.right, src.width) + dx, std::min<std::int64_t>(src_area.bottom, src.height) + dy};
  r.left = std::max<std::int64_t>({r.left, dst_area.left, 0});
  r.top = std::max<std::int64_t>({r.top, dst_area.top, 0});
  r.right = std::min<std::int64_t>({r.right, dst_area.right, dst.width});
  r.bottom = std::min<std::int64_t>({r.bottom, dst_area.bottom, dst.height});
  if (r.left >= r.right || r.top >= r.bottom) return;

  const int sbpp = bytes_per_pixel(src.format), dbpp = bytes_per_pixel(dst.format);
  const int n = int(r.right - r.left);
  const bool from_555 = src.format == rgb555_pixel_format && dst.format == display_pixel_format;
  const bool from_bgr24 = src.format == bgr24_pixel_format && dst.format == display_pixel_format;
  const Converter converter = same_format ? Converter{} : make_converter(src.format, dst.format);

  // A copy within one surface that moves pixels down walks the rows bottom up, so no row is
  // overwritten before it has been read; memmove covers the overlap inside a row.
  const bool bottom_up = &src == &dst && dy > 0;
  for (std::int64_t i = 0; i < r.bottom - r.top; ++i) {
    const std::int64_t y = bottom_up ? r.bottom - 1 - i : r.top + i;
    const std::uint8_t* sp = src.pixels.data() + std::size_t(y - dy) * std::size_t(src.pitch) + std::size_t(r.left - dx) * sbpp;
    std::uint8_t* dp = dst.pixels.data() + std::size_t(y) * std::size_t(dst.pitch) + std::size_t(r.left) * dbpp;
    if (same_format) {
      std::memmove(dp, sp, std::size_t(n) * sbpp);
    } else if (from_555) {
      row_rgb555_to_display(sp, dp, n);
    } else if (from_bgr24) {
      row_bgr24_to_display(sp, dp, n);
    } else {
      for (int x = 0; x < n; ++x, sp += sbpp, dp += dbpp) store(dp, dbpp, converter.convert(sp));
    }
  }
}
