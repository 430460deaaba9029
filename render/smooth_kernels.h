// smooth_kernels.h: the smoothing pass's geometry, its per-pixel rule, and the packed loop of each
// instruction-set path. Private to render/.
#pragma once

#include <cstdint>

#include "base/frame.h"

constexpr int smooth_first_pixel = frame_width + 1;                 // (1, 1)
constexpr int smooth_end_pixel = frame_pixels - frame_width - 1;    // one past (318, 198)
constexpr int smooth_up_left = frame_width + 1;     // k - smooth_up_left is (x - 1, y - 1)
constexpr int smooth_down_right = frame_width + 1;  // k + smooth_down_right is (x + 1, y + 1)

inline void smooth_pixel(std::uint32_t* p, int k) {
  std::uint32_t value = p[k];
  for (int shift = 0; shift < 24; shift += 8) {
    const std::uint32_t sum = ((p[k - 1] >> shift) & 0xFF) + ((p[k + 1] >> shift) & 0xFF) +
                              ((p[k - smooth_up_left] >> shift) & 0xFF) + ((p[k + smooth_down_right] >> shift) & 0xFF);
    value = (value & ~(0xFFu << shift)) | ((sum >> 2) << shift);
  }
  p[k] = value;
}

// Smooths pixels smooth_first_pixel .. smooth_end_pixel - 1 of a whole frame.
void smooth_frame_sse2(std::uint32_t* p);
void smooth_frame_avx2(std::uint32_t* p);  // only on a processor with AVX2
