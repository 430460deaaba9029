#include "render/smooth.h"

#include "base/pixel_path.h"
#include "render/smooth_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__SSE2__)

// Per channel the pass is the recurrence new[k] = (new[k - 1] + e[k]) >> 2, where
// e[k] = R + UL + DR is known before the row is reached (the line above is final, R and DR are
// untouched). Since floor((floor(a / 4) + b) / 4) = floor((a + 4b) / 16) for integers, a group of
// four pixels k .. k + 3 unrolls exactly from the smoothed pixel c = new[k - 1]:
//   new[k + j] = (c + w[j]) >> 2(j + 1),   w[j] = e[k] + 4 e[k + 1] + ... + 4^j e[k + j].
// With e <= 765 and c <= 255, c + w[3] <= 65280 fits 16-bit lanes. A register holds two pixels'
// B, G, R, top-byte lanes; only c -> (c + w[3]) >> 8 chains from one group to the next, every other
// step is independent of it. The variable shifts are multiplications keeping the high half.
void smooth_frame_sse2(std::uint32_t* p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights_01 = _mm_setr_epi16(1, 1, 1, 1, 4, 4, 4, 4);
  const __m128i weights_23 = _mm_setr_epi16(16, 16, 16, 16, 64, 64, 64, 64);
  const __m128i shifts_01 = _mm_setr_epi16(1 << 14, 1 << 14, 1 << 14, 1 << 14,  // >> 2
                                           1 << 12, 1 << 12, 1 << 12, 1 << 12);  // >> 4
  const __m128i shifts_23 = _mm_setr_epi16(1 << 10, 1 << 10, 1 << 10, 1 << 10,   // >> 6
                                           1 << 8, 1 << 8, 1 << 8, 1 << 8);      // >> 8
  const __m128i colour_bytes = _mm_set1_epi32(0x00FFFFFF);
  const __m128i top_bytes = _mm_set1_epi32(int(0xFF000000u));

  // c in both halves of the register.
  __m128i carry = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p[smooth_first_pixel - 1])), zero);
  carry = _mm_unpacklo_epi64(carry, carry);

  int k = smooth_first_pixel;
  for (; k + 4 <= smooth_end_pixel; k += 4) {
    const __m128i current = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
    const __m128i above = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k - smooth_up_left));
    const __m128i below = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + smooth_down_right));
    const __m128i e01 = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(right, zero), _mm_unpacklo_epi8(above, zero)),
                                      _mm_unpacklo_epi8(below, zero));
    const __m128i e23 = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(right, zero), _mm_unpackhi_epi8(above, zero)),
                                      _mm_unpackhi_epi8(below, zero));
    // w01 = [e0, e0 + 4 e1]; w23 = [w1 + 16 e2, w1 + 16 e2 + 64 e3].
    const __m128i w01 = _mm_add_epi16(_mm_mullo_epi16(e01, weights_01), _mm_slli_si128(e01, 8));
    const __m128i w1 = _mm_shuffle_epi32(w01, _MM_SHUFFLE(3, 2, 3, 2));
    const __m128i w23 = _mm_add_epi16(_mm_add_epi16(w1, _mm_mullo_epi16(e23, weights_23)),
                                      _mm_slli_si128(_mm_slli_epi16(e23, 4), 8));
    const __m128i new01 = _mm_mulhi_epu16(_mm_add_epi16(carry, w01), shifts_01);
    const __m128i new23 = _mm_mulhi_epu16(_mm_add_epi16(carry, w23), shifts_23);
    carry = _mm_srli_epi16(_mm_add_epi16(carry, _mm_shuffle_epi32(w23, _MM_SHUFFLE(3, 2, 3, 2))), 8);
    const __m128i smoothed = _mm_packus_epi16(new01, new23);
    const __m128i kept = _mm_or_si128(_mm_and_si128(smoothed, colour_bytes), _mm_and_si128(current, top_bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + k), kept);
  }
  for (; k < smooth_end_pixel; ++k) smooth_pixel(p, k);
}

#else

void smooth_frame_sse2(std::uint32_t* p) {
  for (int k = smooth_first_pixel; k < smooth_end_pixel; ++k) smooth_pixel(p, k);
}

#endif

void smooth_frame_reference(std::span<std::uint32_t> frame) {
  if (frame.size() < std::size_t(frame_pixels)) return;
  for (int k = smooth_first_pixel; k < smooth_end_pixel; ++k) smooth_pixel(frame.data(), k);
}

void smooth_frame_on(int path, std::span<std::uint32_t> frame) {
  if (frame.size() < std::size_t(frame_pixels)) return;
  if (path == PIXEL_PATH_AVX2)
    smooth_frame_avx2(frame.data());
  else
    smooth_frame_sse2(frame.data());
}

void smooth_frame(std::span<std::uint32_t> frame) {
  static const int path = pixel_path_selected();
  smooth_frame_on(path, frame);
}
