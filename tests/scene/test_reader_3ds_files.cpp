// The 3DS reader on files written by an independent 3DS library: what each loads as, the
// codes of the malformed ones, and every file cut short or with bytes changed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "reader_3ds_helpers.h"
#include "testdata.h"

namespace {

std::vector<std::uint8_t> file_bytes(const std::filesystem::path& path) {
  std::vector<unsigned char> b = read_file_bytes(path);
  return {b.begin(), b.end()};
}

void expect_vec(const Vector3& v, float x, float y, float z, float tolerance = 1e-5f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

struct StageCodes {
  int scene = -1, motion = -1;
};

StageCodes load_stages(const std::filesystem::path& path, Scene& scene) {
  CapturedLights quiet;
  lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
  StageCodes c;
  c.scene = scene_load(path.c_str(), &scene);
  c.motion = scene_load_motion(path.c_str(), &scene);
  return c;
}

void expect_node(const AnimNode* node, AnimNodeKind kind, std::int32_t id, const char* object,
                 std::vector<int> tracks) {
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->kind, kind);
  EXPECT_EQ(node->node_id, id);
  ASSERT_NE(node->object, nullptr);
  EXPECT_EQ(node->object->name, object);
  for (int slot = 0; slot < int(tracks.size()); ++slot) EXPECT_EQ(key_count(*node, slot), tracks[slot]) << slot;
}

// The first vertex list of the file as stored, in the library's axes.
std::vector<Vector3> stored_points(const std::vector<std::uint8_t>& bytes) {
  std::vector<Vector3> points;
  for (std::size_t p = 0; p + 8 <= bytes.size(); ++p) {
    if (bytes[p] != 0x10 || bytes[p + 1] != 0x41) continue;
    std::size_t count = bytes[p + 6] | bytes[p + 7] << 8;
    if (p + 8 + count * 12 > bytes.size()) continue;
    for (std::size_t i = 0; i < count; ++i) {
      float f[3];
      std::memcpy(f, &bytes[p + 8 + 12 * i], 12);
      points.push_back({f[0], f[2], f[1]});
    }
    break;
  }
  return points;
}

}  // namespace

