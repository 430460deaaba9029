// layer_mesh3d.cpp: the 3d_mesh layer: a keyframed scene loaded from a .3DS file at start-up,
// drawn every frame at the layer's local time through a named camera, then smoothed.
#include <memory>
#include <string>
#include <string_view>

#include "driver/layers.h"
#include "render/render.h"
#include "render/smooth.h"
#include "scene/scene.h"

// The motion stage decides, as load_3d_mesh does; a scene stage that failed before it is the
// cause worth naming, or, when the motion stage still succeeded, a warning: the scene is empty.
// A scene the shelf already holds is shared; its warning was told with the layer that loaded it.
LayerLoad load_mesh3d_layer(Layer& layer, SceneShelf& scenes) {
  LayerLoad load;
  auto shelved = scenes.by_file.find(layer.param1);
  if (shelved == scenes.by_file.end()) {
    MeshLoad mesh = scene_load_3d_mesh(layer.param1.c_str());
    if (mesh.motion_code != SCENE_OK || mesh.scene == nullptr) {
      load.failure = LAYER_LOAD_SCENE;
      load.code = mesh.scene == nullptr         ? SCENE_NO_MEMORY
                  : mesh.scene_code != SCENE_OK ? mesh.scene_code
                                                : mesh.motion_code;
      return load;
    }
    if (mesh.scene_code != SCENE_OK)
      load.warning = "holds no scene (code " + std::to_string(mesh.scene_code) + ", " +
                     scene_code_text(mesh.scene_code) + "): the layer draws nothing";
    std::shared_ptr<Scene> scene = std::move(mesh.scene);
    // The draw order gets its room now, so that no frame of the show allocates.
    render_reserve(*scene);
    shelved = scenes.by_file.emplace(layer.param1, SceneShelf::Entry{scene, scene->current_frame}).first;
  }
  layer.resource.scene = shelved->second.scene;
  layer.scene_loaded_frame = shelved->second.loaded_frame;
  layer.scene_frame = layer.scene_loaded_frame;
  return load;
}

namespace {

// The layer's scene set to the layer's own frame, or null. Updating it (render_prepare,
// render_scene) moves that frame on; keep_frame takes it back into the layer.
Scene* layer_scene(Layer& layer) {
  Scene* scene = layer.resource.scene.get();
  if (scene != nullptr) scene->current_frame = layer.scene_frame;
  return scene;
}

void keep_frame(Layer& layer, const Scene& scene) { layer.scene_frame = scene.current_frame; }

std::string_view camera_of(const Layer& layer) {
  return begins_with(layer.param2, "no") ? std::string_view("Camera01") : std::string_view(layer.param2);
}

}  // namespace

// The scene keeps the last frame that lay in its range, so every frame's update is made.
void advance_mesh3d_layer(Layer& layer, const FrameContext& context) {
  Scene* scene = layer_scene(layer);
  if (scene == nullptr) return;
  render_prepare(*scene, layer_local_time(layer, timer_seconds(*context.show_timer)), camera_of(layer));
  keep_frame(layer, *scene);
}

void draw_mesh3d_layer(Layer& layer, const FrameContext& context) {
  Scene* scene = layer_scene(layer);
  if (scene == nullptr) return;
  const std::string_view camera = camera_of(layer);
  int mode = DRAW_WIREFRAME;
  if (begins_with(layer.param4, "wireframe"))
    mode = DRAW_WIREFRAME;
  else if (begins_with(layer.param4, "flatshade"))
    mode = DRAW_FLAT;
  const std::int32_t frame_number = layer_local_time(layer, timer_seconds(*context.show_timer));
  render_scene(*scene, frame_number, context.frame, camera, mode);
  keep_frame(layer, *scene);
  smooth_frame(context.frame);
}
