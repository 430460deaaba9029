// frame_update_transform.cpp: the per-frame mesh transform (vertices into the active camera's
// space, boxes and normals into world space, morphing) and normals recomputed from the
// transformed positions.
#include <cstdint>
#include <vector>

#include "scene/frame_update.h"
#include "scene/scene.h"

namespace {

// A matrix widened to double once per mesh, so that the loops below repeat exactly the
// arithmetic of mat_transform_point and mat_transform_vector: a product of two floats is exact
// in double, the three products are summed left to right, the translation is added last and
// each component is rounded to float once. The results are bit-identical to those functions.
struct WideMatrix {
  double m[3][4];
};

WideMatrix widen(const Matrix& a) {
  WideMatrix w;
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 4; ++col) w.m[row][col] = a.m[row][col];
  return w;
}

inline Vector3 transform_point(const WideMatrix& a, const Vector3& p) {
  const double x = p.x, y = p.y, z = p.z;
  return {float(a.m[0][0] * x + a.m[0][1] * y + a.m[0][2] * z + a.m[0][3]),
          float(a.m[1][0] * x + a.m[1][1] * y + a.m[1][2] * z + a.m[1][3]),
          float(a.m[2][0] * x + a.m[2][1] * y + a.m[2][2] * z + a.m[2][3])};
}

inline Vector3 transform_vector(const WideMatrix& a, const Vector3& p) {
  const double x = p.x, y = p.y, z = p.z;
  return {float(a.m[0][0] * x + a.m[0][1] * y + a.m[0][2] * z),
          float(a.m[1][0] * x + a.m[1][1] * y + a.m[1][2] * z),
          float(a.m[2][0] * x + a.m[2][1] * y + a.m[2][2] * z)};
}

void transform_positions(const WideMatrix& v, std::vector<Vertex>& vertices) {
  for (Vertex& vertex : vertices) vertex.transformed_position = transform_point(v, vertex.position);
}

// Positions and normals in one pass over the vertex records.
void transform_positions_and_normals(const WideMatrix& v, const WideMatrix& n, std::vector<Vertex>& vertices) {
  for (Vertex& vertex : vertices) {
    vertex.transformed_position = transform_point(v, vertex.position);
    vertex.transformed_normal = transform_vector(n, vertex.normal);
  }
}

void transform_face_normals(const WideMatrix& n, std::vector<Face>& faces) {
  for (Face& face : faces) face.transformed_normal = transform_vector(n, face.normal);
}

// The two meshes a morph blends, when both exist and cover every vertex and face of the
// morphing mesh; otherwise false, and the mesh is drawn unmorphed.
bool find_morph_meshes(const Mesh& mesh, const Mesh*& source, const Mesh*& target) {
  SceneNode* source_node = nullptr;
  SceneNode* target_node = nullptr;
  if (scene_find_by_id(mesh.morph.source_id, source_node) != SCENE_OK || source_node == nullptr) return false;
  if (scene_find_by_id(mesh.morph.target_id, target_node) != SCENE_OK || target_node == nullptr) return false;
  if (source_node->kind != NODE_MESH || target_node->kind != NODE_MESH) return false;
  source = dynamic_cast<const Mesh*>(source_node->object.get());
  target = dynamic_cast<const Mesh*>(target_node->object.get());
  if (source == nullptr || target == nullptr) return false;
  const std::size_t vertex_count = mesh.vertices.size(), face_count = mesh.faces.size();
  return source->vertices.size() >= vertex_count && target->vertices.size() >= vertex_count &&
         source->faces.size() >= face_count && target->faces.size() >= face_count;
}

