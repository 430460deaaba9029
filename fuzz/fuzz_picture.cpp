// fuzz_picture.cpp: any bytes as a picture, decoded into a frame-sized destination.
#include <cstdint>
#include <span>
#include <vector>

#include "effects/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<std::uint32_t> destination(64000);
  decode_picture(std::span<const std::uint8_t>(data, size), destination);
  return 0;
}
