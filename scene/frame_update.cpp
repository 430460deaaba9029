// frame_update.cpp: the active scene's frame range and current frame.
#include "scene/frame_update.h"

#include "scene/scene.h"

namespace {

// The active scene when it has animation nodes and a frame range, else the code why not.
int animated_scene(Scene*& scene) {
  scene = scene_get_active();
  if (scene == nullptr || scene->first_anim_node == nullptr) return SCENE_NO_ACTIVE;
  if (scene->end_frame - scene->start_frame == 0) return SCENE_EMPTY_RANGE;
  return SCENE_OK;
}

}  // namespace

int scene_get_frame_range(float& start, float& end) {
  Scene* scene;
  if (int rc = animated_scene(scene); rc != SCENE_OK) return rc;
  start = scene->start_frame;
  end = scene->end_frame;
  return SCENE_OK;
}

int scene_set_frame(float frame) {
  Scene* scene;
  if (int rc = animated_scene(scene); rc != SCENE_OK) return rc;
  if (!(frame >= scene->start_frame && frame < scene->end_frame)) return SCENE_BAD_FRAME;
  scene->current_frame = frame;
  return SCENE_OK;
}

// The evaluation of the tracks into the objects, the hierarchy, the camera matrices and the
// mesh transforms belong to the frame update proper; until it is built here, an update checks
// its preconditions and leaves the objects as they are.
int scene_update() {
  Scene* scene = scene_get_active();
  if (scene == nullptr || scene->first_object == nullptr || scene->first_anim_node == nullptr)
    return SCENE_NO_ACTIVE;
  return SCENE_OK;
}