void transform_morphed(Mesh& mesh, const Mesh& source, const Mesh& target, const Matrix& v, const Matrix& n,
                       LibraryFlags flags) {
  const float t = mesh.morph.blend;
  Vector3 p;
  vec_lerp(source.box_min, target.box_min, t, p);
  mat_transform_point(mesh.matrix, p, mesh.transformed_box_min);
  vec_lerp(source.box_max, target.box_max, t, p);
  mat_transform_point(mesh.matrix, p, mesh.transformed_box_max);

  // The mesh's own positions play no part: every point comes from the two morph meshes.
  const WideMatrix wide_v = widen(v);
  const std::size_t vertex_count = mesh.vertices.size();
  for (std::size_t i = 0; i < vertex_count; ++i) {
    vec_lerp(source.vertices[i].position, target.vertices[i].position, t, p);
    mesh.vertices[i].transformed_position = transform_point(wide_v, p);
  }

  if ((flags & LIB_NORMALS) == 0) return;
  const WideMatrix wide_n = widen(n);
  if ((flags & LIB_MORPH_NORMALS) != 0) {
    for (std::size_t i = 0; i < vertex_count; ++i) {
      vec_lerp(source.vertices[i].normal, target.vertices[i].normal, t, p);
      mesh.vertices[i].transformed_normal = transform_vector(wide_n, p);
    }
    for (std::size_t j = 0; j < mesh.faces.size(); ++j) {
      vec_lerp(source.faces[j].normal, target.faces[j].normal, t, p);
      mesh.faces[j].transformed_normal = transform_vector(wide_n, p);
    }
  } else if ((flags & LIB_RECALC_NORMALS) != 0) {
    mesh_recompute_normals(mesh);
  } else {
    for (Vertex& vertex : mesh.vertices) vertex.transformed_normal = transform_vector(wide_n, vertex.normal);
    transform_face_normals(wide_n, mesh.faces);
  }
}

void transform_unmorphed(Mesh& mesh, const Matrix& v, const Matrix& n, LibraryFlags flags) {
  mat_transform_point(mesh.matrix, mesh.box_min, mesh.transformed_box_min);
  mat_transform_point(mesh.matrix, mesh.box_max, mesh.transformed_box_max);
  const WideMatrix wide_v = widen(v);
  if ((flags & LIB_NORMALS) == 0) {
    transform_positions(wide_v, mesh.vertices);
    return;
  }
  const WideMatrix wide_n = widen(n);
  transform_positions_and_normals(wide_v, wide_n, mesh.vertices);
  transform_face_normals(wide_n, mesh.faces);
}

// Per-vertex face counts for mesh_recompute_normals: grown to the largest mesh it has seen,
// then reused, so that recomputing allocates nothing once every mesh has been through it.
std::vector<std::uint32_t> recompute_counts;

}  // namespace

void scene_transform_meshes() {
  Scene* scene = scene_get_active();
  if (scene == nullptr) return;
  const LibraryFlags flags = lib_flags();
  const Camera* camera = camera_get_active();
  for (SceneNode* node = scene->first_object; node != nullptr; node = node->next) {
    if (node->kind != NODE_MESH) continue;
    Mesh* mesh = dynamic_cast<Mesh*>(node->object.get());
    if (mesh == nullptr) continue;
    Matrix v = mesh->matrix, n;
    if (camera != nullptr) mat_mul(camera->matrix, mesh->matrix, v);
    mat_normalize_rows(mesh->matrix, n);

    const Mesh* source = nullptr;
    const Mesh* target = nullptr;
    if ((flags & LIB_MORPH) != 0 && (mesh->flags & MESH_MORPHING) != 0 && find_morph_meshes(*mesh, source, target))
      transform_morphed(*mesh, *source, *target, v, n, flags);
    else
      transform_unmorphed(*mesh, v, n, flags);
  }
}

void mesh_recompute_normals(Mesh& mesh) {
  mesh_face_normals(mesh, &Vertex::transformed_position, &Face::transformed_normal);
  // Out of memory for the counts leaves the vertex normals zero; the frame still draws.
  mesh_average_normals(mesh, &Face::transformed_normal, &Vertex::transformed_normal, recompute_counts);
}
