// picture_convert.cpp: decode, quantise, encode.
#include "tools/picture_convert.h"

#include "driver/picture_file.h"
#include "platform/quantise.h"
#include "tools/pcx_writer.h"

bool convert_picture_to_pcx(const std::string& path, bool dither, ConvertedPicture* out, std::string* problem) {
  int result = PICTURE_OK;
  std::string trouble;
  const Picture picture = load_any_picture(path, &result, &trouble);
  if (result != PICTURE_OK) {
    *problem = path + " " + trouble;
    return false;
  }
  QuantisedPicture quantised;
  if (!quantise_picture(picture.pixels, picture.width, picture.height, dither, &quantised, problem)) {
    *problem = path + ": " + *problem;
    return false;
  }
  out->width = picture.width;
  out->height = picture.height;
  out->pcx = pcx_encode(picture.width, picture.height, quantised.indices, quantised.palette);
  out->colours = quantised.colours;
  out->rms_error = quantised.rms_error;
  out->max_error = quantised.max_error;
  if (out->pcx.empty()) {
    *problem = path + " is too wide for a PCX file";
    return false;
  }
  return true;
}
