// fuzz_scene.cpp: any bytes as a scene file, read by both stages of the format named by the
// first byte (.3DS or native), then evaluated at a few frames: never a read or write outside
// the records, whatever the file holds, and never a cost that grows faster than the file: an
// input that takes longer than the time below is a finding (loading and updating are linear).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "scene/frame_update.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"

namespace {

// Far above what any input of the fuzzer's sizes costs on a linear path, even instrumented.
constexpr std::chrono::milliseconds time_limit{250};

// Reports and aborts (a finding) when the input has taken longer than the limit.
struct TimeCheck {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::size_t size;
  ~TimeCheck() {
    const auto spent = std::chrono::steady_clock::now() - start;
    if (spent <= time_limit) return;
    std::fprintf(stderr, "fuzz_scene: %zu bytes took %lld ms, over the %lld ms limit\n", size,
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count()),
                 static_cast<long long>(time_limit.count()));
    std::abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const TimeCheck check{std::chrono::steady_clock::now(), size};
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
