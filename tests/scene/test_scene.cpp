// The scene model: library state, the object and animation-node lists, tracks in slots,
// freeing, the load stages' failure paths (and the scene file's), the face count, and the
// load-time and per-frame normals on worked triangles.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <vector>

#include "scene/frame_update.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "testdata.h"

namespace {

// A fresh active scene for each test; the library state is reset around it.
class SceneLists : public ::testing::Test {
 protected:
  std::unique_ptr<Scene> scene;
  void SetUp() override {
    lib_init(0);
    ASSERT_EQ(scene_new(scene), SCENE_OK);
    ASSERT_EQ(scene_set_active(scene.get()), SCENE_OK);
  }
  void TearDown() override { lib_init(0); }

  template <class T>
  T* add(SceneNodeKind kind, const char* name, std::int32_t id) {
    auto object = std::make_unique<T>();
    T* raw = object.get();
    object->name = name;
    object->id = id;
    EXPECT_EQ(scene_add_object(kind, std::move(object)), SCENE_OK);
    return raw;
  }

  AnimNode* add_node(AnimNodeKind kind, std::int32_t id, std::int32_t parent, SceneObject* object = nullptr) {
    EXPECT_EQ(scene_add_anim_node(kind, id, parent, std::make_unique<TrackSet>(), object), SCENE_OK);
    return scene->last_anim_node;
  }
};

std::unique_ptr<Track> two_key_track() {
  auto track = track_new();
  track_append_key(track.get(), key_new(), 0);
  track_append_key(track.get(), key_new(), 10);
  return track;
}

Mesh mesh_of(std::vector<Vector3> points, std::vector<std::array<std::uint32_t, 3>> faces) {
  Mesh mesh;
  for (const Vector3& p : points) mesh.vertices.emplace_back().position = p;
  for (const auto& f : faces) {
    Face& face = mesh.faces.emplace_back();
    face.a = f[0];
    face.b = f[1];
    face.c = f[2];
  }
  return mesh;
}

bool same_bits(const Vector3& a, const Vector3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// Freeing the active scene leaves none active.
TEST(LibInit, ClearsActiveSceneAndCamera) {
  Scene scene;
  Camera camera;
  scene_set_active(&scene);
  camera_set_active(&camera);
  EXPECT_EQ(lib_init(15), SCENE_OK);
  EXPECT_EQ(scene_get_active(), nullptr);
  EXPECT_EQ(camera_get_active(), nullptr);
  std::unique_ptr<Scene> owned;
  ASSERT_EQ(scene_new(owned), SCENE_OK);
  scene_set_active(owned.get());
  scene_free(owned.release());
  EXPECT_EQ(scene_get_active(), nullptr);
  lib_init(0);
}

// Without an active scene, or with its lists empty, list operations give 9; missing arguments 10.
TEST_F(SceneLists, NoActiveSceneOrEmptyListsGiveNineAndMissingArgumentsTen) {
  SceneNode* found = nullptr;
  for (Scene* active : {static_cast<Scene*>(nullptr), scene.get()}) {
    lib_init(0);
    if (active != nullptr) scene_set_active(active);
    EXPECT_EQ(scene_find_by_name("a", found), SCENE_NO_ACTIVE);
    EXPECT_EQ(scene_find_by_id(0, found), SCENE_NO_ACTIVE);
    EXPECT_EQ(scene_set_track(TRACK_KIND_POSITION, 0, two_key_track()), SCENE_NO_ACTIVE);
    EXPECT_EQ(scene_update(), SCENE_NO_ACTIVE);
  }
  EXPECT_EQ(scene_set_active(nullptr), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(scene_add_object(NODE_MESH, nullptr), SCENE_NULL_ARGUMENT);
  add_node(ANIM_OBJECT, 0, -1);
  EXPECT_EQ(scene_update(), SCENE_NO_ACTIVE);  // nodes but no objects
  EXPECT_EQ(scene_set_track(TRACK_KIND_POSITION, 9, two_key_track()), SCENE_NOT_FOUND);
  EXPECT_EQ(scene_set_track(TRACK_KIND_POSITION, 0, nullptr), SCENE_NULL_ARGUMENT);
  add<Mesh>(NODE_MESH, "m", 0);
  EXPECT_EQ(scene_update(), SCENE_OK);
  lib_init(0);
  EXPECT_EQ(scene_add_object(NODE_MESH, std::make_unique<Mesh>()), SCENE_NO_ACTIVE);
  EXPECT_EQ(scene_add_anim_node(ANIM_OBJECT, 0, -1, nullptr, nullptr), SCENE_NO_ACTIVE);
}

TEST_F(SceneLists, ObjectsInInsertionOrderAndLookupsFindTheEarlierMatch) {
  Camera* camera = add<Camera>(NODE_CAMERA, "twin", 5);
  Mesh* mesh = add<Mesh>(NODE_MESH, "twin", 5);
  Light* light = add<Light>(NODE_LIGHT, "lamp", 2);
  EXPECT_EQ(scene->first_object->next->object.get(), mesh);
  EXPECT_EQ(scene->last_object->object.get(), light);
  SceneNode* found = nullptr;
  EXPECT_EQ(scene_find_by_name("twin", found), SCENE_OK);
  EXPECT_EQ(found, scene->first_object);
  EXPECT_EQ(scene_find_by_id(5, found), SCENE_OK);
  EXPECT_EQ(found->object.get(), camera);
  // missing: code 0 and no node
  EXPECT_EQ(scene_find_by_id(6, found), SCENE_OK);
  EXPECT_EQ(found, nullptr);
  found = scene->first_object;
  EXPECT_EQ(scene_find_by_name("Twin", found), SCENE_OK);
  EXPECT_EQ(found, nullptr);
}

TEST_F(SceneLists, ChildrenInReverseOrderAndParentsAddedLaterOrThemselvesOrTwiceNeverLinked) {
  AnimNode* parent = add_node(ANIM_OBJECT, 0, -1);
  AnimNode* p1 = add_node(ANIM_OBJECT, 1, 0);
  AnimNode* p2 = add_node(ANIM_OBJECT, 2, 0);
  EXPECT_EQ(parent->first_child, p2);
  EXPECT_EQ(p2->next_sibling, p1);
  EXPECT_EQ(p1->next_sibling, nullptr);
  EXPECT_EQ(p1->parent, parent);
  AnimNode* child = add_node(ANIM_OBJECT, 4, 7);
  AnimNode* late = add_node(ANIM_OBJECT, 7, -1);
  EXPECT_EQ(child->parent, nullptr);
  EXPECT_EQ(late->first_child, nullptr);
  AnimNode* self = add_node(ANIM_OBJECT, 3, 3);
  EXPECT_EQ(self->parent, nullptr);
  EXPECT_EQ(self->first_child, nullptr);
  // An id given twice stays with the first node: the later one is nobody's parent.
  AnimNode* twice = add_node(ANIM_OBJECT, 0, -1);
  AnimNode* last = add_node(ANIM_OBJECT, 8, 0);
  EXPECT_EQ(last->parent, parent);
  EXPECT_EQ(twice->first_child, nullptr);
}

TEST_F(SceneLists, SetTrackFillsTheKindsSlotOfTheFirstNodeWithTheId) {
  AnimNode* first = add_node(ANIM_SPOT, 4, -1);
  AnimNode* second = add_node(ANIM_SPOT, 4, -1);
  auto track = two_key_track();
  Track* raw = track.get();
  EXPECT_EQ(scene_set_track(TRACK_KIND_ROLL, 4, std::move(track)), SCENE_OK);
  EXPECT_EQ(first->tracks->slots[SPOT_SLOT_ROLL].get(), raw);
  EXPECT_EQ(second->tracks->slots[SPOT_SLOT_ROLL], nullptr);
  EXPECT_EQ(scene_set_track(TRACK_KIND_ROLL, 4, two_key_track()), SCENE_OK);  // replaces (and frees) the first
  EXPECT_NE(first->tracks->slots[SPOT_SLOT_ROLL].get(), raw);
  AnimNode* camera = add_node(ANIM_CAMERA, 0, -1);  // a camera has no rotation slot: dropped
  EXPECT_EQ(scene_set_track(TRACK_KIND_ROTATION, 0, two_key_track()), SCENE_OK);
  for (const auto& slot : camera->tracks->slots) EXPECT_EQ(slot, nullptr);
}

TEST_F(SceneLists, FreeingEmptiesTheListsUnlinksObjectsAndGivesTenTheSecondTime) {
  Camera* camera = add<Camera>(NODE_CAMERA, "cam", 0);
  add<Material>(NODE_MATERIAL, "mat", 1);
  AnimNode* node = add_node(ANIM_CAMERA, 0, -1, camera);
  scene_set_track(TRACK_KIND_POSITION, 0, two_key_track());
  camera_set_active(camera);
  EXPECT_EQ(scene_free_objects(scene.get()), SCENE_OK);
  EXPECT_EQ(scene->first_object, nullptr);
  EXPECT_EQ(scene->last_object, nullptr);
  EXPECT_EQ(node->object, nullptr);
  EXPECT_EQ(camera_get_active(), nullptr);
  EXPECT_EQ(scene_free_motion(scene.get()), SCENE_OK);
  EXPECT_EQ(scene->first_anim_node, nullptr);
  EXPECT_EQ(scene->last_anim_node, nullptr);
  for (Scene* s : {scene.get(), static_cast<Scene*>(nullptr)}) {
    EXPECT_EQ(scene_free_objects(s), SCENE_NULL_ARGUMENT);
    EXPECT_EQ(scene_free_motion(s), SCENE_NULL_ARGUMENT);
  }
}

// Counted, not allocated: the render pass sizes the list when it first gathers into it.
TEST_F(SceneLists, FaceCountCoversEveryMeshNotHiddenInTheFileAndTheListStaysEmpty) {
  add<Mesh>(NODE_MESH, "a", 0)->faces.resize(3);
  Mesh* hidden_now = add<Mesh>(NODE_MESH, "b", 1);
  hidden_now->faces.resize(5);
  hidden_now->flags = MESH_HIDDEN;  // hidden at frame 0 only: its hide track may show it later
  Mesh* hidden_in_file = add<Mesh>(NODE_MESH, "c", 2);
  hidden_in_file->faces.resize(7);
  hidden_in_file->flags = MESH_FILE_HIDDEN;
  add<Camera>(NODE_CAMERA, "cam", 3);
  EXPECT_EQ(scene_prepare_face_list(*scene), SCENE_OK);
  EXPECT_EQ(scene->visible_face_count, 8);
  EXPECT_EQ(scene->face_list.capacity(), 0u);
}

// A stage clears its target first, restores the active scene, and a failed stage leaves nothing.
TEST_F(SceneLists, LoadStagesFailWithTheirCodesClearTheTargetAndKeepTheActiveScene) {
  Scene target;
  const std::filesystem::path dir = scratch_dir("SceneLoad"), path = dir / "scene.bin";
  write_file_bytes(path, std::vector<unsigned char>(64, 0));  // byte 28 below 2: a version the 3DS driver refuses
  EXPECT_EQ(scene_load("/nonexistent/scene.3ds", &target), SCENE_CANNOT_OPEN);
  EXPECT_EQ(scene_load_motion("/nonexistent/scene.3ds", &target), SCENE_CANNOT_OPEN);
  EXPECT_EQ(scene_load(dir.c_str(), &target), SCENE_READ_ERROR);
  EXPECT_EQ(scene_file_store(SceneFile{}, "/nonexistent/dir/file.bin"), SCENE_CANNOT_OPEN);
  EXPECT_EQ(scene_load(nullptr, &target), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(scene_load("x", nullptr), SCENE_NULL_ARGUMENT);
  target.start_frame = target.end_frame = 5;
  scene_set_active(&target);
  add<Mesh>(NODE_MESH, "old", 0);
  add_node(ANIM_OBJECT, 0, -1);
  scene_set_active(scene.get());
  EXPECT_EQ(scene_load(path.c_str(), &target), SCENE_NOT_SUPPORTED);
  EXPECT_EQ(target.first_object, nullptr);
  EXPECT_EQ(target.first_anim_node, nullptr);
  EXPECT_EQ(target.end_frame, 0.0f);
  EXPECT_EQ(scene_get_active(), scene.get());
  EXPECT_EQ(load_3d_mesh("/nonexistent/scene.3ds"), nullptr);
  EXPECT_EQ(load_3d_mesh(path.c_str()), nullptr);
  EXPECT_EQ(lib_flags(), 15u);
}

TEST_F(SceneLists, FrameRangeNeedsNodesAndSetFrameAcceptsTheStartAndRefusesTheEnd) {
  float start = -1, end = -1;
  EXPECT_EQ(scene_get_frame_range(start, end), SCENE_NO_ACTIVE);
  EXPECT_EQ(scene_set_frame(0), SCENE_NO_ACTIVE);
  add_node(ANIM_OBJECT, 0, -1);
  EXPECT_EQ(scene_get_frame_range(start, end), SCENE_EMPTY_RANGE);
  scene->start_frame = 10;
  scene->end_frame = 100;
  EXPECT_EQ(scene_get_frame_range(start, end), SCENE_OK);
  EXPECT_EQ(start, 10.0f);
  EXPECT_EQ(end, 100.0f);
  EXPECT_EQ(scene_set_frame(10), SCENE_OK);
  EXPECT_EQ(scene_set_frame(100), SCENE_BAD_FRAME);
  EXPECT_EQ(scene_set_frame(9.5f), SCENE_BAD_FRAME);
  EXPECT_EQ(scene->current_frame, 10.0f);
  EXPECT_EQ(scene_set_frame(99.5f), SCENE_OK);
  EXPECT_EQ(scene->current_frame, 99.5f);
}

// ---- meshes ----

TEST(MeshComputeNormals, WorkedTriangles) {
  // +z triangle; a vertex no face uses keeps (0, 0, 0).
  Mesh flat = mesh_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}}, {{0, 1, 2}});
  mesh_compute_normals(flat);
  EXPECT_EQ(flat.faces[0].normal.z, 1.0f);
  EXPECT_EQ(flat.vertices[0].normal.z, 1.0f);
  EXPECT_EQ(flat.vertices[2].normal.z, 1.0f);
  EXPECT_TRUE(same_bits(flat.vertices[3].normal, Vector3{}));
  Mesh point = mesh_of({{2, 2, 2}, {2, 2, 2}, {2, 2, 2}}, {{0, 1, 2}});  // coincident: zero
  mesh_compute_normals(point);
  EXPECT_TRUE(same_bits(point.faces[0].normal, Vector3{}));
  EXPECT_TRUE(same_bits(point.vertices[1].normal, Vector3{}));
  Mesh outside = mesh_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 9}, {0, 1, 2}});  // index 9 skipped
  mesh_compute_normals(outside);
  EXPECT_TRUE(same_bits(outside.faces[0].normal, Vector3{}));
  EXPECT_EQ(outside.vertices[0].normal.z, 1.0f);
  // Per frame the same from the transformed positions; the load-time normals stay.
  flat.vertices[1].transformed_position = {0, 0, 1};
  flat.vertices[2].transformed_position = {0, 1, 0};
  mesh_recompute_normals(flat);
  EXPECT_EQ(flat.faces[0].transformed_normal.x, -1.0f);
  EXPECT_EQ(flat.vertices[2].transformed_normal.x, -1.0f);
  EXPECT_TRUE(same_bits(flat.vertices[3].transformed_normal, Vector3{}));
  EXPECT_EQ(flat.vertices[2].normal.z, 1.0f);
}
