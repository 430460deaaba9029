// scene.cpp: library state, scene lifecycle, the two lists and the load stages.
#include "scene/scene.h"

#include <new>

#include "scene/frame_update.h"
#include "scene/native_format.h"
#include "scene/reader_3ds.h"
#include "scene/scene_file.h"

const SceneDriver scene_drivers[2] = {
    {"3DS", read_3ds_scene, read_3ds_motion, nullptr},
    {"NVF", read_native_scene, read_native_motion, write_native_scene},
};

namespace {

// The process-wide state that every operation works against.
struct LibraryState {
  Scene* active_scene = nullptr;
  Camera* active_camera = nullptr;
  LibraryFlags flags = 0;
};
LibraryState library;

// Empties the object list. Animation nodes keep no pointer to a freed object, and the active
// camera is cleared when it was one of them, so nothing is left dangling.
void free_object_list(Scene& scene) {
  for (AnimNode* node = scene.first_anim_node; node != nullptr; node = node->next) node->object = nullptr;
  SceneNode* node = scene.first_object;
  while (node != nullptr) {
    SceneNode* next = node->next;
    if (library.active_camera != nullptr && node->object.get() == library.active_camera)
      library.active_camera = nullptr;
    delete node;
    node = next;
  }
  scene.first_object = scene.last_object = nullptr;
  scene.object_ids.clear();
}

void free_anim_list(Scene& scene) {
  AnimNode* node = scene.first_anim_node;
  while (node != nullptr) {
    AnimNode* next = node->next;
    delete node;
    node = next;
  }
  scene.first_anim_node = scene.last_anim_node = nullptr;
  scene.node_ids.clear();
}

int run_stage(int (*operation)(SceneFile&), SceneFile& file) {
  if (operation == nullptr) return SCENE_NOT_SUPPORTED;
  return scene_run_guarded([&] { return operation(file); }, SCENE_READ_ERROR);
}

int compute_mesh_geometry(Scene& scene) {
  for (SceneNode* node = scene.first_object; node != nullptr; node = node->next)
    if (node->kind == NODE_MESH) mesh_compute_bounds(*static_cast<Mesh*>(node->object.get()));
  if ((library.flags & LIB_NORMALS) == 0) return SCENE_OK;
  for (SceneNode* node = scene.first_object; node != nullptr; node = node->next) {
    if (node->kind != NODE_MESH) continue;
    if (int rc = mesh_compute_normals(*static_cast<Mesh*>(node->object.get())); rc != SCENE_OK) return rc;
  }
  return SCENE_OK;
}

}  // namespace

Scene::~Scene() {
  free_anim_list(*this);
  free_object_list(*this);
  if (library.active_scene == this) library.active_scene = nullptr;
}

ActiveSceneGuard::ActiveSceneGuard(Scene* scene) : remembered_(library.active_scene) {
  library.active_scene = scene;
}

ActiveSceneGuard::~ActiveSceneGuard() { library.active_scene = remembered_; }

// ---- library state ----

int lib_init(LibraryFlags flags) {
  library.flags = flags;
  library.active_scene = nullptr;
  library.active_camera = nullptr;
  return SCENE_OK;
}

LibraryFlags lib_flags() { return library.flags; }
Scene* scene_get_active() { return library.active_scene; }
Camera* camera_get_active() { return library.active_camera; }

int scene_set_active(Scene* scene) {
  if (scene == nullptr) return SCENE_NULL_ARGUMENT;
  library.active_scene = scene;
  return SCENE_OK;
}

int camera_set_active(Camera* camera) {
  library.active_camera = camera;
  return SCENE_OK;
}

// ---- scenes ----

int scene_new(std::unique_ptr<Scene>& out) {
  out.reset(new (std::nothrow) Scene);
  return out ? SCENE_OK : SCENE_NO_MEMORY;
}

void scene_free(Scene* scene) { delete scene; }

