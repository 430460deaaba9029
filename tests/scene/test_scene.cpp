// The scene model: the animation-node hierarchy's links, freeing, the load stages' failure
// paths, the face count, frame setting, and the load-time and per-frame normals on worked
// triangles.
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

// A parent must already be in the list: one added later, the node itself, or the second node
// of an id given twice never becomes a parent, so the hierarchy can hold no cycle.
TEST_F(SceneLists, ParentsAddedLaterOrThemselvesOrTwiceAreNeverLinked) {
  AnimNode* parent = add_node(ANIM_OBJECT, 0, -1);
  AnimNode* child = add_node(ANIM_OBJECT, 1, 0);
  EXPECT_EQ(child->parent, parent);
  AnimNode* orphan = add_node(ANIM_OBJECT, 4, 7);
  AnimNode* late = add_node(ANIM_OBJECT, 7, -1);
  EXPECT_EQ(orphan->parent, nullptr);
  EXPECT_EQ(late->first_child, nullptr);
  AnimNode* self = add_node(ANIM_OBJECT, 3, 3);
  EXPECT_EQ(self->parent, nullptr);
  EXPECT_EQ(self->first_child, nullptr);
  AnimNode* twice = add_node(ANIM_OBJECT, 0, -1);
  AnimNode* last = add_node(ANIM_OBJECT, 8, 0);
  EXPECT_EQ(last->parent, parent);
  EXPECT_EQ(twice->first_child, nullptr);
}

// Nodes, the active camera and the active scene point at nothing freed.
TEST_F(SceneLists, FreeingUnlinksNodesTheActiveCameraAndTheActiveScene) {
  Camera* camera = add<Camera>(NODE_CAMERA, "cam", 0);
  add<Material>(NODE_MATERIAL, "mat", 1);
  AnimNode* node = add_node(ANIM_CAMERA, 0, -1, camera);
  camera_set_active(camera);
  EXPECT_EQ(scene_free_objects(scene.get()), SCENE_OK);
  EXPECT_EQ(scene->first_object, nullptr);
  EXPECT_EQ(scene->last_object, nullptr);
  EXPECT_EQ(node->object, nullptr);
  EXPECT_EQ(camera_get_active(), nullptr);
  EXPECT_EQ(scene_free_motion(scene.get()), SCENE_OK);
  EXPECT_EQ(scene->first_anim_node, nullptr);
  EXPECT_EQ(scene->last_anim_node, nullptr);
  scene_free(scene.release());
  EXPECT_EQ(scene_get_active(), nullptr);
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
  target.start_frame = 5;
  target.end_frame = 5;
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

// The range is [start, end): a refused frame keeps the current one.
TEST_F(SceneLists, SetFrameAcceptsTheStartAndRefusesTheEnd) {
  add_node(ANIM_OBJECT, 0, -1);
  scene->start_frame = 10;
  scene->end_frame = 100;
  const struct {
    float frame;
    int code;
    float current;
  } cases[] = {{10, SCENE_OK, 10}, {100, SCENE_BAD_FRAME, 10}, {9.5f, SCENE_BAD_FRAME, 10}, {99.5f, SCENE_OK, 99.5f}};
  for (const auto& c : cases) {
    EXPECT_EQ(scene_set_frame(c.frame), c.code) << c.frame;
    EXPECT_EQ(scene->current_frame, c.current) << c.frame;
  }
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
