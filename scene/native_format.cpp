// native_format.cpp: the native format's stage operations, its writer and the load stages over
// it. Every chunk is read through a cursor bounded by the chunk's own length, and every count
// is checked against the bytes left in its chunk before anything is allocated for it.
#include "scene/native_format.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/byte_order.h"
#include "base/limits.h"
#include "base/saturate.h"
#include "scene/frame_update.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "scene/track.h"

namespace {

constexpr std::uint8_t native_magic[4] = {'Q', 'Z', 0, 0};
constexpr std::size_t header_size = 12;
constexpr std::size_t name_capacity = 64;  // a string's buffer, terminating zero included

// ---- reading ----

// The data of one chunk: reads never pass `end`.
struct Cursor {
  const std::uint8_t* pos;
  const std::uint8_t* end;
  std::size_t left() const { return std::size_t(end - pos); }
};

bool read_u32(Cursor& c, std::uint32_t& v) {
  if (c.left() < 4) return false;
  v = load_le32(c.pos);
  c.pos += 4;
  return true;
}

bool read_i32(Cursor& c, std::int32_t& v) {
  std::uint32_t u;
  if (!read_u32(c, u)) return false;
  v = std::int32_t(u);
  return true;
}

bool read_f32(Cursor& c, float& v) {
  std::uint32_t u;
  if (!read_u32(c, u)) return false;
  v = std::bit_cast<float>(u);
  return true;
}

bool read_floats(Cursor& c, float* out, int n) {
  for (int i = 0; i < n; ++i)
    if (!read_f32(c, out[i])) return false;
  return true;
}

bool read_vec(Cursor& c, Vector3& v) { return read_f32(c, v.x) && read_f32(c, v.y) && read_f32(c, v.z); }

// A zero-terminated string that fits the name buffer; false when the chunk ends first or the
// string is longer than the buffer holds.
bool read_string(Cursor& c, std::string& out) {
  std::size_t window = c.left() < name_capacity ? c.left() : name_capacity;
  const void* zero = window != 0 ? std::memchr(c.pos, 0, window) : nullptr;
  if (zero == nullptr) return false;
  std::size_t length = std::size_t(static_cast<const std::uint8_t*>(zero) - c.pos);
  out.assign(reinterpret_cast<const char*>(c.pos), length);
  c.pos += length + 1;
  return true;
}

// Name and id, the head of every object chunk.
bool read_head(Cursor& c, SceneObject& object) { return read_string(c, object.name) && read_i32(c, object.id); }

template <class T>
std::unique_ptr<T> new_object() {
  return std::unique_ptr<T>(new (std::nothrow) T);
}

// The first object of the scene with this id, as scene_find_by_id finds it.
SceneNode* find_object(const Scene& scene, std::int32_t id) {
  const auto found = scene.object_ids.find(id);
  return found != scene.object_ids.end() ? found->second : nullptr;
}

struct NativeReader {
  Scene& scene;
  std::int32_t version;
  std::int64_t objects = 0;  // object chunks read in this stage
  std::int64_t nodes = 0;    // node chunks read in this stage
  bool frames = false;       // a frame-range chunk was read
};

// ---- object chunks ----

int read_camera(NativeReader&, Cursor& c) {
  auto camera = new_object<Camera>();
  if (camera == nullptr) return SCENE_NO_MEMORY;
  if (!read_head(c, *camera) || !read_i32(c, camera->parent_id) || !read_i32(c, camera->target_parent_id) ||
      !read_vec(c, camera->position) || !read_vec(c, camera->target) || !read_f32(c, camera->fov) ||
      !read_f32(c, camera->roll))
    return SCENE_READ_ERROR;
  return scene_add_object(NODE_CAMERA, std::move(camera));
}

int read_light(NativeReader&, Cursor& c) {
  auto light = new_object<Light>();
  if (light == nullptr) return SCENE_NO_MEMORY;
  if (!read_head(c, *light) || !read_i32(c, light->parent_id) || !read_i32(c, light->target_parent_id) ||
      !read_i32(c, light->type) || !read_vec(c, light->position))
    return SCENE_READ_ERROR;
  if (light->type == LIGHT_SPOT && (!read_vec(c, light->target) || !read_f32(c, light->roll) ||
                                    !read_f32(c, light->hotspot) || !read_f32(c, light->falloff)))
    return SCENE_READ_ERROR;
  if (!read_vec(c, light->color)) return SCENE_READ_ERROR;
  return scene_add_object(NODE_LIGHT, std::move(light));
}

int read_ambient(NativeReader&, Cursor& c) {
  auto ambient = new_object<Ambient>();
  if (ambient == nullptr) return SCENE_NO_MEMORY;
  if (!read_head(c, *ambient) || !read_vec(c, ambient->color)) return SCENE_READ_ERROR;
  return scene_add_object(NODE_AMBIENT, std::move(ambient));
}

int read_material(NativeReader&, Cursor& c) {
  auto m = new_object<Material>();
  if (m == nullptr) return SCENE_NO_MEMORY;
  float percentages[6];
  if (!read_head(c, *m) || !read_i32(c, m->shading) || !read_u32(c, m->flags) || !read_vec(c, m->ambient) ||
      !read_vec(c, m->diffuse) || !read_vec(c, m->specular) || !read_floats(c, percentages, 6))
    return SCENE_READ_ERROR;
  m->shininess = percentages[0];
  m->shininess_strength = percentages[1];
  m->transparency = percentages[2];
  m->transparency_falloff = percentages[3];
  m->reflection_blur = percentages[4];
  m->self_illumination = percentages[5];
  for (MaterialMap& map : m->maps) {
    if (!read_string(c, map.file_name) || !read_u32(c, map.flags) || !read_f32(c, map.u_scale) ||
        !read_f32(c, map.v_scale) || !read_f32(c, map.u_offset) || !read_f32(c, map.v_offset) ||
        !read_f32(c, map.rotation))
      return SCENE_READ_ERROR;
  }
  return scene_add_object(NODE_MATERIAL, std::move(m));
}

constexpr std::size_t vertex_bytes = 20;       // position, u, v
constexpr std::size_t face_bytes = 20;         // a, b, c, flags, material id
constexpr std::size_t vertex_extra_bytes = 12;  // version 2: the normal
constexpr std::size_t face_extra_bytes = 16;    // version 2: the normal, whether it has its material

int read_mesh_arrays(NativeReader& r, Cursor& c, Mesh& mesh, std::int32_t vertex_count, std::int32_t face_count) {
  if (vertex_count < 0 || face_count < 0) return SCENE_READ_ERROR;
  if (vertex_count > max_mesh_vertices || face_count > max_mesh_faces) return SCENE_READ_ERROR;
  const std::uint64_t vertices = std::uint64_t(vertex_count), faces = std::uint64_t(face_count);
  std::uint64_t need = vertices * vertex_bytes + faces * face_bytes;
  if (r.version >= native_version) need += vertices * vertex_extra_bytes + faces * face_extra_bytes;
  if (need > c.left()) return SCENE_READ_ERROR;

  mesh.vertices.resize(std::size_t(vertices));
  for (Vertex& v : mesh.vertices)
    if (!read_vec(c, v.position) || !read_f32(c, v.u) || !read_f32(c, v.v)) return SCENE_READ_ERROR;
  mesh.faces.resize(std::size_t(faces));
  for (Face& f : mesh.faces) {
    if (!read_u32(c, f.a) || !read_u32(c, f.b) || !read_u32(c, f.c) || !read_u32(c, f.flags) ||
        !read_i32(c, f.material_id))
      return SCENE_READ_ERROR;
    if (f.a >= vertices || f.b >= vertices || f.c >= vertices) return SCENE_READ_ERROR;
  }
  return mesh_link_faces(mesh);
}

// Version 2: the box, then for a mesh with arrays the load-time normals and, per face, whether
// it has a material (id 0 is both "none" and a real id, so the id alone cannot tell).
int read_mesh_extras(Cursor& c, Mesh& mesh, std::vector<std::uint8_t>& has_material) {
  if (!read_vec(c, mesh.box_min) || !read_vec(c, mesh.box_max)) return SCENE_READ_ERROR;
  if ((mesh.flags & MESH_DUMMY) != 0) return SCENE_OK;
  for (Vertex& v : mesh.vertices)
    if (!read_vec(c, v.normal)) return SCENE_READ_ERROR;
  has_material.resize(mesh.faces.size());
  for (std::size_t i = 0; i < mesh.faces.size(); ++i) {
    std::uint32_t flag;
    if (!read_vec(c, mesh.faces[i].normal) || !read_u32(c, flag)) return SCENE_READ_ERROR;
    has_material[i] = flag != 0;
  }
  return SCENE_OK;
}

// Each face's material by its id. Without the version 2 flags, id 0 (also the id of a face that
// has none) may name no object, any other id must, and an object of another kind gives no
// material. With them, a face flagged as having one must find a material, the others get none.
int link_materials(const Scene& scene, Mesh& mesh, const std::vector<std::uint8_t>* has_material) {
  const SceneNode* found = nullptr;
  std::int32_t found_id = 0;
  bool looked_up = false;
  for (std::size_t i = 0; i < mesh.faces.size(); ++i) {
    Face& face = mesh.faces[i];
    face.material = nullptr;
    if (has_material != nullptr && (*has_material)[i] == 0) continue;
    if (!looked_up || face.material_id != found_id) {
      found = find_object(scene, face.material_id);
      found_id = face.material_id;
      looked_up = true;
    }
    const bool is_material = found != nullptr && found->kind == NODE_MATERIAL;
    if (has_material != nullptr ? !is_material : found == nullptr && found_id != 0) return SCENE_NOT_FOUND;
    if (is_material) face.material = static_cast<Material*>(found->object.get());
  }
  return SCENE_OK;
}

int read_mesh(NativeReader& r, Cursor& c) {
  auto mesh = new_object<Mesh>();
  if (mesh == nullptr) return SCENE_NO_MEMORY;
  std::int32_t vertex_count, face_count;
  if (!read_head(c, *mesh) || !read_i32(c, mesh->parent_id) || !read_i32(c, vertex_count) ||
      !read_i32(c, face_count) || !read_u32(c, mesh->flags) || !read_vec(c, mesh->pivot))
    return SCENE_READ_ERROR;
  // A dummy has no arrays, whatever its counts say.
  if ((mesh->flags & MESH_DUMMY) == 0)
    if (int rc = read_mesh_arrays(r, c, *mesh, vertex_count, face_count); rc != SCENE_OK) return rc;
  std::vector<std::uint8_t> has_material;
  const bool extras = r.version >= native_version;
  if (extras)
    if (int rc = read_mesh_extras(c, *mesh, has_material); rc != SCENE_OK) return rc;
  Mesh* added = mesh.get();
  if (int rc = scene_add_object(NODE_MESH, std::move(mesh)); rc != SCENE_OK) return rc;
  // Once in the list, so that a face may name its own mesh as the 3DS reader allows.
  return link_materials(r.scene, *added, extras ? &has_material : nullptr);
}

// ---- motion chunks ----

int read_frames(NativeReader& r, Cursor& c) {
  float start, end;
  if (!read_f32(c, start) || !read_f32(c, end)) return SCENE_READ_ERROR;
  r.scene.start_frame = start;
  r.scene.end_frame = end;
  return SCENE_OK;
}

enum class ValueType { Float, Vector, Quaternion, Integer };

// Each node chunk: its node kind, the kind of object it animates, and its slots' value types.
struct NodeLayout {
  std::uint16_t chunk;
  AnimNodeKind kind;
  SceneNodeKind object_kind;
  int slot_count;
  ValueType slots[track_set_capacity];
};

constexpr NodeLayout node_layouts[] = {
    {NATIVE_CAMERA_NODE, ANIM_CAMERA, NODE_CAMERA, 3, {ValueType::Vector, ValueType::Float, ValueType::Float}},
    {NATIVE_CAMERA_TARGET_NODE, ANIM_CAMERA_TARGET, NODE_CAMERA, 1, {ValueType::Vector}},
    {NATIVE_OMNI_NODE, ANIM_OMNI, NODE_LIGHT, 2, {ValueType::Vector, ValueType::Vector}},
    {NATIVE_SPOT_NODE, ANIM_SPOT, NODE_LIGHT, 3, {ValueType::Vector, ValueType::Vector, ValueType::Float}},
    {NATIVE_LIGHT_TARGET_NODE, ANIM_LIGHT_TARGET, NODE_LIGHT, 1, {ValueType::Vector}},
    {NATIVE_OBJECT_NODE, ANIM_OBJECT, NODE_MESH, 5,
     {ValueType::Vector, ValueType::Vector, ValueType::Quaternion, ValueType::Integer, ValueType::Integer}},
    {NATIVE_AMBIENT_NODE, ANIM_AMBIENT, NODE_AMBIENT, 1, {ValueType::Vector}},
};

const NodeLayout* layout_of_chunk(std::uint16_t chunk) {
  for (const NodeLayout& l : node_layouts)
    if (l.chunk == chunk) return &l;
  return nullptr;
}

const NodeLayout* layout_of_kind(AnimNodeKind kind) {
  for (const NodeLayout& l : node_layouts)
    if (l.kind == kind) return &l;
  return nullptr;
}

int value_floats(ValueType type) {
  switch (type) {
    case ValueType::Vector: return 3;
    case ValueType::Quaternion: return 4;
    default: return 1;
  }
}

// Version 1 stores the spline parameters for every type but integer; version 2 for all, and
// a rotation key's orientation after its value.
bool has_params(ValueType type, std::int32_t version) { return type != ValueType::Integer || version >= native_version; }
bool has_orientation(ValueType type, std::int32_t version) {
  return type == ValueType::Quaternion && version >= native_version;
}

std::size_t key_bytes(ValueType type, std::int32_t version) {
  std::size_t n = 4 + 4 * std::size_t(value_floats(type));
  if (has_orientation(type, version)) n += 16;
  if (has_params(type, version)) n += 20;
  return n;
}

// A version 1 rotation key holds its axis and the running angle total cut to whole radians:
// the orientations are rebuilt from the differences of the totals, each turn relative to the
// previous key, as they were built when the track was first read.
void rebuild_orientations(Track& track) {
  Quaternion running{1, 0, 0, 0};
  float previous_total = 0;
  for (Key* k = track.first; k != nullptr; k = k->next) {
    const float angle = k == track.first ? k->value[0] : k->value[0] - previous_total;
    Quaternion q;
    quat_from_angle_axis(angle, k->value[1], k->value[2], k->value[3], q);
    quat_mul(q, running, running);
    k->orientation = running;
    previous_total = k->value[0];
  }
}

int read_key(const NativeReader& r, Cursor& c, ValueType type, Key& key, float& frame) {
  if (!read_f32(c, frame)) return SCENE_READ_ERROR;
  if (type == ValueType::Integer) {
    std::int32_t v;
    if (!read_i32(c, v)) return SCENE_READ_ERROR;
    key_set_int(key, v);
  } else if (!read_floats(c, key.value, value_floats(type))) {
    return SCENE_READ_ERROR;
  }
  if (has_orientation(type, r.version) &&
      !(read_f32(c, key.orientation.w) && read_f32(c, key.orientation.x) && read_f32(c, key.orientation.y) &&
        read_f32(c, key.orientation.z)))
    return SCENE_READ_ERROR;
  if (has_params(type, r.version) &&
      !(read_f32(c, key.tension) && read_f32(c, key.bias) && read_f32(c, key.continuity) &&
        read_f32(c, key.ease_to) && read_f32(c, key.ease_from)))
    return SCENE_READ_ERROR;
  return SCENE_OK;
}

// One track record into `out`; a count of 0 leaves the slot empty. Tracks are prepared as
// the 3DS reader prepares them: splines for floats and vectors, squad controls for rotations.
int read_track(const NativeReader& r, Cursor& c, ValueType type, std::unique_ptr<Track>& out) {
  std::int32_t count;
  if (!read_i32(c, count)) return SCENE_READ_ERROR;
  if (count == 0) return SCENE_OK;
  if (count < 0 || count > max_track_keys) return SCENE_READ_ERROR;
  if (std::uint64_t(count) * key_bytes(type, r.version) + 4 > c.left()) return SCENE_READ_ERROR;
  std::unique_ptr<Track> track = track_new();
  if (track == nullptr) return SCENE_NO_MEMORY;
  if (!read_u32(c, track->flags)) return SCENE_READ_ERROR;
  for (std::int32_t i = 0; i < count; ++i) {
    std::unique_ptr<Key> key = key_new();
    if (key == nullptr) return SCENE_NO_MEMORY;
    float frame;
    if (int rc = read_key(r, c, type, *key, frame); rc != SCENE_OK) return rc;
    track_append_key(track.get(), std::move(key), saturate_to_int32(frame));
  }
  if (type == ValueType::Quaternion) {
    if (r.version < native_version) rebuild_orientations(*track);
    track_setup_rotation(track.get());
  } else if (type != ValueType::Integer) {
    track_setup_spline(track.get());
  }
  out = std::move(track);
  return SCENE_OK;
}

int read_node(NativeReader& r, Cursor& c, const NodeLayout& layout) {
  if (++r.nodes > max_scene_nodes) return SCENE_READ_ERROR;
  std::int32_t node_id, parent_id, object_id;
  if (!read_i32(c, node_id) || !read_i32(c, parent_id) || !read_i32(c, object_id)) return SCENE_READ_ERROR;
  // An object of another kind is as unusable to the node as a missing one.
  SceneNode* object = find_object(r.scene, object_id);
  if (object == nullptr || object->kind != layout.object_kind) return SCENE_NOT_FOUND;
  std::unique_ptr<TrackSet> tracks(new (std::nothrow) TrackSet);
  if (tracks == nullptr) return SCENE_NO_MEMORY;
  for (int slot = 0; slot < layout.slot_count; ++slot)
    if (int rc = read_track(r, c, layout.slots[slot], tracks->slots[slot]); rc != SCENE_OK) return rc;
  return scene_add_anim_node(layout.kind, node_id, parent_id, std::move(tracks), object->object.get());
}

// ---- the stages ----

using ChunkReader = int (*)(NativeReader& r, Cursor& data);

ChunkReader scene_chunk(std::uint16_t id) {
  switch (id) {
    case NATIVE_CAMERA: return read_camera;
    case NATIVE_LIGHT: return read_light;
    case NATIVE_MESH: return read_mesh;
    case NATIVE_MATERIAL: return read_material;
    case NATIVE_AMBIENT: return read_ambient;
    default: return nullptr;
  }
}

template <bool motion>
int read_chunk(NativeReader& r, std::uint16_t id, Cursor& data) {
  if constexpr (motion) {
    if (id == NATIVE_FRAMES) {
      r.frames = true;
      return read_frames(r, data);
    }
    const NodeLayout* layout = layout_of_chunk(id);
    return layout != nullptr ? read_node(r, data, *layout) : SCENE_OK;
  } else {
    ChunkReader reader = scene_chunk(id);
    if (reader == nullptr) return SCENE_OK;
    ++r.objects;
    return reader(r, data);
  }
}

std::int32_t header_version(const SceneFile& file) {
  return file.bytes.size() >= header_size ? std::int32_t(load_le32(file.bytes.data() + 4)) : 0;
}

// The header, then every chunk to the end of the file. A chunk is handed over as a cursor over
// its own data, and the walk goes on after its length whatever the reader took of it.
template <bool motion>
int read_stage(SceneFile& file) {
  Scene* scene = scene_get_active();
  if (scene == nullptr) return SCENE_NO_ACTIVE;
  file.error = false;
  scene_file_seek(file, 0);
  std::uint8_t header[header_size];
  if (!scene_file_read(file, header, header_size)) return SCENE_READ_ERROR;
  NativeReader r{*scene, header_version(file)};
  if (r.version != native_version_1 && r.version != native_version) return SCENE_NOT_SUPPORTED;
  const std::int32_t contents = std::int32_t(load_le32(header + 8));

  const std::size_t file_end = scene_file_size(file);
  while (scene_file_tell(file) < file_end) {
    std::uint16_t id;
    std::uint32_t length;
    if (!scene_file_read_u16(file, id) || !scene_file_read_u32(file, length)) return SCENE_READ_ERROR;
    // A length that runs past the end: the file was cut, or the length is damaged.
    if (length > scene_file_remaining(file)) return SCENE_READ_ERROR;
    const std::uint8_t* data = file.bytes.data() + scene_file_tell(file);
    Cursor cursor{data, data + length};
    if (int rc = read_chunk<motion>(r, id, cursor); rc != SCENE_OK) return rc;
    scene_file_seek(file, scene_file_tell(file) + length);
  }
  // Every file holds objects, and one whose header promises motion holds its frame range and
  // nodes (the writer writes no other): parts promised but missing mean a cut or damaged file.
  if constexpr (motion) {
    if (contents == native_contents_motion && (!r.frames || r.nodes == 0)) return SCENE_READ_ERROR;
  } else {
    if (r.objects == 0) return SCENE_READ_ERROR;
  }
  return SCENE_OK;
}

template <bool motion>
int run_stage(SceneFile& file) noexcept {
  return scene_run_guarded([&] { return read_stage<motion>(file); }, SCENE_READ_ERROR);
}

// ---- writing ----

// The points of a camera or light as its nodes found them when the motion stage added them.
struct RestPoints {
  const Vector3* position = nullptr;
  const Vector3* target = nullptr;
};

struct NativeWriter {
  SceneFile& file;
  std::int32_t version;
  // Cameras and lights are written with their rest points, not with where the frame update has
  // moved them, so that a file read back moves them from the same place.
  std::unordered_map<const SceneObject*, RestPoints> rest;
};

void collect_rest_points(NativeWriter& w, const Scene& scene) {
  for (const AnimNode* node = scene.first_anim_node; node != nullptr; node = node->next) {
    if (anim_node_point(*node) == nullptr) continue;
    RestPoints& points = w.rest[node->object];
    const bool target = node->kind == ANIM_CAMERA_TARGET || node->kind == ANIM_LIGHT_TARGET;
    const Vector3*& point = target ? points.target : points.position;
    if (point == nullptr) point = &node->rest;
  }
}

// The object's point, or the rest point a node keeps for it.
const Vector3& rest_or(const Vector3* rest, const Vector3& current) { return rest != nullptr ? *rest : current; }

void write_vec(SceneFile& f, const Vector3& v) {
  scene_file_write_f32(f, v.x);
  scene_file_write_f32(f, v.y);
  scene_file_write_f32(f, v.z);
}

// A string the readers can take back: shorter than the name buffer, without a zero inside.
int write_string(SceneFile& f, const std::string& s) {
  if (s.size() >= name_capacity || s.find('\0') != std::string::npos) return SCENE_NOT_SUPPORTED;
  scene_file_write_string(f, s);
  return SCENE_OK;
}

int write_head(SceneFile& f, const SceneObject& object) {
  if (int rc = write_string(f, object.name); rc != SCENE_OK) return rc;
  scene_file_write_i32(f, object.id);
  return SCENE_OK;
}

// Header with a zero length; returns where the data starts.
std::size_t begin_chunk(SceneFile& f, std::uint16_t id) {
  scene_file_write_u16(f, id);
  scene_file_write_u32(f, 0);
  return scene_file_tell(f);
}

// Patches the length (the bytes written since begin_chunk) and returns to the data's end.
int end_chunk(SceneFile& f, std::size_t data_start) {
  const std::size_t end = scene_file_tell(f);
  if (end - data_start > std::numeric_limits<std::uint32_t>::max()) return SCENE_NOT_SUPPORTED;
  scene_file_seek(f, data_start - 4);
  scene_file_write_u32(f, std::uint32_t(end - data_start));
  scene_file_seek(f, end);
  return SCENE_OK;
}

int write_camera(NativeWriter& w, const Camera& camera) {
  SceneFile& f = w.file;
  if (int rc = write_head(f, camera); rc != SCENE_OK) return rc;
  const RestPoints rest = w.rest.contains(&camera) ? w.rest[&camera] : RestPoints{};
  scene_file_write_i32(f, camera.parent_id);
  scene_file_write_i32(f, camera.target_parent_id);
  write_vec(f, rest_or(rest.position, camera.position));
  write_vec(f, rest_or(rest.target, camera.target));
  scene_file_write_f32(f, camera.fov);
  scene_file_write_f32(f, camera.roll);
  return SCENE_OK;
}

int write_light(NativeWriter& w, const Light& light) {
  SceneFile& f = w.file;
  if (int rc = write_head(f, light); rc != SCENE_OK) return rc;
  const RestPoints rest = w.rest.contains(&light) ? w.rest[&light] : RestPoints{};
  scene_file_write_i32(f, light.parent_id);
  scene_file_write_i32(f, light.target_parent_id);
  scene_file_write_i32(f, light.type);
  write_vec(f, rest_or(rest.position, light.position));
  if (light.type == LIGHT_SPOT) {
    write_vec(f, rest_or(rest.target, light.target));
    scene_file_write_f32(f, light.roll);
    scene_file_write_f32(f, light.hotspot);
    scene_file_write_f32(f, light.falloff);
  }
  write_vec(f, light.color);
  return SCENE_OK;
}

int write_mesh(NativeWriter& w, const Mesh& mesh) {
  SceneFile& f = w.file;
  if (int rc = write_head(f, mesh); rc != SCENE_OK) return rc;
  if (mesh.vertices.size() > std::size_t(std::numeric_limits<std::int32_t>::max()) ||
      mesh.faces.size() > std::size_t(std::numeric_limits<std::int32_t>::max()))
    return SCENE_NOT_SUPPORTED;
  scene_file_write_i32(f, mesh.parent_id);
  scene_file_write_i32(f, std::int32_t(mesh.vertices.size()));
  scene_file_write_i32(f, std::int32_t(mesh.faces.size()));
  // Hidden and morphing belong to the current frame, not to the scene.
  scene_file_write_u32(f, mesh.flags & ~(MESH_HIDDEN | MESH_MORPHING));
  write_vec(f, mesh.pivot);
  const bool dummy = (mesh.flags & MESH_DUMMY) != 0;
  if (!dummy) {
    for (const Vertex& v : mesh.vertices) {
      write_vec(f, v.position);
      scene_file_write_f32(f, v.u);
      scene_file_write_f32(f, v.v);
    }
    for (const Face& face : mesh.faces) {
      scene_file_write_u32(f, face.a);
      scene_file_write_u32(f, face.b);
      scene_file_write_u32(f, face.c);
      scene_file_write_u32(f, face.flags);
      scene_file_write_i32(f, face.material_id);
    }
  }
  if (w.version < native_version) return SCENE_OK;
  write_vec(f, mesh.box_min);
  write_vec(f, mesh.box_max);
  if (!dummy) {
    for (const Vertex& v : mesh.vertices) write_vec(f, v.normal);
    for (const Face& face : mesh.faces) {
      write_vec(f, face.normal);
      scene_file_write_u32(f, face.material != nullptr ? 1 : 0);
    }
  }
  return SCENE_OK;
}

int write_material(NativeWriter& w, const Material& m) {
  SceneFile& f = w.file;
  if (int rc = write_head(f, m); rc != SCENE_OK) return rc;
  scene_file_write_i32(f, m.shading);
  scene_file_write_u32(f, m.flags);
  write_vec(f, m.ambient);
  write_vec(f, m.diffuse);
  write_vec(f, m.specular);
  for (float v : {m.shininess, m.shininess_strength, m.transparency, m.transparency_falloff, m.reflection_blur,
                  m.self_illumination})
    scene_file_write_f32(f, v);
  for (const MaterialMap& map : m.maps) {
    if (int rc = write_string(f, map.file_name); rc != SCENE_OK) return rc;  // none: an empty string
    scene_file_write_u32(f, map.flags);
    for (float v : {map.u_scale, map.v_scale, map.u_offset, map.v_offset, map.rotation}) scene_file_write_f32(f, v);
  }
  return SCENE_OK;
}

int write_ambient(NativeWriter& w, const Ambient& ambient) {
  if (int rc = write_head(w.file, ambient); rc != SCENE_OK) return rc;
  write_vec(w.file, ambient.color);
  return SCENE_OK;
}

// The record's own type decides, so that a list node whose kind and record disagree is refused
// instead of being written as the wrong record.
int write_object(NativeWriter& w, const SceneNode& node) {
  const SceneObject* object = node.object.get();
  std::uint16_t chunk = 0;
  switch (node.kind) {
    case NODE_CAMERA: chunk = NATIVE_CAMERA; break;
    case NODE_LIGHT: chunk = NATIVE_LIGHT; break;
    case NODE_MESH: chunk = NATIVE_MESH; break;
    case NODE_MATERIAL: chunk = NATIVE_MATERIAL; break;
    case NODE_AMBIENT: chunk = NATIVE_AMBIENT; break;
    default: return SCENE_NOT_SUPPORTED;
  }
  const std::size_t start = begin_chunk(w.file, chunk);
  int rc = SCENE_NOT_SUPPORTED;
  if (auto* camera = dynamic_cast<const Camera*>(object); camera != nullptr && node.kind == NODE_CAMERA)
    rc = write_camera(w, *camera);
  else if (auto* light = dynamic_cast<const Light*>(object); light != nullptr && node.kind == NODE_LIGHT)
    rc = write_light(w, *light);
  else if (auto* mesh = dynamic_cast<const Mesh*>(object); mesh != nullptr && node.kind == NODE_MESH)
    rc = write_mesh(w, *mesh);
  else if (auto* m = dynamic_cast<const Material*>(object); m != nullptr && node.kind == NODE_MATERIAL)
    rc = write_material(w, *m);
  else if (auto* ambient = dynamic_cast<const Ambient*>(object); ambient != nullptr && node.kind == NODE_AMBIENT)
    rc = write_ambient(w, *ambient);
  return rc != SCENE_OK ? rc : end_chunk(w.file, start);
}

void write_key(const NativeWriter& w, ValueType type, const Key& key) {
  SceneFile& f = w.file;
  scene_file_write_f32(f, key.frame);
  if (type == ValueType::Integer)
    scene_file_write_i32(f, key_get_int(key));
  else
    for (int i = 0; i < value_floats(type); ++i) scene_file_write_f32(f, key.value[i]);
  if (has_orientation(type, w.version))
    for (float v : {key.orientation.w, key.orientation.x, key.orientation.y, key.orientation.z})
      scene_file_write_f32(f, v);
  if (has_params(type, w.version))
    for (float v : {key.tension, key.bias, key.continuity, key.ease_to, key.ease_from}) scene_file_write_f32(f, v);
}

// The keys are counted along their chain, which is what the reader will rebuild.
int write_track(const NativeWriter& w, ValueType type, const Track* track) {
  std::int64_t count = 0;
  if (track != nullptr)
    for (const Key* k = track->first; k != nullptr; k = k->next) ++count;
  if (count > std::numeric_limits<std::int32_t>::max()) return SCENE_NOT_SUPPORTED;
  scene_file_write_i32(w.file, std::int32_t(count));
  if (count == 0) return SCENE_OK;
  scene_file_write_u32(w.file, track->flags);
  for (const Key* k = track->first; k != nullptr; k = k->next) write_key(w, type, *k);
  return SCENE_OK;
}

int object_kind_of(const SceneObject* object) {
  if (dynamic_cast<const Camera*>(object) != nullptr) return NODE_CAMERA;
  if (dynamic_cast<const Light*>(object) != nullptr) return NODE_LIGHT;
  if (dynamic_cast<const Mesh*>(object) != nullptr) return NODE_MESH;
  if (dynamic_cast<const Ambient*>(object) != nullptr) return NODE_AMBIENT;
  return 0;
}

// A node without its object, or with an object its kind cannot animate, would not read back.
int write_node(NativeWriter& w, const AnimNode& node) {
  const NodeLayout* layout = layout_of_kind(node.kind);
  if (layout == nullptr || node.object == nullptr || object_kind_of(node.object) != layout->object_kind)
    return SCENE_NOT_SUPPORTED;
  const std::size_t start = begin_chunk(w.file, layout->chunk);
  scene_file_write_i32(w.file, node.node_id);
  scene_file_write_i32(w.file, node.parent != nullptr ? node.parent->node_id : -1);
  scene_file_write_i32(w.file, node.object->id);
  for (int slot = 0; slot < layout->slot_count; ++slot) {
    const Track* track = node.tracks != nullptr ? node.tracks->slots[slot].get() : nullptr;
    if (int rc = write_track(w, layout->slots[slot], track); rc != SCENE_OK) return rc;
  }
  return end_chunk(w.file, start);
}

int write_scene(NativeWriter& w) {
  const Scene* scene = scene_get_active();
  if (scene == nullptr) return SCENE_NOT_FOUND;
  if (scene->first_object == nullptr) return SCENE_NO_ACTIVE;
  SceneFile& f = w.file;
  collect_rest_points(w, *scene);
  scene_file_write(f, native_magic, sizeof native_magic);
  scene_file_write_i32(f, w.version);
  scene_file_write_i32(f, scene->first_anim_node != nullptr ? native_contents_motion : native_contents_objects);
  for (const SceneNode* node = scene->first_object; node != nullptr; node = node->next)
    if (int rc = write_object(w, *node); rc != SCENE_OK) return rc;
  if (scene->first_anim_node == nullptr) return SCENE_OK;
  const std::size_t start = begin_chunk(f, NATIVE_FRAMES);
  scene_file_write_f32(f, scene->start_frame);
  scene_file_write_f32(f, scene->end_frame);
  if (int rc = end_chunk(f, start); rc != SCENE_OK) return rc;
  for (const AnimNode* node = scene->first_anim_node; node != nullptr; node = node->next)
    if (int rc = write_node(w, *node); rc != SCENE_OK) return rc;
  return SCENE_OK;
}

// ---- load stages ----

bool has_normals(const Mesh& mesh) {
  auto nonzero = [](const Vector3& v) { return v.x != 0 || v.y != 0 || v.z != 0; };
  for (const Vertex& v : mesh.vertices)
    if (nonzero(v.normal)) return true;
  for (const Face& f : mesh.faces)
    if (nonzero(f.normal)) return true;
  return false;
}

// Boxes and normals as scene_load computes them, except what a version 2 file brought along.
int prepare_geometry(Scene& scene, std::int32_t version) {
  const bool normals = (lib_flags() & LIB_NORMALS) != 0;
  for (SceneNode* node = scene.first_object; node != nullptr; node = node->next) {
    if (node->kind != NODE_MESH) continue;
    Mesh& mesh = *static_cast<Mesh*>(node->object.get());
    if (version < native_version) mesh_compute_bounds(mesh);
    if (normals && (version < native_version || !has_normals(mesh)))
      if (int rc = mesh_compute_normals(mesh); rc != SCENE_OK) return rc;
  }
  return SCENE_OK;
}

}  // namespace

