// smooth_avx2.cpp: the smoothing pass eight pixels a step, compiled for AVX2 by target attributes.
#include "render/smooth_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define AVX2 __attribute__((target("avx2")))

// The 16-byte path's unrolled recurrence (see smooth.cpp), for two groups of four pixels at
// once: the low 128-bit half of each register holds group A = k .. k + 3, the high half group
// B = k + 4 .. k + 7, and every shuffle stays within its half, so each half computes exactly what
// the 16-byte path computes for its group from that group's smoothed left neighbour c. Only the
// carries chain: c_B = (c_A + w_A[3]) >> 8, and the next step's c_A = (c_B + w_B[3]) >> 8.
AVX2 void smooth_frame_avx2(std::uint32_t* p) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i weights_01 = _mm256_setr_epi16(1, 1, 1, 1, 4, 4, 4, 4, 1, 1, 1, 1, 4, 4, 4, 4);
  const __m256i weights_23 = _mm256_setr_epi16(16, 16, 16, 16, 64, 64, 64, 64, 16, 16, 16, 16, 64, 64, 64, 64);
  const __m256i shifts_01 = _mm256_setr_epi16(1 << 14, 1 << 14, 1 << 14, 1 << 14, 1 << 12, 1 << 12, 1 << 12, 1 << 12,
                                              1 << 14, 1 << 14, 1 << 14, 1 << 14, 1 << 12, 1 << 12, 1 << 12, 1 << 12);
  const __m256i shifts_23 = _mm256_setr_epi16(1 << 10, 1 << 10, 1 << 10, 1 << 10, 1 << 8, 1 << 8, 1 << 8, 1 << 8,
                                              1 << 10, 1 << 10, 1 << 10, 1 << 10, 1 << 8, 1 << 8, 1 << 8, 1 << 8);
  const __m256i colour_bytes = _mm256_set1_epi32(0x00FFFFFF);
  const __m256i top_bytes = _mm256_set1_epi32(int(0xFF000000u));

  // c in both 64-bit halves.
  __m128i carry = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p[smooth_first_pixel - 1])), _mm_setzero_si128());
  carry = _mm_unpacklo_epi64(carry, carry);

  int k = smooth_first_pixel;
  for (; k + 8 <= smooth_end_pixel; k += 8) {
    const __m256i current = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k));
    const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k + 1));
    const __m256i above = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k - smooth_up_left));
    const __m256i below = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k + smooth_down_right));
    const __m256i e01 = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_unpacklo_epi8(right, zero), _mm256_unpacklo_epi8(above, zero)),
        _mm256_unpacklo_epi8(below, zero));
    const __m256i e23 = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_unpackhi_epi8(right, zero), _mm256_unpackhi_epi8(above, zero)),
        _mm256_unpackhi_epi8(below, zero));
    const __m256i w01 = _mm256_add_epi16(_mm256_mullo_epi16(e01, weights_01), _mm256_slli_si256(e01, 8));
    const __m256i w1 = _mm256_shuffle_epi32(w01, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256i w23 = _mm256_add_epi16(_mm256_add_epi16(w1, _mm256_mullo_epi16(e23, weights_23)),
                                         _mm256_slli_si256(_mm256_slli_epi16(e23, 4), 8));
    const __m256i w3 = _mm256_shuffle_epi32(w23, _MM_SHUFFLE(3, 2, 3, 2));
    const __m128i carry_b = _mm_srli_epi16(_mm_add_epi16(carry, _mm256_castsi256_si128(w3)), 8);
    const __m256i carries = _mm256_inserti128_si256(_mm256_castsi128_si256(carry), carry_b, 1);
    carry = _mm_srli_epi16(_mm_add_epi16(carry_b, _mm256_extracti128_si256(w3, 1)), 8);
    const __m256i new01 = _mm256_mulhi_epu16(_mm256_add_epi16(carries, w01), shifts_01);
    const __m256i new23 = _mm256_mulhi_epu16(_mm256_add_epi16(carries, w23), shifts_23);
    const __m256i smoothed = _mm256_packus_epi16(new01, new23);
    const __m256i kept = _mm256_or_si256(_mm256_and_si256(smoothed, colour_bytes), _mm256_and_si256(current, top_bytes));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + k), kept);
  }
  for (; k < smooth_end_pixel; ++k) smooth_pixel(p, k);
}

#else

void smooth_frame_avx2(std::uint32_t* p) { smooth_frame_sse2(p); }

#endif
