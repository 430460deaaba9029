// bench_raster.cpp: the rasteriser's fills and lines and the smoothing pass, per frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench_paths.h"
#include "render/raster.h"
#include "render/screen.h"
#include "render/smooth.h"

namespace {

std::vector<std::uint32_t> random_frame(std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> frame(frame_pixels);
  for (auto& pixel : frame) pixel = rng() & 0x00FFFFFFu;
  return frame;
}

void smooth_whole_frame(benchmark::State& state, int path) {
  std::vector<std::uint32_t> frame = random_frame(1);
  for (auto _ : state) {
    smooth_frame_on(path, frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}
const int smooth_frame_registered = register_per_path("BM_smooth_frame", smooth_whole_frame);

void BM_smooth_frame_reference(benchmark::State& state) {
  std::vector<std::uint32_t> frame = random_frame(1);
  for (auto _ : state) {
    smooth_frame_reference(frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_smooth_frame_reference);

// Small triangles (sides up to about 12 pixels) anywhere on the screen.
std::vector<PolyVertex> random_small_triangles(int count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> x(0, 308), y(0, 188), offset(0, 12);
  std::vector<PolyVertex> vertices;
  for (int i = 0; i < count; ++i) {
    const float cx = x(rng), cy = y(rng);
    for (int v = 0; v < 3; ++v) vertices.push_back({cx + offset(rng), cy + offset(rng), 0});
  }
  return vertices;
}

void BM_fill_triangles(benchmark::State& state) {
  set_screen_size(320, 200);
  const std::vector<PolyVertex> triangles = random_small_triangles(10000, 2);
  std::vector<std::uint32_t> frame(frame_pixels);
  for (auto _ : state) {
    for (std::size_t i = 0; i < triangles.size(); i += 3)
      fill_triangle(triangles[i], triangles[i + 1], triangles[i + 2], frame, std::uint32_t(i));
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_fill_triangles);

// Lines of up to 40 pixels each way, some reaching past the screen edges.
void BM_draw_lines(benchmark::State& state) {
  set_screen_size(320, 200);
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> x(-20, 339), y(-20, 219), d(-40, 40);
  std::vector<int> lines;
  for (int i = 0; i < 10000; ++i) {
    const int x0 = x(rng), y0 = y(rng);
    lines.insert(lines.end(), {x0, y0, x0 + d(rng), y0 + d(rng)});
  }
  std::vector<std::uint32_t> frame(frame_pixels);
  for (auto _ : state) {
    for (std::size_t i = 0; i < lines.size(); i += 4)
      draw_line(lines[i], lines[i + 1], lines[i + 2], lines[i + 3], 0x00FFFFFF, frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_draw_lines);

}  // namespace