int read_native_scene(SceneFile& file) { return run_stage<false>(file); }
int read_native_motion(SceneFile& file) { return run_stage<true>(file); }

int write_native_scene(SceneFile& file) { return write_native_scene_version(file, native_version); }

int write_native_scene_version(SceneFile& file, std::int32_t version) {
  if (version != native_version_1 && version != native_version) return SCENE_NOT_SUPPORTED;
  const std::size_t start = scene_file_tell(file), old_size = scene_file_size(file);
  NativeWriter w{file, version, {}};
  const int rc = scene_run_guarded([&] { return write_scene(w); }, SCENE_NOT_SUPPORTED);
  if (rc != SCENE_OK) {
    // Nothing of a refused scene stays behind the position.
    if (scene_file_size(file) > old_size) file.bytes.resize(old_size);
    scene_file_seek(file, start);
  }
  return rc;
}

int native_load_scene(const char* file_name, Scene* scene) {
  if (scene == nullptr || file_name == nullptr) return SCENE_NULL_ARGUMENT;
  scene->start_frame = scene->end_frame = scene->current_frame = 0;
  scene_free_motion(scene);
  scene_free_objects(scene);
  SceneFile file;
  if (int rc = scene_file_load(file_name, file); rc != SCENE_OK) return rc;
  ActiveSceneGuard active(scene);
  int rc = read_native_scene(file);
  if (rc == SCENE_OK) rc = prepare_geometry(*scene, header_version(file));
  if (rc != SCENE_OK) scene_free_objects(scene);
  return rc;
}