TEST(Read3dsFiles, CubeFlatObjectsInFileOrder) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/cube_flat.3ds");
  LoadedTds l = read_tds(file_bytes(path));
  ASSERT_EQ(l.scene_code, 0);
  ASSERT_EQ(l.motion_code, 0);
  EXPECT_EQ(l.printed, "licht gelesen: Omni01\r\nlicht gelesen: Spot01\r\n");
  EXPECT_EQ(l.scene->start_frame, 0.0f);
  EXPECT_EQ(l.scene->end_frame, 100.0f);
  ASSERT_EQ(count_objects(*l.scene), 5);

  auto* mat = object_as<Material>(*l.scene, "RedMat");
  ASSERT_NE(mat, nullptr);
  EXPECT_EQ(mat->id, 0);
  EXPECT_EQ(mat->flags, MATERIAL_TWO_SIDED);
  expect_vec(mat->ambient, 0.2f, 0, 0);
  expect_vec(mat->diffuse, 1, 0.501961f, 0);
  expect_vec(mat->specular, 0.898039f, 0.898039f, 0.898039f);
  EXPECT_FLOAT_EQ(mat->shininess, 0.25f);
  EXPECT_FLOAT_EQ(mat->shininess_strength, 0.05f);
  EXPECT_FLOAT_EQ(mat->transparency, 0.1f);
  EXPECT_FLOAT_EQ(mat->transparency_falloff, 0);
  EXPECT_FLOAT_EQ(mat->reflection_blur, 0.2f);
  EXPECT_EQ(mat->shading, 1);

  auto* camera = object_as<Camera>(*l.scene, "Camera01");
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->id, 1);
  expect_vec(camera->position, 0, 40, -120);
  expect_vec(camera->target, 0, 0, 0);
  EXPECT_EQ(camera->roll, 0);
  EXPECT_EQ(camera->fov, 46);

  auto* omni = object_as<Light>(*l.scene, "Omni01");
  ASSERT_NE(omni, nullptr);
  EXPECT_EQ(omni->id, 2);
  EXPECT_EQ(omni->type, LIGHT_OMNI);
  expect_vec(omni->position, 50, 80, 50);
  expect_vec(omni->color, 0.9f, 0.8f, 0.7f);

  auto* spot = object_as<Light>(*l.scene, "Spot01");
  ASSERT_NE(spot, nullptr);
  EXPECT_EQ(spot->id, 3);
  EXPECT_EQ(spot->type, LIGHT_SPOT);
  expect_vec(spot->position, -60, 90, -40);
  expect_vec(spot->target, 0, 0, 0);
  EXPECT_EQ(spot->hotspot, 30);
  EXPECT_EQ(spot->falloff, 45);
  expect_vec(spot->color, 1, 1, 0.5f);

  auto* cube = object_as<Mesh>(*l.scene, "Cube");
  ASSERT_NE(cube, nullptr);
  EXPECT_EQ(cube->id, 4);
  ASSERT_EQ(cube->vertices.size(), 8u);
  ASSERT_EQ(cube->faces.size(), 12u);
  int wrapped = 0;
  for (const Face& f : cube->faces) {
    EXPECT_EQ(f.material_id, 0);
    EXPECT_EQ(f.material, mat);
    EXPECT_EQ(f.vertex_a, &cube->vertices[f.a]);
    wrapped += f.flags != 0;
  }
  EXPECT_EQ(wrapped, 3);
  expect_vec(cube->pivot, 0.5f, 0.75f, -0.25f);
}

TEST(Read3dsFiles, CubeFlatNodesAndTrackCounts) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/cube_flat.3ds");
  LoadedTds l = read_tds(file_bytes(path));
  ASSERT_EQ(l.motion_code, 0);
  ASSERT_EQ(count_nodes(*l.scene), 6);
  AnimNode* n = l.scene->first_anim_node;
  expect_node(n, ANIM_CAMERA, 0, "Camera01", {3, 4, 2});
  expect_node(n = n->next, ANIM_CAMERA_TARGET, 1, "Camera01", {2});
  EXPECT_EQ(n->tracks->slots[0]->first->next->tension, -0.5f);
  expect_node(n = n->next, ANIM_OBJECT, 5, "Cube", {4, 3, 4, 0, 0});
  expect_node(n = n->next, ANIM_OMNI, 2, "Omni01", {2, 3});
  expect_node(n = n->next, ANIM_SPOT, 3, "Spot01", {1, 1, 2});
  expect_node(n = n->next, ANIM_LIGHT_TARGET, 4, "Spot01", {2});
  for (AnimNode* node = l.scene->first_anim_node; node != nullptr; node = node->next)
    EXPECT_EQ(node->parent, nullptr);
}

