// grid_warp_avx2.cpp: the warp renderer a cell row (eight pixels) per vector, compiled for AVX2
// by target attributes. The sums are those of the 16-byte path in grid_warp.cpp, so the picture
// is the same bit for bit.
#include "effects/grid_warp_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstddef>

#define AVX2 __attribute__((target("avx2")))

namespace {

// One quantity over the 8 pixels of a cell's pixel row: value(i, j) = 64 P00 + 8 j (P01 - P00) +
// i (8 (P10 - P00) + j (P11 - P01 - P10 + P00)), in wrapping 32-bit lanes.
struct Lanes {
  __m256i value, step;
};

AVX2 inline __m256i ramp8(std::uint32_t base, std::uint32_t step) {
  const __m256i j = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  return _mm256_add_epi32(_mm256_set1_epi32(int(base)), _mm256_mullo_epi32(j, _mm256_set1_epi32(int(step))));
}

AVX2 inline Lanes cell_lanes(std::uint32_t p00, std::uint32_t p01, std::uint32_t p10, std::uint32_t p11) {
  return {ramp8(64 * p00, 8 * (p01 - p00)), ramp8(8 * (p10 - p00), (p11 - p01) - (p10 - p00))};
}

// Texel indices from U and 4 V, as in the 16-byte path: column bits 6 .. 21 of U, row bits
// 8 .. 15 of 4 V, wrapped at 16 bits.
AVX2 inline __m256i texel_indices(__m256i u, __m256i v_times4) {
  const __m256i row = _mm256_and_si256(v_times4, _mm256_set1_epi32(0xFF00));
  return _mm256_and_si256(_mm256_add_epi32(_mm256_srli_epi32(u, 6), row), _mm256_set1_epi32(0xFFFF));
}

// clamp(channel + floor(B / 64), 0, 255) for red, green and blue, top byte 0: the add, clamped to
// -255 .. 255, is split into a raise and a lower of 0 .. 255, each copied into the three colour
// bytes of its pixel, then added and subtracted with byte saturation.
AVX2 inline __m256i shade8(__m256i texel, __m256i b) {
  const __m256i add = _mm256_srai_epi32(b, 6);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i limit = _mm256_set1_epi32(255);
  const __m256i raise = _mm256_min_epi32(_mm256_max_epi32(add, zero), limit);
  const __m256i lower = _mm256_min_epi32(_mm256_max_epi32(_mm256_sub_epi32(zero, add), zero), limit);
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1,
                                          0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1);
  const __m256i raised = _mm256_adds_epu8(texel, _mm256_shuffle_epi8(raise, spread));
  const __m256i shaded = _mm256_subs_epu8(raised, _mm256_shuffle_epi8(lower, spread));
  return _mm256_and_si256(shaded, _mm256_set1_epi32(0x00FFFFFF));
}

AVX2 void render_cell(std::uint32_t* frame, const std::uint32_t* texture, const WarpGrid& grid, int r, int c) {
  const WarpPoint& p00 = grid.points[r][c];
  const WarpPoint& p01 = grid.points[r][c + 1];
  const WarpPoint& p10 = grid.points[r + 1][c];
  const WarpPoint& p11 = grid.points[r + 1][c + 1];
  Lanes u = cell_lanes(std::uint32_t(p00.u), std::uint32_t(p01.u), std::uint32_t(p10.u), std::uint32_t(p11.u));
  Lanes v4 = cell_lanes(4 * std::uint32_t(p00.v), 4 * std::uint32_t(p01.v), 4 * std::uint32_t(p10.v),
                        4 * std::uint32_t(p11.v));
  Lanes b = cell_lanes(std::uint32_t(p00.brightness), std::uint32_t(p01.brightness), std::uint32_t(p10.brightness),
                       std::uint32_t(p11.brightness));
  std::uint32_t* out = frame + std::size_t(r * warp_cell_size) * frame_width + c * warp_cell_size;
  for (int i = 0; i < warp_cell_size; ++i, out += frame_width) {
    const __m256i index = texel_indices(u.value, v4.value);
    // Eight plain loads: as fast as a gather here, and not slowed where a processor's gather is.
    alignas(32) std::uint32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
    const __m256i texel = _mm256_setr_epi32(int(texture[at[0]]), int(texture[at[1]]), int(texture[at[2]]), int(texture[at[3]]),
                                            int(texture[at[4]]), int(texture[at[5]]), int(texture[at[6]]), int(texture[at[7]]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), shade8(texel, b.value));
    u.value = _mm256_add_epi32(u.value, u.step);
    v4.value = _mm256_add_epi32(v4.value, v4.step);
    b.value = _mm256_add_epi32(b.value, b.step);
  }
}

}  // namespace

AVX2 void grid_warp_render_avx2(std::uint32_t* frame, const std::uint32_t* texture, const WarpGrid& grid) {
  for (int r = 0; r < warp_grid_rows - 1; ++r)
    for (int c = 0; c < warp_grid_columns - 1; ++c) render_cell(frame, texture, grid, r, c);
}

#else

void grid_warp_render_avx2(std::uint32_t* frame, const std::uint32_t* texture, const WarpGrid& grid) {
  grid_warp_render_sse2(frame, texture, grid);
}

#endif
