// The scene model: library state, the object and animation-node lists, tracks in slots,
// freeing, the load stages' failure paths and the face list.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "scene/frame_update.h"
#include "scene/scene.h"
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
    object->name = name;
    object->id = id;
    T* raw = object.get();
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

std::filesystem::path write_scratch(const std::string& test, const std::vector<unsigned char>& bytes) {
  std::filesystem::path path = scratch_dir(test) / "scene.bin";
  write_file_bytes(path, bytes);
  return path;
}

}  // namespace

TEST(LibInit, SetsFlagsAndClearsActiveSceneAndCamera) {
  Scene scene;
  Camera camera;
  scene_set_active(&scene);
  camera_set_active(&camera);
  EXPECT_EQ(lib_init(15), SCENE_OK);
  EXPECT_EQ(lib_flags(), LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
  EXPECT_EQ(scene_get_active(), nullptr);
  EXPECT_EQ(camera_get_active(), nullptr);
  lib_init(0);
}

TEST(SceneSetActive, NullGivesTen) {
  lib_init(0);
  EXPECT_EQ(scene_set_active(nullptr), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(camera_set_active(nullptr), SCENE_OK);
}

TEST(SceneFree, FreeingTheActiveSceneLeavesNoActiveScene) {
  lib_init(0);
  std::unique_ptr<Scene> scene;
  ASSERT_EQ(scene_new(scene), SCENE_OK);
  scene_set_active(scene.get());
  scene_free(scene.release());
  EXPECT_EQ(scene_get_active(), nullptr);
}

TEST(ListOperations, WithoutActiveSceneGiveNine) {
  lib_init(0);
  SceneNode* found = nullptr;
  EXPECT_EQ(scene_find_by_name("a", found), SCENE_NO_ACTIVE);
  EXPECT_EQ(scene_find_by_id(0, found), SCENE_NO_ACTIVE);
  EXPECT_EQ(scene_add_object(NODE_MESH, std::make_unique<Mesh>()), SCENE_NO_ACTIVE);
  EXPECT_EQ(scene_add_anim_node(ANIM_OBJECT, 0, -1, nullptr, nullptr), SCENE_NO_ACTIVE);
  EXPECT_EQ(scene_set_track(TRACK_KIND_POSITION, 0, two_key_track()), SCENE_NO_ACTIVE);
}

TEST_F(SceneLists, EmptyObjectListGivesNineForLookups) {
  SceneNode* found = nullptr;
  EXPECT_EQ(scene_find_by_name("a", found), SCENE_NO_ACTIVE);
  EXPECT_EQ(scene_find_by_id(0, found), SCENE_NO_ACTIVE);
  EXPECT_EQ(scene_set_track(TRACK_KIND_POSITION, 0, two_key_track()), SCENE_NO_ACTIVE);
}

TEST_F(SceneLists, ObjectsAreListedInInsertionOrderBothWays) {
  Camera* camera = add<Camera>(NODE_CAMERA, "cam", 0);
  Mesh* mesh = add<Mesh>(NODE_MESH, "box", 1);
  Light* light = add<Light>(NODE_LIGHT, "lamp", 2);
  ASSERT_NE(scene->first_object, nullptr);
  EXPECT_EQ(scene->first_object->object.get(), camera);
  EXPECT_EQ(scene->first_object->next->object.get(), mesh);
  EXPECT_EQ(scene->last_object->object.get(), light);
  EXPECT_EQ(scene->last_object->prev->prev, scene->first_object);
  EXPECT_EQ(scene->first_object->kind, NODE_CAMERA);
  EXPECT_EQ(scene->last_object->next, nullptr);
  EXPECT_EQ(scene_add_object(NODE_MESH, nullptr), SCENE_NULL_ARGUMENT);
}

TEST_F(SceneLists, FindByNameMissingNameGivesZeroAndNone) {
  add<Mesh>(NODE_MESH, "box", 0);
  SceneNode* found = scene->first_object;
  EXPECT_EQ(scene_find_by_name("Box", found), SCENE_OK);
  EXPECT_EQ(found, nullptr);
}

TEST_F(SceneLists, FindByNameAndIdGiveTheEarlierOfTwoMatches) {
  Camera* camera = add<Camera>(NODE_CAMERA, "twin", 5);
  add<Mesh>(NODE_MESH, "twin", 5);
  SceneNode* found = nullptr;
  EXPECT_EQ(scene_find_by_name("twin", found), SCENE_OK);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->object.get(), camera);
  EXPECT_EQ(scene_find_by_id(5, found), SCENE_OK);
  EXPECT_EQ(found->object.get(), camera);
  EXPECT_EQ(scene_find_by_id(6, found), SCENE_OK);
  EXPECT_EQ(found, nullptr);
}

TEST_F(SceneLists, ChildrenAreListedInReverseOrderOfInsertion) {
  AnimNode* parent = add_node(ANIM_OBJECT, 0, -1);
  AnimNode* p1 = add_node(ANIM_OBJECT, 1, 0);
  AnimNode* p2 = add_node(ANIM_OBJECT, 2, 0);
  EXPECT_EQ(parent->first_child, p2);
  EXPECT_EQ(p2->next_sibling, p1);
  EXPECT_EQ(p1->next_sibling, nullptr);
  EXPECT_EQ(p1->parent, parent);
  EXPECT_EQ(parent->parent, nullptr);
  EXPECT_EQ(scene->first_anim_node, parent);
  EXPECT_EQ(scene->last_anim_node, p2);
  EXPECT_EQ(p2->prev, p1);
  EXPECT_NE(p1->tracks, nullptr);
}

TEST_F(SceneLists, ParentAddedLaterIsNeverLinked) {
  AnimNode* child = add_node(ANIM_OBJECT, 1, 7);
  AnimNode* late = add_node(ANIM_OBJECT, 7, -1);
  EXPECT_EQ(child->parent, nullptr);
  EXPECT_EQ(late->first_child, nullptr);
}

TEST_F(SceneLists, NodeNamingItsOwnIdAsParentIsNotItsOwnChild) {
  AnimNode* node = add_node(ANIM_OBJECT, 3, 3);
  EXPECT_EQ(node->parent, nullptr);
  EXPECT_EQ(node->first_child, nullptr);
}

TEST_F(SceneLists, SetTrackUnknownNodeGives256) {
  add_node(ANIM_OBJECT, 0, -1);
  EXPECT_EQ(scene_set_track(TRACK_KIND_POSITION, 9, two_key_track()), SCENE_NOT_FOUND);
  EXPECT_EQ(scene_set_track(TRACK_KIND_POSITION, 0, nullptr), SCENE_NULL_ARGUMENT);
}

TEST_F(SceneLists, SetTrackStoresIntoTheKindsSlotOfTheFirstNodeWithTheId) {
  AnimNode* first = add_node(ANIM_SPOT, 4, -1);
  AnimNode* second = add_node(ANIM_SPOT, 4, -1);
  auto track = two_key_track();
  Track* raw = track.get();
  EXPECT_EQ(scene_set_track(TRACK_KIND_ROLL, 4, std::move(track)), SCENE_OK);
  EXPECT_EQ(first->tracks->slots[SPOT_SLOT_ROLL].get(), raw);
  EXPECT_EQ(second->tracks->slots[SPOT_SLOT_ROLL], nullptr);
  // A second track for the same slot replaces (and frees) the first.
  EXPECT_EQ(scene_set_track(TRACK_KIND_ROLL, 4, two_key_track()), SCENE_OK);
  EXPECT_NE(first->tracks->slots[SPOT_SLOT_ROLL].get(), raw);
}

TEST_F(SceneLists, RotationTrackForACameraIsDroppedAndSlotsKept) {
  AnimNode* camera = add_node(ANIM_CAMERA, 0, -1);
  EXPECT_EQ(scene_set_track(TRACK_KIND_ROTATION, 0, two_key_track()), SCENE_OK);
  for (const auto& slot : camera->tracks->slots) EXPECT_EQ(slot, nullptr);
}

TEST(TrackSetSlot, TableOfKindsAndSlots) {
  EXPECT_EQ(track_set_slot(ANIM_CAMERA, TRACK_KIND_POSITION), 0);
  EXPECT_EQ(track_set_slot(ANIM_CAMERA, TRACK_KIND_FOV), 1);
  EXPECT_EQ(track_set_slot(ANIM_CAMERA, TRACK_KIND_ROLL), 2);
  EXPECT_EQ(track_set_slot(ANIM_CAMERA_TARGET, TRACK_KIND_POSITION), 0);
  EXPECT_EQ(track_set_slot(ANIM_OMNI, TRACK_KIND_COLOR), 1);
  EXPECT_EQ(track_set_slot(ANIM_OMNI, TRACK_KIND_ROLL), -1);
  EXPECT_EQ(track_set_slot(ANIM_SPOT, TRACK_KIND_COLOR), 1);
  EXPECT_EQ(track_set_slot(ANIM_SPOT, TRACK_KIND_ROLL), 2);
  EXPECT_EQ(track_set_slot(ANIM_LIGHT_TARGET, TRACK_KIND_POSITION), 0);
  EXPECT_EQ(track_set_slot(ANIM_OBJECT, TRACK_KIND_SCALE), 1);
  EXPECT_EQ(track_set_slot(ANIM_OBJECT, TRACK_KIND_ROTATION), 2);
  EXPECT_EQ(track_set_slot(ANIM_OBJECT, TRACK_KIND_MORPH), 3);
  EXPECT_EQ(track_set_slot(ANIM_OBJECT, TRACK_KIND_HIDE), 4);
  EXPECT_EQ(track_set_slot(ANIM_OBJECT, TRACK_KIND_COLOR), -1);
  EXPECT_EQ(track_set_slot(ANIM_AMBIENT, TRACK_KIND_COLOR), 0);
  EXPECT_EQ(track_set_slot(ANIM_AMBIENT, TRACK_KIND_POSITION), -1);
  EXPECT_EQ(track_set_slot(3, TRACK_KIND_POSITION), -1);
  EXPECT_EQ(track_set_slot_count(ANIM_SPOT), 3);
  EXPECT_EQ(track_set_slot_count(ANIM_OBJECT), 5);
}

TEST_F(SceneLists, FreeObjectsEmptiesTheListAndUnlinksAnimatedObjects) {
  Camera* camera = add<Camera>(NODE_CAMERA, "cam", 0);
  add<Material>(NODE_MATERIAL, "mat", 1);
  AnimNode* node = add_node(ANIM_CAMERA, 0, -1, camera);
  camera_set_active(camera);
  EXPECT_EQ(scene_free_objects(scene.get()), SCENE_OK);
  EXPECT_EQ(scene->first_object, nullptr);
  EXPECT_EQ(scene->last_object, nullptr);
  EXPECT_EQ(node->object, nullptr);
  EXPECT_EQ(camera_get_active(), nullptr);
  EXPECT_EQ(scene_free_objects(scene.get()), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(scene_free_objects(nullptr), SCENE_NULL_ARGUMENT);
}

TEST_F(SceneLists, FreeMotionEmptiesTheNodeListWithItsTracks) {
  add_node(ANIM_OBJECT, 0, -1);
  scene_set_track(TRACK_KIND_POSITION, 0, two_key_track());
  EXPECT_EQ(scene_free_motion(scene.get()), SCENE_OK);
  EXPECT_EQ(scene->first_anim_node, nullptr);
  EXPECT_EQ(scene->last_anim_node, nullptr);
  EXPECT_EQ(scene_free_motion(scene.get()), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(scene_free_motion(nullptr), SCENE_NULL_ARGUMENT);
}

TEST_F(SceneLists, FaceListHasRoomForEveryMeshNotHiddenInTheFile) {
  Mesh* shown = add<Mesh>(NODE_MESH, "a", 0);
  Mesh* hidden_now = add<Mesh>(NODE_MESH, "b", 1);
  Mesh* hidden_in_file = add<Mesh>(NODE_MESH, "c", 2);
  add<Camera>(NODE_CAMERA, "cam", 3);
  shown->faces.resize(3);
  hidden_now->faces.resize(5);
  hidden_now->flags = MESH_HIDDEN;  // hidden at frame 0 only: its hide track may show it later
  hidden_in_file->faces.resize(7);
  hidden_in_file->flags = MESH_FILE_HIDDEN;
  EXPECT_EQ(scene_prepare_face_list(*scene), SCENE_OK);
  EXPECT_EQ(scene->visible_face_count, 8);
  EXPECT_EQ(scene->face_list.size(), 8u);
}

TEST(SceneLoad, MissingFileGivesTwoAndKeepsTheActiveScene) {
  lib_init(0);
  Scene other, target;
  scene_set_active(&other);
  EXPECT_EQ(scene_load("/nonexistent/scene.3ds", &target), SCENE_CANNOT_OPEN);
  EXPECT_EQ(scene_load_motion("/nonexistent/scene.3ds", &target), SCENE_CANNOT_OPEN);
  EXPECT_EQ(scene_get_active(), &other);
  EXPECT_EQ(scene_load(nullptr, &target), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(scene_load("x", nullptr), SCENE_NULL_ARGUMENT);
  lib_init(0);
}

TEST_F(SceneLists, SceneStageClearsTheSceneAndFailsOnAnUnsupportedFile) {
  // Byte 28 below 2 marks a file version that the 3DS driver refuses.
  std::filesystem::path path = write_scratch("SceneStageUnsupported", std::vector<unsigned char>(64, 0));
  Scene target;
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
}

TEST_F(SceneLists, MotionStageFailureFreesTheNodesAndRestoresTheActiveScene) {
  std::filesystem::path path = write_scratch("MotionStageUnsupported", std::vector<unsigned char>(64, 0));
  Scene target;
  scene_set_active(&target);
  add_node(ANIM_OBJECT, 0, -1);
  scene_set_track(TRACK_KIND_POSITION, 0, two_key_track());
  scene_set_active(scene.get());
  EXPECT_EQ(scene_load_motion(path.c_str(), &target), SCENE_NOT_SUPPORTED);
  EXPECT_EQ(target.first_anim_node, nullptr);
  EXPECT_EQ(scene_get_active(), scene.get());
}

TEST(Load3dMesh, UnreadableFileGivesNone) {
  EXPECT_EQ(load_3d_mesh("/nonexistent/scene.3ds"), nullptr);
  std::filesystem::path path = write_scratch("Load3dMeshUnsupported", std::vector<unsigned char>(64, 0));
  EXPECT_EQ(load_3d_mesh(path.c_str()), nullptr);
  EXPECT_EQ(lib_flags(), 15u);
  lib_init(0);
}

TEST_F(SceneLists, FrameRangeNeedsNodesAndANonEmptyRange) {
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
}

TEST_F(SceneLists, SetFrameAcceptsTheStartAndRefusesTheEnd) {
  add_node(ANIM_OBJECT, 0, -1);
  scene->start_frame = 10;
  scene->end_frame = 100;
  EXPECT_EQ(scene_set_frame(10), SCENE_OK);
  EXPECT_EQ(scene->current_frame, 10.0f);
  EXPECT_EQ(scene_set_frame(100), SCENE_BAD_FRAME);
  EXPECT_EQ(scene_set_frame(9.5f), SCENE_BAD_FRAME);
  EXPECT_EQ(scene->current_frame, 10.0f);
  EXPECT_EQ(scene_set_frame(99.5f), SCENE_OK);
  EXPECT_EQ(scene->current_frame, 99.5f);
}

TEST_F(SceneLists, UpdateNeedsBothLists) {
  EXPECT_EQ(scene_update(), SCENE_NO_ACTIVE);
  add_node(ANIM_OBJECT, 0, -1);
  EXPECT_EQ(scene_update(), SCENE_NO_ACTIVE);
  add<Mesh>(NODE_MESH, "m", 0);
  EXPECT_EQ(scene_update(), SCENE_OK);
}
