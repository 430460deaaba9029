// fuzz_scene.cpp: any bytes as a scene file, read by both stages of the format named by the
// first byte (.3DS or native), then evaluated at a few frames: never a read or write outside
// the records, whatever the file holds, and never a cost that grows faster than the file. An
// input that takes more processor time than the budget below is a finding: loading and updating
// are linear, so a shape that meets a quadratic path (many nodes naming one parent, one node id
// shared by many nodes) shows up once inputs are large enough; run this harness with a
// -max_len of a few hundred kilobytes to reach them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "scene/frame_update.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"

namespace {

// Far above what a linear path costs, even instrumented: a fixed part for the frames, and a
// part per byte of the file.
double budget_seconds(std::size_t size) { return 0.1 + 2e-6 * double(size); }

// Reports and aborts (a finding) when the input has cost more processor time than its budget.
// Processor time rather than wall time, so that a busy machine makes no findings.
struct TimeCheck {
  std::size_t size;
  std::clock_t start = std::clock();
  ~TimeCheck() {
    const double spent = double(std::clock() - start) / CLOCKS_PER_SEC;
    if (spent <= budget_seconds(size)) return;
    std::fprintf(stderr, "fuzz_scene: %zu bytes took %.3f s of processor time, over their budget of %.3f s\n", size,
                 spent, budget_seconds(size));
    std::abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const TimeCheck check{size};
  read_3ds_set_output(nullptr);
  const SceneDriver& driver = scene_drivers[data[0] & 1];
  lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM | (data[0] & 2 ? LIB_RECALC_NORMALS : 0));
  std::unique_ptr<Scene> scene;
  if (scene_new(scene) != SCENE_OK) return 0;
  scene_set_active(scene.get());
  SceneFile file;
  file.bytes.assign(data + 1, data + size);
  if (driver.load_scene(file) != SCENE_OK) return 0;
  file.pos = 0;
  file.error = false;
  if (driver.load_motion(file) != SCENE_OK) return 0;
  for (float frame : {0.0f, 1.0f, 7.5f, 100.0f}) {
    scene_set_frame(frame);
    scene_update();
  }
  return 0;
}
