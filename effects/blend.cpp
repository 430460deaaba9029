#include "effects/blend.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

#include "base/pixel_path.h"
#include "effects/blend_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::size_t common_count(std::size_t a, std::size_t b) {
  assert(a == b && "blend operands of different sizes");
  return std::min(a, b);
}

std::size_t common_count(std::size_t a, std::size_t b, std::size_t c) {
  return common_count(common_count(a, b), c);
}

#if defined(__SSE2__)
inline __m128i load4(const std::uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store4(std::uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
#endif

void copy_nonzero_sse2(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // A transparent source lane is 0, so source | (destination & transparent) picks per lane.
  const __m128i zero = _mm_setzero_si128();
  for (; i + 4 <= n; i += 4) {
    const __m128i s = load4(src + i);
    const __m128i transparent = _mm_cmpeq_epi32(s, zero);
    store4(dst + i, _mm_or_si128(s, _mm_and_si128(transparent, load4(dst + i))));
  }
#endif
  for (; i < n; ++i)
    if (src[i] != 0) dst[i] = src[i];
}

void fade_blend_sse2(const std::uint32_t* u, const std::uint32_t* o, std::uint32_t* dst, std::size_t n,
                     std::uint32_t l) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // Four pixels a step: bytes widened to 16-bit lanes, products summed with unsigned
  // saturation (never reached), shifted right by 8 and packed back.
  const __m128i zero = _mm_setzero_si128();
  const __m128i over_weight = _mm_set1_epi16(short(l));
  const __m128i under_weight = _mm_set1_epi16(short(255 - l));
  for (; i + 4 <= n; i += 4) {
    const __m128i ov = load4(o + i);
    const __m128i un = load4(u + i);
    __m128i lo = _mm_adds_epu16(_mm_mullo_epi16(_mm_unpacklo_epi8(ov, zero), over_weight),
                                _mm_mullo_epi16(_mm_unpacklo_epi8(un, zero), under_weight));
    __m128i hi = _mm_adds_epu16(_mm_mullo_epi16(_mm_unpackhi_epi8(ov, zero), over_weight),
                                _mm_mullo_epi16(_mm_unpackhi_epi8(un, zero), under_weight));
    store4(dst + i, _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)));
  }
#endif
  for (; i < n; ++i) dst[i] = blend_fade_pixel(u[i], o[i], l);
}

void add_saturate_sse2(const std::uint32_t* pa, const std::uint32_t* pb, std::uint32_t* dst, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) store4(dst + i, _mm_adds_epu8(load4(pa + i), load4(pb + i)));
#endif
  for (; i < n; ++i) dst[i] = blend_add_pixel(pa[i], pb[i]);
}

const BlendKernels& kernels_of(int path) {
  return path == PIXEL_PATH_AVX2 ? blend_kernels_avx2 : blend_kernels_sse2;
}

// Filled once, on the first blend.
const BlendKernels& selected_kernels() {
  static const BlendKernels& kernels = kernels_of(pixel_path_selected());
  return kernels;
}

}  // namespace

const BlendKernels blend_kernels_sse2 = {copy_nonzero_sse2, fade_blend_sse2, add_saturate_sse2};

void copy_nonzero_on(int path, std::span<const std::uint32_t> source, std::span<std::uint32_t> destination) {
  kernels_of(path).copy_nonzero(source.data(), destination.data(), common_count(source.size(), destination.size()));
}

void fade_blend_on(int path, std::span<const std::uint32_t> under, std::span<const std::uint32_t> over,
                   std::span<std::uint32_t> destination, int level) {
  const std::size_t n = common_count(under.size(), over.size(), destination.size());
  kernels_of(path).fade_blend(under.data(), over.data(), destination.data(), n, std::uint32_t(level) & 0xFF);
}

void add_saturate_on(int path, std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                     std::span<std::uint32_t> destination) {
  const std::size_t n = common_count(a.size(), b.size(), destination.size());
  kernels_of(path).add_saturate(a.data(), b.data(), destination.data(), n);
}

void copy_nonzero(std::span<const std::uint32_t> source, std::span<std::uint32_t> destination) {
  selected_kernels().copy_nonzero(source.data(), destination.data(), common_count(source.size(), destination.size()));
}

void fade_blend(std::span<const std::uint32_t> under, std::span<const std::uint32_t> over,
                std::span<std::uint32_t> destination, int level) {
  const std::size_t n = common_count(under.size(), over.size(), destination.size());
  selected_kernels().fade_blend(under.data(), over.data(), destination.data(), n, std::uint32_t(level) & 0xFF);
}

void add_saturate(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                  std::span<std::uint32_t> destination) {
  const std::size_t n = common_count(a.size(), b.size(), destination.size());
  selected_kernels().add_saturate(a.data(), b.data(), destination.data(), n);
}

void copy_nonzero_reference(std::span<const std::uint32_t> source, std::span<std::uint32_t> destination) {
  const std::size_t n = common_count(source.size(), destination.size());
  for (std::size_t i = 0; i < n; ++i)
    if (source[i] != 0) destination[i] = source[i];
}

void fade_blend_reference(std::span<const std::uint32_t> under, std::span<const std::uint32_t> over,
                          std::span<std::uint32_t> destination, int level) {
  const std::size_t n = common_count(under.size(), over.size(), destination.size());
  const std::uint32_t l = std::uint32_t(level) & 0xFF;
  for (std::size_t i = 0; i < n; ++i) destination[i] = blend_fade_pixel(under[i], over[i], l);
}

void add_saturate_reference(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                            std::span<std::uint32_t> destination) {
  const std::size_t n = common_count(a.size(), b.size(), destination.size());
  for (std::size_t i = 0; i < n; ++i) destination[i] = blend_add_pixel(a[i], b[i]);
}
