// One frame each of the radial blur and of the grid warp with either grid function.
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "effects/grid_warp.h"
#include "effects/radial_blur.h"

namespace {

constexpr int frame_width = 320, frame_height = 200;

std::vector<std::uint32_t> random_pixels(std::size_t count) {
  std::mt19937 rng(42);
  std::vector<std::uint32_t> pixels(count);
  for (auto& p : pixels) p = rng() & 0x00FFFFFFu;
  return pixels;
}

// The strength the driver gives a layer with parameter 20000 halfway up its pulse.
void BM_radial_blur(benchmark::State& state) {
  std::vector<std::uint32_t> frame = random_pixels(std::size_t(frame_width) * frame_height);
  for (auto _ : state) {
    radial_blur(frame, frame_width, frame_height, double(state.range(0)));
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_radial_blur)->Arg(1000)->Arg(22000)->Arg(65536);

template <void (*grid_function)(double)>
void grid_render(benchmark::State& state) {
  std::vector<std::uint32_t> frame(std::size_t(warp_frame_width) * warp_frame_height);
  const std::vector<std::uint32_t> texture = random_pixels(warp_texture_texels);
  double t = 0;
  for (auto _ : state) {
    grid_function(t);
    grid_warp_render(frame, texture);
    t += 0.01;
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}

void BM_grid_plasma_render(benchmark::State& state) { grid_render<grid_plasma>(state); }
void BM_grid_flower_render(benchmark::State& state) { grid_render<grid_flower>(state); }
BENCHMARK(BM_grid_plasma_render);
BENCHMARK(BM_grid_flower_render);

// The render alone, on the grid flower leaves at t = 1.
void BM_grid_warp_render(benchmark::State& state) {
  std::vector<std::uint32_t> frame(std::size_t(warp_frame_width) * warp_frame_height);
  const std::vector<std::uint32_t> texture = random_pixels(warp_texture_texels);
  grid_flower(1.0);
  for (auto _ : state) {
    grid_warp_render(frame, texture);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_grid_warp_render);



void BM_grid_flower(benchmark::State& state) {
  double t = 0;
  for (auto _ : state) {
    grid_flower(t);
    t += 0.01;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_grid_flower);
void BM_grid_plasma(benchmark::State& state) {
  double t = 0;
  for (auto _ : state) {
    grid_plasma(t);
    t += 0.01;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_grid_plasma);
}  // namespace
