// layer_mesh3d.cpp: the 3d_mesh layer: a keyframed scene loaded from a .3DS file at start-up,
// drawn every frame at the layer's local time through a named camera, then smoothed.
#include <memory>
#include <string>
#include <string_view>

#include "driver/layers.h"
#include "render/render.h"
#include "render/smooth.h"
#include "scene/scene.h"

void SceneRelease::operator()(Scene* scene) const { scene_free(scene); }

// The motion stage decides, as load_3d_mesh does; a scene stage that failed before it is the
// cause worth naming, or, when the motion stage still succeeded, a warning: the scene is empty.
LayerLoad load_mesh3d_layer(Layer& layer) {
  MeshLoad mesh = scene_load_3d_mesh(layer.param1.c_str());
  LayerLoad load;
  if (mesh.motion_code != SCENE_OK || mesh.scene == nullptr) {
    load.failure = LAYER_LOAD_SCENE;
    load.code = mesh.scene == nullptr ? SCENE_NO_MEMORY : mesh.scene_code != SCENE_OK ? mesh.scene_code : mesh.motion_code;
    return load;
  }
  if (mesh.scene_code != SCENE_OK)
    load.warning = "holds no scene (code " + std::to_string(mesh.scene_code) + ", " + scene_code_text(mesh.scene_code) +
                   "): the layer draws nothing";
  Scene* scene = mesh.scene.release();
  layer.resource.scene.reset(scene);
  // The draw order gets its room now, so that no frame of the show allocates.
  render_reserve(*scene);
  layer.scene_loaded_frame = scene->current_frame;
  return load;
}

namespace {

std::string_view camera_of(const Layer& layer) {
  return begins_with(layer.param2, "no") ? std::string_view("Camera01") : std::string_view(layer.param2);
}

}  // namespace

// The scene keeps the last frame that lay in its range, so every frame's update is made.
void advance_mesh3d_layer(Layer& layer, const FrameContext& context) {
  Scene* scene = layer.resource.scene.get();
  if (scene == nullptr) return;
  render_prepare(*scene, layer_local_time(layer, timer_seconds(*context.show_timer)), camera_of(layer));
}

void draw_mesh3d_layer(Layer& layer, const FrameContext& context) {
  Scene* scene = layer.resource.scene.get();
  if (scene == nullptr) return;
  const std::string_view camera = camera_of(layer);
  int mode = DRAW_WIREFRAME;
  if (begins_with(layer.param4, "wireframe"))
    mode = DRAW_WIREFRAME;
  else if (begins_with(layer.param4, "flatshade"))
    mode = DRAW_FLAT;
  const std::int32_t frame_number = layer_local_time(layer, timer_seconds(*context.show_timer));
  render_scene(*scene, frame_number, context.frame, camera, mode);
  smooth_frame(context.frame);
}
