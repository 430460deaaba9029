// Bounding boxes, face links and load-time normals, including the linear-time vertex normals
// against the per-vertex scan over all faces.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "scene/scene.h"

namespace {

void add_vertex(Mesh& mesh, Vector3 position) {
  mesh.vertices.emplace_back();
  mesh.vertices.back().position = position;
}

Mesh mesh_of(std::vector<Vector3> points, std::vector<std::array<std::uint32_t, 3>> faces) {
  Mesh mesh;
  for (const Vector3& p : points) add_vertex(mesh, p);
  for (const auto& f : faces) {
    mesh.faces.emplace_back();
    mesh.faces.back().a = f[0];
    mesh.faces.back().b = f[1];
    mesh.faces.back().c = f[2];
  }
  return mesh;
}

// The vertex normals found by scanning every face for every vertex.
std::vector<Vector3> direct_vertex_normals(const Mesh& mesh) {
  std::vector<Vector3> normals(mesh.vertices.size());
  for (std::uint32_t i = 0; i < mesh.vertices.size(); ++i) {
    Vector3 sum;
    int count = 0;
    for (const Face& face : mesh.faces) {
      if (face.a == i || face.b == i || face.c == i) {
        vec_add(sum, face.normal, sum);
        ++count;
      }
    }
    if (count != 0) vec_scale(sum, 1.0f / float(count), sum);
    vec_normalize(sum, normals[i]);
  }
  return normals;
}

bool same_bits(const Vector3& a, const Vector3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(MeshComputeNormals, TriangleInXYPlaneFacesPlusZ) {
  Mesh mesh = mesh_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}}, {{0, 1, 2}});
  mesh_compute_normals(mesh);
  EXPECT_EQ(mesh.faces[0].normal.z, 1.0f);
  EXPECT_EQ(mesh.vertices[0].normal.z, 1.0f);
  EXPECT_EQ(mesh.vertices[2].normal.z, 1.0f);
  // A vertex that no face uses keeps (0, 0, 0).
  EXPECT_TRUE(same_bits(mesh.vertices[3].normal, Vector3{}));
}

TEST(MeshComputeNormals, SharedEdgeAtRightAngleAveragesBothFaces) {
  // Face 0 lies in z = 0 (normal +z), face 1 in x = 0 (normal +x); vertices 0 and 1 are shared.
  Mesh mesh = mesh_of({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}});
  mesh_compute_normals(mesh);
  EXPECT_FLOAT_EQ(mesh.faces[0].normal.z, 1.0f);
  EXPECT_FLOAT_EQ(mesh.faces[1].normal.x, 1.0f);
  EXPECT_FLOAT_EQ(mesh.vertices[0].normal.x, 0.70710678f);
  EXPECT_FLOAT_EQ(mesh.vertices[0].normal.z, 0.70710678f);
  EXPECT_FLOAT_EQ(mesh.vertices[2].normal.z, 1.0f);
}

TEST(MeshComputeNormals, CoincidentVerticesGiveZeroNormal) {
  Mesh mesh = mesh_of({{2, 2, 2}, {2, 2, 2}, {2, 2, 2}}, {{0, 1, 2}});
  mesh_compute_normals(mesh);
  EXPECT_TRUE(same_bits(mesh.faces[0].normal, Vector3{}));
  EXPECT_TRUE(same_bits(mesh.vertices[1].normal, Vector3{}));
}

TEST(MeshComputeNormals, FaceIndexOutsideTheVerticesIsSkipped) {
  Mesh mesh = mesh_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 9}, {0, 1, 2}});
  mesh_compute_normals(mesh);
  EXPECT_TRUE(same_bits(mesh.faces[0].normal, Vector3{}));
  EXPECT_EQ(mesh.vertices[0].normal.z, 1.0f);
}

TEST(MeshComputeNormals, LinearPassIsBitIdenticalToScanningAllFaces) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> coordinate(-100, 100);
  for (int round = 0; round < 20; ++round) {
    const int vertex_count = 5 + int(rng() % 200);
    const int face_count = 1 + int(rng() % 600);
    Mesh mesh;
    for (int i = 0; i < vertex_count; ++i)
      add_vertex(mesh, {coordinate(rng), coordinate(rng), coordinate(rng)});
    for (int i = 0; i < face_count; ++i) {
      Face face;
      face.a = rng() % vertex_count;
      face.b = rng() % vertex_count;
      face.c = rng() % vertex_count;
      if (rng() % 10 == 0) face.b = face.a;  // faces naming a vertex twice count it once
      mesh.faces.push_back(face);
    }
    mesh_compute_normals(mesh);
    std::vector<Vector3> direct = direct_vertex_normals(mesh);
    for (int i = 0; i < vertex_count; ++i)
      ASSERT_TRUE(same_bits(mesh.vertices[i].normal, direct[i])) << "round " << round << " vertex " << i;
  }
}

TEST(MeshAverageNormals, WorksOnTransformedFieldsWithReusedScratch) {
  Mesh mesh = mesh_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  mesh.faces[0].transformed_normal = {0, 2, 0};
  std::vector<std::uint32_t> counts(100, 7);
  mesh_average_normals(mesh, &Face::transformed_normal, &Vertex::transformed_normal, counts);
  EXPECT_EQ(mesh.vertices[1].transformed_normal.y, 1.0f);
  EXPECT_TRUE(same_bits(mesh.vertices[1].normal, Vector3{}));
}

TEST(MeshComputeBounds, MinimumAndMaximumPerComponent) {
  Mesh mesh = mesh_of({{1, -2, 3}, {-4, 5, 0}, {2, 0, -6}}, {});
  mesh_compute_bounds(mesh);
  EXPECT_EQ(mesh.box_min.x, -4.0f);
  EXPECT_EQ(mesh.box_min.y, -2.0f);
  EXPECT_EQ(mesh.box_min.z, -6.0f);
  EXPECT_EQ(mesh.box_max.x, 2.0f);
  EXPECT_EQ(mesh.box_max.y, 5.0f);
  EXPECT_EQ(mesh.box_max.z, 3.0f);
}

TEST(MeshComputeBounds, MeshWithoutVerticesKeepsAZeroBox) {
  Mesh mesh;
  mesh.box_max = {1, 1, 1};
  mesh_compute_bounds(mesh);
  EXPECT_TRUE(same_bits(mesh.box_max, Vector3{}));
}

TEST(MeshLinkFaces, PointersFollowIndicesAndBadIndexGivesThree) {
  Mesh mesh = mesh_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{2, 1, 0}});
  EXPECT_EQ(mesh_link_faces(mesh), SCENE_OK);
  EXPECT_EQ(mesh.faces[0].vertex_a, &mesh.vertices[2]);
  EXPECT_EQ(mesh.faces[0].vertex_c, &mesh.vertices[0]);
  mesh.faces[0].b = 3;
  EXPECT_EQ(mesh_link_faces(mesh), SCENE_READ_ERROR);
  EXPECT_EQ(mesh.faces[0].vertex_a, nullptr);
}
