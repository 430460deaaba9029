#include "effects/grid_warp.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "base/frame.h"
#include "base/pixel_path.h"
#include "base/saturate.h"
#include "effects/grid_warp_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

WarpGrid grid;  // zero-initialised static storage: the all-zero grid of the first frame

constexpr int cell_rows = warp_grid_rows - 1;        // 25 cells down
constexpr int cell_columns = warp_grid_columns - 1;  // 40 cells across

// The sums in 1/64 texel are 32-bit and carried as uint32_t, so that any grid wraps instead of
// overflowing; read back as int32_t, >> 6 is floor(sum / 64).
inline std::int32_t floor_div64(std::uint32_t sum) { return std::int32_t(sum) >> 6; }

// Column floor(U / 64) plus 256 x row floor(V / 64), wrapped over the 65536 texels: a column
// outside 0 .. 255 runs into the neighbouring texture row.
inline std::uint32_t texel_index(std::uint32_t u_sum, std::uint32_t v_sum) {
  return (std::uint32_t(floor_div64(u_sum)) + (std::uint32_t(floor_div64(v_sum)) << 8)) & 0xFFFFu;
}

// clamp(channel + add, 0, 255) for red, green and blue; the top byte becomes 0.
inline std::uint32_t add_clamped(std::uint32_t texel, std::int32_t add) {
  add = std::clamp(add, -255, 255);
  std::uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int channel = int((texel >> shift) & 0xFFu) + add;
    out |= std::uint32_t(std::clamp(channel, 0, 255)) << shift;
  }
  return out;
}

// u, v and brightness of one interpolated value, in 1/64 texel (or 1/8 on a cell edge).
struct Sums {
  std::uint32_t u, v, b;
};

inline Sums operator+(Sums a, Sums b) { return {a.u + b.u, a.v + b.v, a.b + b.b}; }
inline Sums operator-(Sums a, Sums b) { return {a.u - b.u, a.v - b.v, a.b - b.b}; }
inline Sums times8(Sums a) { return {8 * a.u, 8 * a.v, 8 * a.b}; }
inline Sums sums_of(const WarpPoint& p) { return {std::uint32_t(p.u), std::uint32_t(p.v), std::uint32_t(p.brightness)}; }

// One cell, incrementally: the left edge starts at 8 x P00 and moves by P10 - P00 per pixel row,
// the right edge likewise from P01; along a pixel row the value starts at 8 x left and moves by
// right - left per pixel. This is exactly the bilinear sum with weights (8 - i)(8 - j), ... .
void render_cell_plain(std::uint32_t* frame, const std::uint32_t* texture, int r, int c) {
  const Sums p00 = sums_of(grid.points[r][c]), p01 = sums_of(grid.points[r][c + 1]);
  const Sums p10 = sums_of(grid.points[r + 1][c]), p11 = sums_of(grid.points[r + 1][c + 1]);
  Sums left = times8(p00), right = times8(p01);
  const Sums left_step = p10 - p00, right_step = p11 - p01;
  for (int i = 0; i < warp_cell_size; ++i) {
    std::uint32_t* out = frame + std::size_t(r * warp_cell_size + i) * frame_width + c * warp_cell_size;
    Sums value = times8(left);
    const Sums step = right - left;
    for (int j = 0; j < warp_cell_size; ++j) {
      out[j] = add_clamped(texture[texel_index(value.u, value.v)], floor_div64(value.b));
      value = value + step;
    }
    left = left + left_step;
    right = right + right_step;
  }
}

#if defined(__SSE2__)

// Eight consecutive values base + j x step, j = 0 .. 7, as two vectors.
struct Lanes8 {
  __m128i low, high;  // j = 0 .. 3 and j = 4 .. 7
};

inline Lanes8 ramp8(std::uint32_t base, std::uint32_t step) {
  const __m128i low = _mm_add_epi32(_mm_set1_epi32(int(base)), _mm_setr_epi32(0, int(step), int(2 * step), int(3 * step)));
  return {low, _mm_add_epi32(low, _mm_set1_epi32(int(4 * step)))};
}

// One quantity (u, v or brightness) over the 8 pixels of a cell's pixel row i. Expanding the
// edge increments, value(i, j) = 64 P00 + 8 j (P01 - P00) + i (8 (P10 - P00) + j (P11 - P01 -
// P10 + P00)): the same sums, so a pixel row is the previous one plus a per-pixel step.
struct CellLanes {
  Lanes8 value, step;
};

inline CellLanes cell_lanes(std::uint32_t p00, std::uint32_t p01, std::uint32_t p10, std::uint32_t p11) {
  return {ramp8(64 * p00, 8 * (p01 - p00)), ramp8(8 * (p10 - p00), (p11 - p01) - (p10 - p00))};
}

inline void advance(CellLanes& q) {
  q.value.low = _mm_add_epi32(q.value.low, q.step.low);
  q.value.high = _mm_add_epi32(q.value.high, q.step.high);
}

