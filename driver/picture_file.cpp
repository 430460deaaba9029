// picture_file.cpp: the choice of decoder, and the hints for pictures the show cannot use.
#include "driver/picture_file.h"

#include <cstdio>
#include <vector>

#include "base/limits.h"
#include "platform/picture_decode.h"

namespace {

const char convert_hint[] = "; quindle-tool picture-convert IN OUT.pcx makes a picture the show reads";

// The whole file, or false when it cannot be read or is larger than any picture the show takes.
bool read_picture_file(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* problem) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *problem = "cannot be opened";
    return false;
  }
  std::uint8_t block[65536];
  bool ok = true;
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
    if (bytes->size() + got > max_picture_file_bytes) {
      *problem = "is larger than " + std::to_string(max_picture_file_bytes >> 20) + " MiB, more than any picture needs";
      ok = false;
      break;
    }
    bytes->insert(bytes->end(), block, block + got);
  }
  if (ok && std::ferror(file)) {
    *problem = "cannot be read";
    ok = false;
  }
  std::fclose(file);
  return ok;
}

int result_of(DecodeResult result) {
  switch (result) {
    case DecodeResult::ok: return PICTURE_OK;
    case DecodeResult::damaged: return PICTURE_TRUNCATED;
    case DecodeResult::too_large: return PICTURE_TOO_LARGE;
    default: return PICTURE_NOT_PICTURE;
  }
}

}  // namespace

Picture load_any_picture(const std::string& path, int* result, std::string* problem) {
  problem->clear();
  std::vector<std::uint8_t> bytes;
  if (!read_picture_file(path, &bytes, problem)) {
    *result = PICTURE_READ_FAILED;
    return {};
  }
  const PictureKind kind = picture_kind_of(bytes);
  if (kind == PictureKind::pcx) {
    PictureHeader header;
    if (read_picture_header(bytes, &header) == PICTURE_OK && header.planes != 1) {
      *result = PICTURE_NOT_PICTURE;
      *problem = "is a PCX of " + std::to_string(header.planes) +
                 " planes (24-bit colour); the show reads PCX files of 8 bits in one plane" + convert_hint;
      return {};
    }
    Picture picture = load_picture(path, result);
    if (*result != PICTURE_OK) *problem = std::string("is ") + picture_result_text(*result);
    if (*result == PICTURE_NOT_PICTURE) *problem += convert_hint;
    return picture;
  }
  if (kind != PictureKind::png && kind != PictureKind::jpeg) {
    *result = PICTURE_NOT_PICTURE;
    *problem = "is not a picture the show reads (PCX, PNG or JPEG)";
    return {};
  }
  DecodedPicture decoded = kind == PictureKind::png ? decode_png(bytes) : decode_jpeg(bytes);
  *result = result_of(decoded.result);
  if (!decoded.problem.empty()) *problem = "is a " + decoded.problem;
  if (decoded.result != DecodeResult::ok && decoded.result != DecodeResult::damaged) return {};
  Picture picture;
  picture.width = decoded.width;
  picture.height = decoded.height;
  picture.pixels = std::move(decoded.pixels);
  return picture;
}
