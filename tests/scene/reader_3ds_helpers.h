// reader_3ds_helpers.h: what the 3DS reader tests share: a file skeleton for the chunk
// writer, running both stages on bytes in memory with the light lines captured, and lookups
// in the loaded lists.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
