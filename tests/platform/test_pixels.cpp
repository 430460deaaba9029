// Surfaces and the converting, clipping area copy.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>

#include "platform/pixels.h"

namespace {

constexpr std::uint32_t untouched = 0x00abcdefu;

std::uint32_t pixel32(const Surface& s, int x, int y) {
  const std::uint8_t* p = s.pixels.data() + std::size_t(y) * s.pitch + std::size_t(x) * 4;
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void fill32(Surface& s, std::uint32_t value) {
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      for (int i = 0; i < 4; ++i) s.pixels[std::size_t(y) * s.pitch + std::size_t(x) * 4 + i] = std::uint8_t(value >> 8 * i);
}

// A 24-bit B, G, R source whose every pixel is different: blue = x, green = y, red = 0x80.
Surface numbered_bgr24(int w, int h) {
  Surface s = surface_create(w, h, bgr24_pixel_format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = s.pixels.data() + std::size_t(y) * s.pitch + std::size_t(x) * 3;
      p[0] = std::uint8_t(x);
      p[1] = std::uint8_t(y);
      p[2] = 0x80;
    }
  return s;
}

// What the copy must leave in dst, pixel by pixel: the source pixel that lands there when it
// lies inside both areas and both surfaces, else the old value.
void expect_copy(const Surface& dst, const Area& sa, const Area& da, int src_w, int src_h) {
  const long dx = long(da.left) - sa.left, dy = long(da.top) - sa.top;
  for (int y = 0; y < dst.height; ++y)
    for (int x = 0; x < dst.width; ++x) {
      const long sx = x - dx, sy = y - dy;
      const bool inside = x >= da.left && x < da.right && y >= da.top && y < da.bottom && sx >= sa.left &&
                          sx < sa.right && sy >= sa.top && sy < sa.bottom && sx >= 0 && sx < src_w && sy >= 0 &&
                          sy < src_h;
      const std::uint32_t want = inside ? 0x800000u | std::uint32_t(sy) << 8 | std::uint32_t(sx) : untouched;
      ASSERT_EQ(pixel32(dst, x, y), want) << "at " << x << "," << y << " src area " << sa.left << "," << sa.top
                                          << " dst area " << da.left << "," << da.top << "," << da.right << ","
                                          << da.bottom;
    }
}

}  // namespace

TEST(SurfaceCreate, RowsWithoutGapsAndBlack) {
  Surface s = surface_create(320, 200, display_pixel_format);
  EXPECT_EQ(s.pitch, 1280);
  EXPECT_EQ(s.pixels.size(), 256000u);
  EXPECT_EQ(surface_create(7, 3, rgb555_pixel_format).pitch, 14);
  EXPECT_EQ(surface_create(7, 3, bgr24_pixel_format).pitch, 21);
  fill32(s, 0x123456);
  surface_clear(s);
  EXPECT_EQ(pixel32(s, 319, 199), 0u);
}

TEST(SurfaceCreate, ZeroNegativeOrHugeSizesGiveEmptySurface) {
  EXPECT_TRUE(surface_create(0, 10, display_pixel_format).pixels.empty());
  EXPECT_TRUE(surface_create(-5, 10, display_pixel_format).pixels.empty());
  EXPECT_TRUE(surface_create(10, -1, display_pixel_format).pixels.empty());
  EXPECT_EQ(surface_create(INT_MAX, 1, display_pixel_format).width, 0);
}

TEST(SurfaceLock, LockedPixelsAreTheSurfacePixels) {
  Surface s = surface_create(4, 4, display_pixel_format);
  std::uint8_t* p = surface_lock(s);
  EXPECT_TRUE(s.locked);
  EXPECT_EQ(p, s.pixels.data());
  surface_unlock(s);
  EXPECT_FALSE(s.locked);
}

TEST(SurfaceCopyArea, Rgb555WidensEachChannelToFullRange) {
  Surface src = surface_create(5, 1, rgb555_pixel_format);
  const std::uint16_t values[5] = {0x7fff, 0x7c00, 0x03e0, 0x001f, 0x4210};
  for (int i = 0; i < 5; ++i) {
    src.pixels[2 * i] = std::uint8_t(values[i]);
    src.pixels[2 * i + 1] = std::uint8_t(values[i] >> 8);
  }
  Surface dst = surface_create(5, 1, display_pixel_format);
  surface_copy_area(src, dst, {0, 0, 5, 1}, {0, 0, 5, 1});
  EXPECT_EQ(pixel32(dst, 0, 0), 0x00ffffffu);
  EXPECT_EQ(pixel32(dst, 1, 0), 0x00ff0000u);
  EXPECT_EQ(pixel32(dst, 2, 0), 0x0000ff00u);
  EXPECT_EQ(pixel32(dst, 3, 0), 0x000000ffu);
  EXPECT_EQ(pixel32(dst, 4, 0), 0x00848484u);  // 16 of 31 -> 16 << 3 | 16 >> 2
}

TEST(SurfaceCopyArea, Bgr24BytesBecomeRgbWithZeroTopByte) {
  Surface src = surface_create(1, 1, bgr24_pixel_format);
  src.pixels = {0x11, 0x22, 0x33};
  Surface dst = surface_create(1, 1, display_pixel_format);
  fill32(dst, 0xff000000u);
  surface_copy_area(src, dst, {0, 0, 1, 1}, {0, 0, 1, 1});
  EXPECT_EQ(pixel32(dst, 0, 0), 0x00332211u);
}

TEST(SurfaceCopyArea, FastPathsMatchMaskConversionOnRandomData) {
  // A 32-bit destination with an alpha mask is not the display format, so it goes through
  // the general mask converter; its colour bits must equal the fast path's.
  const PixelFormat with_alpha{32, 0xff0000, 0xff00, 0xff, 0xff000000u};
  std::mt19937 rng(7);
  for (const PixelFormat& from : {rgb555_pixel_format, bgr24_pixel_format}) {
    Surface src = surface_create(64, 16, from);
    for (auto& b : src.pixels) b = std::uint8_t(rng());
    Surface fast = surface_create(64, 16, display_pixel_format);
    Surface general = surface_create(64, 16, with_alpha);
    surface_copy_area(src, fast, {0, 0, 64, 16}, {0, 0, 64, 16});
    surface_copy_area(src, general, {0, 0, 64, 16}, {0, 0, 64, 16});
    EXPECT_EQ(fast.pixels, general.pixels) << "from " << from.bits << " bits";
  }
}

TEST(SurfaceCopyArea, DisplayToRgb555AndBackKeepsTopBits) {
  Surface src = surface_create(1, 1, display_pixel_format);
  fill32(src, 0x00f8c8a8u);
  Surface mid = surface_create(1, 1, rgb555_pixel_format);
  surface_copy_area(src, mid, {0, 0, 1, 1}, {0, 0, 1, 1});
  EXPECT_EQ(mid.pixels[0] | mid.pixels[1] << 8, (0xf8 >> 3) << 10 | (0xc8 >> 3) << 5 | 0xa8 >> 3);
}

TEST(SurfaceCopyArea, ClipsAtEveryEdgeOfBothSurfaces) {
  // An 8x6 source at every offset around a 10x7 destination, whole and partial areas.
  const Surface src = numbered_bgr24(8, 6);
  const Area source_areas[] = {{0, 0, 8, 6}, {-3, -2, 5, 4}, {2, 1, 11, 9}, {3, 2, 6, 5}};
  for (const Area& sa : source_areas)
    for (int oy = -8; oy <= 9; ++oy)
      for (int ox = -10; ox <= 12; ++ox) {
        Surface dst = surface_create(10, 7, display_pixel_format);
        fill32(dst, untouched);
        const Area da{ox, oy, ox + (sa.right - sa.left), oy + (sa.bottom - sa.top)};
        surface_copy_area(src, dst, sa, da);
        expect_copy(dst, sa, da, 8, 6);
        if (HasFatalFailure()) return;
      }
}

TEST(SurfaceCopyArea, CopiesTheSmallerOfTwoAreaSizes) {
  const Surface src = numbered_bgr24(8, 6);
  for (const Area& da : {Area{1, 1, 3, 2}, Area{1, 1, 10, 7}, Area{-1, 2, 4, 7}}) {
    Surface dst = surface_create(10, 7, display_pixel_format);
    fill32(dst, untouched);
    const Area sa{2, 2, 6, 5};
    surface_copy_area(src, dst, sa, da);
    expect_copy(dst, sa, da, 8, 6);
  }
}

TEST(SurfaceCopyArea, OntoLockedSurfaceLandsInLockedPixels) {
  const Surface src = numbered_bgr24(8, 6);
  Surface dst = surface_create(320, 200, display_pixel_format);
  std::uint8_t* frame = surface_lock(dst);
  surface_copy_area(src, dst, {0, 0, 8, 6}, {316, 197, 324, 203});
  EXPECT_TRUE(dst.locked);
  const auto at = [&](int x, int y) {
    const std::uint8_t* p = frame + std::size_t(y) * 1280 + std::size_t(x) * 4;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
  };
  EXPECT_EQ(at(316, 197), 0x800000u);
  EXPECT_EQ(at(319, 199), 0x800203u);
  EXPECT_EQ(at(315, 197), 0u);
  surface_unlock(dst);
}

TEST(SurfaceCopyArea, AreasAtTheEndsOfTheIntRangeClipWithoutOverflow) {
  const Surface src = numbered_bgr24(8, 6);
  Surface dst = surface_create(10, 7, display_pixel_format);
  fill32(dst, untouched);
  surface_copy_area(src, dst, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX, INT_MAX, INT_MIN, INT_MIN});
  surface_copy_area(src, dst, {0, 0, 8, 6}, {INT_MAX - 2, 0, INT_MAX, 6});
  surface_copy_area(src, dst, {INT_MIN, 0, INT_MIN + 8, 6}, {0, 0, 8, 6});
  expect_copy(dst, {0, 0, 0, 0}, {0, 0, 0, 0}, 8, 6);  // nothing landed
  const Area everything{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  surface_copy_area(src, dst, everything, everything);
  expect_copy(dst, everything, everything, 8, 6);
}

TEST(SurfaceCopyArea, InvertedAndEmptyAreasCopyNothing) {
  const Surface src = numbered_bgr24(8, 6);
  Surface dst = surface_create(10, 7, display_pixel_format);
  fill32(dst, untouched);
  surface_copy_area(src, dst, {5, 0, 2, 6}, {0, 0, 8, 6});
  surface_copy_area(src, dst, {0, 0, 8, 6}, {0, 4, 8, 4});
  expect_copy(dst, {0, 0, 0, 0}, {0, 0, 0, 0}, 8, 6);
}

TEST(SurfaceCopyArea, InconsistentOrUnsupportedSurfacesAreLeftAlone) {
  Surface src = numbered_bgr24(8, 6);
  Surface dst = surface_create(10, 7, display_pixel_format);
  fill32(dst, untouched);
  Surface short_src = src;
  short_src.pixels.resize(10);  // fewer bytes than its rows claim
  surface_copy_area(short_src, dst, {0, 0, 8, 6}, {0, 0, 8, 6});
  Surface palette = surface_create(8, 6, PixelFormat{8, 0, 0, 0, 0});
  surface_copy_area(palette, dst, {0, 0, 8, 6}, {0, 0, 8, 6});
  expect_copy(dst, {0, 0, 0, 0}, {0, 0, 0, 0}, 8, 6);

  // One 8-bit surface onto another of its format is a plain copy.
  Surface palette2 = surface_create(8, 6, PixelFormat{8, 0, 0, 0, 0});
  palette.pixels[9] = 42;
  surface_copy_area(palette, palette2, {0, 0, 8, 6}, {0, 0, 8, 6});
  EXPECT_EQ(palette2.pixels[9], 42);
}

TEST(SurfaceCopyArea, OverlappingCopyWithinOneSurfaceMovesPicture) {
  // Moving a block down and right inside one surface must read every pixel before it is
  // overwritten, as a copy through a second surface would.
  for (const Area& target : {Area{2, 3, 8, 7}, Area{-1, -2, 5, 2}, Area{1, 0, 7, 4}}) {
    Surface s = surface_create(10, 8, display_pixel_format);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 10; ++x) s.pixels[std::size_t(y) * s.pitch + std::size_t(x) * 4] = std::uint8_t(y * 10 + x);
    Surface through = s;
    const Surface before = s;
    surface_copy_area(s, s, {0, 0, 6, 4}, target);
    surface_copy_area(before, through, {0, 0, 6, 4}, target);
    EXPECT_EQ(s.pixels, through.pixels);
  }
}

TEST(SurfaceCopyArea, Rgb555FastPathMatchesMaskRuleForEveryValue) {
  Surface src = surface_create(256, 256, rgb555_pixel_format);
  for (std::size_t v = 0; v < 65536; ++v) {
    src.pixels[2 * v] = std::uint8_t(v);
    src.pixels[2 * v + 1] = std::uint8_t(v >> 8);
  }
  Surface fast = surface_create(256, 256, display_pixel_format);
  surface_copy_area(src, fast, {0, 0, 256, 256}, {0, 0, 256, 256});
  for (int v = 0; v < 65536; ++v) {
    const std::uint32_t r = v >> 10 & 0x1f, g = v >> 5 & 0x1f, b = v & 0x1f;
    const std::uint32_t want = (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
    ASSERT_EQ(pixel32(fast, v % 256, v / 256), want) << "value " << v;
  }
}