int scene_load(const char* file_name, Scene* scene) {
  if (scene == nullptr || file_name == nullptr) return SCENE_NULL_ARGUMENT;
  scene->start_frame = scene->end_frame = scene->current_frame = 0;
  free_anim_list(*scene);
  free_object_list(*scene);

  SceneFile file;
  if (int rc = scene_file_load(file_name, file); rc != SCENE_OK) return rc;
  ActiveSceneGuard active(scene);
  int rc = run_stage(scene_drivers[0].load_scene, file);
  if (rc == SCENE_OK) rc = compute_mesh_geometry(*scene);
  if (rc != SCENE_OK) free_object_list(*scene);
  return rc;
}

int scene_load_motion(const char* file_name, Scene* scene) {
  if (scene == nullptr || file_name == nullptr) return SCENE_NULL_ARGUMENT;
  SceneFile file;
  if (int rc = scene_file_load(file_name, file); rc != SCENE_OK) return rc;
  ActiveSceneGuard active(scene);
  if (int rc = run_stage(scene_drivers[0].load_motion, file); rc != SCENE_OK) {
    free_anim_list(*scene);
    return rc;
  }
  scene_set_frame(0);
  scene_update();
  return SCENE_OK;
}

int scene_free_objects(Scene* scene) {
  if (scene == nullptr || scene->first_object == nullptr) return SCENE_NULL_ARGUMENT;
  free_object_list(*scene);
  return SCENE_OK;
}

int scene_free_motion(Scene* scene) {
  if (scene == nullptr || scene->first_anim_node == nullptr) return SCENE_NULL_ARGUMENT;
  free_anim_list(*scene);
  return SCENE_OK;
}

// ---- lists of the active scene ----

Vector3* anim_node_point(const AnimNode& node) {
  switch (node.kind) {
    case ANIM_CAMERA:
      if (auto* camera = dynamic_cast<Camera*>(node.object)) return &camera->position;
      return nullptr;
    case ANIM_CAMERA_TARGET:
      if (auto* camera = dynamic_cast<Camera*>(node.object)) return &camera->target;
      return nullptr;
    case ANIM_OMNI:
    case ANIM_SPOT:
      if (auto* light = dynamic_cast<Light*>(node.object)) return &light->position;
      return nullptr;
    case ANIM_LIGHT_TARGET:
      if (auto* light = dynamic_cast<Light*>(node.object)) return &light->target;
      return nullptr;
    default:
      return nullptr;
  }
}

int scene_find_by_name(std::string_view name, SceneNode*& out) {
  Scene* scene = library.active_scene;
  if (scene == nullptr || scene->first_object == nullptr) return SCENE_NO_ACTIVE;
  out = nullptr;
  for (SceneNode* node = scene->first_object; node != nullptr; node = node->next) {
    if (node->object->name == name) {
      out = node;
      break;
    }
  }
  return SCENE_OK;
}

int scene_find_by_id(std::int32_t id, SceneNode*& out) {
  Scene* scene = library.active_scene;
  if (scene == nullptr || scene->first_object == nullptr) return SCENE_NO_ACTIVE;
  const auto found = scene->object_ids.find(id);
  out = found != scene->object_ids.end() ? found->second : nullptr;
  return SCENE_OK;
}

int scene_add_object(SceneNodeKind kind, std::unique_ptr<SceneObject> object) {
  Scene* scene = library.active_scene;
  if (scene == nullptr) return SCENE_NO_ACTIVE;
  if (object == nullptr) return SCENE_NULL_ARGUMENT;
  SceneNode* node = new (std::nothrow) SceneNode;
  if (node == nullptr) return SCENE_NO_MEMORY;
  node->kind = kind;
  node->object = std::move(object);
  const int rc = scene_run_guarded(
      [&] {
        scene->object_ids.try_emplace(node->object->id, node);
        return SCENE_OK;
      },
      SCENE_NO_MEMORY);
  if (rc != SCENE_OK) {
    delete node;
    return rc;
  }
  node->prev = scene->last_object;
  if (scene->last_object != nullptr)
    scene->last_object->next = node;
  else
    scene->first_object = node;
  scene->last_object = node;
  return SCENE_OK;
}

