// fuzz_scene.cpp: any bytes as a scene file, read by both stages of the format named by the
// first byte (.3DS or native), then evaluated at a few frames: never a read or write outside
// the records, whatever the file holds.
#include <cstdint>
#include <memory>

#include "scene/frame_update.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
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
