// One frame each of the radial blur and of the grid warp with either grid function; the grid
// functions and the render are also timed alone, to show where the time goes.
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_paths.h"
#include "effects/grid_warp.h"
#include "effects/radial_blur.h"

namespace {

std::vector<std::uint32_t> random_pixels(std::size_t count) {
  std::mt19937 rng(42);
  std::vector<std::uint32_t> pixels(count);
  for (auto& p : pixels) p = rng() & 0x00FFFFFFu;
  return pixels;
}

// Strength 1000 has the longest chains of pixels reading the one just written; 22000 is a
// layer with parameter 20000 halfway up its pulse; 65536 reads the centre everywhere.
void BM_radial_blur(benchmark::State& state) {
  std::vector<std::uint32_t> frame = random_pixels(std::size_t(frame_width) * frame_height);
  for (auto _ : state) {
    radial_blur(frame, frame_width, frame_height, double(state.range(0)));
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_radial_blur)->Arg(1000)->Arg(22000)->Arg(65536);

void keep_grid(double) {}  // the render alone: the grid stays as grid_flower(1) left it

// A grid function and then the render, with t moving on as in the show.
template <void (*grid_function)(double), bool render>
void grid_frame(benchmark::State& state, int path) {
  std::vector<std::uint32_t> frame(std::size_t(frame_width) * frame_height);
  const std::vector<std::uint32_t> texture = random_pixels(warp_texture_texels);
  double t = 0;
  grid_flower(1.0);
  for (auto _ : state) {
    grid_function(t);
    if (render) grid_warp_render_on(path, frame, texture);
    t += 0.01;
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}

void BM_grid_plasma(benchmark::State& state) { grid_frame<grid_plasma, false>(state, pixel_path_selected()); }
void BM_grid_flower(benchmark::State& state) { grid_frame<grid_flower, false>(state, pixel_path_selected()); }
const int grid_registered[] = {register_per_path("BM_grid_plasma_render", grid_frame<grid_plasma, true>),
                               register_per_path("BM_grid_flower_render", grid_frame<grid_flower, true>),
                               register_per_path("BM_grid_warp_render", grid_frame<keep_grid, true>)};
BENCHMARK(BM_grid_plasma);
BENCHMARK(BM_grid_flower);

}  // namespace
