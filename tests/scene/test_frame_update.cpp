// The frame update: tracks into the objects by node kind, object matrices, the hierarchy,
// hide and morph flags, camera matrices, and the refusals that leave the scene unchanged.
#include <cmath>

#include "frame_update_fixture.h"

TEST_F(FrameUpdate, ObjectMatrixScalesThenMovesAndPlacesItsVertex) {
  Mesh* mesh = add_mesh(1, {{1, 0, 0}});
  mesh->box_max = {1, 0, 0};
  add_object_node(0, -1, mesh, {1, 2, 3}, {2, 2, 2});
  ASSERT_EQ(update_at(0), SCENE_OK);
  expect_matrix(mesh->matrix, {{{2, 0, 0, 1}, {0, 2, 0, 2}, {0, 0, 2, 3}}});
  // No active camera: transformed positions are world positions; the box is in world space.
  expect_vector(mesh->vertices[0].transformed_position, 3, 2, 3);
  expect_vector(mesh->transformed_box_min, 1, 2, 3);
  expect_vector(mesh->transformed_box_max, 3, 2, 3);
}

TEST_F(FrameUpdate, ObjectIsScaledBeforeItIsRotatedAndNormalsAreNotStretched) {
  Mesh* mesh = add_mesh(1, {{1, 0, 0}});
  mesh->vertices[0].normal = {1, 0, 0};
  const float half = std::sqrt(0.5f);
  add_object_node(0, -1, mesh, {0, 0, 0}, {2, 1, 1}, {half, 0, 0, half});  // a quarter turn about z
  ASSERT_EQ(update_at(0), SCENE_OK);
  EXPECT_NEAR(mesh->vertices[0].transformed_position.y, 2, 1e-6);  // stretched along x, then turned
  EXPECT_NEAR(mesh->vertices[0].transformed_normal.y, 1, 1e-6);
}

TEST_F(FrameUpdate, ChildObjectTakesItsParentsTransformAfterItsOwn) {
  Mesh* child = add_mesh(2, {{0, 0, 0}});
  add_object_node(0, -1, add_mesh(1, {}), {1, 2, 3}, {2, 2, 2});
  add_object_node(1, 0, child, {1, 0, 0});
  for (float frame : {0.0f, 1.0f}) {  // rebuilt from the tracks: never applied twice
    ASSERT_EQ(update_at(frame), SCENE_OK);
    expect_matrix(child->matrix, {{{2, 0, 0, 3}, {0, 2, 0, 2}, {0, 0, 2, 3}}});
  }
}

TEST_F(FrameUpdate, ObjectParentMovesCamerasLightsAndTargets) {
  add_object_node(0, -1, add_mesh(1, {}), {1, 2, 3}, {2, 2, 2});
  Camera* camera = add<Camera>(NODE_CAMERA, 2);
  add_node(ANIM_CAMERA, 1, 0, camera, {1, 0, 0});
  add_node(ANIM_CAMERA_TARGET, 2, 0, camera, {0, 1, 0});
  Light* light = add<Light>(NODE_LIGHT, 3);
  add_node(ANIM_SPOT, 3, 0, light, {0, 0, 1});
  add_node(ANIM_LIGHT_TARGET, 4, 0, light, {1, 1, 1});
  ASSERT_EQ(update_at(0), SCENE_OK);
  expect_vector(camera->position, 3, 2, 3);
  expect_vector(camera->target, 1, 4, 3);
  expect_vector(light->position, 1, 2, 5);
  expect_vector(light->target, 3, 4, 5);

  set_flags(LIB_TRANSFORM);  // without LIB_HIERARCHY children keep their own placement
  ASSERT_EQ(update_at(0), SCENE_OK);
  expect_vector(camera->position, 1, 0, 0);
  expect_vector(light->target, 1, 1, 1);
}

TEST_F(FrameUpdate, LightChildOfCameraIsOffsetByItsPositionWhateverItsOrientation) {
  for (const Vector3& target : {Vector3{10, 0, 10}, Vector3{0, 5, 0}, Vector3{10, -7, -3}}) {
    SetUp();
    add_camera(1, 1, {10, 0, 0}, target);
    scene->first_anim_node->tracks->slots[CAMERA_SLOT_ROLL] = constant({30, 0, 0});
    Light* light = add<Light>(NODE_LIGHT, 2);
    add_node(ANIM_OMNI, 3, 1, light, {0, 1, 0});
    for (float frame : {0.0f, 1.0f}) {  // rewritten from its track first: no accumulation
      ASSERT_EQ(update_at(frame), SCENE_OK);
      expect_vector(light->position, 10, 1, 0);
    }
  }
}

