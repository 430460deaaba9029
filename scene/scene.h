// scene.h: the keyframed scene model: object records, the object and animation-node lists,
// the library state (active scene, active camera, option flags) and the load stages.
// A Scene owns every record reachable from its lists; links between records are plain
// pointers. Operations return result codes and never throw. The library prints one thing only:
// the 3DS reader's line per light read ("licht gelesen: NAME"), to standard output unless
// read_3ds_set_output (reader_3ds.h) sends it elsewhere or nowhere.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scene/math.h"
#include "scene/track.h"

struct Material;
struct SceneFile;

// Result codes of every scene-library operation and format reader.
enum : int {
  SCENE_OK = 0,
  SCENE_NO_MEMORY = 1,       // an allocation failed
  SCENE_CANNOT_OPEN = 2,     // the file cannot be opened
  SCENE_READ_ERROR = 3,      // a short read, a corrupt structure, the file's error flag set, or a failed write
  SCENE_NOT_SUPPORTED = 4,   // not a file of a supported format (or version)
  SCENE_BAD_FRAME = 6,       // frame outside the scene's range, or a negative frame
  SCENE_EMPTY_RANGE = 8,     // the scene's frame range is empty
  SCENE_NO_ACTIVE = 9,       // no active scene, or the list the operation needs is empty
  SCENE_NULL_ARGUMENT = 10,  // null argument, or an empty list / track
  SCENE_SINGLE_KEY = 12,     // a one-key track: its spline set-up has nothing to do
  SCENE_SINGULAR = 13,       // a matrix row of zero length
  SCENE_NOT_FOUND = 256,     // a named object or animation node was not found
};

// Library option bits (`lib_init`); the show passes 15.
using LibraryFlags = std::uint32_t;
enum : LibraryFlags {
  LIB_HIERARCHY = 0x01,       // the frame update applies parent transforms
  LIB_NORMALS = 0x02,         // load computes normals; the frame update transforms them
  LIB_MORPH = 0x04,           // the frame update morphs meshes
  LIB_TRANSFORM = 0x08,       // the frame update transforms vertices, normals and boxes
  LIB_SLERP = 0x10,           // rotations by plain shortest-arc slerp instead of squad
  LIB_MORPH_NORMALS = 0x20,   // with morph and normals: morph sources' normals are blended
  LIB_RECALC_NORMALS = 0x40,  // normals of morphed meshes are recomputed
};

using SceneNodeKind = std::int32_t;
enum : SceneNodeKind {
  NODE_CAMERA = 1,
  NODE_LIGHT = 2,
  NODE_MESH = 4,
  NODE_MATERIAL = 8,
  NODE_AMBIENT = 16,
};

using AnimNodeKind = std::int32_t;
enum : AnimNodeKind {
  ANIM_CAMERA = 1,
  ANIM_CAMERA_TARGET = 2,
  ANIM_OMNI = 4,
  ANIM_SPOT = 8,
  ANIM_LIGHT_TARGET = 16,
  ANIM_OBJECT = 32,
  ANIM_AMBIENT = 64,
};

// The number by which a reader names a track when it stores it (`scene_set_track`).
using TrackKind = std::int32_t;
enum : TrackKind {
  TRACK_KIND_POSITION = 1,
  TRACK_KIND_ROTATION = 2,
  TRACK_KIND_SCALE = 3,
  TRACK_KIND_FOV = 4,
  TRACK_KIND_ROLL = 5,
  TRACK_KIND_COLOR = 6,
  TRACK_KIND_MORPH = 7,
  TRACK_KIND_HIDE = 8,
};

// Slots of a track set by node kind: position is slot 0 of every kind but ambient.
enum : int {
  SLOT_POSITION = 0,
  CAMERA_SLOT_FOV = 1,
  CAMERA_SLOT_ROLL = 2,
  LIGHT_SLOT_COLOR = 1,  // omni and spot
  SPOT_SLOT_ROLL = 2,
  OBJECT_SLOT_SCALE = 1,
  OBJECT_SLOT_ROTATION = 2,
  OBJECT_SLOT_MORPH = 3,
  OBJECT_SLOT_HIDE = 4,
  AMBIENT_SLOT_COLOR = 0,
};

// Mesh flags.
enum : std::uint32_t {
  MESH_HIDDEN = 0x1,     // hidden at the current frame by its hide track
  MESH_FILE_HIDDEN = 0x2,  // hidden in the file
  MESH_DUMMY = 0x4,      // a dummy object: no vertices, no faces
  MESH_MORPHING = 0x8,   // morphing at the current frame
};
// A mesh is drawn (and counted for the face list) only when (flags & MESH_NOT_DRAWN) == 0.
constexpr std::uint32_t MESH_NOT_DRAWN = MESH_HIDDEN | MESH_FILE_HIDDEN;

