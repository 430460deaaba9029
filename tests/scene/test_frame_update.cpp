// The frame update: tracks into the objects by node kind, object matrices, the hierarchy (no
// drift of the nodes it carries), hide and morph flags, camera matrices, and no allocation per
// frame.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "scene/frame_update.h"
#include "scene/scene.h"

// Every allocation of this test program is counted, so that a test can see none happen. The
// sanitizer build keeps its own allocator, which checks more than a count could.
#if !defined(__SANITIZE_ADDRESS__)
#define COUNTING_ALLOCATIONS 1
namespace {
std::atomic<long> allocations{0};
}
// The array and nothrow forms of the standard library call these two.
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

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

std::unique_ptr<Track> constant(Vector3 v) {
  return track_of({0}, [&](Key& k, int) { k.value[0] = v.x, k.value[1] = v.y, k.value[2] = v.z; });
}

void expect_vector(const Vector3& v, Vector3 want) {
  EXPECT_EQ(v.x, want.x) << v.x << ", " << v.y << ", " << v.z;
  EXPECT_EQ(v.y, want.y) << v.x << ", " << v.y << ", " << v.z;
  EXPECT_EQ(v.z, want.z) << v.x << ", " << v.y << ", " << v.z;
}

// A fresh active scene of frames [0, 100) with the show's flags for each test.
class FrameUpdate : public ::testing::Test {
 protected:
  std::unique_ptr<Scene> scene;
  void SetUp() override {
    ASSERT_EQ(scene_new(scene), SCENE_OK);
    set_flags(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
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
    T* raw = object.get();
    object->id = id;
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
    scene->last_anim_node->tracks->slots[SLOT_POSITION] = constant(at);
    return scene->last_anim_node;
  }

  AnimNode* add_object_node(std::int32_t id, std::int32_t parent_id, Mesh* mesh, Vector3 position,
                            Vector3 scale = {1, 1, 1}, Quaternion rotation = {1, 0, 0, 0}) {
    AnimNode* node = add_node(ANIM_OBJECT, id, parent_id, mesh, position);
    node->tracks->slots[OBJECT_SLOT_SCALE] = constant(scale);
    node->tracks->slots[OBJECT_SLOT_ROTATION] = track_of({0}, [&](Key& k, int) { k.orientation = rotation; });
    return node;
  }

  // A camera node (node_id, fov 60) and its target node (node_id + 1), sized as the render pass sizes it.
  Camera* add_camera(std::int32_t id, std::int32_t node_id, Vector3 position, Vector3 target) {
    Camera* camera = add<Camera>(NODE_CAMERA, id);
    camera->screen_width = 320;
    camera->screen_height = 200;
    camera->aspect = 0.75f;
    add_node(ANIM_CAMERA, node_id, -1, camera, position)->tracks->slots[CAMERA_SLOT_FOV] = constant({60, 0, 0});
    add_node(ANIM_CAMERA_TARGET, node_id + 1, -1, camera, target);
    return camera;
  }

  // Morph source (id 10, at (0, 0, 0)) and target (id 11, at (4, 8, -4)) of the mesh `morphing`
  // (id 1, one vertex far from both), keyed at frames 0 and 4. Each has one vertex and one face
  // unless the arguments say otherwise.
  Mesh *source = nullptr, *target = nullptr, *morphing = nullptr;
  void add_morph(int source_vertices = 1, int target_faces = 1, int source_id = 10, int target_id = 11) {
    source = add<Mesh>(NODE_MESH, 10);
    target = add_mesh(11, {{4, 8, -4}});
    morphing = add_mesh(1, {{100, 100, 100}});
    source->vertices.resize(std::size_t(source_vertices));
    source->faces.resize(1);
    morphing->faces.resize(1);
    target->vertices[0].normal = {0, 0, 1};
    target->box_max = {4, 8, 0};
    target->faces.resize(std::size_t(target_faces));
    add_object_node(0, -1, morphing, {0, 0, 5})->tracks->slots[OBJECT_SLOT_MORPH] =
        track_of({0, 4}, [&](Key& k, int i) { key_set_int(k, i == 0 ? source_id : target_id); });
  }

  int update_at(float frame) { return scene_set_frame(frame) == SCENE_OK ? scene_update() : -1; }
};

}  // namespace

