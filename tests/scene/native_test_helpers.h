// native_test_helpers.h: what the native format tests share: a builder for hand-made native
// files, the two stage operations run on bytes, a scene converted as scene-convert converts
// it, and the evaluated state of a scene as raw bits, for bit-for-bit comparisons.
#pragma once

#include <bit>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "scene/frame_update.h"
#include "scene/native_format.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "testdata.h"

// Little-endian fields, and chunks whose lengths are patched when they end.
struct NativeBytes {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> open;

  NativeBytes& u16(std::uint16_t v) {
    bytes.push_back(std::uint8_t(v));
    bytes.push_back(std::uint8_t(v >> 8));
    return *this;
  }
  NativeBytes& u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(std::uint8_t(v >> (8 * i)));
    return *this;
  }
  NativeBytes& i32(std::int32_t v) { return u32(std::uint32_t(v)); }
  NativeBytes& f32(float v) { return u32(std::bit_cast<std::uint32_t>(v)); }
  NativeBytes& floats(std::initializer_list<float> values) {
    for (float v : values) f32(v);
    return *this;
  }
  NativeBytes& str(std::string_view s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.push_back(0);
    return *this;
  }
  NativeBytes& header(std::int32_t version, std::int32_t contents) {
    bytes.insert(bytes.end(), {'Q', 'Z', 0, 0});
    return i32(version).i32(contents);
  }
  NativeBytes& begin(std::uint16_t id) {
    u16(id).u32(0);
    open.push_back(bytes.size());
    return *this;
  }
  NativeBytes& end() {
    const std::size_t start = open.back();
    open.pop_back();
    const std::uint32_t length = std::uint32_t(bytes.size() - start);
    for (int i = 0; i < 4; ++i) bytes[start - 4 + i] = std::uint8_t(length >> (8 * i));
    return *this;
  }
};

struct StageCodes {
  int scene = -1;
  int motion = -1;
};

// Both stage operations on the bytes, into `scene`, which is left active.
inline StageCodes read_native_bytes(Scene& scene, const std::vector<std::uint8_t>& bytes) {
  scene_set_active(&scene);
  SceneFile file;
  file.bytes = bytes;
  StageCodes codes;
  codes.scene = read_native_scene(file);
  codes.motion = read_native_motion(file);
  return codes;
}

// The active scene written in a version.
inline std::vector<std::uint8_t> write_native_bytes(std::int32_t version = native_version) {
  SceneFile file;
  EXPECT_EQ(write_native_scene_version(file, version), SCENE_OK);
  return file.bytes;
}

// A .3DS file loaded through both stages with the library flags given; the scene comes back
// with the library state cleared.
inline std::unique_ptr<Scene> load_3ds_scene(const std::filesystem::path& path, LibraryFlags flags) {
  lib_init(flags);
  std::unique_ptr<Scene> scene;
  scene_new(scene);
  std::FILE* old = read_3ds_set_output(nullptr);
  EXPECT_EQ(scene_load(path.c_str(), scene.get()), SCENE_OK) << path;
  EXPECT_EQ(scene_load_motion(path.c_str(), scene.get()), SCENE_OK) << path;
  read_3ds_set_output(old);
  return scene;
}

inline std::unique_ptr<Scene> load_native_scene(const std::filesystem::path& path, LibraryFlags flags) {
  lib_init(flags);
  std::unique_ptr<Scene> scene;
  scene_new(scene);
  EXPECT_EQ(native_load_scene(path.c_str(), scene.get()), SCENE_OK) << path;
  EXPECT_EQ(native_load_motion(path.c_str(), scene.get()), SCENE_OK) << path;
  return scene;
}

// What scene-convert writes for a .3DS file: loaded with normals and without the hierarchy.
inline std::vector<std::uint8_t> convert_3ds(const std::filesystem::path& path, std::int32_t version = native_version) {
  std::unique_ptr<Scene> scene = load_3ds_scene(path, LIB_NORMALS);
  scene_set_active(scene.get());
  std::vector<std::uint8_t> bytes = write_native_bytes(version);
  lib_init(0);
  return bytes;
}

// ---- evaluated state ----

// Every field the frame update reads or writes, as raw bits, with the object each run of
// bits belongs to, so that a mismatch can be named.
struct StateBits {
  std::vector<std::uint32_t> bits;
  std::vector<std::pair<std::size_t, std::string>> marks;

  void mark(const std::string& what) { marks.emplace_back(bits.size(), what); }
  void add(float v) { bits.push_back(std::bit_cast<std::uint32_t>(v)); }
  void add(std::int32_t v) { bits.push_back(std::uint32_t(v)); }
  void add(std::uint32_t v) { bits.push_back(v); }
  void add(const Vector3& v) {
    add(v.x);
    add(v.y);
    add(v.z);
  }
  void add(const Quaternion& q) {
    add(q.w);
    add(q.x);
    add(q.y);
    add(q.z);
  }
  void add(const Matrix& m) {
    for (const auto& row : m.m)
      for (float v : row) add(v);
  }
  std::string where(std::size_t index) const {
    std::string what = "?";
    for (const auto& [at, name] : marks)
      if (at <= index) what = name;
    return what;
  }
};