TEST(Read3dsFiles, HierarchyObjectsNodesAndParents) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/hierarchy.3ds");
  LoadedTds l = read_tds(file_bytes(path));
  ASSERT_EQ(l.scene_code, 0);
  ASSERT_EQ(l.motion_code, 0);
  EXPECT_EQ(l.printed, "licht gelesen: Omni01\r\n");
  const char* names[] = {"Blue", "Camera01", "Omni01", "Box1", "Box2", "Box3", "Group01"};
  const int ids[] = {0, 1, 2, 3, 4, 5, 1024};
  int i = 0;
  for (SceneNode* o = l.scene->first_object; o != nullptr; o = o->next, ++i) {
    ASSERT_LT(i, 7);
    EXPECT_EQ(o->object->name, names[i]);
    EXPECT_EQ(o->object->id, ids[i]);
  }
  EXPECT_EQ(i, 7);
  auto* camera = object_as<Camera>(*l.scene, "Camera01");
  expect_vec(camera->position, 0, 20, -60);
  EXPECT_FLOAT_EQ(camera->fov, 60);
  expect_vec(object_as<Light>(*l.scene, "Omni01")->position, 0, 10, 5);
  for (const char* box : {"Box1", "Box2", "Box3"}) {
    EXPECT_EQ(object_as<Mesh>(*l.scene, box)->vertices.size(), 8u);
    EXPECT_EQ(object_as<Mesh>(*l.scene, box)->faces.size(), 12u);
  }
  EXPECT_EQ(object_as<Mesh>(*l.scene, "Group01")->flags, MESH_DUMMY);

  AnimNode* n = l.scene->first_anim_node;
  expect_node(n, ANIM_OBJECT, 0, "Group01", {3, 1, 3, 0, 0});
  EXPECT_EQ(n->tracks->slots[SLOT_POSITION]->flags, TRACK_LOOP);
  EXPECT_EQ(n->tracks->slots[OBJECT_SLOT_ROTATION]->flags, TRACK_REPEAT);
  EXPECT_EQ(n->tracks->slots[SLOT_POSITION]->length, 40);
  // The writer gives every node one-key tracks for what does not move.
  expect_node(n = n->next, ANIM_OBJECT, 1, "Box1", {1, 1, 1, 0, 0});
  expect_node(n = n->next, ANIM_OBJECT, 2, "Box2", {2, 1, 1, 0, 3});
  expect_node(n = n->next, ANIM_OBJECT, 3, "Box3", {1, 2, 2, 0, 0});
  EXPECT_EQ(key_at(*n, OBJECT_SLOT_ROTATION, 1)->tension, 0.5f);
  expect_node(n = n->next, ANIM_CAMERA_TARGET, 5, "Camera01", {1});
  expect_node(n = n->next, ANIM_CAMERA, 4, "Camera01", {2, 1, 1});
  expect_node(n = n->next, ANIM_OMNI, 6, "Omni01", {1, 1});

  EXPECT_EQ(node_with_id(*l.scene, 1)->parent, node_with_id(*l.scene, 0));
  EXPECT_EQ(node_with_id(*l.scene, 3)->parent, node_with_id(*l.scene, 2));
  EXPECT_EQ(node_with_id(*l.scene, 6)->parent, node_with_id(*l.scene, 4));
  EXPECT_EQ(node_with_id(*l.scene, 4)->parent, nullptr);
  EXPECT_EQ(object_as<Mesh>(*l.scene, "Box1")->parent_id, 1024);
  EXPECT_EQ(object_as<Mesh>(*l.scene, "Box3")->parent_id, 4);
  EXPECT_EQ(camera->target_parent_id, 1024);
  EXPECT_EQ(camera->parent_id, -1);
  EXPECT_EQ(object_as<Light>(*l.scene, "Omni01")->parent_id, 1);
  const AnimNode& box2 = *node_with_id(*l.scene, 2);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(key_get_int(*key_at(box2, OBJECT_SLOT_HIDE, k)), k % 2 == 0 ? 1 : 0);
  EXPECT_EQ(key_at(box2, OBJECT_SLOT_HIDE, 2)->frame, 60);
}

TEST(Read3dsFiles, BigLoadsFourMeshesThroughLoad3dMesh) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/big.3ds");
  CapturedLights quiet;
  std::unique_ptr<Scene> scene = load_3d_mesh(path.c_str());
  ASSERT_NE(scene, nullptr);
  int meshes = 0;
  for (SceneNode* n = scene->first_object; n != nullptr; n = n->next) {
    if (n->kind != NODE_MESH) continue;
    const Mesh& mesh = *static_cast<const Mesh*>(n->object.get());
    EXPECT_EQ(mesh.name, "Torus" + std::to_string(meshes));
    EXPECT_EQ(mesh.vertices.size(), 25100u);
    EXPECT_EQ(mesh.faces.size(), 50000u);
    ++meshes;
  }
  EXPECT_EQ(meshes, 4);
  EXPECT_EQ(scene->visible_face_count, 200000);
  ASSERT_NE(object_as<Material>(*scene, "Gray"), nullptr);
  EXPECT_NEAR(object_as<Camera>(*scene, "Camera01")->fov, 45, 1e-3);
}