// Without an active camera transformed positions and the box are in world space. An object is
// scaled before it is rotated, and its normals are not stretched.
TEST_F(FrameUpdate, PositionOneTwoThreeScaleTwoPlacesTheVertexAndTheBox) {
  Mesh* mesh = add_mesh(1, {{1, 0, 0}});
  mesh->box_max = {1, 0, 0};
  add_object_node(0, -1, mesh, {1, 2, 3}, {2, 2, 2});
  Mesh* turned = add_mesh(2, {{1, 0, 0}});
  turned->vertices[0].normal = {1, 0, 0};
  add_object_node(1, -1, turned, {}, {2, 1, 1}, {std::sqrt(0.5f), 0, 0, std::sqrt(0.5f)});  // 90 degrees about z
  ASSERT_EQ(update_at(0), SCENE_OK);
  expect_vector(mesh->vertices[0].transformed_position, {3, 2, 3});
  expect_vector(mesh->transformed_box_min, {1, 2, 3});
  expect_vector(mesh->transformed_box_max, {3, 2, 3});
  EXPECT_NEAR(turned->vertices[0].transformed_position.y, 2, 1e-6);
  EXPECT_NEAR(turned->vertices[0].transformed_normal.y, 1, 1e-6);
}

// Each node kind reads its own slots; an object parent moves cameras, lights and their targets.
TEST_F(FrameUpdate, EveryNodeKindReadsItsSlotsAndObjectParentsMoveCamerasLightsAndTargets) {
  add_object_node(0, -1, add_mesh(1, {}), {1, 2, 3}, {2, 2, 2});
  Camera* camera = add<Camera>(NODE_CAMERA, 2);
  add_node(ANIM_CAMERA, 1, 0, camera, {1, 0, 0});
  add_node(ANIM_CAMERA_TARGET, 2, 0, camera, {0, 1, 0});
  Light* light = add<Light>(NODE_LIGHT, 3);
  TrackSet& spot = *add_node(ANIM_SPOT, 3, 0, light, {0, 0, 1})->tracks;
  spot.slots[LIGHT_SLOT_COLOR] = constant({0.5f, 0.25f, 1});
  spot.slots[SPOT_SLOT_ROLL] = constant({45, 0, 0});
  add_node(ANIM_LIGHT_TARGET, 4, 0, light, {1, 1, 1});
  Ambient* ambient = add<Ambient>(NODE_AMBIENT, 1029);
  add_node(ANIM_AMBIENT, 5, -1, ambient, {0.1f, 0.2f, 0.3f});  // its colour is slot 0
  ASSERT_EQ(update_at(0), SCENE_OK);
  EXPECT_EQ(light->roll, 45.0f);
  expect_vector(camera->position, {3, 2, 3});
  expect_vector(camera->target, {1, 4, 3});
  expect_vector(light->position, {1, 2, 5});
  expect_vector(light->target, {3, 4, 5});
  expect_vector(light->color, {0.5f, 0.25f, 1});
  expect_vector(ambient->color, {0.1f, 0.2f, 0.3f});
  set_flags(LIB_TRANSFORM);  // without LIB_HIERARCHY children keep their own placement
  ASSERT_EQ(update_at(0), SCENE_OK);
  expect_vector(camera->position, {1, 0, 0});
  expect_vector(light->target, {1, 1, 1});
}

// Cameras, lights and targets without a position track are moved by their parent from where
// they were loaded, on every update: frame 5 gives the same values after one update, after
// frames 0 to 5, and after ten updates of frame 5, so that a picture depends on the show time
// only, not on how many frames were drawn before it.
TEST_F(FrameUpdate, NodesWithoutPositionTracksDoNotDriftUnderTheirParent) {
  add_object_node(0, -1, add_mesh(1, {}), {10, 0, 0});
  Camera* camera = add<Camera>(NODE_CAMERA, 2);
  camera->position = {1, 2, 3};
  camera->target = {0, 0, 9};
  ASSERT_EQ(scene_add_anim_node(ANIM_CAMERA, 1, 0, nullptr, camera), SCENE_OK);
  ASSERT_EQ(scene_add_anim_node(ANIM_CAMERA_TARGET, 2, 0, nullptr, camera), SCENE_OK);
  Light* spot = add<Light>(NODE_LIGHT, 3);
  spot->position = {4, 5, 6};
  spot->target = {7, 8, 9};
  ASSERT_EQ(scene_add_anim_node(ANIM_SPOT, 3, 0, nullptr, spot), SCENE_OK);
  ASSERT_EQ(scene_add_anim_node(ANIM_LIGHT_TARGET, 4, 0, nullptr, spot), SCENE_OK);
  Light* lamp = add<Light>(NODE_LIGHT, 4);
  lamp->position = {0, 1, 0};
  ASSERT_EQ(scene_add_anim_node(ANIM_OMNI, 5, 1, nullptr, lamp), SCENE_OK);  // carried by the camera

  struct Expected {
    const Vector3* field;
    Vector3 value;
  };
  const Expected expected[] = {
      {&camera->position, {11, 2, 3}}, {&camera->target, {10, 0, 9}}, {&spot->position, {14, 5, 6}},
      {&spot->target, {17, 8, 9}},     {&lamp->position, {11, 3, 3}},
  };
  const std::vector<float> runs[] = {{5}, {0, 1, 2, 3, 4, 5}, {5, 5, 5, 5, 5, 5, 5, 5, 5, 5}};
  for (const std::vector<float>& frames : runs) {
    for (float frame : frames) ASSERT_EQ(update_at(frame), SCENE_OK);
    for (const Expected& e : expected) {
      EXPECT_EQ(e.field->x, e.value.x) << frames.size() << " updates";
      EXPECT_EQ(e.field->y, e.value.y) << frames.size() << " updates";
      EXPECT_EQ(e.field->z, e.value.z) << frames.size() << " updates";
    }
  }
}