int scene_add_anim_node(AnimNodeKind kind, std::int32_t node_id, std::int32_t parent_id,
                        std::unique_ptr<TrackSet> tracks, SceneObject* object) {
  Scene* scene = library.active_scene;
  if (scene == nullptr) return SCENE_NO_ACTIVE;
  if (tracks == nullptr) tracks.reset(new (std::nothrow) TrackSet);
  AnimNode* node = new (std::nothrow) AnimNode;
  if (tracks == nullptr || node == nullptr) {
    delete node;
    return SCENE_NO_MEMORY;
  }
  node->kind = kind;
  node->node_id = node_id;
  node->tracks = std::move(tracks);
  node->object = object;
  if (Vector3* point = anim_node_point(*node)) node->rest = *point;

  // Linked under the first earlier node with the parent's id: a parent added later is never
  // linked, and a node never becomes its own parent.
  AnimNode* parent = nullptr;
  if (parent_id != -1) {
    const auto found = scene->node_ids.find(parent_id);
    if (found != scene->node_ids.end()) parent = found->second;
  }
  const int rc = scene_run_guarded(
      [&] {
        scene->node_ids.try_emplace(node_id, node);
        return SCENE_OK;
      },
      SCENE_NO_MEMORY);
  if (rc != SCENE_OK) {
    delete node;
    return rc;
  }
  if (parent != nullptr) {
    node->parent = parent;
    node->next_sibling = parent->first_child;
    parent->first_child = node;
  }
  node->prev = scene->last_anim_node;
  if (scene->last_anim_node != nullptr)
    scene->last_anim_node->next = node;
  else
    scene->first_anim_node = node;
  scene->last_anim_node = node;
  return SCENE_OK;
}

int track_set_slot(AnimNodeKind node_kind, TrackKind track_kind) {
  switch (track_kind) {
    case TRACK_KIND_POSITION:
      switch (node_kind) {
        case ANIM_CAMERA: case ANIM_CAMERA_TARGET: case ANIM_OMNI: case ANIM_SPOT:
        case ANIM_LIGHT_TARGET: case ANIM_OBJECT:
          return SLOT_POSITION;
        default:
          return -1;
      }
    case TRACK_KIND_ROTATION: return node_kind == ANIM_OBJECT ? OBJECT_SLOT_ROTATION : -1;
    case TRACK_KIND_SCALE: return node_kind == ANIM_OBJECT ? OBJECT_SLOT_SCALE : -1;
    case TRACK_KIND_FOV: return node_kind == ANIM_CAMERA ? CAMERA_SLOT_FOV : -1;
    case TRACK_KIND_ROLL:
      if (node_kind == ANIM_CAMERA) return CAMERA_SLOT_ROLL;
      return node_kind == ANIM_SPOT ? SPOT_SLOT_ROLL : -1;
    case TRACK_KIND_COLOR:
      if (node_kind == ANIM_OMNI || node_kind == ANIM_SPOT) return LIGHT_SLOT_COLOR;
      return node_kind == ANIM_AMBIENT ? AMBIENT_SLOT_COLOR : -1;
    case TRACK_KIND_MORPH: return node_kind == ANIM_OBJECT ? OBJECT_SLOT_MORPH : -1;
    case TRACK_KIND_HIDE: return node_kind == ANIM_OBJECT ? OBJECT_SLOT_HIDE : -1;
    default: return -1;
  }
}

int track_set_slot_count(AnimNodeKind node_kind) {
  switch (node_kind) {
    case ANIM_CAMERA: return 3;
    case ANIM_CAMERA_TARGET: return 1;
    case ANIM_OMNI: return 2;
    case ANIM_SPOT: return 3;
    case ANIM_LIGHT_TARGET: return 1;
    case ANIM_OBJECT: return 5;
    case ANIM_AMBIENT: return 1;
    default: return 0;
  }
}

int scene_set_track(TrackKind track_kind, std::int32_t node_id, std::unique_ptr<Track> track) {
  Scene* scene = library.active_scene;
  if (scene == nullptr || scene->first_anim_node == nullptr) return SCENE_NO_ACTIVE;
  if (track == nullptr) return SCENE_NULL_ARGUMENT;
  const auto found = scene->node_ids.find(node_id);
  if (found == scene->node_ids.end()) return SCENE_NOT_FOUND;
  AnimNode* node = found->second;
  int slot = track_set_slot(node->kind, track_kind);
  if (slot < 0) return SCENE_OK;  // a track this kind of node has no slot for is dropped
  if (node->tracks == nullptr) {
    node->tracks.reset(new (std::nothrow) TrackSet);
    if (node->tracks == nullptr) return SCENE_NO_MEMORY;
  }
  node->tracks->slots[slot] = std::move(track);
  return SCENE_OK;
}

