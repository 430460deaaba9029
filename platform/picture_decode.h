// picture_decode.h: PNG pictures through libpng and JPEG pictures through libjpeg-turbo, decoded
// to the 0x00RRGGBB pixels the show draws with. Every PNG colour type and bit depth (grey,
// paletted with or without transparency, 16-bit, interlaced) and every JPEG a photo program
// writes (baseline or progressive; grey, YCbCr, RGB, CMYK or YCCK) decode. Where a picture has
// an alpha channel, a pixel below half opacity (alpha under 128) becomes black, which layers
// that treat black as see-through leave see-through; the others keep their colour and lose
// their alpha. The size in the header is checked against max_picture_side before anything
// is allocated for the pixels.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class PictureKind { unknown, pcx, png, jpeg };

// The picture format the first bytes announce.
PictureKind picture_kind_of(std::span<const std::uint8_t> bytes);

enum class DecodeResult {
  ok,
  damaged,    // the data ends early or is corrupt: what was decoded is kept, the rest black
  refused,    // not decodable (unknown layout, no pixels); nothing is kept
  too_large,  // a side above max_picture_side; nothing was allocated
};

struct DecodedPicture {
  DecodeResult result = DecodeResult::refused;
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // width x height, rows top first; empty unless ok or damaged
  std::string problem;                // what was wrong, for a person; empty when ok
};

DecodedPicture decode_png(std::span<const std::uint8_t> bytes);
DecodedPicture decode_jpeg(std::span<const std::uint8_t> bytes);
