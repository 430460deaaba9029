// frame_update.cpp: the active scene's frame range and current frame, and the update that
// brings its objects to that frame: tracks, object matrices, hierarchy, camera matrices.
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

// The node's object as the record its kind names; null when it is missing or of another
// type, so that a malformed node is skipped instead of being read as the wrong record.
template <class T>
T* node_object(const AnimNode& node) {
  return dynamic_cast<T*>(node.object);
}

Track* slot(const AnimNode& node, int index) { return node.tracks->slots[index].get(); }

// Position, scale, rotation, hide and morph, in that order, then the matrix: scaled first,
// then rotated, then moved (the pivot already left the vertices at load).
void update_object(const AnimNode& node, Mesh& mesh, float frame) {
  track_eval_vector(slot(node, SLOT_POSITION), frame, mesh.position);
  track_eval_vector(slot(node, OBJECT_SLOT_SCALE), frame, mesh.scale);
  track_eval_rotation(slot(node, OBJECT_SLOT_ROTATION), frame, mesh.rotation);
  // A refused (negative) frame leaves the output as it was: the mesh keeps its hidden state.
  std::int32_t hidden = (mesh.flags & MESH_HIDDEN) != 0 ? 1 : 0;
  track_eval_hide(slot(node, OBJECT_SLOT_HIDE), frame, hidden);
  const bool morphing = track_eval_morph(slot(node, OBJECT_SLOT_MORPH), frame, mesh.morph) == SCENE_OK;

  mesh.flags &= ~(MESH_HIDDEN | MESH_MORPHING);
  if (hidden != 0) mesh.flags |= MESH_HIDDEN;
  if (morphing) mesh.flags |= MESH_MORPHING;

  Matrix rotation, scale;
  quat_to_matrix(mesh.rotation, rotation);
  rotation.m[0][3] = mesh.position.x;
  rotation.m[1][3] = mesh.position.y;
  rotation.m[2][3] = mesh.position.z;
  mat_scale(mesh.scale, scale);
  mat_mul(rotation, scale, mesh.matrix);
}

// Step 1: every node's tracks into its object; result codes are ignored, so an empty slot
// keeps the field's previous value.
void evaluate_tracks(Scene& scene, float frame) {
  for (AnimNode* node = scene.first_anim_node; node != nullptr; node = node->next) {
    if (node->tracks == nullptr) continue;
    switch (node->kind) {
      case ANIM_CAMERA:
        if (Camera* camera = node_object<Camera>(*node)) {
          track_eval_vector(slot(*node, SLOT_POSITION), frame, camera->position);
          track_eval_float(slot(*node, CAMERA_SLOT_FOV), frame, camera->fov);
          track_eval_float(slot(*node, CAMERA_SLOT_ROLL), frame, camera->roll);
        }
        break;
      case ANIM_CAMERA_TARGET:
        if (Camera* camera = node_object<Camera>(*node))
          track_eval_vector(slot(*node, SLOT_POSITION), frame, camera->target);
        break;
      case ANIM_OMNI:
      case ANIM_SPOT:
        if (Light* light = node_object<Light>(*node)) {
          track_eval_vector(slot(*node, SLOT_POSITION), frame, light->position);
          track_eval_color(slot(*node, LIGHT_SLOT_COLOR), frame, light->color);
          if (node->kind == ANIM_SPOT) track_eval_float(slot(*node, SPOT_SLOT_ROLL), frame, light->roll);
        }
        break;
      case ANIM_LIGHT_TARGET:
        if (Light* light = node_object<Light>(*node))
          track_eval_vector(slot(*node, SLOT_POSITION), frame, light->target);
        break;
      case ANIM_OBJECT:
        if (Mesh* mesh = node_object<Mesh>(*node)) update_object(*node, *mesh, frame);
        break;
      case ANIM_AMBIENT:
        if (Ambient* ambient = node_object<Ambient>(*node))
          track_eval_color(slot(*node, AMBIENT_SLOT_COLOR), frame, ambient->color);
        break;
      default:
        break;
    }
  }
}

// The point a child node is moved from: the value its position track gave this frame, or,
// without one, its rest point, so that the parent's transform never compounds over updates.
Vector3 unmoved_point(const AnimNode& child, const Vector3& current) {
  return slot(child, SLOT_POSITION) != nullptr ? current : child.rest;
}

// An object parent moves every kind of child but ambient by its matrix (an object child's
// matrix becomes parent * child: the child's own transform first).
void apply_object_parent(const Matrix& parent, const AnimNode& child) {
  if (child.kind == ANIM_OBJECT) {
    if (Mesh* mesh = node_object<Mesh>(child)) mat_mul(parent, mesh->matrix, mesh->matrix);
    return;
  }
  if (Vector3* point = anim_node_point(child))
    mat_transform_point(parent, unmoved_point(child, *point), *point);
}

// Step 2: parents precede their children in the list, so one pass in list order gives every
// node a transform that already includes all of its ancestors.
void apply_hierarchy(Scene& scene) {
  for (AnimNode* parent = scene.first_anim_node; parent != nullptr; parent = parent->next) {
    if (parent->kind == ANIM_OBJECT) {
      const Mesh* mesh = node_object<Mesh>(*parent);
      if (mesh == nullptr) continue;
      for (AnimNode* child = parent->first_child; child != nullptr; child = child->next_sibling)
        apply_object_parent(mesh->matrix, *child);
    } else if (parent->kind == ANIM_CAMERA) {
      // A camera carries its lights along by its position only, without turning them.
      const Camera* camera = node_object<Camera>(*parent);
      if (camera == nullptr) continue;
      for (AnimNode* child = parent->first_child; child != nullptr; child = child->next_sibling) {
        if (child->kind != ANIM_OMNI && child->kind != ANIM_SPOT) continue;
        if (Light* light = node_object<Light>(*child))
          vec_add(camera->position, unmoved_point(*child, light->position), light->position);
      }
    }
  }
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

int scene_update() {
  Scene* scene = scene_get_active();
  if (scene == nullptr || scene->first_object == nullptr || scene->first_anim_node == nullptr)
    return SCENE_NO_ACTIVE;
  const float frame = scene->current_frame;
  const LibraryFlags flags = lib_flags();

  evaluate_tracks(*scene, frame);
  if ((flags & LIB_HIERARCHY) != 0) apply_hierarchy(*scene);
  // Every camera, not only the active one: any of them may be chosen for the next frame.
  for (AnimNode* node = scene->first_anim_node; node != nullptr; node = node->next) {
    if (node->kind != ANIM_CAMERA) continue;
    if (Camera* camera = node_object<Camera>(*node)) camera_matrix(*camera);
  }
  if ((flags & LIB_TRANSFORM) != 0) scene_transform_meshes();
  return SCENE_OK;
}
