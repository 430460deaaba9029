// fuzz_picture.cpp: any bytes as a picture: decoded into a frame-sized and into a small
// destination, and loaded from a file as the show's picture layers load it. A refused picture
// leaves the destination as it was; a loaded one has exactly width x height pixels, the pixels
// that decoding the same bytes into a destination of that size gives.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "effects/picture.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::uint32_t untouched = 0xA5A5A5A5u;

bool refused(int rc) {
  return rc == PICTURE_NOT_PICTURE || rc == PICTURE_SHORT_HEADER || rc == PICTURE_TOO_LARGE;
}

// Decodes into a destination filled with a mark; a refusal must leave every mark in place.
void decode_into(std::span<const std::uint8_t> bytes, std::vector<std::uint32_t>& destination) {
  std::fill(destination.begin(), destination.end(), untouched);
  const int rc = decode_picture(bytes, destination);
  if (rc < PICTURE_OK || rc > PICTURE_NO_MEMORY) std::abort();
  if (refused(rc) && std::any_of(destination.begin(), destination.end(), [](std::uint32_t p) { return p != untouched; }))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<std::uint32_t> frame(64000);
  static std::vector<std::uint32_t> small(16 * 16);
  static std::vector<std::uint32_t> same_size;
  static MemoryFile file("fuzz_picture");
  const std::span<const std::uint8_t> bytes(data, size);

  decode_into(bytes, frame);
  decode_into(bytes, small);

  file.assign(data, size);
  int rc = -1;
  const Picture picture = load_picture(file.path(), &rc);
  if (picture.pixels.empty()) {
    if (rc == PICTURE_OK || rc == PICTURE_TRUNCATED) std::abort();
    return 0;
  }
  if (rc != PICTURE_OK && rc != PICTURE_TRUNCATED) std::abort();
  if (picture.pixels.size() != std::size_t(picture.width) * std::size_t(picture.height)) std::abort();
  same_size.assign(picture.pixels.size(), 0);
  if (decode_picture(bytes, same_size) != rc) std::abort();
  if (same_size != picture.pixels) std::abort();
  return 0;
}
