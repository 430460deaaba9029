// Blends over one 320x200 frame, the four steps of a faded bitmap layer, and picture decoding.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "base/frame.h"
#include "bench_paths.h"
#include "effects/blend.h"
#include "effects/picture.h"

namespace {

std::vector<std::uint32_t> random_frame(std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> pixels(frame_pixels);
  for (std::uint32_t& p : pixels) p = (rng() % 4 == 0) ? 0 : (rng() & 0x00FFFFFF);
  return pixels;
}

void copy_nonzero_frame(benchmark::State& state, int path) {
  const auto source = random_frame(1);
  auto destination = random_frame(2);
  for (auto _ : state) {
    copy_nonzero_on(path, source, destination);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
}
const int copy_nonzero_registered = register_per_path("BM_copy_nonzero", copy_nonzero_frame);

using Frame = std::vector<std::uint32_t>;

// Runs op(first, second, destination) over two random frames into a third.
template <typename Op>
void run_two_inputs(benchmark::State& state, Op op) {
  const Frame first = random_frame(1), second = random_frame(2);
  Frame destination(frame_pixels);
  for (auto _ : state) {
    op(first, second, destination);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
}

void fade_blend_frame(benchmark::State& state, int path) {
  run_two_inputs(state, [path](const Frame& under, const Frame& over, Frame& out) { fade_blend_on(path, under, over, out, 100); });
}
const int fade_blend_registered = register_per_path("BM_fade_blend", fade_blend_frame);

void BM_fade_blend_reference(benchmark::State& state) {
  run_two_inputs(state,
                 [](const Frame& under, const Frame& over, Frame& out) { fade_blend_reference(under, over, out, 100); });
}
BENCHMARK(BM_fade_blend_reference);

void add_saturate_frame(benchmark::State& state, int path) {
  run_two_inputs(state, [path](const Frame& a, const Frame& b, Frame& out) { add_saturate_on(path, a, b, out); });
}
const int add_saturate_registered = register_per_path("BM_add_saturate", add_saturate_frame);

// The bitmap layer with a fade: clear work, lay the picture in, cross-fade with the frame,
// lay the result over the frame. The frame is restored each step so every run does the same.
void faded_bitmap_layer(benchmark::State& state, int path) {
  const auto picture = random_frame(1), background = random_frame(2);
  auto frame = background;
  std::vector<std::uint32_t> work(frame_pixels);
  int level = 0;
  for (auto _ : state) {
    std::fill(work.begin(), work.end(), 0u);
    copy_nonzero_on(path, picture, work);
    fade_blend_on(path, frame, work, work, level);
    copy_nonzero_on(path, work, frame);
    level = (level + 1) & 0xFF;
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}
const int faded_bitmap_layer_registered = register_per_path("BM_faded_bitmap_layer", faded_bitmap_layer);

void BM_decode_picture_photo(benchmark::State& state) {
  const std::filesystem::path path = std::filesystem::path(QUINDLE_TESTDATA_DIR) / "pcx" / "photo320x200_pil.pcx";
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  if (bytes.empty()) {
    state.SkipWithError("photo320x200_pil.pcx is absent");
    return;
  }
  std::vector<std::uint32_t> destination(frame_pixels);
  for (auto _ : state) {
    benchmark::DoNotOptimize(decode_picture(bytes, destination));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_decode_picture_photo);

}  // namespace
