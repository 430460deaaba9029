// reader_3ds_helpers.h: what the 3DS reader tests share: a file skeleton for the chunk
// writer, running both stages on bytes in memory with the light lines captured, lookups in
// the loaded lists, and loading cut and changed copies of a file.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "scene/frame_update.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "tools/tds_writer.h"

// Main chunk, its version and the editor chunk with the mesh version, whose low byte lands at
// offset 28. Editor chunks follow; end_editor() closes the editor chunk.
inline void begin_tds_file(TdsWriter& w, std::uint8_t version_byte = 3) {
  w.begin(TDS_MAIN);
  w.version(3);
  w.begin(TDS_EDITOR);
  w.mesh_version(version_byte);
}

// Writes into `out` what the reader prints while it lives; the old stream comes back after.
class CapturedLights {
 public:
  CapturedLights() : file_(std::tmpfile()), old_(read_3ds_set_output(file_)) {}
  ~CapturedLights() {
    read_3ds_set_output(old_);
    if (file_ != nullptr) std::fclose(file_);
  }
  std::string text() const {
    std::string s;
    if (file_ == nullptr) return s;
    std::fflush(file_);
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) s += char(c);
    return s;
  }

 private:
  std::FILE* file_;
  std::FILE* old_;
};

// A scene read from bytes by the two stage operations alone (no boxes, normals or frame 0),
// left active.
struct LoadedTds {
  std::unique_ptr<Scene> scene;
  int scene_code = -1;
  int motion_code = -1;
  std::string printed;
};

inline LoadedTds read_tds(const std::vector<std::uint8_t>& bytes) {
  LoadedTds l;
  lib_init(0);
  scene_new(l.scene);
  scene_set_active(l.scene.get());
  CapturedLights lights;
  SceneFile file;
  file.bytes = bytes;
  l.scene_code = read_3ds_scene(file);
  l.motion_code = read_3ds_motion(file);
  l.printed = lights.text();
  return l;
}

inline SceneNode* object_named(const Scene& scene, std::string_view name) {
  for (SceneNode* n = scene.first_object; n != nullptr; n = n->next)
    if (n->object->name == name) return n;
  return nullptr;
}

template <class T>
T* object_as(const Scene& scene, std::string_view name) {
  SceneNode* n = object_named(scene, name);
  return n != nullptr ? static_cast<T*>(n->object.get()) : nullptr;
}

inline AnimNode* node_with_id(const Scene& scene, std::int32_t id) {
  for (AnimNode* n = scene.first_anim_node; n != nullptr; n = n->next)
    if (n->node_id == id) return n;
  return nullptr;
}

inline int count_objects(const Scene& scene) {
  int n = 0;
  for (SceneNode* node = scene.first_object; node != nullptr; node = node->next) ++n;
  return n;
}

inline int count_nodes(const Scene& scene) {
  int n = 0;
  for (AnimNode* node = scene.first_anim_node; node != nullptr; node = node->next) ++n;
  return n;
}

inline int key_count(const AnimNode& node, int slot) {
  const Track* t = node.tracks->slots[slot].get();
  return t != nullptr ? t->key_count : 0;
}

inline const Key* key_at(const AnimNode& node, int slot, int index) {
  const Track* t = node.tracks->slots[slot].get();
  const Key* k = t != nullptr ? t->first : nullptr;
  for (int i = 0; k != nullptr && i < index; ++i) k = k->next;
  return k;
}

// Both stages on bytes, then what loading does after them: boxes, normals and frame 0.
inline void load_anything(const std::vector<std::uint8_t>& bytes) {
  LoadedTds l = read_tds(bytes);
  for (int code : {l.scene_code, l.motion_code})
    EXPECT_TRUE(code == 0 || code == 1 || code == 3 || code == 4 || code == 256) << code;
  lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
  scene_set_active(l.scene.get());
  for (SceneNode* n = l.scene->first_object; n != nullptr; n = n->next) {
    if (n->kind != NODE_MESH) continue;
    Mesh& mesh = *static_cast<Mesh*>(n->object.get());
    mesh_compute_bounds(mesh);
    mesh_compute_normals(mesh);
  }
  scene_set_frame(0);
  scene_update();
  lib_init(0);
}

// Every shorter copy of the bytes, then copies with one to four bytes changed at random.
inline void cut_and_flip(const std::vector<std::uint8_t>& bytes, int flips, unsigned seed) {
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    SCOPED_TRACE(n);
    load_anything({bytes.begin(), bytes.begin() + std::ptrdiff_t(n)});
    if (::testing::Test::HasFailure()) return;
  }
  std::mt19937 random(seed);
  for (int i = 0; i < flips; ++i) {
    std::vector<std::uint8_t> changed = bytes;
    const int changes = 1 + int(random() % 4);
    for (int c = 0; c < changes; ++c) changed[random() % changed.size()] ^= std::uint8_t(1 + random() % 255);
    SCOPED_TRACE(i);
    load_anything(changed);
    if (::testing::Test::HasFailure()) return;
  }
}