TEST_F(FrameUpdate, EveryNodeKindReadsItsOwnSlotsAndEveryCameraGetsItsMatrix) {
  Camera* camera = add_camera(1, 1, {0, 0, -10}, {0, 0, 0});
  scene->first_anim_node->tracks->slots[CAMERA_SLOT_ROLL] = constant({15, 0, 0});
  Light* spot = add<Light>(NODE_LIGHT, 2);
  TrackSet& spot_tracks = *add_node(ANIM_SPOT, 3, -1, spot, {1, 2, 3})->tracks;
  spot_tracks.slots[LIGHT_SLOT_COLOR] = constant({0.5f, 0.25f, 1});
  spot_tracks.slots[SPOT_SLOT_ROLL] = constant({45, 0, 0});
  add_node(ANIM_LIGHT_TARGET, 4, -1, spot, {4, 5, 6});
  Ambient* ambient = add<Ambient>(NODE_AMBIENT, 1029);
  add_node(ANIM_AMBIENT, 5, -1, ambient, {0.1f, 0.2f, 0.3f});  // its colour is slot 0
  ASSERT_EQ(update_at(0), SCENE_OK);
  EXPECT_EQ(camera->fov, 60.0f);
  EXPECT_EQ(camera->roll, 15.0f);
  expect_vector(spot->position, 1, 2, 3);
  expect_vector(spot->color, 0.5f, 0.25f, 1);
  EXPECT_EQ(spot->roll, 45.0f);
  expect_vector(spot->target, 4, 5, 6);
  expect_vector(ambient->color, 0.1f, 0.2f, 0.3f);
  // Not the active camera (there is none), yet its matrix is built.
  Camera expected = *camera;
  camera_matrix(expected);
  expect_matrix(camera->matrix, expected.matrix);
  EXPECT_NE(camera->perspective_y, 0.0f);
}

TEST_F(FrameUpdate, HideTrackKeyedAtZeroHidesUntilJustAfterItsSecondKey) {
  Mesh* mesh = add_mesh(1, {});
  mesh->flags = MESH_FILE_HIDDEN | MESH_DUMMY;  // other bits stay as they are
  add_object_node(0, -1, mesh, {0, 0, 0})->tracks->slots[OBJECT_SLOT_HIDE] =
      track_of({0, 10}, [](Key& k, int i) { key_set_int(k, i == 0 ? 1 : 0); });
  for (int frame = 0; frame <= 10; ++frame) {
    ASSERT_EQ(update_at(float(frame)), SCENE_OK);
    EXPECT_EQ(mesh->flags, MESH_HIDDEN | MESH_FILE_HIDDEN | MESH_DUMMY) << "frame " << frame;
  }
  ASSERT_EQ(update_at(10.5f), SCENE_OK);
  EXPECT_EQ(mesh->flags, MESH_FILE_HIDDEN | MESH_DUMMY);
}

TEST_F(FrameUpdate, MeshWithoutMorphOrHideTrackIsNeitherMorphingNorHidden) {
  Mesh* mesh = add_mesh(1, {});
  mesh->flags = MESH_MORPHING | MESH_HIDDEN;
  add_object_node(0, -1, mesh, {0, 0, 0});
  ASSERT_EQ(update_at(0), SCENE_OK);
  EXPECT_EQ(mesh->flags, 0u);
}

TEST_F(FrameUpdate, ChildAddedBeforeItsParentStaysUnmoved) {
  Mesh* child = add_mesh(1, {{0, 0, 0}});
  add_object_node(1, 0, child, {1, 0, 0});
  add_object_node(0, -1, add_mesh(2, {}), {5, 5, 5}, {3, 3, 3});
  ASSERT_EQ(update_at(0), SCENE_OK);
  expect_vector(child->vertices[0].transformed_position, 1, 0, 0);
}

TEST_F(FrameUpdate, WithoutActiveSceneOrWithAnEmptyListNothingChanges) {
  Camera* camera = add<Camera>(NODE_CAMERA, 1);
  Mesh* mesh = add_mesh(2, {{1, 1, 1}});
  EXPECT_EQ(scene_update(), SCENE_NO_ACTIVE);  // objects but no animation nodes
  expect_vector(mesh->vertices[0].transformed_position, 0, 0, 0);

  Scene nodes_only;
  scene_set_active(&nodes_only);
  add_node(ANIM_CAMERA, 1, -1, camera, {4, 4, 4});
  nodes_only.end_frame = 100;
  EXPECT_EQ(scene_update(), SCENE_NO_ACTIVE);  // animation nodes but no objects
  expect_vector(camera->position, 0, 0, 0);

  lib_init(15);
  EXPECT_EQ(scene_update(), SCENE_NO_ACTIVE);
}

TEST_F(FrameUpdate, EndFrameIsRefusedAndTheUpdateShowsThePreviousFrameAgain) {
  Mesh* mesh = add_mesh(1, {});
  add_object_node(0, -1, mesh, {0, 0, 0})->tracks->slots[SLOT_POSITION] =
      track_of({0, 100}, [](Key& k, int i) { k.value[0] = float(i * 100); });
  track_setup_spline(scene->first_anim_node->tracks->slots[SLOT_POSITION].get());
  ASSERT_EQ(update_at(50), SCENE_OK);
  EXPECT_EQ(scene_set_frame(100), SCENE_BAD_FRAME);
  ASSERT_EQ(scene_update(), SCENE_OK);
  EXPECT_EQ(mesh->position.x, 50.0f);
}
