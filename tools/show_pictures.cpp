// show_pictures.cpp: the sample show's pictures and its sequence, drawn in code: a title and
// a closing line in a small pixel font, a tiling texture for the grid warp, and an animation
// of expanding rings.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tools/pcx_writer.h"
#include "tools/show_assets.h"

namespace {

// An 8-bit picture being drawn: palette indices and a 256-entry palette.
struct Canvas {
  int width, height;
  std::vector<std::uint8_t> indices;
  std::vector<std::uint8_t> palette = std::vector<std::uint8_t>(768, 0);
  Canvas(int w, int h) : width(w), height(h), indices(std::size_t(w) * h, 0) {}
  void set(int x, int y, int index) {
    if (x >= 0 && y >= 0 && x < width && y < height) indices[std::size_t(y) * width + x] = std::uint8_t(index);
  }
  void colour(int index, double r, double g, double b) {
    auto byte = [](double v) { return std::uint8_t(std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 255)); };
    palette[std::size_t(index) * 3 + 0] = byte(r);
    palette[std::size_t(index) * 3 + 1] = byte(g);
    palette[std::size_t(index) * 3 + 2] = byte(b);
  }
  std::vector<std::uint8_t> encode() const { return pcx_encode(width, height, indices, palette); }
};

// 5x7 glyphs, one string of 7 rows of 5 columns per character.
const char* glyph(char c) {
  switch (c) {
    case 'A': return " ### #   ##   #######   ##   ##   #";
    case 'C': return " #####    #    #    #    #     ####";
    case 'D': return "#### #   ##   ##   ##   ##   #####";
    case 'E': return "######    #    #### #    #    #####";
    case 'F': return "######    #    #### #    #    #    ";
    case 'G': return " #####    #    #  ###   ##   # ####";
    case 'H': return "#   ##   ##   #######   ##   ##   #";
    case 'I': return "#####  #    #    #    #    #  #####";
    case 'K': return "#   ##  # # #  ##   # #  #  # #   #";
    case 'L': return "#    #    #    #    #    #    #####";
    case 'M': return "#   ### ### # ##   ##   ##   ##   #";
    case 'N': return "#   ###  ## # ##  ###   ##   ##   #";
    case 'O': return " ### #   ##   ##   ##   ##   # ### ";
    case 'P': return "#### #   ##   ##### #    #    #    ";
    case 'Q': return " ### #   ##   ##   ## # ##  #  ## #";
    case 'R': return "#### #   ##   ##### # #  #  # #   #";
    case 'S': return " #####    #     ###     #    ##### ";
    case 'T': return "#####  #    #    #    #    #    #  ";
    case 'U': return "#   ##   ##   ##   ##   ##   # ### ";
    case 'W': return "#   ##   ##   ## # ## # ### ###   #";
    case 'X': return "#   ##   # # #   #   # # #   ##   #";
    case 'Y': return "#   ##   # # #   #    #    #    #  ";
    default: return nullptr;  // a blank
  }
}

// Draws text centred on row y, each font pixel a scale x scale block whose colour index
// follows the row (a vertical gradient through indices first .. first + 6 * scale).
void draw_text(Canvas& canvas, const std::string& text, int y, int scale, int first) {
  const int advance = 6 * scale;
  int x = (canvas.width - int(text.size()) * advance + scale) / 2;
  for (char c : text) {
    if (const char* rows = glyph(c))
      for (int gy = 0; gy < 7; ++gy)
        for (int gx = 0; gx < 5; ++gx)
          if (rows[gy * 5 + gx] == '#')
            for (int sy = 0; sy < scale; ++sy)
              for (int sx = 0; sx < scale; ++sx) canvas.set(x + gx * scale + sx, y + gy * scale + sy, first + gy * scale + sy);
    x += advance;
  }
}

// Black background (transparent when laid over the frame) and gold-to-white text.
std::vector<std::uint8_t> text_picture(const std::string& line1, const std::string& line2) {
  Canvas c(320, 200);
  for (int i = 1; i < 64; ++i) c.colour(i, 1.0, 0.55 + i / 140.0, 0.15 + i / 80.0);
  for (int i = 64; i < 256; ++i) c.colour(i, 0.3, 0.5, 0.9);
  draw_text(c, line1, 52, 6, 1);
  draw_text(c, line2, 124, 2, 1);
  return c.encode();
}

// A 256x256 texture that tiles: soft diagonal waves in blues and oranges, with rings.
std::vector<std::uint8_t> texture_picture() {
  Canvas c(256, 256);
  const double pi = 3.14159265358979;
  for (int i = 0; i < 256; ++i) {
    const double t = i / 255.0;
    // Dark enough that the grid's added brightness (up to 200) still leaves colour.
    c.colour(i, 0.25 + 0.25 * std::sin(2 * pi * t), 0.15 + 0.15 * std::sin(2 * pi * t + 2.0),
             0.3 + 0.25 * std::sin(2 * pi * t + 4.0));
  }
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const double a = 2 * pi * x / 256, b = 2 * pi * y / 256;
      const double v = std::sin(a) + std::sin(b) + std::sin(a + b) + 0.5 * std::sin(3 * a - 2 * b);
      c.set(x, y, int(std::lround((v + 3.5) / 7.0 * 255)) & 255);
    }
  return c.encode();
}

// Frame k of the ring animation: rings expanding from the centre, on black.
std::vector<std::uint8_t> ring_frame(int k, int frames) {
  Canvas c(320, 200);
  for (int i = 1; i < 256; ++i) c.colour(i, 0.2 * i / 255.0, 0.6 * i / 255.0, i / 255.0);
  const double phase = double(k) / frames;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      const double d = std::hypot(x - 160.0, (y - 100.0) * 1.2) / 190.0;
      const double ring = std::fmod(d * 4.0 - phase + 4.0, 1.0);
      const double glow = std::exp(-std::pow((ring - 0.5) * 9.0, 2.0)) * (1.0 - d * 0.7);
      c.set(x, y, int(std::fmax(glow, 0.0) * 255));
    }
  return c.encode();
}

bool save(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return false;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

}  // namespace

bool write_show_pictures(const std::filesystem::path& dir) {
  constexpr int ring_frames = 16;
  std::vector<std::vector<std::uint8_t>> rings;
  for (int k = 0; k < ring_frames; ++k) rings.push_back(ring_frame(k, ring_frames));
  return save(dir / "title.pcx", text_picture("QUINDLE", "KEYFRAMES AND PIXELS")) &&
         save(dir / "thanks.pcx", text_picture("THANKS", "FOR WATCHING")) && save(dir / "texture.pcx", texture_picture()) &&
         save(dir / "rings.seq", pcx_pack_sequence(rings));
}
