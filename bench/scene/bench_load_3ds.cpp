// bench_load_3ds.cpp: loading a 200 000-face .3DS scene: the show's whole loader (both stages
// from disk, boxes, normals, frame 0), and the scene stage's chunk reading alone from memory.
// Freeing the scene is left out of the time.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"

namespace {

const std::filesystem::path big_file = std::filesystem::path(QUINDLE_TESTDATA_DIR) / "3ds" / "big.3ds";

void BM_load_3d_mesh_big(benchmark::State& state) {
  if (!std::filesystem::exists(big_file)) {
    state.SkipWithError("the interop folder with 3ds/big.3ds is absent");
    return;
  }
  std::FILE* old = read_3ds_set_output(nullptr);
  for (auto _ : state) {
    std::unique_ptr<Scene> scene = load_3d_mesh(big_file.c_str());
    if (scene == nullptr) state.SkipWithError("big.3ds did not load");
    benchmark::DoNotOptimize(scene.get());
    // The show never frees a scene: freeing is not part of loading.
    state.PauseTiming();
    scene.reset();
    state.ResumeTiming();
  }
  read_3ds_set_output(old);
}
BENCHMARK(BM_load_3d_mesh_big)->Unit(benchmark::kMillisecond);

// Chunks, vertices, faces and material groups only: no file reading, boxes or normals.
void BM_read_3ds_scene_big(benchmark::State& state) {
  SceneFile file;
  if (scene_file_load(big_file.c_str(), file) != SCENE_OK) {
    state.SkipWithError("the interop folder with 3ds/big.3ds is absent");
    return;
  }
  lib_init(0);
  for (auto _ : state) {
    auto scene = std::make_unique<Scene>();
    scene_set_active(scene.get());
    if (read_3ds_scene(file) != SCENE_OK) state.SkipWithError("big.3ds did not read");
    benchmark::DoNotOptimize(scene->first_object);
    state.PauseTiming();
    scene.reset();
    state.ResumeTiming();
  }
  lib_init(0);
}
BENCHMARK(BM_read_3ds_scene_big)->Unit(benchmark::kMillisecond);

}  // namespace
