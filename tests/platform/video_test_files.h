// video_test_files.h: AVI fixtures for the video tests, made by the project's writer, and the
// reading of the frame-number bar that every fixture and interop file shows on its top rows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "testdata.h"
#include "tools/avi_writer.h"

// Frame n: 8 blocks across the top 8 rows, block b white when bit b of n is set; below them
// a colour that follows x (blue = x) and the row (green = 2 y), so sheared or flipped rows show.
inline void draw_numbered_frame(int width, int height, int n, std::span<std::uint32_t> pixels) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int block = x / (width / 8);
      const bool bar = y < 8 && block < 8 && (n >> block & 1);
      pixels[std::size_t(y) * width + x] =
          bar ? 0xffffffu : y < 8 ? 0u : 0x400000u | std::uint32_t(2 * y & 0xff) << 8 | std::uint32_t(x & 0xff);
    }
}

inline std::vector<std::uint8_t> numbered_avi(int width, int height, int frames, const AviWriterOptions& options = {}) {
  return avi_encode(width, height, frames,
                    [&](int n, std::span<std::uint32_t> p) { draw_numbered_frame(width, height, n, p); }, options);
}

inline std::filesystem::path write_scratch(const std::string& test, const std::string& name,
                                           const std::vector<std::uint8_t>& bytes) {
  const std::filesystem::path path = scratch_dir(test) / name;
  write_file_bytes(path, bytes);
  return path;
}

struct DibView {
  int width = 0, height = 0, bits = 0;
  std::size_t stride = 0;
  const std::uint8_t* rows = nullptr;  // bottom row first
};

inline DibView dib_view(const std::uint8_t* dib) {
  auto i32 = [&](int at) { return std::int32_t(dib[at] | dib[at + 1] << 8 | dib[at + 2] << 16 | std::uint32_t(dib[at + 3]) << 24); };
  DibView v{i32(4), i32(8), dib[14] | dib[15] << 8, 0, dib + 40};
  v.stride = (std::size_t(v.width) * std::size_t(v.bits) + 31) / 32 * 4;
  return v;
}

// A pixel of the upright picture as 0x00RRGGBB (5-5-5 widened by shifting).
inline std::uint32_t dib_pixel(const DibView& v, int x, int y) {
  const std::uint8_t* p = v.rows + std::size_t(v.height - 1 - y) * v.stride + std::size_t(x) * std::size_t(v.bits / 8);
  if (v.bits == 16) {
    const std::uint32_t c = p[0] | p[1] << 8;
    return (c >> 10 & 31) << 19 | (c >> 5 & 31) << 11 | (c & 31) << 3;
  }
  return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

// The bar read at picture row 4, from the centre of each block.
inline int bar_value(const std::uint8_t* dib) {
  const DibView v = dib_view(dib);
  int n = 0;
  for (int b = 0; b < 8; ++b) {
    const std::uint32_t c = dib_pixel(v, b * (v.width / 8) + v.width / 16, 4);
    if ((c >> 16 & 0xff) + (c >> 8 & 0xff) + (c & 0xff) > 384) n |= 1 << b;
  }
  return n;
}
