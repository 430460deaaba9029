// frame_update_fixture.h: scenes for the frame update tests, built in code through the scene
// API: meshes, cameras and lights with their animation nodes and constant (one-key) tracks.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>

#include "scene/frame_update.h"
#include "scene/scene.h"

// A track of keys at the given frames; fill sets each key's value.
template <class Fill>
std::unique_ptr<Track> track_of(std::initializer_list<int> frames, Fill fill) {
  auto track = track_new();
  int i = 0;
  for (int frame : frames) {
    auto key = key_new();
    fill(*key, i++);
    track_append_key(track.get(), std::move(key), frame);
  }
  return track;
}

inline std::unique_ptr<Track> constant(Vector3 v) {
  return track_of({0}, [&](Key& k, int) { k.value[0] = v.x, k.value[1] = v.y, k.value[2] = v.z; });
}

inline bool same_bits(const Vector3& a, const Vector3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline void expect_vector(const Vector3& v, float x, float y, float z) {
  EXPECT_EQ(v.x, x);
  EXPECT_EQ(v.y, y);
  EXPECT_EQ(v.z, z);
}

inline void expect_matrix(const Matrix& m, const Matrix& expected) {
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 4; ++col) EXPECT_EQ(m.m[row][col], expected.m[row][col]) << row << ", " << col;
}

// A fresh active scene of frames [0, 100) with the show's flags for each test.
class FrameUpdate : public ::testing::Test {
 protected:
  std::unique_ptr<Scene> scene;
  void SetUp() override {
    lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
    ASSERT_EQ(scene_new(scene), SCENE_OK);
    scene_set_active(scene.get());
    scene->end_frame = 100;
  }
  void TearDown() override { lib_init(0); }
  void set_flags(LibraryFlags flags) {
    lib_init(flags);
    scene_set_active(scene.get());
  }

  template <class T>
  T* add(SceneNodeKind kind, std::int32_t id) {
    auto object = std::make_unique<T>();
    object->id = id;
    T* raw = object.get();
    EXPECT_EQ(scene_add_object(kind, std::move(object)), SCENE_OK);
    return raw;
  }

  Mesh* add_mesh(std::int32_t id, std::initializer_list<Vector3> points) {
    Mesh* mesh = add<Mesh>(NODE_MESH, id);
    for (const Vector3& p : points) mesh->vertices.emplace_back().position = p;
    return mesh;
  }

  // A node whose slot 0 holds a constant position.
  AnimNode* add_node(AnimNodeKind kind, std::int32_t id, std::int32_t parent_id, SceneObject* object, Vector3 at) {
    EXPECT_EQ(scene_add_anim_node(kind, id, parent_id, nullptr, object), SCENE_OK);
    AnimNode* node = scene_get_active()->last_anim_node;
    node->tracks->slots[SLOT_POSITION] = constant(at);
    return node;
  }

  AnimNode* add_object_node(std::int32_t id, std::int32_t parent_id, Mesh* mesh, Vector3 position,
                            Vector3 scale = {1, 1, 1}, Quaternion rotation = {1, 0, 0, 0}) {
    AnimNode* node = add_node(ANIM_OBJECT, id, parent_id, mesh, position);
    node->tracks->slots[OBJECT_SLOT_SCALE] = constant(scale);
    node->tracks->slots[OBJECT_SLOT_ROTATION] = track_of({0}, [&](Key& k, int) { k.orientation = rotation; });
    return node;
  }

  // A camera node (node_id) and its target node (node_id + 1), sized as the render pass sizes it.
  Camera* add_camera(std::int32_t id, std::int32_t node_id, Vector3 position, Vector3 target) {
    Camera* camera = add<Camera>(NODE_CAMERA, id);
    camera->screen_width = 320, camera->screen_height = 200, camera->aspect = 0.75f;
    add_node(ANIM_CAMERA, node_id, -1, camera, position)->tracks->slots[CAMERA_SLOT_FOV] = constant({60, 0, 0});
    add_node(ANIM_CAMERA_TARGET, node_id + 1, -1, camera, target);
    return camera;
  }

  int update_at(float frame) {
    EXPECT_EQ(scene_set_frame(frame), SCENE_OK);
    return scene_update();
  }
};
