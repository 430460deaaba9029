// reader_3ds.cpp: the 3DS stage operations. Both walk the whole chunk tree from the start of
// the file with one recursive walker; each stage has its own table of chunk ids and handlers,
// and a chunk missing from the table is skipped whole. Arrays are decoded in bulk straight
// from the in-memory file after their counts have been checked against the chunk.
#include "scene/reader_3ds.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/byte_order.h"
#include "base/limits.h"
#include "base/saturate.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "scene/track.h"

namespace {

constexpr std::size_t name_capacity = 64;  // the name buffer, terminating zero included
// Real files nest about eight chunks deep; a deeper tree is corrupt and would only use up
// the stack, one walker frame per level.
constexpr int max_depth = 64;
constexpr double byte_to_unit = 0.00392156862745098;  // a colour byte times this is 0..1
constexpr double percent_to_unit = 0.01;
constexpr std::uint32_t node_flag_hidden = 0x800;   // in the first node-header flag word
constexpr std::int32_t motion_object_id_base = 1024;  // ids of objects the keyframer creates

std::FILE* light_output = stdout;

// The stage's objects by name, so that finding one costs the same however many there are. Each
// key (a kind, or 0 for any kind, and a name) lists its objects in list order. An object that is
// renamed is listed again under its new name; its entry under the old name goes stale and is
// passed over (and dropped once it is the first of its list).
class NameIndex {
 public:
  void add(SceneNode* node) {
    const Entry entry{next_order_++, node};
    entries_[node->object.get()] = entry;
    list(entry);
  }

  void renamed(const SceneObject* object) {
    const auto found = entries_.find(object);
    if (found != entries_.end()) list(found->second);
  }

  // The first object in list order with this name and kind (any kind for 0), or null.
  SceneNode* find(std::string_view name, SceneNodeKind kind) {
    const auto found = buckets_.find(key(kind, name));
    if (found == buckets_.end()) return nullptr;
    Bucket& bucket = found->second;
    while (bucket.front < bucket.entries.size() && bucket.entries[bucket.front].node->object->name != name)
      ++bucket.front;
    return bucket.front < bucket.entries.size() ? bucket.entries[bucket.front].node : nullptr;
  }

 private:
  struct Entry {
    std::size_t order;
    SceneNode* node;
  };
  struct Bucket {
    std::vector<Entry> entries;  // in list order from `front` on
    std::size_t front = 0;
  };

  static std::string key(SceneNodeKind kind, std::string_view name) {
    std::string k = std::to_string(kind);
    k += ':';
    k += name;
    return k;
  }

  void list(const Entry& entry) {
    const std::string& name = entry.node->object->name;
    for (SceneNodeKind kind : {SceneNodeKind(0), entry.node->kind}) {
      Bucket& bucket = buckets_[key(kind, name)];
      auto& entries = bucket.entries;
      if (entries.size() == bucket.front || entries.back().order < entry.order) {
        entries.push_back(entry);
        continue;
      }
      const auto at = std::upper_bound(entries.begin() + std::ptrdiff_t(bucket.front), entries.end(), entry.order,
                                       [](std::size_t order, const Entry& e) { return order < e.order; });
      entries.insert(at, entry);
    }
  }

