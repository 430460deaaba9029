// bench_raster.cpp: the rasteriser's fills and lines and the smoothing pass, per frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/raster.h"
#include "render/screen.h"
#include "render/smooth.h"

namespace {

std::vector<std::uint32_t> random_frame(std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> frame(smooth_frame_pixels);
  for (auto& pixel : frame) pixel = rng() & 0x00FFFFFFu;
  return frame;
}

void BM_smooth_frame(benchmark::State& state) {
  std::vector<std::uint32_t> frame = random_frame(1);
  for (auto _ : state) {
    smooth_frame(frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_smooth_frame);

void BM_smooth_frame_reference(benchmark::State& state) {
  std::vector<std::uint32_t> frame = random_frame(1);
  for (auto _ : state) {
    smooth_frame_reference(frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_smooth_frame_reference);

}  // namespace
