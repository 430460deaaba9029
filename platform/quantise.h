// quantise.h: a true-colour picture reduced to 256 colours through libimagequant, for writing
// the 8-bit paletted pictures the show reads. Dithering (on by default) spreads the colour
// error over neighbouring pixels; without it each pixel takes its nearest palette colour.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct QuantisedPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> indices;       // width x height, rows top first
  std::array<std::uint8_t, 768> palette{};  // 256 entries of red, green, blue; unused ones black
  int colours = 0;                          // palette entries in use
  double rms_error = 0;  // root mean square difference per colour channel (0..255) from the source
  double max_error = 0;  // the largest difference of any channel of any pixel
};

// pixels: width x height 0x00RRGGBB. False, with the reason in *error, when the library fails.
bool quantise_picture(std::span<const std::uint32_t> pixels, int width, int height, bool dither,
                      QuantisedPicture* out, std::string* error);