  std::unordered_map<std::string, Bucket> buckets_;
  std::unordered_map<const SceneObject*, Entry> entries_;
  std::size_t next_order_ = 0;
};

// What the walk and the handlers share during one stage. The container id is set when the
// walker enters a container and is not restored when it leaves, so a handler sees the most
// recently entered container: in a well-formed file, its parent.
struct Reader {
  SceneFile& file;
  Scene& scene;
  std::uint16_t container = 0;
  std::uint16_t last_finished = 0;  // id of the last table chunk completely processed
  std::size_t chunk_end = 0;        // end of the chunk whose handler is running
  char name[name_capacity] = {};    // the most recently read string
  std::int32_t counter = 0;         // next object id (scene stage), node number (motion stage)
  SceneObject* current = nullptr;   // the object that the current block's chunks modify
  SceneNodeKind current_kind = 0;
  int depth = 0;
  NameIndex names{};
  std::int64_t nodes = 0;  // animation nodes read in this stage
};

using Handler = int (*)(Reader& r, std::uint16_t id);

struct ChunkEntry {
  std::uint16_t id;
  bool container;   // walk the sub-chunks after the handler
  Handler handler;  // null: nothing to read
};

// ---- reading ----

inline float load_f32(const std::uint8_t* p) { return std::bit_cast<float>(load_le32(p)); }

bool read_floats(Reader& r, float* out, int n) {
  std::uint8_t bytes[16 * 4];
  if (!scene_file_read(r.file, bytes, std::size_t(n) * 4)) return false;
  for (int i = 0; i < n; ++i) out[i] = load_f32(bytes + 4 * i);
  return true;
}

bool skip(Reader& r, std::size_t n) {
  std::uint8_t bytes[8];
  return scene_file_read(r.file, bytes, n);
}

// Bytes of the running chunk still ahead of the position: arrays must fit in them.
std::size_t chunk_left(const Reader& r) {
  std::size_t end = r.chunk_end < scene_file_size(r.file) ? r.chunk_end : scene_file_size(r.file);
  return r.file.pos < end ? end - r.file.pos : 0;
}

// The next array of count records of `size` bytes, or null (3) when the chunk is too short.
const std::uint8_t* take_array(Reader& r, std::size_t count, std::size_t size) {
  if (count * size > chunk_left(r)) return nullptr;
  if (count == 0) return r.file.bytes.data();  // the position may lie past the end
  const std::uint8_t* p = r.file.bytes.data() + r.file.pos;
  r.file.pos += count * size;
  return p;
}

// A zero-terminated string into the name buffer; 3 when the file ends before the zero or the
// string does not fit the buffer.
int read_name(Reader& r) {
  std::size_t window = scene_file_remaining(r.file);
  if (window > name_capacity) window = name_capacity;
  const std::uint8_t* start = window != 0 ? r.file.bytes.data() + r.file.pos : nullptr;
  const void* zero = window != 0 ? std::memchr(start, 0, window) : nullptr;
  if (zero == nullptr) {
    if (window < name_capacity) r.file.error = true;  // the file ended first: a short read
    return SCENE_READ_ERROR;
  }
  std::size_t length = std::size_t(static_cast<const std::uint8_t*>(zero) - start);
  std::memcpy(r.name, start, length + 1);
  r.file.pos += length + 1;
  return SCENE_OK;
}

Vector3 swapped(const float* v) { return {v[0], v[2], v[1]}; }

template <class T>
T* current_as(const Reader& r, SceneNodeKind kind) {
  return r.current_kind == kind ? static_cast<T*>(r.current) : nullptr;
}

void make_current(Reader& r, SceneObject* object, SceneNodeKind kind) {
  r.current = object;
  r.current_kind = kind;
}

// Appends an object to the list and to the stage's name index.
int add_listed(Reader& r, SceneNodeKind kind, std::unique_ptr<SceneObject> object) {
  if (int rc = scene_add_object(kind, std::move(object)); rc != SCENE_OK) return rc;
  r.names.add(r.scene.last_object);
  return SCENE_OK;
}

// Appends a new object and makes it current; its pointer stays valid in the list.
template <class T>
int add_object(Reader& r, SceneNodeKind kind, std::unique_ptr<T> object, T*& out) {
  if (object == nullptr) return SCENE_NO_MEMORY;
  out = object.get();
  if (int rc = add_listed(r, kind, std::move(object)); rc != SCENE_OK) return rc;
  make_current(r, out, kind);
  return SCENE_OK;
}

template <class T>
std::unique_ptr<T> new_object() {
  return std::unique_ptr<T>(new (std::nothrow) T);
}

// The first object with this name whose kind is `kind` (any kind for 0), or null. An object of
// another kind that happens to carry the name (a material named like its mesh) is passed over.
SceneObject* find_named(Reader& r, SceneNodeKind kind, SceneNodeKind* found_kind = nullptr) {
  SceneNode* node = r.names.find(r.name, kind);
  if (node == nullptr) return nullptr;
  if (found_kind != nullptr) *found_kind = node->kind;
  return node->object.get();
}

void rename(Reader& r, SceneObject& object) {
  object.name = r.name;
  r.names.renamed(&object);
}

// ---- the walk ----

const ChunkEntry* find_entry(const ChunkEntry* table, std::size_t size, std::uint16_t id) {
  for (std::size_t i = 0; i < size; ++i)
    if (table[i].id == id) return &table[i];
  return nullptr;
}

template <std::size_t N>
int walk(Reader& r, const ChunkEntry (&table)[N], std::size_t end, std::uint16_t container) {
  if (r.depth >= max_depth) return SCENE_READ_ERROR;
  ++r.depth;
  r.container = container;
  int rc = SCENE_OK;
  while (rc == SCENE_OK && scene_file_tell(r.file) < end) {
    std::size_t start = scene_file_tell(r.file);
    std::uint16_t id;
    std::uint32_t length;
    if (!scene_file_read_u16(r.file, id) || !scene_file_read_u32(r.file, length)) {
      rc = SCENE_READ_ERROR;
      break;
    }
    // A chunk shorter than its own header would leave the walk where it is, for ever.
    if (length < 6) {
      rc = SCENE_READ_ERROR;
      break;
    }
    // A chunk that claims more than its container (or the file) holds is damaged: walking on
    // would skip what it claims to the end, and report the loss as success.
    const std::size_t chunk_end = start + length;
    if (chunk_end > end) {
      rc = SCENE_READ_ERROR;
      break;
    }
    if (const ChunkEntry* entry = find_entry(table, N, id)) {
      r.chunk_end = chunk_end;
      if (entry->handler != nullptr) rc = entry->handler(r, id);
      if (rc == SCENE_OK && entry->container) rc = walk(r, table, chunk_end, id);
      if (rc != SCENE_OK) break;
      scene_file_seek(r.file, chunk_end);
      r.last_finished = id;
    } else {
      scene_file_seek(r.file, chunk_end);
    }
    if (r.file.error) rc = SCENE_READ_ERROR;
  }
  --r.depth;
  return rc;
}

template <std::size_t N>
int read_stage(SceneFile& file, const ChunkEntry (&table)[N], std::int32_t first_counter) {
  Scene* scene = scene_get_active();
  if (scene == nullptr) return SCENE_NO_ACTIVE;
  file.error = false;
  Reader r{file, *scene};
  r.counter = first_counter;
  for (SceneNode* node = scene->first_object; node != nullptr; node = node->next) r.names.add(node);
  std::size_t file_end = scene_file_size(file);
  scene_file_seek(file, tds_version_offset);
  std::uint8_t version;
  if (!scene_file_read_u8(file, version)) return SCENE_READ_ERROR;
  if (version < 2) return SCENE_NOT_SUPPORTED;
  scene_file_seek(file, 0);
  return walk(r, table, file_end, 0);
}

// ---- scene stage: values chosen by the container ----

Material* current_material(const Reader& r) { return current_as<Material>(r, NODE_MATERIAL); }

Vector3* color_target(Reader& r) {
  if (r.container == TDS_LIGHT) {
    Light* light = current_as<Light>(r, NODE_LIGHT);
    return light != nullptr ? &light->color : nullptr;
  }
  Material* m = current_material(r);
  if (m == nullptr) return nullptr;
  switch (r.container) {
    case TDS_MAT_AMBIENT: return &m->ambient;
    case TDS_MAT_DIFFUSE: return &m->diffuse;
    case TDS_MAT_SPECULAR: return &m->specular;
    default: return nullptr;
  }
}

float* percent_target(Reader& r) {
  Material* m = current_material(r);
  if (m == nullptr) return nullptr;
  switch (r.container) {
    case TDS_MAT_SHININESS: return &m->shininess;
    case TDS_MAT_SHIN_STRENGTH: return &m->shininess_strength;
    case TDS_MAT_TRANSPARENCY: return &m->transparency;
    case TDS_MAT_XPFALL: return &m->transparency_falloff;
    case TDS_MAT_REFBLUR: return &m->reflection_blur;
    case TDS_MAT_SELF_ILLUM: return &m->self_illumination;
    default: return nullptr;
  }
}

MaterialMap* map_target(Reader& r) {
  Material* m = current_material(r);
  if (m == nullptr) return nullptr;
  switch (r.container) {
    case TDS_MAT_TEXMAP: return &m->maps[MAP_TEXTURE];
    case TDS_MAT_BUMPMAP: return &m->maps[MAP_BUMP];
    case TDS_MAT_REFLMAP: return &m->maps[MAP_REFLECTION];
    default: return nullptr;
  }
}

int read_color(Reader& r, std::uint16_t id) {
  Vector3 c;
  if (id == TDS_COLOR_F) {
    float v[3];
    if (!read_floats(r, v, 3)) return SCENE_READ_ERROR;
    c = {v[0], v[1], v[2]};
  } else {
    std::uint8_t b[3];
    if (!scene_file_read(r.file, b, 3)) return SCENE_READ_ERROR;
    c = {float(b[0] * byte_to_unit), float(b[1] * byte_to_unit), float(b[2] * byte_to_unit)};
  }
  if (Vector3* target = color_target(r)) *target = c;
  return SCENE_OK;
}

int read_percent(Reader& r, std::uint16_t) {
  std::uint16_t v;
  if (!scene_file_read_u16(r.file, v)) return SCENE_READ_ERROR;
  if (float* target = percent_target(r)) *target = float(v * percent_to_unit);
  return SCENE_OK;
}

// ---- scene stage: meshes ----

int read_named_object(Reader& r, std::uint16_t) { return read_name(r); }

int read_mesh(Reader& r, std::uint16_t) {
  auto mesh = new_object<Mesh>();
  if (mesh == nullptr) return SCENE_NO_MEMORY;
  mesh->name = r.name;
  mesh->id = r.counter++;
  Mesh* added;
  return add_object(r, NODE_MESH, std::move(mesh), added);
}

int read_points(Reader& r, std::uint16_t) {
  Mesh* mesh = current_as<Mesh>(r, NODE_MESH);
  if (mesh == nullptr) return SCENE_OK;
  std::uint16_t count;
  if (!scene_file_read_u16(r.file, count)) return SCENE_READ_ERROR;
  const std::uint8_t* p = take_array(r, count, 12);
  if (p == nullptr) return SCENE_READ_ERROR;
  std::vector<Vertex> vertices(count);
  for (Vertex& v : vertices) {
    v.position = {load_f32(p), load_f32(p + 8), load_f32(p + 4)};
    p += 12;
  }
  mesh->vertices = std::move(vertices);
  // Faces read earlier point into the old array.
  return mesh->faces.empty() ? SCENE_OK : mesh_link_faces(*mesh);
}

int read_faces(Reader& r, std::uint16_t) {
  Mesh* mesh = current_as<Mesh>(r, NODE_MESH);
  if (mesh == nullptr) return SCENE_OK;
  std::uint16_t count;
  if (!scene_file_read_u16(r.file, count)) return SCENE_READ_ERROR;
  const std::uint8_t* p = take_array(r, count, 8);
  if (p == nullptr) return SCENE_READ_ERROR;
  std::vector<Face> faces(count);
  const std::size_t vertex_count = mesh->vertices.size();
  Vertex* vertices = mesh->vertices.data();
  for (Face& f : faces) {
    f.a = load_le16(p);
    f.b = load_le16(p + 2);
    f.c = load_le16(p + 4);
    std::uint16_t flags = load_le16(p + 6);
    p += 8;
    // Also refuses a face list that comes before the vertex list.
    if (f.a >= vertex_count || f.b >= vertex_count || f.c >= vertex_count) return SCENE_READ_ERROR;
    f.flags = ((flags & 0x8) ? FACE_U_WRAP : 0u) | ((flags & 0x10) ? FACE_V_WRAP : 0u);
    f.vertex_a = vertices + f.a;
    f.vertex_b = vertices + f.b;
    f.vertex_c = vertices + f.c;
  }
  mesh->faces = std::move(faces);
  return SCENE_OK;
}

int read_face_material(Reader& r, std::uint16_t) {
  if (int rc = read_name(r); rc != SCENE_OK) return rc;
  SceneNodeKind kind = 0;
  SceneObject* object = find_named(r, 0, &kind);
  if (object == nullptr) return SCENE_NOT_FOUND;
  std::uint16_t count;
  if (!scene_file_read_u16(r.file, count)) return SCENE_READ_ERROR;
  const std::uint8_t* p = take_array(r, count, 2);
  if (p == nullptr) return SCENE_READ_ERROR;
  Mesh* mesh = current_as<Mesh>(r, NODE_MESH);
  if (mesh == nullptr) return SCENE_OK;
  // An object of another kind under the name gives its id but is never used as a material.
  Material* material = kind == NODE_MATERIAL ? static_cast<Material*>(object) : nullptr;
  const std::size_t face_count = mesh->faces.size();
  for (std::uint16_t i = 0; i < count; ++i, p += 2) {
    std::uint16_t index = load_le16(p);
    if (index >= face_count) return SCENE_READ_ERROR;
    mesh->faces[index].material_id = object->id;
    mesh->faces[index].material = material;
  }
  return SCENE_OK;
}

int read_texels(Reader& r, std::uint16_t) {
  Mesh* mesh = current_as<Mesh>(r, NODE_MESH);
  if (mesh == nullptr) return SCENE_OK;
  std::uint16_t count;
  if (!scene_file_read_u16(r.file, count)) return SCENE_READ_ERROR;
  // Also refuses mapping coordinates that come before the vertex list.
  if (count > mesh->vertices.size()) return SCENE_READ_ERROR;
  const std::uint8_t* p = take_array(r, count, 8);
  if (p == nullptr) return SCENE_READ_ERROR;
  for (std::uint16_t i = 0; i < count; ++i, p += 8) {
    mesh->vertices[i].u = load_f32(p);
    mesh->vertices[i].v = load_f32(p + 4);
  }
  return SCENE_OK;
}

// The object's axes and origin in the file's world space; the vertices are moved into the
// object's own axes: p' = inverse_axes(M) (p - origin).
int read_mesh_matrix(Reader& r, std::uint16_t) {
  Mesh* mesh = current_as<Mesh>(r, NODE_MESH);
  if (mesh == nullptr) return SCENE_OK;
  float f[12];
  if (!read_floats(r, f, 12)) return SCENE_READ_ERROR;
  Matrix axes;
  mat_identity(axes);
  static constexpr int file_row[3] = {0, 2, 1};  // rows 1 and 2 exchanged
  for (int row = 0; row < 3; ++row) {
    const float* v = f + 3 * file_row[row];
    axes.m[row][0] = v[0];
    axes.m[row][1] = v[2];
    axes.m[row][2] = v[1];
  }
  const Vector3 origin = swapped(f + 9);
  mat_inverse_axes(axes, axes);  // a zero axis leaves the identity
  for (Vertex& v : mesh->vertices) {
    Vector3 p;
    vec_sub(v.position, origin, p);
    mat_transform_point(axes, p, v.position);
  }
  return SCENE_OK;
}

// ---- scene stage: lights, cameras, materials ----

int read_light(Reader& r, std::uint16_t) {
  float f[3];
  if (!read_floats(r, f, 3)) return SCENE_READ_ERROR;
  auto light = new_object<Light>();
  if (light == nullptr) return SCENE_NO_MEMORY;
  light->position = swapped(f);
  light->name = r.name;
  light->id = r.counter++;
  light->type = LIGHT_OMNI;
  Light* added;
  if (int rc = add_object(r, NODE_LIGHT, std::move(light), added); rc != SCENE_OK) return rc;
  if (light_output != nullptr) std::fprintf(light_output, "licht gelesen: %s\r\n", added->name.c_str());
  return SCENE_OK;
}

int read_spotlight(Reader& r, std::uint16_t) {
  Light* light = current_as<Light>(r, NODE_LIGHT);
  if (light == nullptr) return SCENE_OK;
  float f[5];
  if (!read_floats(r, f, 5)) return SCENE_READ_ERROR;
  light->target = swapped(f);
  light->hotspot = f[3];
  light->falloff = f[4];
  light->type = LIGHT_SPOT;
  light->roll = 0;
  return SCENE_OK;
}

int read_camera(Reader& r, std::uint16_t) {
  float f[8];
  if (!read_floats(r, f, 8)) return SCENE_READ_ERROR;
  auto camera = new_object<Camera>();
  if (camera == nullptr) return SCENE_NO_MEMORY;
  camera->name = r.name;
  camera->id = r.counter++;
  camera->position = swapped(f);
  camera->target = swapped(f + 3);
  camera->roll = f[6];
  lens_to_fov(f[7], camera->fov);
  Camera* added;
  return add_object(r, NODE_CAMERA, std::move(camera), added);
}

int read_material(Reader& r, std::uint16_t) {
  auto material = new_object<Material>();
  if (material == nullptr) return SCENE_NO_MEMORY;
  material->id = r.counter++;
  Material* added;
  return add_object(r, NODE_MATERIAL, std::move(material), added);
}

int read_material_name(Reader& r, std::uint16_t) {
  if (int rc = read_name(r); rc != SCENE_OK) return rc;
  if (Material* m = current_material(r)) rename(r, *m);
  return SCENE_OK;
}

int read_material_flag(Reader& r, std::uint16_t id) {
  Material* m = current_material(r);
  if (m == nullptr) return SCENE_OK;
  switch (id) {
    case TDS_MAT_TWO_SIDE: m->flags |= MATERIAL_TWO_SIDED; break;
    case TDS_MAT_ADDITIVE: m->flags |= MATERIAL_ADDITIVE; break;
    case TDS_MAT_WIRE: m->flags |= MATERIAL_WIRE; break;
    case TDS_MAT_SOFTEN: m->flags |= MATERIAL_SOFT; break;
    default: break;
  }
  return SCENE_OK;
}

int read_shading(Reader& r, std::uint16_t) {
  Material* m = current_material(r);
  if (m == nullptr) return SCENE_OK;
  std::uint16_t v;
  if (!scene_file_read_u16(r.file, v)) return SCENE_READ_ERROR;
  m->shading = v;
  return SCENE_OK;
}

int read_map_file(Reader& r, std::uint16_t) {
  if (int rc = read_name(r); rc != SCENE_OK) return rc;
  if (MaterialMap* map = map_target(r)) map->file_name = r.name;
  return SCENE_OK;
}

int read_map_value(Reader& r, std::uint16_t id) {
  if (id == TDS_MAP_TILING) {
    std::uint16_t v;
    if (!scene_file_read_u16(r.file, v)) return SCENE_READ_ERROR;
    if (MaterialMap* map = map_target(r)) map->flags = v;
    return SCENE_OK;
  }
  float v;
  if (!read_floats(r, &v, 1)) return SCENE_READ_ERROR;
  MaterialMap* map = map_target(r);
  if (map == nullptr) return SCENE_OK;
  switch (id) {
    case TDS_MAP_U_SCALE: map->u_scale = v; break;
    case TDS_MAP_V_SCALE: map->v_scale = v; break;
    case TDS_MAP_U_OFFSET: map->u_offset = v; break;
    case TDS_MAP_V_OFFSET: map->v_offset = v; break;
    case TDS_MAP_ROTATION: map->rotation = v; break;
    default: break;
  }
  return SCENE_OK;
}

// Order matters only for the search: every id appears once.
constexpr ChunkEntry scene_table[] = {
    {TDS_COLOR_F, false, read_color},
    {TDS_COLOR_24, false, read_color},
    {TDS_PERCENT, false, read_percent},
    {0xC23D, true, nullptr},
    {0x3DAA, true, nullptr},
    {TDS_MAIN, true, nullptr},
    {TDS_EDITOR, true, nullptr},
    {TDS_BACKGROUND, true, nullptr},     // its colour lands nowhere
    {TDS_AMBIENT_LIGHT, true, nullptr},  // likewise
    {TDS_NAMED_OBJECT, true, read_named_object},
    {TDS_MESH, true, read_mesh},
    {TDS_POINTS, false, read_points},
    {TDS_POINT_FLAGS, false, nullptr},
    {TDS_FACES, true, read_faces},
    {0x4165, false, nullptr},
    {TDS_FACE_MATERIAL, false, read_face_material},
    {TDS_TEXELS, false, read_texels},
    {0x4170, false, nullptr},
    {TDS_SMOOTH_GROUPS, false, nullptr},
    {TDS_MESH_MATRIX, false, read_mesh_matrix},
    {TDS_LIGHT, true, read_light},
    {TDS_SPOTLIGHT, false, read_spotlight},
    {TDS_CAMERA, false, read_camera},
    {0x4F00, true, nullptr},
    {0x7001, false, nullptr},
    {TDS_MATERIAL, true, read_material},
    {TDS_MAT_NAME, false, read_material_name},
    {TDS_MAT_AMBIENT, true, nullptr},
    {TDS_MAT_DIFFUSE, true, nullptr},
    {TDS_MAT_SPECULAR, true, nullptr},
    {TDS_MAT_TEXMAP, true, nullptr},
    {TDS_MAT_BUMPMAP, true, nullptr},
    {TDS_MAT_REFLMAP, true, nullptr},
    {TDS_MAP_FILE, false, read_map_file},
    {TDS_MAP_TILING, false, read_map_value},
    {TDS_MAP_U_SCALE, false, read_map_value},
    {TDS_MAP_V_SCALE, false, read_map_value},
    {TDS_MAP_U_OFFSET, false, read_map_value},
    {TDS_MAP_V_OFFSET, false, read_map_value},
    {TDS_MAP_ROTATION, false, read_map_value},
    {TDS_MAT_SHININESS, true, nullptr},
    {TDS_MAT_SHIN_STRENGTH, true, nullptr},
    {TDS_MAT_TRANSPARENCY, true, nullptr},
    {TDS_MAT_XPFALL, true, nullptr},
    {TDS_MAT_REFBLUR, true, nullptr},
    {TDS_MAT_SELF_ILLUM, true, nullptr},
    {TDS_MAT_TWO_SIDE, false, read_material_flag},
    {TDS_MAT_ADDITIVE, false, read_material_flag},
    {TDS_MAT_WIRE, false, read_material_flag},
    {TDS_MAT_SOFTEN, false, read_material_flag},
    {TDS_MAT_SHADING, false, read_shading},
};

// ---- motion stage: nodes ----

int read_frames(Reader& r, std::uint16_t) {
  std::uint32_t start, end;
  if (!scene_file_read_u32(r.file, start) || !scene_file_read_u32(r.file, end)) return SCENE_READ_ERROR;
  r.scene.start_frame = float(start);
  r.scene.end_frame = float(end);
  return SCENE_OK;
}

int read_node_id(Reader& r, std::uint16_t) {
  std::uint16_t id;
  if (!scene_file_read_u16(r.file, id)) return SCENE_READ_ERROR;
  r.counter = id;
  return SCENE_OK;
}

// The object kind that a node kind (its container's id) animates; 0 for an unknown node kind.
SceneNodeKind object_kind_of(std::uint16_t node_chunk) {
  switch (node_chunk) {
    case TDS_AMBIENT_NODE: return NODE_AMBIENT;
    case TDS_OBJECT_NODE: return NODE_MESH;
    case TDS_CAMERA_NODE:
    case TDS_TARGET_NODE: return NODE_CAMERA;
    case TDS_LIGHT_NODE:
    case TDS_L_TARGET_NODE:
    case TDS_SPOTLIGHT_NODE: return NODE_LIGHT;
    default: return 0;
  }
}

// The node's object: "$AMBIENT$" and "$$$DUMMY" create one, any other name is looked up.
int node_object(Reader& r, std::int32_t node_id, SceneObject*& object, SceneNodeKind& kind) {
  std::string_view name(r.name);
  if (name == "$AMBIENT$") {
    auto ambient = new_object<Ambient>();
    if (ambient == nullptr) return SCENE_NO_MEMORY;
    ambient->name = r.name;
    ambient->id = node_id + motion_object_id_base;
    object = ambient.get();
    kind = NODE_AMBIENT;
    return add_listed(r, NODE_AMBIENT, std::move(ambient));
  }
  if (name == "$$$DUMMY") {
    auto dummy = new_object<Mesh>();
    if (dummy == nullptr) return SCENE_NO_MEMORY;
    dummy->id = node_id + motion_object_id_base;
    dummy->flags = MESH_DUMMY;
    object = dummy.get();
    kind = NODE_MESH;
    return add_listed(r, NODE_MESH, std::move(dummy));
  }
  object = find_named(r, object_kind_of(r.container), &kind);
  return object != nullptr ? SCENE_OK : SCENE_NOT_FOUND;
}

int read_node_header(Reader& r, std::uint16_t) {
  // A node-id chunk just before the header has set the number already.
  if (r.last_finished != TDS_NODE_ID) ++r.counter;
  const std::int32_t node_id = r.counter;
  if (int rc = read_name(r); rc != SCENE_OK) return rc;
  SceneObject* object = nullptr;
  SceneNodeKind kind = 0;
  if (int rc = node_object(r, node_id, object, kind); rc != SCENE_OK) return rc;
  std::uint32_t flags;
  std::int16_t parent;
  if (!scene_file_read_u32(r.file, flags) || !scene_file_read_i16(r.file, parent)) return SCENE_READ_ERROR;

  // The parent is the first node with its number (a number given twice is damage: see
  // scene_add_anim_node).
  std::int32_t parent_object_id = -1;
  if (parent != -1) {
    const auto found = r.scene.node_ids.find(parent);
    if (found != r.scene.node_ids.end() && found->second->object != nullptr)
      parent_object_id = found->second->object->id;
  }
  // A created object of the wrong kind for its node ("$AMBIENT$" in an object node) is as
  // unusable as a missing one.
  const SceneNodeKind wanted = object_kind_of(r.container);
  if (wanted == 0) return SCENE_OK;
  if (kind != wanted) return SCENE_NOT_FOUND;

  AnimNodeKind node_kind = 0;
  switch (r.container) {
    case TDS_OBJECT_NODE: {
      Mesh* mesh = static_cast<Mesh*>(object);
      mesh->parent_id = parent_object_id;
      if (flags & node_flag_hidden) mesh->flags |= MESH_FILE_HIDDEN;
      make_current(r, mesh, NODE_MESH);
      node_kind = ANIM_OBJECT;
      break;
    }
    case TDS_CAMERA_NODE:
      static_cast<Camera*>(object)->parent_id = parent_object_id;
      node_kind = ANIM_CAMERA;
      break;
    case TDS_TARGET_NODE:
      static_cast<Camera*>(object)->target_parent_id = parent_object_id;
      node_kind = ANIM_CAMERA_TARGET;
      break;
    case TDS_LIGHT_NODE:
      static_cast<Light*>(object)->parent_id = parent_object_id;
      node_kind = ANIM_OMNI;
      break;
    case TDS_SPOTLIGHT_NODE:
      static_cast<Light*>(object)->parent_id = parent_object_id;
      node_kind = ANIM_SPOT;
      break;
    case TDS_L_TARGET_NODE:
      static_cast<Light*>(object)->target_parent_id = parent_object_id;
      node_kind = ANIM_LIGHT_TARGET;
      break;
    default:  // TDS_AMBIENT_NODE
      node_kind = ANIM_AMBIENT;
      break;
  }
  if (++r.nodes > max_scene_nodes) return SCENE_READ_ERROR;
  std::unique_ptr<TrackSet> tracks(new (std::nothrow) TrackSet);
  if (tracks == nullptr) return SCENE_NO_MEMORY;
  return scene_add_anim_node(node_kind, node_id, parent, std::move(tracks), object);
}

int read_instance_name(Reader& r, std::uint16_t) {
  if (int rc = read_name(r); rc != SCENE_OK) return rc;
  if (r.current != nullptr) rename(r, *r.current);
  return SCENE_OK;
}

// Moves the mesh's vertices, and its box with them, so that the pivot is the origin.
int read_pivot(Reader& r, std::uint16_t) {
  Mesh* mesh = current_as<Mesh>(r, NODE_MESH);
  if (mesh == nullptr) return SCENE_OK;
  float f[3];
  if (!read_floats(r, f, 3)) return SCENE_READ_ERROR;
  mesh->pivot = swapped(f);
  for (Vertex& v : mesh->vertices) vec_sub(v.position, mesh->pivot, v.position);
  if (mesh->vertices.empty()) return SCENE_OK;  // a dummy keeps its zero box
  vec_sub(mesh->box_min, mesh->pivot, mesh->box_min);
  vec_sub(mesh->box_max, mesh->pivot, mesh->box_max);
  return SCENE_OK;
}

// ---- motion stage: tracks ----

struct TrackChunk {
  std::uint16_t id;
  TrackKind kind;
  std::size_t value_bytes;  // the least a key's value takes (a morph name: its zero)
};

constexpr TrackChunk track_chunks[] = {
    {TDS_POS_TRACK, TRACK_KIND_POSITION, 12}, {TDS_ROT_TRACK, TRACK_KIND_ROTATION, 16},
    {TDS_SCL_TRACK, TRACK_KIND_SCALE, 12},    {TDS_FOV_TRACK, TRACK_KIND_FOV, 4},
    {TDS_ROLL_TRACK, TRACK_KIND_ROLL, 4},     {TDS_COL_TRACK, TRACK_KIND_COLOR, 12},
    {TDS_MORPH_TRACK, TRACK_KIND_MORPH, 1},   {TDS_HIDE_TRACK, TRACK_KIND_HIDE, 0},
};
constexpr std::size_t key_header_bytes = 6;  // frame (u16 and its high half) and the key flags

// Frame, then one float per set flag bit: tension, continuity, bias, ease to, ease from,
// and floats for bits 5 to 15 that nothing uses.
int read_key_header(Reader& r, Key& key, std::int32_t& frame) {
  std::uint16_t frame16, flags;
  if (!scene_file_read_u16(r.file, frame16) || !skip(r, 2) || !scene_file_read_u16(r.file, flags))
    return SCENE_READ_ERROR;
  frame = frame16;
  float* fields[5] = {&key.tension, &key.continuity, &key.bias, &key.ease_to, &key.ease_from};
  for (int bit = 0; bit < 16; ++bit) {
    if ((flags & (1u << bit)) == 0) continue;
    float v;
    if (!read_floats(r, &v, 1)) return SCENE_READ_ERROR;
    if (bit < 5) *fields[bit] = v;
  }
  return SCENE_OK;
}

// Running state of a rotation track: the file's keys turn relative to the previous key.
struct RotationRun {
  Quaternion orientation{1, 0, 0, 0};
  std::int32_t total = 0;  // whole radians turned so far
  bool first = true;
};

int read_rotation_value(Reader& r, Key& key, RotationRun& run) {
  float f[4];
  if (!read_floats(r, f, 4)) return SCENE_READ_ERROR;
  const float angle = f[0];
  Quaternion q;
  quat_from_angle_axis(angle, f[1], f[2], f[3], q);
  run.total = saturate_to_int32(run.first ? angle : float(run.total) + angle);
  run.first = false;
  key.value[0] = float(run.total);
  key.value[1] = f[1];
  key.value[2] = f[3];
  key.value[3] = f[2];
  Quaternion q_swapped{q.w, q.x, q.z, q.y};
  quat_mul(q_swapped, run.orientation, run.orientation);
  key.orientation = run.orientation;
  return SCENE_OK;
}

int read_key_value(Reader& r, const TrackChunk& chunk, Key& key, RotationRun& run) {
  float f[3];
  switch (chunk.kind) {
    case TRACK_KIND_POSITION:
    case TRACK_KIND_SCALE:
      if (!read_floats(r, f, 3)) return SCENE_READ_ERROR;
      key.value[0] = f[0];
      key.value[1] = f[2];
      key.value[2] = f[1];
      return SCENE_OK;
    case TRACK_KIND_COLOR:
      if (!read_floats(r, f, 3)) return SCENE_READ_ERROR;
      key.value[0] = f[0];
      key.value[1] = f[1];
      key.value[2] = f[2];
      return SCENE_OK;
    case TRACK_KIND_FOV:
    case TRACK_KIND_ROLL:
      return read_floats(r, key.value, 1) ? SCENE_OK : SCENE_READ_ERROR;
    case TRACK_KIND_ROTATION:
      return read_rotation_value(r, key, run);
    case TRACK_KIND_MORPH: {
      if (int rc = read_name(r); rc != SCENE_OK) return rc;
      // Morph targets are meshes; a same-named object of another kind is passed over.
      SceneObject* target = find_named(r, NODE_MESH);
      if (target == nullptr) return SCENE_NOT_FOUND;
      key_set_int(key, target->id);
      return SCENE_OK;
    }
    default:
      return SCENE_OK;
  }
}

int read_track(Reader& r, std::uint16_t id) {
  const TrackChunk* chunk = nullptr;
  for (const TrackChunk& c : track_chunks)
    if (c.id == id) chunk = &c;
  if (chunk == nullptr) return SCENE_OK;
  const bool hide = chunk->kind == TRACK_KIND_HIDE;

  std::uint16_t flags, key_count;
  if (!scene_file_read_u16(r.file, flags) || !skip(r, 8) || !scene_file_read_u16(r.file, key_count) || !skip(r, 2))
    return SCENE_READ_ERROR;
  if (std::size_t(key_count) * (key_header_bytes + chunk->value_bytes) > chunk_left(r)) return SCENE_READ_ERROR;
  std::unique_ptr<Track> track = track_new();
  if (track == nullptr) return SCENE_NO_MEMORY;
  if ((flags & 3) == 2) track->flags = TRACK_REPEAT;
  if ((flags & 3) == 3) track->flags = TRACK_LOOP;

  RotationRun run;
  for (std::uint16_t i = 0; i < key_count; ++i) {
    std::unique_ptr<Key> key = key_new();
    if (key == nullptr) return SCENE_NO_MEMORY;
    std::int32_t frame;
    if (hide) {
      // Hide keys have no key header; they switch hidden, visible, hidden, ...
      std::uint16_t frame16;
      if (!scene_file_read_u16(r.file, frame16) || !skip(r, 4)) return SCENE_READ_ERROR;
      frame = frame16;
      key_set_int(*key, i % 2 == 0 ? 1 : 0);
    } else {
      if (int rc = read_key_header(r, *key, frame); rc != SCENE_OK) return rc;
      if (int rc = read_key_value(r, *chunk, *key, run); rc != SCENE_OK) return rc;
    }
    track_append_key(track.get(), std::move(key), frame);
  }
  if (chunk->kind == TRACK_KIND_ROTATION)
    track_setup_rotation(track.get());
  else if (chunk->kind != TRACK_KIND_MORPH && !hide)
    track_setup_spline(track.get());
  // A track for a node number that no node has, or a kind the node has no slot for, is dropped.
  scene_set_track(chunk->kind, r.counter, std::move(track));
  return SCENE_OK;
}

constexpr ChunkEntry motion_table[] = {
    {TDS_MAIN, true, nullptr},
    {TDS_KEYFRAMER, true, nullptr},
    {TDS_AMBIENT_NODE, true, nullptr},
    {TDS_OBJECT_NODE, true, nullptr},
    {TDS_FRAMES, false, read_frames},
    {TDS_NODE_HEADER, false, read_node_header},
    {TDS_INSTANCE_NAME, false, read_instance_name},
    {TDS_PIVOT, false, read_pivot},
    {TDS_POS_TRACK, false, read_track},
    {TDS_COL_TRACK, false, read_track},
    {TDS_ROT_TRACK, false, read_track},
    {TDS_SCL_TRACK, false, read_track},
    {TDS_MORPH_TRACK, false, read_track},
    {TDS_HIDE_TRACK, false, read_track},
    {TDS_NODE_ID, false, read_node_id},
    {TDS_CAMERA_NODE, true, nullptr},
    {TDS_TARGET_NODE, true, nullptr},
    {TDS_LIGHT_NODE, true, nullptr},
    {TDS_L_TARGET_NODE, true, nullptr},
    {TDS_SPOTLIGHT_NODE, true, nullptr},
    {TDS_FOV_TRACK, false, read_track},
    {TDS_ROLL_TRACK, false, read_track},
};

template <std::size_t N>
int run_stage(SceneFile& file, const ChunkEntry (&table)[N], std::int32_t first_counter) noexcept {
  return scene_run_guarded([&] { return read_stage(file, table, first_counter); }, SCENE_READ_ERROR);
}

}  // namespace

int read_3ds_scene(SceneFile& file) { return run_stage(file, scene_table, 0); }
int read_3ds_motion(SceneFile& file) { return run_stage(file, motion_table, -1); }

std::FILE* read_3ds_set_output(std::FILE* out) {
  std::FILE* old = light_output;
  light_output = out;
  return old;
}