enum : std::uint32_t { FACE_U_WRAP = 0x1, FACE_V_WRAP = 0x2 };
enum : std::uint32_t { MATERIAL_TWO_SIDED = 0x1, MATERIAL_SOFT = 0x2, MATERIAL_WIRE = 0x4, MATERIAL_ADDITIVE = 0x8 };
enum : std::int32_t { LIGHT_OMNI = 1, LIGHT_SPOT = 2 };
enum : int { MAP_TEXTURE = 0, MAP_BUMP = 1, MAP_REFLECTION = 2 };

// The common head of every object record; lookups by name and id rely on it.
// The destructor is virtual only so that a SceneNode can free any kind of object it owns.
struct SceneObject {
  std::string name;  // may be empty (a material before its name chunk, a dummy before its instance name)
  std::int32_t id = 0;
  virtual ~SceneObject() = default;
};

struct Vertex {
  Vector3 position;              // object space, pivot removed
  Vector3 transformed_position;  // camera space (world space without an active camera)
  Vector3 normal;                // object space
  Vector3 transformed_normal;    // world space
  float u = 0, v = 0;            // mapping coordinates
};

struct Face {
  std::uint32_t a = 0, b = 0, c = 0;  // indices into the mesh's vertices
  std::uint32_t flags = 0;            // FACE_U_WRAP, FACE_V_WRAP
  std::int32_t material_id = 0;       // 0 until a material is assigned
  // Point into the mesh's `vertices`: set them once that array has its final size.
  Vertex* vertex_a = nullptr;
  Vertex* vertex_b = nullptr;
  Vertex* vertex_c = nullptr;
  Material* material = nullptr;
  Vector3 normal;              // object space
  Vector3 transformed_normal;  // world space
};

// A mesh, or a dummy object (MESH_DUMMY) without geometry. The vertex and face counts are the
// sizes of the two arrays.
struct Mesh : SceneObject {
  std::int32_t parent_id = -1;  // id of the parent node's object; -1 for none
  std::uint32_t flags = 0;      // MESH_*
  std::vector<Vertex> vertices;
  std::vector<Face> faces;
  Vector3 pivot;  // in the file's object space; already subtracted from the vertices
  Vector3 position, scale;
  Vector3 box_min, box_max;                          // object space, computed at load
  Vector3 transformed_box_min, transformed_box_max;  // world space, set by the frame update
  Quaternion rotation;
  MorphState morph;
  Matrix matrix;  // object to world at the current frame
};

struct Camera : SceneObject {
  std::int32_t parent_id = -1;         // of the camera node
  std::int32_t target_parent_id = -1;  // of the camera's target node
  Vector3 position, target;
  float fov = 0;   // degrees
  float roll = 0;  // degrees
  // Set by the library's user before the frame update (the show: 320, 200, 0.75).
  float screen_width = 0, screen_height = 0, aspect = 0;
  float perspective_x = 0, perspective_y = 0;  // horizontal and vertical factors, by camera_matrix
  Matrix matrix;                               // world to camera, by camera_matrix
};

struct Light : SceneObject {
  std::int32_t parent_id = -1;
  std::int32_t target_parent_id = -1;
  std::int32_t type = LIGHT_OMNI;
  Vector3 position, target;                  // target: spot only
  float roll = 0, hotspot = 0, falloff = 0;  // spot only, degrees as stored in the file
  Vector3 color;                             // red, green, blue in 0..1
};

struct Ambient : SceneObject {
  Vector3 color;
};

struct MaterialMap {
  std::string file_name;       // empty for none
  std::uint32_t reserved = 0;  // carried but never set by a reader
  std::uint32_t flags = 0;     // tiling flags
  float u_scale = 0, v_scale = 0, u_offset = 0, v_offset = 0, rotation = 0;
};

struct Material : SceneObject {
  std::int32_t shading = 0;
  std::uint32_t flags = 0;  // MATERIAL_*
  Vector3 ambient, diffuse, specular;
  // Each the file's percentage / 100.
  float shininess = 0, shininess_strength = 0, transparency = 0, transparency_falloff = 0;
  float reflection_blur = 0, self_illumination = 0;
  MaterialMap maps[3];  // MAP_TEXTURE, MAP_BUMP, MAP_REFLECTION
};

// One entry of the object list, which owns it and its object.
struct SceneNode {
  SceneNodeKind kind = 0;
  std::unique_ptr<SceneObject> object;  // the record type that `kind` names
  SceneNode* next = nullptr;
  SceneNode* prev = nullptr;
};

