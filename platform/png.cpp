// png.cpp: PNG output through libpng, encoded in memory and written with write_file, so a
// failed write or close is reported like any other.
#include "platform/png.h"

#include <png.h>

#include <vector>

#include "base/write_file.h"

namespace {

void append_bytes(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

void no_flush(png_structp) {}

// The file's bytes; false when libpng failed.
bool encode_png(std::span<const std::uint32_t> pixels, int width, int height, std::vector<std::uint8_t>* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(std::size_t(width) * 3);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, out, append_bytes, no_flush);
  png_set_compression_level(png, 6);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* src = pixels.data() + std::size_t(y) * std::size_t(width);
    for (int x = 0; x < width; ++x) {
      row[std::size_t(x) * 3 + 0] = png_byte(src[x] >> 16);
      row[std::size_t(x) * 3 + 1] = png_byte(src[x] >> 8);
      row[std::size_t(x) * 3 + 2] = png_byte(src[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool write_png(const std::string& path, std::span<const std::uint32_t> pixels, int width, int height) {
  if (width <= 0 || height <= 0 || pixels.size() < std::size_t(width) * std::size_t(height)) return false;
  std::vector<std::uint8_t> bytes;
  if (!encode_png(pixels, width, height, &bytes)) return false;
  return write_file(path, std::span<const std::uint8_t>(bytes)).empty();
}