TEST(Read3dsFiles, BadFilesGiveTheirCodes) {
  SKIP_WITHOUT_TESTDATA(dir, "3ds/bad");
  struct Case {
    const char* file;
    int scene, motion;
  };
  const Case cases[] = {{"version1.3ds", 4, 4},
                        {"short20.3ds", 3, 3},
                        {"truncated.3ds", 3, 3},
                        {"zero_length.3ds", 3, 256},
                        {"missing_material.3ds", 256, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Scene scene;
    StageCodes codes = load_stages(dir / c.file, scene);
    EXPECT_EQ(codes.scene, c.scene);
    EXPECT_EQ(codes.motion, c.motion);
    // A failed scene stage leaves no objects; a failed motion stage no nodes.
    if (codes.scene != 0) {
      EXPECT_EQ(scene.first_object, nullptr);
    }
    if (codes.motion != 0) {
      EXPECT_EQ(scene.first_anim_node, nullptr);
    }
    lib_init(0);
  }
  CapturedLights quiet;
  EXPECT_EQ(load_3d_mesh((dir / "zero_length.3ds").c_str()), nullptr);
  std::unique_ptr<Scene> empty = load_3d_mesh((dir / "missing_material.3ds").c_str());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->first_object, nullptr);
}

TEST(Read3dsFiles, CubeFlatAtFrameZeroLandsOnItsStoredVertices) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/cube_flat.3ds");
  const std::vector<Vector3> stored = stored_points(file_bytes(path));
  ASSERT_EQ(stored.size(), 8u);
  CapturedLights quiet;
  std::unique_ptr<Scene> scene = load_3d_mesh(path.c_str());
  ASSERT_NE(scene, nullptr);
  const Mesh& cube = *object_as<Mesh>(*scene, "Cube");
  for (std::size_t i = 0; i < stored.size(); ++i) {
    SCOPED_TRACE(i);
    expect_vec(cube.vertices[i].transformed_position, stored[i].x, stored[i].y, stored[i].z, 2e-4f);
  }
  // The box moved with the pivot, so it still holds every vertex.
  for (const Vertex& v : cube.vertices) {
    const Vector3& p = v.position;
    EXPECT_TRUE(cube.box_min.x <= p.x && p.x <= cube.box_max.x);
    EXPECT_TRUE(cube.box_min.y <= p.y && p.y <= cube.box_max.y);
    EXPECT_TRUE(cube.box_min.z <= p.z && p.z <= cube.box_max.z);
  }
}

TEST(Read3dsFiles, SmallFilesCutAtEveryLengthOrChangedFailWithACodeOrLoad) {
  SKIP_WITHOUT_TESTDATA(dir, "3ds");
  CapturedLights quiet;
  cut_and_flip(file_bytes(dir / "cube_flat.3ds"), 1500, 1);
  cut_and_flip(file_bytes(dir / "hierarchy.3ds"), 1500, 2);
}

TEST(Read3dsFiles, BigCutAtSampledLengthsFailsWithACodeOrLoads) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/big.3ds");
  CapturedLights quiet;
  const std::vector<std::uint8_t> bytes = file_bytes(path);
  std::mt19937 random(3);
  for (int i = 0; i < 12; ++i) {
    const std::size_t n = random() % bytes.size();
    SCOPED_TRACE(n);
    load_anything({bytes.begin(), bytes.begin() + std::ptrdiff_t(n)});
  }
}
