// picture_convert.h: any picture the show reads (PCX, PNG, JPEG) as an 8-bit paletted PCX,
// quantised to 256 colours where it has more, for picture-convert and seq-pack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ConvertedPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pcx;  // the file's bytes
  int colours = 0;                // palette entries in use
  double rms_error = 0;           // colour error the quantisation introduced (0..255 per channel)
  double max_error = 0;
};

// False, with a sentence in *problem, when the picture cannot be read or quantised.
bool convert_picture_to_pcx(const std::string& path, bool dither, ConvertedPicture* out, std::string* problem);
