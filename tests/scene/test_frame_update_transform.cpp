// The mesh transform: world-space normals and camera-space positions bit for bit against the
// matrix functions, morphing and its refusals, normals recomputed against the per-vertex
// scan, and no allocation in the per-frame path.
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

#include "frame_update_fixture.h"

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

// Random points, normals and faces.
void fill_random(Mesh& mesh, std::mt19937& rng, std::uint32_t vertex_count, int face_count) {
  std::uniform_real_distribution<float> any(-100, 100);
  std::uniform_int_distribution<std::uint32_t> index(0, vertex_count - 1);
  for (std::uint32_t i = 0; i < vertex_count; ++i) {
    Vertex& v = mesh.vertices.emplace_back();
    v.position = {any(rng), any(rng), any(rng)};
    v.normal = {any(rng), any(rng), any(rng)};
  }
  for (int j = 0; j < face_count; ++j) {
    Face& f = mesh.faces.emplace_back();
    f.a = index(rng), f.b = index(rng), f.c = index(rng);
    f.normal = {any(rng), any(rng), any(rng)};
  }
}

class MeshTransform : public FrameUpdate {
 protected:
  // Morph source (id 10, at (0, 0, 0)) and target (id 11, at (4, 8, -4)) of the mesh `morphing`
  // (id 1, one vertex far from both), keyed at frames 0 and 4. Each has one vertex and one face
  // unless the arguments say otherwise.
  Mesh *source = nullptr, *target = nullptr, *morphing = nullptr;
  void add_morph(int source_vertices = 1, int target_faces = 1, int source_id = 10, int target_id = 11) {
    source = add<Mesh>(NODE_MESH, 10);
    source->vertices.resize(std::size_t(source_vertices));
    source->faces.resize(1);
    target = add_mesh(11, {{4, 8, -4}});
    target->vertices[0].normal = {0, 0, 1};
    target->box_max = {4, 8, 0};
    target->faces.resize(std::size_t(target_faces));
    morphing = add_mesh(1, {{100, 100, 100}});
    morphing->faces.resize(1);
    add_object_node(0, -1, morphing, {0, 0, 5})->tracks->slots[OBJECT_SLOT_MORPH] =
        track_of({0, 4}, [&](Key& k, int i) { key_set_int(k, i == 0 ? source_id : target_id); });
  }
};

}  // namespace

TEST_F(MeshTransform, MorphAtAQuarterUsesThePointAQuarterOfTheWay) {
  add_morph();
  Camera* camera = add_camera(2, 5, {0, 3, -20}, {1, 0, 0});
  camera_set_active(camera);
  ASSERT_EQ(update_at(1), SCENE_OK);
  EXPECT_EQ(morphing->flags, MESH_MORPHING);
  Matrix v;
  mat_mul(camera->matrix, morphing->matrix, v);
  Vector3 expected;
  mat_transform_point(v, {1, 2, -1}, expected);
  EXPECT_TRUE(same_bits(morphing->vertices[0].transformed_position, expected));
  expect_vector(morphing->transformed_box_max, 1, 2, 5);
  expect_vector(morphing->vertices[0].transformed_normal, 0, 0, 0);  // its own, not blended

  set_flags(LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM | LIB_MORPH_NORMALS);
  ASSERT_EQ(update_at(1), SCENE_OK);
  expect_vector(morphing->vertices[0].transformed_normal, 0, 0, 0.25f);
}

TEST_F(MeshTransform, MorphWithAMissingOrTooSmallMeshIsNotApplied) {
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
    expect_vector(morphing->vertices[0].transformed_position, 100, 100, 105);
  }
}

TEST_F(MeshTransform, PositionsAndNormalsMatchTheMatrixFunctionsBitForBit) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<float> any(-3, 3);
  Mesh* mesh = add_mesh(1, {});
  fill_random(*mesh, rng, 500, 700);
  Quaternion rotation{any(rng), any(rng), any(rng), any(rng)};
  quat_normalize(rotation, rotation);
  add_object_node(0, -1, mesh, {any(rng), any(rng), any(rng)}, {any(rng), any(rng), any(rng)}, rotation);
  Camera* camera = add_camera(2, 5, {any(rng), any(rng), any(rng)}, {any(rng), any(rng), any(rng)});
  for (Camera* active : {camera, static_cast<Camera*>(nullptr)}) {
    camera_set_active(active);
    ASSERT_EQ(update_at(0), SCENE_OK);
    Matrix v = mesh->matrix, n;
    if (active != nullptr) mat_mul(active->matrix, mesh->matrix, v);
    mat_normalize_rows(mesh->matrix, n);
    Vector3 expected;
    for (const Vertex& vertex : mesh->vertices) {
      mat_transform_point(v, vertex.position, expected);
      ASSERT_TRUE(same_bits(vertex.transformed_position, expected));
      mat_transform_vector(n, vertex.normal, expected);
      ASSERT_TRUE(same_bits(vertex.transformed_normal, expected));
    }
    for (const Face& face : mesh->faces) {
      mat_transform_vector(n, face.normal, expected);
      ASSERT_TRUE(same_bits(face.transformed_normal, expected));
    }
  }
}

TEST(MeshRecomputeNormals, MatchesThePerVertexScanBitForBit) {
  std::mt19937 rng(3);
  Mesh mesh;
  fill_random(mesh, rng, 60, 150);
  for (Vertex& v : mesh.vertices) v.transformed_position = v.position;
  mesh.faces[7].b = mesh.faces[7].a;  // a face naming a vertex twice counts once for it
  mesh.faces[9].c = 60;               // outside the vertices: zero, and no vertex counts it
  mesh_recompute_normals(mesh);
  EXPECT_TRUE(same_bits(mesh.faces[9].transformed_normal, Vector3{}));
  for (std::uint32_t i = 0; i < mesh.vertices.size(); ++i) {
    Vector3 sum;
    int count = 0;
    for (const Face& face : mesh.faces) {
      if (face.c >= mesh.vertices.size()) continue;
      Vector3 ab, bc, normal;
      vec_sub(mesh.vertices[face.a].transformed_position, mesh.vertices[face.b].transformed_position, ab);
      vec_sub(mesh.vertices[face.b].transformed_position, mesh.vertices[face.c].transformed_position, bc);
      vec_cross(ab, bc, normal);
      vec_normalize(normal, normal);
      ASSERT_TRUE(same_bits(face.transformed_normal, normal));
      if (face.a != i && face.b != i && face.c != i) continue;
      vec_add(sum, normal, sum);
      ++count;
    }
    if (count != 0) vec_scale(sum, 1.0f / float(count), sum);
    vec_normalize(sum, sum);
    ASSERT_TRUE(same_bits(mesh.vertices[i].transformed_normal, sum)) << "vertex " << i;
  }
}

TEST_F(MeshTransform, UpdatesAllocateNothingOnceRunning) {
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
