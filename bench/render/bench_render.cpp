// bench_render.cpp: one frame of the 3d_mesh layer (render pass and smoothing) for the sample
// show's scene and the 200 000-face interop scene, flat and wireframe, and the pass's stages
// apart: update (frame set and scene update), gather, sort and draw.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "render/render.h"
#include "render/screen.h"
#include "render/smooth.h"
#include "scene/reader_3ds.h"
#include "tools/show_assets.h"

namespace {

const std::filesystem::path big_file = std::filesystem::path(QUINDLE_TESTDATA_DIR) / "3ds" / "big.3ds";
constexpr int sample_frames = 400;

struct LoadedScene {
  std::unique_ptr<Scene> scene;
  int frame_count = 1;  // frame numbers cycle through 0 .. frame_count - 1
};

LoadedScene load(const std::filesystem::path& path, int frame_count) {
  set_screen_size(320, 200);
  read_3ds_set_output(nullptr);
  LoadedScene loaded{load_3d_mesh(path.c_str()), frame_count};
  if (loaded.scene != nullptr) render_reserve(*loaded.scene);
  return loaded;
}

LoadedScene& sample_scene() {
  static LoadedScene loaded = [] {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quindle_bench_render";
    std::filesystem::create_directories(dir);
    write_show_scene(dir);
    return load(dir / "scene.3ds", sample_frames);
  }();
  return loaded;
}

LoadedScene& big_scene() {
  static LoadedScene loaded = std::filesystem::exists(big_file) ? load(big_file, 1) : LoadedScene{};
  return loaded;
}

bool ready(benchmark::State& state, const LoadedScene& loaded) {
  if (loaded.scene != nullptr) return true;
  state.SkipWithError("the scene did not load (for big.3ds: the interop folder is absent)");
  return false;
}

// A whole frame of the layer, the frame number advancing by one each time.
void render_frames(benchmark::State& state, LoadedScene& loaded, int mode) {
  if (!ready(state, loaded)) return;
  std::vector<std::uint32_t> frame(frame_pixels);
  int frame_number = 0;
  for (auto _ : state) {
    render_scene(*loaded.scene, frame_number, frame, "Camera01", mode);
    smooth_frame(frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
    frame_number = (frame_number + 1) % loaded.frame_count;
  }
  state.counters["faces"] = double(loaded.scene->face_list.size());
}

void update(benchmark::State& state, LoadedScene& loaded) {
  if (!ready(state, loaded)) return;
  int frame_number = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(render_prepare(*loaded.scene, frame_number, "Camera01"));
    frame_number = (frame_number + 1) % loaded.frame_count;
  }
}

// Flat shading's gather, which also shades every face.
void gather(benchmark::State& state, LoadedScene& loaded) {
  if (!ready(state, loaded)) return;
  const RenderView view = render_view(*render_prepare(*loaded.scene, 0, "Camera01"), DRAW_FLAT);
  for (auto _ : state) benchmark::DoNotOptimize(draw_order_gather(*loaded.scene, view));
}

void sort(benchmark::State& state, LoadedScene& loaded) {
  if (!ready(state, loaded)) return;
  const RenderView view = render_view(*render_prepare(*loaded.scene, 0, "Camera01"), DRAW_FLAT);
  for (auto _ : state) {
    state.PauseTiming();
    const std::size_t n = draw_order_gather(*loaded.scene, view);
    state.ResumeTiming();
    draw_order_sort(n);
    benchmark::ClobberMemory();
  }
}

void draw(benchmark::State& state, LoadedScene& loaded, int mode) {
  if (!ready(state, loaded)) return;
  const RenderView view = render_view(*render_prepare(*loaded.scene, 0, "Camera01"), mode);
  const std::size_t n = draw_order_gather(*loaded.scene, view);
  draw_order_sort(n);
  std::vector<std::uint32_t> frame(frame_pixels);
  for (auto _ : state) {
    draw_order_draw(n, view, frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
}

// The plain form for comparison: whole face copies gathered and quicksorted.
void gather_and_sort_copies(benchmark::State& state, LoadedScene& loaded) {
  if (!ready(state, loaded)) return;
  render_prepare(*loaded.scene, 0, "Camera01");
  for (auto _ : state) {
    const int n = gather_faces(*loaded.scene);
    if (n >= 2) sort_faces(0, n - 1, loaded.scene->face_list);
    benchmark::ClobberMemory();
  }
}

void BM_render_sample_flat(benchmark::State& state) { render_frames(state, sample_scene(), DRAW_FLAT); }
void BM_render_sample_wireframe(benchmark::State& state) { render_frames(state, sample_scene(), DRAW_WIREFRAME); }
void BM_render_sample_update(benchmark::State& state) { update(state, sample_scene()); }
void BM_render_sample_gather(benchmark::State& state) { gather(state, sample_scene()); }
void BM_render_sample_sort(benchmark::State& state) { sort(state, sample_scene()); }
void BM_render_sample_draw_flat(benchmark::State& state) { draw(state, sample_scene(), DRAW_FLAT); }
void BM_render_sample_draw_wireframe(benchmark::State& state) { draw(state, sample_scene(), DRAW_WIREFRAME); }
BENCHMARK(BM_render_sample_flat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_render_sample_wireframe)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_render_sample_update)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_render_sample_gather)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_render_sample_sort)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_render_sample_draw_flat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_render_sample_draw_wireframe)->Unit(benchmark::kMicrosecond);

void BM_render_big_flat(benchmark::State& state) { render_frames(state, big_scene(), DRAW_FLAT); }
void BM_render_big_wireframe(benchmark::State& state) { render_frames(state, big_scene(), DRAW_WIREFRAME); }
void BM_render_big_update(benchmark::State& state) { update(state, big_scene()); }
void BM_render_big_gather(benchmark::State& state) { gather(state, big_scene()); }
void BM_render_big_sort(benchmark::State& state) { sort(state, big_scene()); }
void BM_render_big_draw_flat(benchmark::State& state) { draw(state, big_scene(), DRAW_FLAT); }
void BM_render_big_draw_wireframe(benchmark::State& state) { draw(state, big_scene(), DRAW_WIREFRAME); }
void BM_render_big_gather_sort_copies(benchmark::State& state) { gather_and_sort_copies(state, big_scene()); }
BENCHMARK(BM_render_big_flat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_big_wireframe)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_big_update)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_big_gather)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_big_sort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_big_draw_flat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_big_draw_wireframe)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_big_gather_sort_copies)->Unit(benchmark::kMillisecond);

}  // namespace