inline void add_mesh(StateBits& s, const Mesh& m) {
  s.add(m.flags);
  s.add(m.parent_id);
  s.add(m.pivot);
  s.add(m.position);
  s.add(m.scale);
  s.add(m.rotation);
  s.add(m.matrix);
  s.add(m.box_min);
  s.add(m.box_max);
  s.add(m.transformed_box_min);
  s.add(m.transformed_box_max);
  s.add(m.morph.source_id);
  s.add(m.morph.target_id);
  s.add(m.morph.blend);
  for (const Vertex& v : m.vertices) {
    s.add(v.position);
    s.add(v.transformed_position);
    s.add(v.normal);
    s.add(v.transformed_normal);
    s.add(v.u);
    s.add(v.v);
  }
  for (const Face& f : m.faces) {
    s.add(f.a);
    s.add(f.b);
    s.add(f.c);
    s.add(f.flags);
    s.add(f.material_id);
    s.add(f.material != nullptr ? f.material->id : -1);
    s.add(f.normal);
    s.add(f.transformed_normal);
  }
}

inline void add_object(StateBits& s, const SceneNode& node) {
  s.mark(std::to_string(node.kind) + " \"" + node.object->name + "\"");
  s.add(node.kind);
  s.add(node.object->id);
  if (const auto* m = dynamic_cast<const Mesh*>(node.object.get())) add_mesh(s, *m);
  if (const auto* c = dynamic_cast<const Camera*>(node.object.get())) {
    s.add(c->parent_id);
    s.add(c->target_parent_id);
    s.add(c->position);
    s.add(c->target);
    s.add(c->fov);
    s.add(c->roll);
    s.add(c->perspective_x);
    s.add(c->perspective_y);
    s.add(c->matrix);
  }
  if (const auto* l = dynamic_cast<const Light*>(node.object.get())) {
    s.add(l->parent_id);
    s.add(l->target_parent_id);
    s.add(l->type);
    s.add(l->position);
    s.add(l->target);
    s.add(l->roll);
    s.add(l->hotspot);
    s.add(l->falloff);
    s.add(l->color);
  }
  if (const auto* a = dynamic_cast<const Ambient*>(node.object.get())) s.add(a->color);
  if (const auto* m = dynamic_cast<const Material*>(node.object.get())) {
    s.add(m->shading);
    s.add(m->flags);
    for (const Vector3& c : {m->ambient, m->diffuse, m->specular}) s.add(c);
    for (float v : {m->shininess, m->shininess_strength, m->transparency, m->transparency_falloff,
                    m->reflection_blur, m->self_illumination})
      s.add(v);
    for (const MaterialMap& map : m->maps) {
      s.add(std::int32_t(std::hash<std::string>{}(map.file_name)));
      s.add(map.flags);
      for (float v : {map.u_scale, map.v_scale, map.u_offset, map.v_offset, map.rotation}) s.add(v);
    }
  }
}

inline StateBits scene_state(const Scene& scene) {
  StateBits s;
  s.add(scene.start_frame);
  s.add(scene.end_frame);
  s.add(scene.current_frame);
  for (const SceneNode* n = scene.first_object; n != nullptr; n = n->next) add_object(s, *n);
  for (const AnimNode* n = scene.first_anim_node; n != nullptr; n = n->next) {
    s.mark("node " + std::to_string(n->node_id));
    s.add(n->kind);
    s.add(n->node_id);
    s.add(n->parent != nullptr ? n->parent->node_id : -1);
    s.add(n->object != nullptr ? n->object->id : -1);
    for (const AnimNode* c = n->first_child; c != nullptr; c = c->next_sibling) s.add(c->node_id);
    for (const auto& slot : n->tracks->slots) s.add(slot != nullptr ? slot->key_count : -1);
  }
  return s;
}

// Sets the frame and updates, as the render pass does, through the first camera if any.
inline void evaluate_at(Scene& scene, float frame) {
  scene_set_active(&scene);
  Camera* camera = nullptr;
  for (SceneNode* n = scene.first_object; n != nullptr && camera == nullptr; n = n->next)
    if (n->kind == NODE_CAMERA) camera = static_cast<Camera*>(n->object.get());
  if (camera != nullptr) {
    camera->screen_width = 320;
    camera->screen_height = 200;
    camera->aspect = 0.75f;
  }
  camera_set_active(camera);
  scene_set_frame(frame);
  scene_update();
}

inline void expect_same_state(const Scene& expected, const Scene& actual, const std::string& context) {
  const StateBits a = scene_state(expected), b = scene_state(actual);
  ASSERT_EQ(a.bits.size(), b.bits.size()) << context;
  for (std::size_t i = 0; i < a.bits.size(); ++i)
    ASSERT_EQ(a.bits[i], b.bits[i]) << context << ": first difference in " << a.where(i) << " at word " << i;
}

// Forward, repeated, backward, fractional, at keys and outside the range.
inline const std::vector<float>& comparison_frames() {
  static const std::vector<float> frames = {0,  0.25f, 1,  5.5f, 10, 10, 12,  12.75f, 15,  20,   25, 30, 31,
                                            29, 40,    45, 50,   55, 60, 61,  70,     75,  80.5f, 90, 99, 99.9f,
                                            100, 150,  -3, 3,    41, 0,  64, 33.3f,  97};
  return frames;
}

// Both scenes, loaded with the same library flags, evaluated frame by frame and compared.
inline void expect_same_evaluation(Scene& expected, Scene& actual, const std::vector<float>& frames,
                                   const std::string& context) {
  expect_same_state(expected, actual, context + " after loading");
  for (float frame : frames) {
    evaluate_at(expected, frame);
    evaluate_at(actual, frame);
    expect_same_state(expected, actual, context + " at frame " + std::to_string(frame));
    if (::testing::Test::HasFatalFailure()) return;
  }
}