// The tracks of one animation node, in the slots of its kind (SLOT_*, *_SLOT_*).
constexpr int track_set_capacity = 5;
struct TrackSet {
  std::unique_ptr<Track> slots[track_set_capacity];
};

// One entry of the keyframer hierarchy; the animation-node list owns it.
struct AnimNode {
  AnimNodeKind kind = 0;
  std::int32_t node_id = 0;          // the node number from the file
  std::unique_ptr<TrackSet> tracks;  // never null once in a list
  SceneObject* object = nullptr;     // the animated object, owned by the object list
  // Camera, light and target nodes: the point the node moves (the object's position, or its
  // target for a target node) as it was when the node was added. A node without a position
  // track is moved by its parent from here on every update, so that nothing accumulates.
  Vector3 rest;
  AnimNode* parent = nullptr;
  AnimNode* first_child = nullptr;   // children in reverse order of insertion
  AnimNode* next_sibling = nullptr;
  AnimNode* next = nullptr;
  AnimNode* prev = nullptr;
};

// A loaded world. Owns both lists (freed with the scene) and the face list.
struct Scene {
  float start_frame = 0, end_frame = 0, current_frame = 0;
  SceneNode* first_object = nullptr;
  SceneNode* last_object = nullptr;
  AnimNode* first_anim_node = nullptr;
  AnimNode* last_anim_node = nullptr;
  // The lists by id, kept by scene_add_object and scene_add_anim_node so that a lookup costs the
  // same however long the lists are: the first object of each id (an object's id must not change
  // once it is in the list) and the first node of each node id.
  std::unordered_map<std::int32_t, SceneNode*> object_ids;
  std::unordered_map<std::int32_t, AnimNode*> node_ids;
  // For the renderer, set by load_3d_mesh: the number of faces of the meshes not hidden in the
  // file, the most a frame can draw. The list starts empty; the render pass sizes it to that
  // count when it first gathers faces into it, so loading neither allocates nor clears it.
  std::int32_t visible_face_count = 0;
  std::vector<Face> face_list;

  Scene() = default;
  ~Scene();  // frees both lists; clears the active scene (and camera) if they were this scene's
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;
};

// A format driver: three letters and the stage operations on an open file (null: none).
struct SceneDriver {
  char name[4];
  int (*load_scene)(SceneFile& file);
  int (*load_motion)(SceneFile& file);
  int (*save_scene)(SceneFile& file);
};
// "3DS" first (used by scene_load and scene_load_motion), then the native "NVF".
extern const SceneDriver scene_drivers[2];

// Runs an operation that builds with standard containers and returns its result code, turning
// what they throw into a code: 1 for a failed allocation (std::bad_alloc), `otherwise` for any
// other exception. The readers pass 3: a container refusing a size or position (length_error,
// out_of_range) can only have been led there by the file's data, which is damage, not a lack
// of memory; the writer passes 4: the scene holds more than a file can.
template <class Operation>
int scene_run_guarded(Operation&& operation, int otherwise) noexcept {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return 1;  // SCENE_NO_MEMORY
  } catch (...) {
    return otherwise;
  }
}

// Makes a scene active for the guard's lifetime, as a load stage needs; when the guard ends the
// scene active before (or none) is active again, however the stage ended. The active camera is
// left as it is.
class ActiveSceneGuard {
 public:
  explicit ActiveSceneGuard(Scene* scene);
  ~ActiveSceneGuard();
  ActiveSceneGuard(const ActiveSceneGuard&) = delete;
  ActiveSceneGuard& operator=(const ActiveSceneGuard&) = delete;

 private:
  Scene* remembered_;
};

// ---- library state ----
// Sets the flags and clears the active scene and camera; returns 0.
int lib_init(LibraryFlags flags);
LibraryFlags lib_flags();
Scene* scene_get_active();
Camera* camera_get_active();
// 10 for null.
int scene_set_active(Scene* scene);
// Null allowed; returns 0.
int camera_set_active(Camera* camera);

// ---- scenes ----
// A new empty scene in out; 1 when out of memory.
int scene_new(std::unique_ptr<Scene>& out);
// Frees a scene with everything it owns (the same as deleting it); nothing for null.
void scene_free(Scene* scene);
// Scene stage: clears the scene, reads the objects through the first driver, then computes
// bounding boxes and (LIB_NORMALS) normals. On failure the objects are freed. The active scene
// is the same before and after.
int scene_load(const char* file_name, Scene* scene);
// Motion stage: reads the animation nodes through the first driver and evaluates frame 0.
// On failure the animation nodes are freed.
int scene_load_motion(const char* file_name, Scene* scene);
// 10 when scene is null or the list is already empty.
int scene_free_objects(Scene* scene);
int scene_free_motion(Scene* scene);