// Texel indices of four pixels from U and 4 V. The index wraps at 16 bits, so it needs only
// bits 6 .. 21 of U (a logical shift will do) and bits 6 .. 13 of V, which are bits 8 .. 15 of
// 4 V. Carrying 4 V (its sums are 4 x those of V, modulo 2^32) saves two shifts per vector.
inline __m128i texel_indices(__m128i u, __m128i v_times4) {
  const __m128i row = _mm_and_si128(v_times4, _mm_set1_epi32(0xFF00));
  return _mm_and_si128(_mm_add_epi32(_mm_srli_epi32(u, 6), row), _mm_set1_epi32(0xFFFF));
}

inline __m128i fetch4(const std::uint32_t* texture, const std::uint32_t* index) {
  return _mm_setr_epi32(int(texture[index[0]]), int(texture[index[1]]), int(texture[index[2]]), int(texture[index[3]]));
}

// Each pixel's add is floor(B / 64). When every add lies in 0 .. 255, a saturating byte add
// of it is min(texel + add, 255); the top byte is cleared afterwards.
inline void shade8_raise(std::uint32_t* out, __m128i texel_low, __m128i texel_high, const Lanes8& b) {
  const __m128i add16 = _mm_packs_epi32(_mm_srai_epi32(b.low, 6), _mm_srai_epi32(b.high, 6));
  const __m128i raise = _mm_packus_epi16(add16, add16);
  const __m128i raise2 = _mm_unpacklo_epi8(raise, raise);
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  const __m128i low = _mm_adds_epu8(texel_low, _mm_unpacklo_epi16(raise2, raise2));
  const __m128i high = _mm_adds_epu8(texel_high, _mm_unpackhi_epi16(raise2, raise2));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_and_si128(low, rgb));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_and_si128(high, rgb));
}

// Any add: clamped to -255 .. 255, a saturating add of its positive part then a saturating
// subtract of its negative part is clamp(texel + add, 0, 255).
inline void shade8_any(std::uint32_t* out, __m128i texel_low, __m128i texel_high, const Lanes8& b) {
  const __m128i add16 = _mm_packs_epi32(_mm_srai_epi32(b.low, 6), _mm_srai_epi32(b.high, 6));
  const __m128i raise = _mm_packus_epi16(add16, add16);
  const __m128i lower = _mm_packus_epi16(_mm_subs_epi16(_mm_setzero_si128(), add16), add16);
  const __m128i raise2 = _mm_unpacklo_epi8(raise, raise), lower2 = _mm_unpacklo_epi8(lower, lower);
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  const __m128i low = _mm_subs_epu8(_mm_adds_epu8(texel_low, _mm_unpacklo_epi16(raise2, raise2)),
                                    _mm_unpacklo_epi16(lower2, lower2));
  const __m128i high = _mm_subs_epu8(_mm_adds_epu8(texel_high, _mm_unpackhi_epi16(raise2, raise2)),
                                     _mm_unpackhi_epi16(lower2, lower2));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_and_si128(low, rgb));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_and_si128(high, rgb));
}

// A bilinear add is a weighted mean of the corners' brightness, so it stays within their range.
bool adds_within_0_255(const WarpPoint* corners[4]) {
  for (int k = 0; k < 4; ++k)
    if (corners[k]->brightness < 0 || corners[k]->brightness > 255) return false;
  return true;
}

template <void (*shade8)(std::uint32_t*, __m128i, __m128i, const Lanes8&)>
void shade_cell(std::uint32_t* out, const std::uint32_t* texture, const std::uint32_t* index, CellLanes b) {
  for (int i = 0; i < warp_cell_size; ++i, out += frame_width, index += warp_cell_size) {
    shade8(out, fetch4(texture, index), fetch4(texture, index + 4), b.value);
    advance(b);
  }
}

// First all 64 texel indices of the cell into memory, where the fetches read them as plain
// integers, then the fetches and adds row by row.
void render_cell_sse2(std::uint32_t* frame, const std::uint32_t* texture, const WarpGrid& grid, int r, int c) {
  const WarpPoint* corners[4] = {&grid.points[r][c], &grid.points[r][c + 1], &grid.points[r + 1][c],
                                 &grid.points[r + 1][c + 1]};
  auto lanes = [&](std::int32_t WarpPoint::*q, std::uint32_t scale) {
    return cell_lanes(scale * std::uint32_t(corners[0]->*q), scale * std::uint32_t(corners[1]->*q),
                      scale * std::uint32_t(corners[2]->*q), scale * std::uint32_t(corners[3]->*q));
  };
  alignas(16) std::uint32_t index[warp_cell_size * warp_cell_size];
  CellLanes u = lanes(&WarpPoint::u, 1), v4 = lanes(&WarpPoint::v, 4);
  for (int i = 0; i < warp_cell_size; ++i) {
    _mm_store_si128(reinterpret_cast<__m128i*>(index + 8 * i), texel_indices(u.value.low, v4.value.low));
    _mm_store_si128(reinterpret_cast<__m128i*>(index + 8 * i + 4), texel_indices(u.value.high, v4.value.high));
    advance(u);
    advance(v4);
  }
  std::uint32_t* out = frame + std::size_t(r * warp_cell_size) * frame_width + c * warp_cell_size;
  const CellLanes b = lanes(&WarpPoint::brightness, 1);
  if (adds_within_0_255(corners))
    shade_cell<shade8_raise>(out, texture, index, b);
  else
    shade_cell<shade8_any>(out, texture, index, b);
}