// ---- meshes ----

int mesh_link_faces(Mesh& mesh) {
  int rc = SCENE_OK;
  std::size_t count = mesh.vertices.size();
  for (Face& face : mesh.faces) {
    if (face.a < count && face.b < count && face.c < count) {
      face.vertex_a = &mesh.vertices[face.a];
      face.vertex_b = &mesh.vertices[face.b];
      face.vertex_c = &mesh.vertices[face.c];
    } else {
      face.vertex_a = face.vertex_b = face.vertex_c = nullptr;
      rc = SCENE_READ_ERROR;
    }
  }
  return rc;
}

void mesh_compute_bounds(Mesh& mesh) {
  if (mesh.vertices.empty()) {
    mesh.box_min = mesh.box_max = Vector3{};
    return;
  }
  Vector3 lo = mesh.vertices[0].position, hi = lo;
  for (const Vertex& v : mesh.vertices) {
    const Vector3& p = v.position;
    if (p.x < lo.x) lo.x = p.x;
    if (p.y < lo.y) lo.y = p.y;
    if (p.z < lo.z) lo.z = p.z;
    if (p.x > hi.x) hi.x = p.x;
    if (p.y > hi.y) hi.y = p.y;
    if (p.z > hi.z) hi.z = p.z;
  }
  mesh.box_min = lo;
  mesh.box_max = hi;
}

// ---- the show's loader ----

int scene_prepare_face_list(Scene& scene) {
  // Counts every face that can ever be drawn, not only those visible at frame 0, so a mesh
  // that its hide track shows later still finds room.
  std::size_t faces = 0;
  for (SceneNode* node = scene.first_object; node != nullptr; node = node->next) {
    if (node->kind != NODE_MESH) continue;
    const Mesh& mesh = *static_cast<const Mesh*>(node->object.get());
    if ((mesh.flags & MESH_FILE_HIDDEN) == 0) faces += mesh.faces.size();
  }
  scene.face_list.clear();
  scene.visible_face_count = faces > std::size_t(INT32_MAX) ? INT32_MAX : std::int32_t(faces);
  return SCENE_OK;
}

const char* scene_code_text(int code) {
  switch (code) {
    case SCENE_OK: return "ok";
    case SCENE_NO_MEMORY: return "out of memory";
    case SCENE_CANNOT_OPEN: return "the file cannot be opened";
    case SCENE_READ_ERROR: return "read error: the file is short or corrupt";
    case SCENE_NOT_SUPPORTED: return "not a supported file or version";
    case SCENE_BAD_FRAME: return "frame outside the scene's range";
    case SCENE_EMPTY_RANGE: return "the scene's frame range is empty";
    case SCENE_NO_ACTIVE: return "no scene, or its list is empty";
    case SCENE_NULL_ARGUMENT: return "null argument or empty list";
    case SCENE_SINGLE_KEY: return "a track with a single key: nothing to set up";
    case SCENE_SINGULAR: return "a matrix row of zero length";
    case SCENE_NOT_FOUND: return "a named object was not found";
    default: return "unknown code";
  }
}

MeshLoad scene_load_3d_mesh(const char* file_name) {
  MeshLoad load;
  lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
  if (scene_new(load.scene) != SCENE_OK) return load;
  Scene* scene = load.scene.get();
  // A failed scene stage has freed its objects; the motion stage decides, as the show expects.
  if (native_file_is_native(file_name)) {
    load.scene_code = native_load_scene(file_name, scene);
    load.motion_code = native_load_motion(file_name, scene);
  } else {
    load.scene_code = scene_load(file_name, scene);
    load.motion_code = scene_load_motion(file_name, scene);
  }
  scene_prepare_face_list(*scene);
  return load;
}

std::unique_ptr<Scene> load_3d_mesh(const char* file_name) {
  MeshLoad load = scene_load_3d_mesh(file_name);
  if (load.motion_code != SCENE_OK) return nullptr;
  return std::move(load.scene);
}
