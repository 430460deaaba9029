// Surfaces and the converting, clipping area copy.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <array>
#include <tuple>

#include "platform/pixels.h"

namespace {

constexpr std::uint32_t untouched = 0xffabcdefu;  // its top byte shows a copy that leaves it set

std::uint32_t pixel32(const Surface& s, int x, int y) {
  const std::uint8_t* p = s.pixels.data() + std::size_t(y) * s.pitch + std::size_t(x) * 4;
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

Surface filled32(int w, int h, std::uint32_t value) {
  Surface s = surface_create(w, h, display_pixel_format);
  for (std::size_t i = 0; i < s.pixels.size(); ++i) s.pixels[i] = std::uint8_t(value >> 8 * (i % 4));
  return s;
}

// An 8x6 B, G, R source whose every pixel is different: blue = x, green = y, red = 0x80.
Surface numbered_bgr24() {
  Surface s = surface_create(8, 6, bgr24_pixel_format);
  for (std::size_t i = 0; i < s.pixels.size(); i += 3) s.pixels[i] = i / 3 % 8, s.pixels[i + 1] = i / 24, s.pixels[i + 2] = 0x80;
  return s;
}

// What copying sa of numbered_bgr24 onto da of a surface filled with `untouched` leaves there:
// the source pixel that lands there when it lies inside both areas and both surfaces.
void expect_copy(const Surface& dst, const Area& sa, const Area& da) {
  const long dx = long(da.left) - sa.left, dy = long(da.top) - sa.top;
  for (int y = 0; y < dst.height; ++y)
    for (int x = 0; x < dst.width; ++x) {
      const long sx = x - dx, sy = y - dy;
      const bool inside = x >= da.left && x < da.right && y >= da.top && y < da.bottom && sx >= sa.left &&
                          sx < sa.right && sy >= sa.top && sy < sa.bottom && sx >= 0 && sx < 8 && sy >= 0 && sy < 6;
      ASSERT_EQ(pixel32(dst, x, y), inside ? 0x800000u | std::uint32_t(sy) << 8 | std::uint32_t(sx) : untouched)
          << "at " << x << "," << y << " src area " << sa.left << "," << sa.top << " dst area " << da.left << ","
          << da.top << "," << da.right << "," << da.bottom;
    }
}

}  // namespace

TEST(SurfaceCreate, RowsWithoutGapsAndBadSizesGiveEmptySurfaces) {
  const Surface display = surface_create(320, 200, display_pixel_format);  // the driver reads it as 64000 pixels
  EXPECT_EQ((std::array{display.pitch, int(display.pixels.size())}), (std::array{1280, 256000}));
  for (auto [w, h] : {std::pair{0, 10}, {-5, 10}, {10, -1}, {INT_MAX, 1}}) {
    const Surface bad = surface_create(w, h, display_pixel_format);
    EXPECT_TRUE(bad.pixels.empty()) << w << "x" << h;
    EXPECT_EQ(bad.width, 0) << w << "x" << h;
  }
}

// Every 16-bit value widens by repeating the top bits of each 5-bit channel (0x4210 gives
// 0x848484; bit 15 is ignored) and comes back, without bit 15, when copied onto 5-5-5 again.
TEST(SurfaceCopyArea, Rgb555WidensEveryValueAndNarrowsBack) {
  Surface src = surface_create(256, 256, rgb555_pixel_format), back = src;
  for (std::size_t v = 0; v < 65536; ++v) {
    src.pixels[2 * v] = std::uint8_t(v);
    src.pixels[2 * v + 1] = std::uint8_t(v >> 8);
  }
  Surface wide = surface_create(256, 256, display_pixel_format);
  surface_copy_area(src, wide, {0, 0, 256, 256}, {0, 0, 256, 256});
  for (int v = 0; v < 65536; ++v) {
    const std::uint32_t r = v >> 10 & 0x1f, g = v >> 5 & 0x1f, b = v & 0x1f;
    const std::uint32_t want = (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
    ASSERT_EQ(pixel32(wide, v % 256, v / 256), want) << "value " << v;
  }
  surface_copy_area(wide, back, {0, 0, 256, 256}, {0, 0, 256, 256});
  for (std::size_t i = 1; i < src.pixels.size(); i += 2) src.pixels[i] &= 0x7f;
  EXPECT_EQ(back.pixels, src.pixels);
}

// The source at every offset around a 10x7 destination, whole and partial areas, then
// destination areas smaller or larger than the source area (the smaller size is copied).
TEST(SurfaceCopyArea, ClipsToBothAreasAndAtEveryEdgeOfBothSurfaces) {
  const Surface src = numbered_bgr24();
  for (const Area& sa : {Area{0, 0, 8, 6}, Area{-3, -2, 5, 4}, Area{2, 1, 11, 9}, Area{3, 2, 6, 5}})
    for (int oy = -8; oy <= 9; ++oy)
      for (int ox = -10; ox <= 12; ++ox) {
        Surface dst = filled32(10, 7, untouched);
        const Area da{ox, oy, ox + (sa.right - sa.left), oy + (sa.bottom - sa.top)};
        surface_copy_area(src, dst, sa, da);
        expect_copy(dst, sa, da);
        if (HasFatalFailure()) return;
      }
  for (const Area& da : {Area{1, 1, 3, 2}, Area{1, 1, 10, 7}, Area{-1, 2, 4, 7}}) {
    Surface dst = filled32(10, 7, untouched);
    surface_copy_area(src, dst, {2, 2, 6, 5}, da);
    expect_copy(dst, {2, 2, 6, 5}, da);
  }
}

// Areas at the ends of the int range (no overflow), inverted or empty areas, a source with
// fewer bytes than its rows claim, and an 8-bit source onto 32 bits: nothing lands. The
// whole int range as both areas copies the whole source; 8 bits onto 8 bits is a plain copy.
TEST(SurfaceCopyArea, ExtremeOrEmptyAreasAndUnusableSourcesCopyNothing) {
  const Surface src = numbered_bgr24();
  Surface short_src = src, palette = surface_create(8, 6, PixelFormat{8, 0, 0, 0, 0}), palette2 = palette;
  short_src.pixels.resize(10);
  const std::tuple<const Surface*, Area, Area> copies[] = {
      {&src, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}},
      {&src, {0, 0, 8, 6}, {INT_MAX - 2, 0, INT_MAX, 6}}, {&src, {INT_MIN, 0, INT_MIN + 8, 6}, {0, 0, 8, 6}},
      {&src, {5, 0, 2, 6}, {0, 0, 8, 6}}, {&src, {0, 0, 8, 6}, {0, 4, 8, 4}},
      {&short_src, {0, 0, 8, 6}, {0, 0, 8, 6}}, {&palette, {0, 0, 8, 6}, {0, 0, 8, 6}}};
  Surface dst = filled32(10, 7, untouched);
  for (const auto& [from, sa, da] : copies) surface_copy_area(*from, dst, sa, da);
  expect_copy(dst, {0, 0, 0, 0}, {0, 0, 0, 0});
  const Area everything{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  surface_copy_area(src, dst, everything, everything);
  expect_copy(dst, everything, everything);
  palette.pixels[9] = 42;
  surface_copy_area(palette, palette2, {0, 0, 8, 6}, {0, 0, 8, 6});
  EXPECT_EQ(palette2.pixels[9], 42);
}

TEST(SurfaceCopyArea, OverlappingCopyWithinOneSurfaceMovesPicture) {
  // Each pixel must be read before it is overwritten, as a copy through a second surface would.
  for (const Area& target : {Area{2, 3, 8, 7}, Area{-1, -2, 5, 2}, Area{1, 0, 7, 4}}) {
    Surface s = surface_create(10, 8, display_pixel_format);
    for (std::size_t i = 0; i < s.pixels.size(); i += 4) s.pixels[i] = std::uint8_t(i / 4);
    const Surface before = s;
    Surface through = s;
    surface_copy_area(s, s, {0, 0, 6, 4}, target);
    surface_copy_area(before, through, {0, 0, 6, 4}, target);
    EXPECT_EQ(s.pixels, through.pixels);
  }
}