#endif

// Both grid functions give a point the brightness k x atan2(X, Y), the angle of (Y, X) from the
// texture origin scaled by 127.5 (plasma) or 127 (flower). It does not depend on time, so it
// is worked out once, on first use.
struct BrightnessTables {
  std::int32_t plasma[warp_grid_rows][warp_grid_columns];
  std::int32_t flower[warp_grid_rows][warp_grid_columns];
};

BrightnessTables make_brightness_tables() {
  BrightnessTables tables;
  for (int b = 0; b < warp_grid_rows; ++b)
    for (int i = 0; i < warp_grid_columns; ++i) {
      const double angle = std::atan2(8.0 * i, 8.0 * b);
      tables.plasma[b][i] = saturate_to_int32(127.5 * angle);
      tables.flower[b][i] = saturate_to_int32(127.0 * angle);
    }
  return tables;
}

const BrightnessTables& brightness_tables() {
  static const BrightnessTables tables = make_brightness_tables();
  return tables;
}

bool sizes_fit(std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture) {
  return frame.size() >= std::size_t(frame_width) * frame_height && texture.size() >= std::size_t(warp_texture_texels);
}

}  // namespace

WarpGrid& warp_grid() { return grid; }

// u follows the column only and v the row only, so each is worked out once per column or row.
void grid_plasma(double t) {
  const BrightnessTables& brightness = brightness_tables();
  std::int32_t column_u[warp_grid_columns];
  for (int i = 0; i < warp_grid_columns; ++i) column_u[i] = saturate_to_int32(8.0 * i + 23.3 * std::sin(t + 0.2 * i));
  for (int b = 0; b < warp_grid_rows; ++b) {
    const std::int32_t v = saturate_to_int32(8.0 * b + 30.7 * std::cos(t + 0.1 * b));
    for (int i = 0; i < warp_grid_columns; ++i) grid.points[b][i] = {column_u[i], v, brightness.plasma[b][i]};
  }
}

// Each point is turned about the texture origin by an angle that follows its direction from a
// centre wandering over the screen; the two incommensurate sines make the petals.
void grid_flower(double t) {
  const BrightnessTables& brightness = brightness_tables();
  const double centre_x = 160.0 + 160.0 * std::sin(0.7 * t);
  const double centre_y = 100.0 + 100.0 * std::cos(0.9 * t);
  for (int b = 0; b < warp_grid_rows; ++b) {
    const double y = 8.0 * b;
    for (int i = 0; i < warp_grid_columns; ++i) {
      const double x = 8.0 * i;
      const double a = std::atan2(x - centre_x, y - centre_y);  // horizontal difference first
      const double s = std::sin(4.615493221227164 * a) + std::sin(3.6605635892491306 * a);
      const double cos_s = std::cos(s), sin_s = std::sin(s);
      grid.points[b][i] = {saturate_to_int32(x * cos_s - y * sin_s), saturate_to_int32(x * sin_s + y * cos_s),
                           brightness.flower[b][i]};
    }
  }
}

void grid_warp_render_plain(std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture) {
  if (!sizes_fit(frame, texture)) return;
  for (int r = 0; r < cell_rows; ++r)
    for (int c = 0; c < cell_columns; ++c) render_cell_plain(frame.data(), texture.data(), r, c);
}

void grid_warp_render_sse2(std::uint32_t* frame, const std::uint32_t* texture, const WarpGrid& g) {
#if defined(__SSE2__)
  for (int r = 0; r < cell_rows; ++r)
    for (int c = 0; c < cell_columns; ++c) render_cell_sse2(frame, texture, g, r, c);
#else
  for (int r = 0; r < cell_rows; ++r)
    for (int c = 0; c < cell_columns; ++c) render_cell_plain(frame, texture, r, c);
#endif
}

void grid_warp_render_on(int path, std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture) {
  if (!sizes_fit(frame, texture)) return;
  if (path == PIXEL_PATH_AVX2)
    grid_warp_render_avx2(frame.data(), texture.data(), grid);
  else
    grid_warp_render_sse2(frame.data(), texture.data(), grid);
}

void grid_warp_render(std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture) {
  static const int path = pixel_path_selected();
  grid_warp_render_on(path, frame, texture);
}
