// blend_kernels.h: the blend loops of each instruction-set path, on raw arrays of n pixels, and
// the per-pixel rules every path finishes its tail with. Private to effects/.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

struct BlendKernels {
  void (*copy_nonzero)(const std::uint32_t* source, std::uint32_t* destination, std::size_t n);
  void (*fade_blend)(const std::uint32_t* under, const std::uint32_t* over, std::uint32_t* destination,
                     std::size_t n, std::uint32_t level);
  void (*add_saturate)(const std::uint32_t* a, const std::uint32_t* b, std::uint32_t* destination, std::size_t n);
};

extern const BlendKernels blend_kernels_sse2;
extern const BlendKernels blend_kernels_avx2;  // only on a processor with AVX2

// Divides by 256, not 255: L = 255 turns a 255 channel of `over` into 254, and the
// largest sum 255 * 255 stays below 65536, so the 16-bit sum never saturates.
inline std::uint32_t blend_fade_channel(std::uint32_t under, std::uint32_t over, std::uint32_t level) {
  return (over * level + under * (255 - level)) >> 8;
}

inline std::uint32_t blend_byte_at(std::uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

inline std::uint32_t blend_fade_pixel(std::uint32_t under, std::uint32_t over, std::uint32_t level) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8)
    out |= blend_fade_channel(blend_byte_at(under, shift), blend_byte_at(over, shift), level) << shift;
  return out;
}

inline std::uint32_t blend_add_pixel(std::uint32_t a, std::uint32_t b) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t sum = blend_byte_at(a, shift) + blend_byte_at(b, shift);
    out |= (sum > 255 ? 255 : sum) << shift;
  }
  return out;
}
