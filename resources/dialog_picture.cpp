// dialog_picture.cpp: bitmap 110, the setup dialog's picture: a night sky with stars, a
// striped sun setting behind a perspective grid, and the show's name in block letters.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "resources/resources.h"

namespace {

constexpr int width = 320, height = 200;
constexpr int horizon = 120;

// Palette ranges, each a gradient between two colours.
constexpr int sky_first = 1, sky_last = 63;
constexpr int sun_first = 64, sun_last = 127;
constexpr int grid_first = 128, grid_last = 159;
constexpr int title_first = 160, title_last = 191;
constexpr int shadow_index = 192;
constexpr int star_first = 193, star_last = 200;

std::uint32_t mix(std::uint32_t a, std::uint32_t b, int num, int den) {
  std::uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int ca = int(a >> shift & 0xff), cb = int(b >> shift & 0xff);
    out |= std::uint32_t(ca + (cb - ca) * num / den) << shift;
  }
  return out;
}

void ramp(IndexedBitmap& bmp, int first, int last, std::uint32_t from, std::uint32_t to) {
  for (int i = first; i <= last; ++i) bmp.palette[i] = mix(from, to, i - first, last - first);
}

// A 5x7 block font holding the letters the picture writes; '#' is ink.
struct Glyph {
  char c;
  const char* rows[7];
};

constexpr Glyph font[] = {
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
};

const Glyph* glyph_of(char c) {
  for (const Glyph& g : font)
    if (g.c == c) return &g;
  return nullptr;  // a blank
}

void put(IndexedBitmap& bmp, int x, int y, int index) {
  if (x >= 0 && x < width && y >= 0 && y < height) bmp.indices[std::size_t(y) * width + std::size_t(x)] = std::uint8_t(index);
}

constexpr int text_width(std::string_view text, int scale) { return int(text.size()) * 6 * scale - scale; }

// Writes text with its top-left corner at (x, y), each font pixel a scale x scale block,
// coloured by the row's place in the ramp first..last (or one colour when first == last).
void write_text(IndexedBitmap& bmp, std::string_view text, int x, int y, int scale, int first, int last) {
  const int rows = 7 * scale;
  for (char c : text) {
    if (const Glyph* g = glyph_of(c))
      for (int gy = 0; gy < rows; ++gy)
        for (int gx = 0; gx < 5 * scale; ++gx)
          if (g->rows[gy / scale][gx / scale] == '#') put(bmp, x + gx, y + gy, first + (last - first) * gy / (rows - 1));
    x += 6 * scale;
  }
}

void draw_sky_and_stars(IndexedBitmap& bmp) {
  for (int y = 0; y < horizon; ++y)
    std::memset(&bmp.indices[std::size_t(y) * width], sky_first + (sky_last - sky_first) * y / (horizon - 1), width);
  std::uint32_t seed = 0x2007u;
  for (int i = 0; i < 70; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int x = int(seed >> 8) % width;
    const int y = int(seed >> 20) % (horizon - 30);
    put(bmp, x, y, star_first + int(seed & 7));
  }
}

// The sun sits on the horizon; its lower half is cut by bands that widen toward the ground.
void draw_sun(IndexedBitmap& bmp) {
  constexpr int cx = 160, cy = 104, radius = 58;
  for (int y = cy - radius; y < horizon; ++y) {
    const int below = y - (cy - 12);
    if (below >= 0 && below % 9 < 1 + below / 6) continue;
    const int half = int(std::sqrt(double(radius * radius - (y - cy) * (y - cy))));
    const int index = sun_first + (sun_last - sun_first) * (y - (cy - radius)) / (horizon - (cy - radius));
    for (int x = cx - half; x <= cx + half; ++x) put(bmp, x, y, index);
  }
}

// A floor grid seen from above the ground: rows nearer the viewer are brighter, lines
// converge on the horizon's centre.
void draw_grid(IndexedBitmap& bmp) {
  for (int y = horizon; y < height; ++y) std::memset(&bmp.indices[std::size_t(y) * width], 0, width);
  const auto shade = [](int y) { return grid_first + (grid_last - grid_first) * (y - horizon) / (height - 1 - horizon); };
  for (double z = 1.0; z < 16.0; z *= 1.32) {
    const int y = horizon + int(std::lround(80.0 / z));
    if (y < height)
      for (int x = 0; x < width; ++x) put(bmp, x, y, shade(y));
  }
  put(bmp, 0, horizon, shade(horizon));
  for (int y = horizon; y < height; ++y)
    for (int j = -14; j <= 14; ++j) put(bmp, 160 + int(std::lround(j * 30.0 * (y - horizon) / 80.0)), y, shade(y));
}

IndexedBitmap dialog_picture() {
  IndexedBitmap bmp;
  bmp.width = width;
  bmp.height = height;
  bmp.indices.assign(std::size_t(width) * height, 0);
  ramp(bmp, sky_first, sky_last, 0x0a0624, 0x7a2380);
  ramp(bmp, sun_first, sun_last, 0xfff070, 0xff2d6f);
  ramp(bmp, grid_first, grid_last, 0x3a1050, 0x40f0ff);
  ramp(bmp, title_first, title_last, 0xffffff, 0x3fa8ff);
  bmp.palette[shadow_index] = 0x12041e;
  ramp(bmp, star_first, star_last, 0x606080, 0xffffff);

  draw_sky_and_stars(bmp);
  draw_sun(bmp);
  draw_grid(bmp);

  constexpr std::string_view title = "QUINDLE07";
  const int x = (width - text_width(title, 3)) / 2;
  write_text(bmp, title, x + 2, 16, 3, shadow_index, shadow_index);
  write_text(bmp, title, x, 14, 3, title_first, title_last);
  constexpr std::string_view party = "KORVELIA";
  write_text(bmp, party, (width - text_width(party, 1)) / 2, 44, 1, star_last, star_last);
  return bmp;
}

}  // namespace

IndexedBitmap resource_bitmap(int id) {
  if (id == resource_dialog_bitmap) return dialog_picture();
  return {};
}
