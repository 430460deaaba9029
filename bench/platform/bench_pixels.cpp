// The converting area copy onto the display surface, one whole 320x200 frame per iteration:
// the two video formats, a format that takes the general mask path, and a plain 32-bit copy.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "platform/pixels.h"

namespace {

void copy_frame(benchmark::State& state, const PixelFormat& from, const PixelFormat& to) {
  Surface src = surface_create(320, 200, from);
  for (std::size_t i = 0; i < src.pixels.size(); ++i) src.pixels[i] = std::uint8_t(i * 2654435761u >> 13);
  Surface dst = surface_create(320, 200, to);
  surface_lock(dst);
  const Area whole{0, 0, 320, 200};
  for (auto _ : state) {
    surface_copy_area(src, dst, whole, whole);
    benchmark::DoNotOptimize(dst.pixels.data());
    benchmark::ClobberMemory();
  }
}

void BM_copy_area_rgb555(benchmark::State& state) { copy_frame(state, rgb555_pixel_format, display_pixel_format); }
void BM_copy_area_bgr24(benchmark::State& state) { copy_frame(state, bgr24_pixel_format, display_pixel_format); }
void BM_copy_area_rgb565_by_masks(benchmark::State& state) {
  copy_frame(state, PixelFormat{16, 0xf800, 0x7e0, 0x1f, 0}, display_pixel_format);
}
void BM_copy_area_same_format(benchmark::State& state) { copy_frame(state, display_pixel_format, display_pixel_format); }

BENCHMARK(BM_copy_area_rgb555);
BENCHMARK(BM_copy_area_bgr24);
BENCHMARK(BM_copy_area_rgb565_by_masks);
BENCHMARK(BM_copy_area_same_format);

}  // namespace