// ---- lists of the active scene ----
// out = the first object-list node whose object has this name (byte for byte) or id, or null
// (still 0); 9 without an active scene or with an empty object list.
int scene_find_by_name(std::string_view name, SceneNode*& out);
int scene_find_by_id(std::int32_t id, SceneNode*& out);
// Appends to the object list, which takes ownership. 9 without an active scene, 10 for a null
// object, 1 when out of memory; the object is freed on every failure.
int scene_add_object(SceneNodeKind kind, std::unique_ptr<SceneObject> object);
// Appends to the animation-node list and links it as first child of the first node already in
// the list whose id is parent_id (-1: no parent), so that the nodes form a tree. An id that an
// earlier node already has is damage: the earlier node keeps it, and this one is never anyone's
// parent. A null track set becomes an empty one. The node's rest point is taken from its object.
// 9 without an active scene, 1 when out of memory (the track set is then freed).
int scene_add_anim_node(AnimNodeKind kind, std::int32_t node_id, std::int32_t parent_id,
                        std::unique_ptr<TrackSet> tracks, SceneObject* object);
// Stores the track into its slot of the first node with that id, replacing (and freeing) a
// track already there. A track kind the node's kind has no slot for is dropped (freed), 0.
// 9 without an active scene or with an empty node list, 256 when no node has the id.
int scene_set_track(TrackKind track_kind, std::int32_t node_id, std::unique_ptr<Track> track);
// The point a camera, light or target node moves (its object's position or target); null for
// other kinds and for a node whose object is not of the kind it names.
Vector3* anim_node_point(const AnimNode& node);
// Slot of a track kind in a node kind's track set, or -1 when that kind has none.
int track_set_slot(AnimNodeKind node_kind, TrackKind track_kind);
// Number of slots a node kind uses (camera 3, targets 1, omni 2, spot 3, object 5, ambient 1).
int track_set_slot_count(AnimNodeKind node_kind);

// ---- meshes ----
// Sets every face's vertex pointers from its indices. 3 when an index is outside the vertices
// (that face's pointers are then null).
int mesh_link_faces(Mesh& mesh);
// Bounding box of the vertices; a mesh without vertices gets a zero box.
void mesh_compute_bounds(Mesh& mesh);
// Face normals, then each vertex normal as the normalised mean of the normals of the faces
// that use it ((0, 0, 0) for an unused vertex), in one pass over the faces. 0, or 1 when out
// of memory (the vertex normals are then zero).
int mesh_compute_normals(Mesh& mesh);
// The face half of the above, over any pair of fields: normal_field of each face becomes
// normalize(cross(Pa - Pb, Pb - Pc)) of its vertices' position_field, (0, 0, 0) for a face
// with an index outside the vertices.
void mesh_face_normals(Mesh& mesh, Vector3 Vertex::*position_field, Vector3 Face::*normal_field);
// The vertex half of the above, over any pair of fields: each face's normal (face_field) is
// added, in face order, into each of its distinct vertices' vertex_field, and each sum becomes
// normalize(sum * (1 / count)). `counts` is scratch storage, grown when needed and reusable.
// Faces with an index outside the vertices are skipped. 0, or 1 when `counts` cannot grow.
int mesh_average_normals(Mesh& mesh, Vector3 Face::*face_field, Vector3 Vertex::*vertex_field,
                          std::vector<std::uint32_t>& counts);

// Sets visible_face_count to the number of faces of the meshes not hidden in the file
// (MESH_FILE_HIDDEN): a mesh that its hide track hides at one frame may show at another. The
// face list is emptied, not allocated; returns 0.
int scene_prepare_face_list(Scene& scene);

// What the show's loader made of a file: the scene (null only when out of memory) and the
// codes of its two stages (-1: not run).
struct MeshLoad {
  std::unique_ptr<Scene> scene;
  int scene_code = -1;
  int motion_code = -1;
};

// A few words on a result code, for messages ("read error: the file is short or corrupt").
const char* scene_code_text(int code);

// The show's loader for one "3d_mesh" layer, with both stages' codes: lib_init(15), a new scene,
// the scene stage and the motion stage of the file, then scene_prepare_face_list. A file that
// begins with the native magic bytes goes through the native stages, any other through the 3DS
// driver. A failed scene stage leaves an empty scene for the motion stage. No scene is left
// active.
MeshLoad scene_load_3d_mesh(const char* file_name);
// The same, null when the motion stage (or an allocation) fails.
std::unique_ptr<Scene> load_3d_mesh(const char* file_name);
