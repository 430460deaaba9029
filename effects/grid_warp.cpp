#include "effects/grid_warp.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

WarpGrid grid;  // zero-initialised static storage: the all-zero grid of the first frame

constexpr int cell_rows = warp_grid_rows - 1;        // 25 cells down
constexpr int cell_columns = warp_grid_columns - 1;  // 40 cells across

// Truncation toward zero. Only a NaN (from a non-finite t) can leave int32 here; it gives 0.
std::int32_t trunc_to_int32(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return 0;
  return std::int32_t(value);
}

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
    std::uint32_t* out = frame + std::size_t(r * warp_cell_size + i) * warp_frame_width + c * warp_cell_size;
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

// The eight values 8 x left + j x (right - left), j = 0 .. 7, of one cell's pixel row.
struct Lanes8 {
  __m128i low, high;  // j = 0 .. 3 and j = 4 .. 7
};

inline Lanes8 cell_row_lanes(std::uint32_t left, std::uint32_t right) {
  const std::uint32_t d = right - left;
  const __m128i low = _mm_add_epi32(_mm_set1_epi32(int(8 * left)), _mm_setr_epi32(0, int(d), int(2 * d), int(3 * d)));
  return {low, _mm_add_epi32(low, _mm_set1_epi32(int(4 * d)))};
}

inline __m128i texel_indices(__m128i u, __m128i v) {
  const __m128i column = _mm_srai_epi32(u, 6), row = _mm_srai_epi32(v, 6);
  return _mm_and_si128(_mm_add_epi32(column, _mm_slli_epi32(row, 8)), _mm_set1_epi32(0xFFFF));
}

// Each pixel's add (floor(B / 64)) clamped to -255 .. 255, as a raise and a lower byte in
// each of its three colour bytes: saturating add then subtract is clamp(texel + add, 0, 255).
struct Shades {
  __m128i raise_low, raise_high, lower_low, lower_high;
};

inline Shades cell_row_shades(const Lanes8& b) {
  const __m128i add16 = _mm_packs_epi32(_mm_srai_epi32(b.low, 6), _mm_srai_epi32(b.high, 6));
  const __m128i raise = _mm_packus_epi16(add16, add16);  // bytes 0 .. 7: max(add, 0), at most 255
  const __m128i lower = _mm_packus_epi16(_mm_subs_epi16(_mm_setzero_si128(), add16), add16);
  const __m128i raise2 = _mm_unpacklo_epi8(raise, raise), lower2 = _mm_unpacklo_epi8(lower, lower);
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  return {_mm_and_si128(_mm_unpacklo_epi16(raise2, raise2), rgb), _mm_and_si128(_mm_unpackhi_epi16(raise2, raise2), rgb),
          _mm_and_si128(_mm_unpacklo_epi16(lower2, lower2), rgb), _mm_and_si128(_mm_unpackhi_epi16(lower2, lower2), rgb)};
}

// Values of one pixel row on the 41 vertical grid lines, 8x the grid values at the cell's top.
struct EdgeRow {
  std::uint32_t u[warp_grid_columns], v[warp_grid_columns], b[warp_grid_columns];
};

