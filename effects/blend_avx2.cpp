// blend_avx2.cpp: the blends eight pixels a step. Each function is compiled for AVX2 by its own
// target attribute, so the rest of the program keeps running on processors without it; the
// per-pixel rules of the tails are the shared ones.
#include "effects/blend_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define AVX2 __attribute__((target("avx2")))

namespace {

AVX2 inline __m256i load8(const std::uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
AVX2 inline void store8(std::uint32_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// A transparent (zero) source lane takes the destination's lane.
AVX2 void copy_nonzero_avx2(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) {
  const __m256i zero = _mm256_setzero_si256();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i s = load8(src + i);
    store8(dst + i, _mm256_blendv_epi8(s, load8(dst + i), _mm256_cmpeq_epi32(s, zero)));
  }
  for (; i < n; ++i)
    if (src[i] != 0) dst[i] = src[i];
}

// As the 16-byte path: bytes widened to 16-bit lanes within each 128-bit half, weighted, summed,
// shifted right by 8 and packed back within the same half, so the pixels keep their order.
AVX2 void fade_blend_avx2(const std::uint32_t* u, const std::uint32_t* o, std::uint32_t* dst, std::size_t n,
                          std::uint32_t l) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i over_weight = _mm256_set1_epi16(short(l));
  const __m256i under_weight = _mm256_set1_epi16(short(255 - l));
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i ov = load8(o + i);
    const __m256i un = load8(u + i);
    const __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(ov, zero), over_weight),
                                        _mm256_mullo_epi16(_mm256_unpacklo_epi8(un, zero), under_weight));
    const __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(ov, zero), over_weight),
                                        _mm256_mullo_epi16(_mm256_unpackhi_epi8(un, zero), under_weight));
    store8(dst + i, _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)));
  }
  for (; i < n; ++i) dst[i] = blend_fade_pixel(u[i], o[i], l);
}

AVX2 void add_saturate_avx2(const std::uint32_t* pa, const std::uint32_t* pb, std::uint32_t* dst, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) store8(dst + i, _mm256_adds_epu8(load8(pa + i), load8(pb + i)));
  for (; i < n; ++i) dst[i] = blend_add_pixel(pa[i], pb[i]);
}

}  // namespace

const BlendKernels blend_kernels_avx2 = {copy_nonzero_avx2, fade_blend_avx2, add_saturate_avx2};

#else

const BlendKernels blend_kernels_avx2 = blend_kernels_sse2;

#endif