TEST_F(FrameUpdate, HideTrackSetsTheHiddenBitAndKeepsTheOthers) {
  Mesh* mesh = add_mesh(1, {});
  mesh->flags = MESH_FILE_HIDDEN | MESH_DUMMY;  // other bits stay as they are
  add_object_node(0, -1, mesh, {0, 0, 0})->tracks->slots[OBJECT_SLOT_HIDE] =
      track_of({0, 10}, [](Key& k, int i) { key_set_int(k, i == 0 ? 1 : 0); });
  Mesh* plain = add_mesh(2, {});  // no morph or hide track: neither morphing nor hidden
  plain->flags = MESH_MORPHING | MESH_HIDDEN;
  add_object_node(1, -1, plain, {0, 0, 0});
  ASSERT_EQ(update_at(5), SCENE_OK);
  EXPECT_EQ(mesh->flags, MESH_HIDDEN | MESH_FILE_HIDDEN | MESH_DUMMY);
  ASSERT_EQ(update_at(10.5f), SCENE_OK);
  EXPECT_EQ(mesh->flags, MESH_FILE_HIDDEN | MESH_DUMMY);
  EXPECT_EQ(plain->flags, 0u);
}

TEST_F(FrameUpdate, MorphAtAQuarterUsesThePointAQuarterOfTheWay) {
  add_morph();
  ASSERT_EQ(update_at(1), SCENE_OK);
  EXPECT_EQ(morphing->flags, MESH_MORPHING);
  expect_vector(morphing->vertices[0].transformed_position, {1, 2, 4});  // (1, 2, -1) placed at (0, 0, 5)
  expect_vector(morphing->transformed_box_max, {1, 2, 5});
  expect_vector(morphing->vertices[0].transformed_normal, {0, 0, 0});  // its own, not blended
  set_flags(LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM | LIB_MORPH_NORMALS);
  ASSERT_EQ(update_at(1), SCENE_OK);
  expect_vector(morphing->vertices[0].transformed_normal, {0, 0, 0.25f});
}

TEST_F(FrameUpdate, MorphWithAMissingOrTooSmallMeshIsNotApplied) {
  struct Case {
    int source_vertices, target_faces, source_id, target_id;
  } cases[] = {{1, 1, 99, 11}, {1, 1, 10, 99}, {0, 1, 10, 11}, {1, 0, 10, 11}, {1, 1, 2, 11}};
  for (const Case& c : cases) {
    SetUp();
    set_flags(LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM | LIB_MORPH_NORMALS);
    add_morph(c.source_vertices, c.target_faces, c.source_id, c.target_id);
    add_camera(2, 5, {0, 0, -20}, {0, 0, 0});  // id 2 names a camera, not a mesh
    ASSERT_EQ(update_at(1), SCENE_OK);
    EXPECT_EQ(morphing->flags, MESH_MORPHING);  // the track still says morphing
    expect_vector(morphing->vertices[0].transformed_position, {100, 100, 105});
  }
}

TEST_F(FrameUpdate, UpdatesAllocateNothingOnceRunning) {
#if !defined(COUNTING_ALLOCATIONS)
  GTEST_SKIP() << "allocations are counted only without the sanitizer";
#else
  set_flags(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM | LIB_RECALC_NORMALS);
  add_morph();
  camera_set_active(add_camera(2, 5, {0, 0, -20}, {0, 0, 0}));
  ASSERT_EQ(update_at(0), SCENE_OK);  // the first recomputation sizes its scratch storage
  const long before = allocations.load();
  for (int frame = 0; frame < 20; ++frame) ASSERT_EQ(update_at(float(frame) * 0.5f), SCENE_OK);
  EXPECT_EQ(allocations.load(), before);
#endif
}