int native_load_motion(const char* file_name, Scene* scene) {
  if (scene == nullptr || file_name == nullptr) return SCENE_NULL_ARGUMENT;
  SceneFile file;
  if (int rc = scene_file_load(file_name, file); rc != SCENE_OK) return rc;
  ActiveSceneGuard active(scene);
  if (int rc = read_native_motion(file); rc != SCENE_OK) {
    scene_free_motion(scene);
    return rc;
  }
  scene_set_frame(0);
  scene_update();
  return SCENE_OK;
}

int native_save_scene(const char* file_name, Scene* scene) {
  if (scene == nullptr || file_name == nullptr) return SCENE_NULL_ARGUMENT;
  SceneFile file;
  int rc;
  {
    ActiveSceneGuard active(scene);
    rc = write_native_scene(file);
  }
  return rc != SCENE_OK ? rc : scene_file_store(file, file_name);
}

bool native_file_is_native(const char* file_name) {
  if (file_name == nullptr) return false;
  std::FILE* f = std::fopen(file_name, "rb");
  if (f == nullptr) return false;
  std::uint8_t magic[sizeof native_magic];
  const bool native = std::fread(magic, 1, sizeof magic, f) == sizeof magic &&
                      std::memcmp(magic, native_magic, sizeof magic) == 0;
  std::fclose(f);
  return native;
}
