#include "tools/pcx_writer.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr std::size_t header_size = 128;
constexpr std::size_t palette_size = 768;
constexpr std::size_t longest_run = 63;    // the low six bits of a run byte
constexpr std::uint8_t palette_marker = 12;  // precedes the palette at the end of the file

void put_u16le(std::uint8_t* p, unsigned v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

void append_u32le(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(v >> shift));
}

std::vector<std::uint8_t> make_header(int width, int height, unsigned bytes_per_line) {
  std::vector<std::uint8_t> header(header_size, 0);
  header[0] = 10;  // manufacturer
  header[1] = 5;   // version: 256-colour palette at the end
  header[2] = 1;   // run-length encoding
  header[3] = 8;   // bits per pixel
  put_u16le(&header[8], unsigned(width - 1));
  put_u16le(&header[10], unsigned(height - 1));
  put_u16le(&header[12], 72);  // resolution, dots per inch
  put_u16le(&header[14], 72);
  header[65] = 1;  // planes
  put_u16le(&header[66], bytes_per_line);
  put_u16le(&header[68], 1);  // palette holds colours
  return header;
}

// Appends one line as runs: a run of 2 or more, or a single index of 192 or more (which would
// read as a run byte), becomes (0xC0 | count, index); other single indices are stored as is.
void encode_line(std::span<const std::uint8_t> line, std::vector<std::uint8_t>& out) {
  std::size_t p = 0;
  while (p < line.size()) {
    const std::uint8_t v = line[p];
    std::size_t count = 1;
    while (p + count < line.size() && count < longest_run && line[p + count] == v) ++count;
    if (count > 1 || v >= 0xC0) out.push_back(std::uint8_t(0xC0 | count));
    out.push_back(v);
    p += count;
  }
}

}  // namespace

std::vector<std::uint8_t> pcx_encode(int width, int height, std::span<const std::uint8_t> indices,
                                     std::span<const std::uint8_t> palette) {
  if (width < 1 || width > 65534 || height < 1 || height > 65536) return {};
  const std::size_t w = std::size_t(width), h = std::size_t(height);
  if (indices.size() < w * h || palette.size() < palette_size) return {};
  // Lines hold an even number of bytes; the padding index 0 is decoded but not shown.
  const std::size_t bytes_per_line = w + (w & 1);

  std::vector<std::uint8_t> out = make_header(width, height, unsigned(bytes_per_line));
  std::vector<std::uint8_t> line(bytes_per_line, 0);
  for (std::size_t y = 0; y < h; ++y) {
    std::copy_n(indices.begin() + std::ptrdiff_t(y * w), w, line.begin());
    encode_line(line, out);
  }
  out.push_back(palette_marker);
  out.insert(out.end(), palette.begin(), palette.begin() + palette_size);
  return out;
}

std::vector<std::uint8_t> pcx_pack_sequence(std::span<const std::vector<std::uint8_t>> pictures) {
  std::vector<std::uint8_t> out;
  for (const std::vector<std::uint8_t>& picture : pictures) {
    append_u32le(out, std::uint32_t(picture.size()));
    out.insert(out.end(), picture.begin(), picture.end());
  }
  append_u32le(out, std::uint32_t(pictures.size()));
  return out;
}