void render_sse2(std::uint32_t* frame, const std::uint32_t* texture) {
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  alignas(16) std::uint32_t index[8];
  EdgeRow edge, edge_step;
  for (int r = 0; r < cell_rows; ++r) {
    for (int c = 0; c < warp_grid_columns; ++c) {
      const WarpPoint &top = grid.points[r][c], &bottom = grid.points[r + 1][c];
      edge.u[c] = 8 * std::uint32_t(top.u);
      edge.v[c] = 8 * std::uint32_t(top.v);
      edge.b[c] = 8 * std::uint32_t(top.brightness);
      edge_step.u[c] = std::uint32_t(bottom.u) - std::uint32_t(top.u);
      edge_step.v[c] = std::uint32_t(bottom.v) - std::uint32_t(top.v);
      edge_step.b[c] = std::uint32_t(bottom.brightness) - std::uint32_t(top.brightness);
    }
    for (int i = 0; i < warp_cell_size; ++i) {
      std::uint32_t* out = frame + std::size_t(r * warp_cell_size + i) * warp_frame_width;
      for (int c = 0; c < cell_columns; ++c, out += warp_cell_size) {
        const Lanes8 u = cell_row_lanes(edge.u[c], edge.u[c + 1]);
        const Lanes8 v = cell_row_lanes(edge.v[c], edge.v[c + 1]);
        _mm_store_si128(reinterpret_cast<__m128i*>(index), texel_indices(u.low, v.low));
        _mm_store_si128(reinterpret_cast<__m128i*>(index + 4), texel_indices(u.high, v.high));
        const __m128i texel_low = _mm_setr_epi32(int(texture[index[0]]), int(texture[index[1]]),
                                                 int(texture[index[2]]), int(texture[index[3]]));
        const __m128i texel_high = _mm_setr_epi32(int(texture[index[4]]), int(texture[index[5]]),
                                                  int(texture[index[6]]), int(texture[index[7]]));
        const Shades shade = cell_row_shades(cell_row_lanes(edge.b[c], edge.b[c + 1]));
        const __m128i low = _mm_subs_epu8(_mm_adds_epu8(texel_low, shade.raise_low), shade.lower_low);
        const __m128i high = _mm_subs_epu8(_mm_adds_epu8(texel_high, shade.raise_high), shade.lower_high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_and_si128(low, rgb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_and_si128(high, rgb));
      }
      for (int c = 0; c < warp_grid_columns; ++c) {
        edge.u[c] += edge_step.u[c];
        edge.v[c] += edge_step.v[c];
        edge.b[c] += edge_step.b[c];
      }
    }
  }
}

#endif

bool sizes_fit(std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture) {
  return frame.size() >= std::size_t(warp_frame_width) * warp_frame_height && texture.size() >= std::size_t(warp_texture_texels);
}

}  // namespace

WarpGrid& warp_grid() { return grid; }

// u follows the column only and v the row only, so each is worked out once per column or row.
// The brightness, 127.5 x the angle of (Y, X), does not depend on t.
void grid_plasma(double t) {
  std::int32_t column_u[warp_grid_columns];
  for (int i = 0; i < warp_grid_columns; ++i) column_u[i] = trunc_to_int32(8.0 * i + 23.3 * std::sin(t + 0.2 * i));
  for (int b = 0; b < warp_grid_rows; ++b) {
    const double y = 8.0 * b;
    const std::int32_t v = trunc_to_int32(y + 30.7 * std::cos(t + 0.1 * b));
    for (int i = 0; i < warp_grid_columns; ++i) {
      const double x = 8.0 * i;
      grid.points[b][i] = {column_u[i], v, trunc_to_int32(127.5 * std::atan2(x, y))};
    }
  }
}

// Each point is turned about the texture origin by an angle that follows its direction from a
// centre wandering over the screen; the two incommensurate sines make the petals.
void grid_flower(double t) {
  const double centre_x = 160.0 + 160.0 * std::sin(0.7 * t);
  const double centre_y = 100.0 + 100.0 * std::cos(0.9 * t);
  for (int b = 0; b < warp_grid_rows; ++b) {
    const double y = 8.0 * b;
    for (int i = 0; i < warp_grid_columns; ++i) {
      const double x = 8.0 * i;
      const double a = std::atan2(x - centre_x, y - centre_y);  // horizontal difference first
      const double s = std::sin(4.615493221227164 * a) + std::sin(3.6605635892491306 * a);
      const double cos_s = std::cos(s), sin_s = std::sin(s);
      grid.points[b][i] = {trunc_to_int32(x * cos_s - y * sin_s), trunc_to_int32(x * sin_s + y * cos_s),
                           trunc_to_int32(127.0 * std::atan2(x, y))};
    }
  }
}

void grid_warp_render_plain(std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture) {
  if (!sizes_fit(frame, texture)) return;
  for (int r = 0; r < cell_rows; ++r)
    for (int c = 0; c < cell_columns; ++c) render_cell_plain(frame.data(), texture.data(), r, c);
}

void grid_warp_render(std::span<std::uint32_t> frame, std::span<const std::uint32_t> texture) {
#if defined(__SSE2__)
  if (!sizes_fit(frame, texture)) return;
  render_sse2(frame.data(), texture.data());
#else
  grid_warp_render_plain(frame, texture);
#endif
}
