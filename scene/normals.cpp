// normals.cpp: load-time face and vertex normals of a mesh, in time linear in its size.
#include <vector>

#include "scene/scene.h"

namespace {

bool face_in_range(const Face& face, std::size_t vertex_count) {
  return face.a < vertex_count && face.b < vertex_count && face.c < vertex_count;
}

}  // namespace

int mesh_average_normals(Mesh& mesh, Vector3 Face::*face_field, Vector3 Vertex::*vertex_field,
                         std::vector<std::uint32_t>& counts) {
  std::vector<Vertex>& vertices = mesh.vertices;
  const std::size_t n = vertices.size();
  for (Vertex& v : vertices) v.*vertex_field = Vector3{};
  const int rc = scene_run_guarded(
      [&] {
        counts.assign(n, 0);
        return SCENE_OK;
      },
      SCENE_READ_ERROR);
  if (rc != SCENE_OK) return rc;

  // Each vertex receives the normals of its faces in face order, one add per face even when a
  // face names it twice: the same sums, in the same order, as scanning every face per vertex.
  for (const Face& face : mesh.faces) {
    if (!face_in_range(face, n)) continue;
    const Vector3& normal = face.*face_field;
    vec_add(vertices[face.a].*vertex_field, normal, vertices[face.a].*vertex_field);
    ++counts[face.a];
    if (face.b != face.a) {
      vec_add(vertices[face.b].*vertex_field, normal, vertices[face.b].*vertex_field);
      ++counts[face.b];
    }
    if (face.c != face.a && face.c != face.b) {
      vec_add(vertices[face.c].*vertex_field, normal, vertices[face.c].*vertex_field);
      ++counts[face.c];
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    Vector3& sum = vertices[i].*vertex_field;
    if (counts[i] != 0) vec_scale(sum, 1.0f / float(counts[i]), sum);
    vec_normalize(sum, sum);
  }
  return SCENE_OK;
}

void mesh_face_normals(Mesh& mesh, Vector3 Vertex::*position_field, Vector3 Face::*normal_field) {
  const std::vector<Vertex>& vertices = mesh.vertices;
  const std::size_t n = vertices.size();
  for (Face& face : mesh.faces) {
    Vector3& normal = face.*normal_field;
    if (!face_in_range(face, n)) {
      normal = Vector3{};
      continue;
    }
    Vector3 pq, qr;
    vec_sub(vertices[face.a].*position_field, vertices[face.b].*position_field, pq);
    vec_sub(vertices[face.b].*position_field, vertices[face.c].*position_field, qr);
    vec_cross(pq, qr, normal);
    vec_normalize(normal, normal);
  }
}

int mesh_compute_normals(Mesh& mesh) {
  mesh_face_normals(mesh, &Vertex::position, &Face::normal);
  std::vector<std::uint32_t> counts;
  return mesh_average_normals(mesh, &Face::normal, &Vertex::normal, counts);
}
