// native_test_helpers.h: what the native format tests share: a builder for hand-made native
// files, the stage operations run on bytes, scenes loaded and converted as scene-convert
// does, and the evaluated state of two scenes compared bit for bit.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
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

// Little-endian fields; chunk lengths are patched when the chunk ends.
struct NativeBytes {
  std::vector<std::uint8_t> bytes;
  std::size_t chunk_start = 0;

  NativeBytes& raw(const void* p, std::size_t n) {
    bytes.insert(bytes.end(), static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + n);
    return *this;
  }
  NativeBytes& u16(std::uint16_t v) { return raw(&v, 2); }
  NativeBytes& i32(std::int32_t v) { return raw(&v, 4); }
  NativeBytes& floats(std::initializer_list<float> values) {
    for (float v : values) raw(&v, 4);
    return *this;
  }
  NativeBytes& str(std::string_view s) { return raw(s.data(), s.size()).raw("", 1); }
  NativeBytes& header(std::int32_t version, std::int32_t contents) { return raw("QZ\0\0", 4).i32(version).i32(contents); }
  NativeBytes& begin(std::uint16_t id) {
    u16(id).i32(0);
    chunk_start = bytes.size();
    return *this;
  }
  NativeBytes& end() {
    const std::uint32_t length = std::uint32_t(bytes.size() - chunk_start);
    std::memcpy(bytes.data() + chunk_start - 4, &length, 4);
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
  const int scene_code = read_native_scene(file);
  return {scene_code, read_native_motion(file)};
}

// The active scene written in a version.
inline std::vector<std::uint8_t> write_native_bytes(std::int32_t version = native_version) {
  SceneFile file;
  EXPECT_EQ(write_native_scene_version(file, version), SCENE_OK);
  return file.bytes;
}

// Both load stages of a .3DS or native file with the library flags given.
inline std::unique_ptr<Scene> load_scene_file(const std::filesystem::path& path, LibraryFlags flags) {
  lib_init(flags);
  std::unique_ptr<Scene> scene;
  scene_new(scene);
  const bool native = native_file_is_native(path.c_str());
  std::FILE* old = read_3ds_set_output(nullptr);
  EXPECT_EQ((native ? native_load_scene : scene_load)(path.c_str(), scene.get()), SCENE_OK) << path;
  EXPECT_EQ((native ? native_load_motion : scene_load_motion)(path.c_str(), scene.get()), SCENE_OK) << path;
  read_3ds_set_output(old);
  return scene;
}

// What scene-convert writes for a file: loaded with normals and without the hierarchy.
inline std::vector<std::uint8_t> convert_file(const std::filesystem::path& path, std::int32_t version = native_version) {
  std::unique_ptr<Scene> scene = load_scene_file(path, LIB_NORMALS);
  scene_set_active(scene.get());
  std::vector<std::uint8_t> bytes = write_native_bytes(version);
  lib_init(0);
  return bytes;
}

// ---- evaluated state ----

template <class T>
void put(std::string& s, const T& v) {
  s.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// The bits of everything the frame update reads or writes in one object.
inline std::string object_bits(const SceneNode& node) {
  std::string s;
  put(s, node.object->id);
  if (const auto* m = dynamic_cast<const Mesh*>(node.object.get())) {
    put(s, m->flags);
    put(s, m->pivot);
    put(s, m->morph);
    for (const auto& v : {m->position, m->scale, m->box_min, m->box_max, m->transformed_box_min, m->transformed_box_max})
      put(s, v);
    put(s, m->rotation);
    put(s, m->matrix);
    s.append(reinterpret_cast<const char*>(m->vertices.data()), m->vertices.size() * sizeof(Vertex));
    for (const Face& f : m->faces) {
      for (std::uint32_t v : {f.a, f.b, f.c, f.flags, std::uint32_t(f.material_id)}) put(s, v);
      put(s, f.material != nullptr ? f.material->id : -1);
      put(s, f.normal);
      put(s, f.transformed_normal);
    }
  } else if (const auto* c = dynamic_cast<const Camera*>(node.object.get())) {
    for (const auto& v : {c->position, c->target}) put(s, v);
    for (float v : {c->fov, c->roll, c->perspective_x, c->perspective_y}) put(s, v);
    put(s, c->matrix);
  } else if (const auto* l = dynamic_cast<const Light*>(node.object.get())) {
    for (const auto& v : {l->position, l->target, l->color}) put(s, v);
    for (float v : {l->roll, l->hotspot, l->falloff}) put(s, v);
  } else if (const auto* a = dynamic_cast<const Ambient*>(node.object.get())) {
    put(s, a->color);
  }
  return s;
}

// Sets the frame and updates, as the render pass does, through the scene's first camera.
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

inline void expect_same_state(const Scene& a, const Scene& b, const std::string& context) {
  const SceneNode* x = a.first_object;
  const SceneNode* y = b.first_object;
  for (; x != nullptr && y != nullptr; x = x->next, y = y->next) {
    ASSERT_EQ(x->kind, y->kind) << context;
    ASSERT_TRUE(object_bits(*x) == object_bits(*y)) << context << ": \"" << x->object->name << "\" differs";
  }
  ASSERT_TRUE(x == nullptr && y == nullptr) << context << ": object lists differ in length";
}

// Forward, repeated, backward, fractional, at keys and outside the range.
inline const std::vector<float> comparison_frames = {0,  0.25f, 1,  5.5f, 10, 10,   12,   12.75f, 15, 20, 25, 30,
                                                     31, 29,    40, 45,   50, 60,   61,   70,     75, 80.5f, 99,
                                                     99.9f, 100, 150, -3, 3, 41, 0, 64, 33.3f, 97};

// Both scenes, loaded with the same library flags, evaluated frame by frame and compared.
inline void expect_same_evaluation(Scene& a, Scene& b, const std::vector<float>& frames, const std::string& context) {
  expect_same_state(a, b, context + " after loading");
  for (float frame : frames) {
    evaluate_at(a, frame);
    evaluate_at(b, frame);
    expect_same_state(a, b, context + " at frame " + std::to_string(frame));
    if (::testing::Test::HasFatalFailure()) return;
  }
}
