// picture_file.cpp: the choice of decoder, and the hints for pictures the show cannot use.
#include "driver/picture_file.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/limits.h"
#include "platform/picture_decode.h"

namespace {

const char convert_hint[] = "; quindle-tool picture-convert IN OUT.pcx makes a picture the show reads";

std::string too_large_text() {
  return "is larger than " + std::to_string(max_picture_file_bytes >> 20) + " MiB, more than any picture needs";
}

// The whole file, or false when it cannot be read or is larger than any picture the show takes.
// A file whose size says so is refused before a byte of it is read.
bool read_picture_file(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* problem) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > max_picture_file_bytes) {
    *problem = too_large_text();
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *problem = "cannot be opened";
    return false;
  }
  std::uint8_t block[65536];
  bool ok = true;
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
    if (bytes->size() + got > max_picture_file_bytes) {
      *problem = too_large_text();
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

// What keeps a PCX from being the kind the show reads (version 5, run-length coded, 8 bits per
// pixel in one plane), in words; "" when it is that kind or too short to tell.
std::string pcx_kind_problem(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 128) return "";
  const int version = bytes[1], encoding = bytes[2], bits = bytes[3], planes = bytes[65];
  if (version == 5 && encoding == 1 && bits == 8 && planes == 1) return "";
  std::string text = "is a PCX of " + std::to_string(bits) + " bit" + (bits == 1 ? "" : "s") + " per pixel in " +
                     std::to_string(planes) + " plane" + (planes == 1 ? "" : "s");
  if (bits * planes >= 24) text += " (" + std::to_string(bits * planes) + "-bit colour)";
  if (version != 5) text += ", version " + std::to_string(version);
  if (encoding != 1) text += ", not run-length coded";
  return text + "; the show reads PCX files of 8 bits per pixel in one plane with a 256-colour palette" + convert_hint;
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
    if (std::string kind_problem = pcx_kind_problem(bytes); !kind_problem.empty()) {
      *result = PICTURE_NOT_PICTURE;
      *problem = std::move(kind_problem);
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
