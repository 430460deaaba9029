// fuzz_scene_render.cpp: any bytes as the scene file of a 3d_mesh layer, loaded as the layer
// loads it (.3DS or native, chosen by the file's magic), then drawn at a few frames through its
// first camera (or through "rolli" when it has none) in wireframe and in flat shading, and
// smoothed: never a read or write outside the frame or the scene's records, whatever the file.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/frame.h"
#include "fuzz_support.h"
#include "render/render.h"
#include "render/smooth.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"

namespace {

// The name of the scene's first camera, or "rolli", the name the renderer falls back to.
std::string first_camera(const Scene& scene) {
  for (const SceneNode* node = scene.first_object; node != nullptr; node = node->next) {
    if (node->kind == NODE_CAMERA && node->object != nullptr) return node->object->name;
  }
  return "rolli";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file("fuzz_scene_render");
  static std::vector<std::uint32_t> frame(frame_pixels);
  read_3ds_set_output(nullptr);
  file.assign(data, size);
  std::unique_ptr<Scene> scene = load_3d_mesh(file.path().c_str());
  if (scene == nullptr) return 0;
  render_reserve(*scene);
  const std::string camera = first_camera(*scene);
  for (std::int32_t frame_number : {0, 1, 30, -5, 1000}) {
    for (int mode : {DRAW_WIREFRAME, DRAW_FLAT}) {
      render_scene(*scene, frame_number, std::span(frame), camera, mode);
      smooth_frame(std::span(frame));
    }
  }
  return 0;
}
