// render.cpp: the render pass. The frame's faces are ordered through a list of (order code,
// face) entries rather than whole face copies: the code is the depth key mapped to an integer
// that sorts farthest first, so a radix sort gives the same order as comparing the keys.
#include "render/render.h"

#include <bit>
#include <cassert>
#include <cmath>
#include <utility>
#include <vector>

#include "render/raster.h"
#include "render/screen.h"
#include "scene/frame_update.h"

namespace {

struct DrawEntry {
  std::uint64_t order;  // ascending order = descending depth key
  const Face* face;
};

// Process-wide, like the rasteriser's clip buffers: the frame's faces in draw order, and the
// other half of the sort's ping-pong. Both hold at least as many entries as the largest face
// list drawn so far.
struct DrawOrder {
  std::vector<DrawEntry> entries, scratch;
};
DrawOrder draw_order;

bool has_vertices(const Face& face) {
  return face.vertex_a != nullptr && face.vertex_b != nullptr && face.vertex_c != nullptr;
}

// Doubles map to unsigned integers in the same order once a positive value has its sign bit set
// and a negative one has every bit flipped; the complement of that orders them largest first.
std::uint64_t descending_order(double key) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(key);
  const std::uint64_t ascending = (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t(1) << 63);
  return ~ascending;
}

// The entries of the faces that gather_faces would copy, with their order codes.
std::size_t gather_draw_order(const Scene& scene) {
  const std::size_t capacity = scene.face_list.size();
  DrawEntry* entries = draw_order.entries.data();
  std::size_t n = 0;
  for (const SceneNode* node = scene.first_object; node != nullptr; node = node->next) {
    if (node->kind != NODE_MESH) continue;
    const Mesh& mesh = static_cast<const Mesh&>(*node->object);
    if ((mesh.flags & MESH_NOT_DRAWN) != 0) continue;
    for (const Face& face : mesh.faces) {
      if (n == capacity) return n;
      if (!has_vertices(face)) continue;
      entries[n++] = {descending_order(face_depth_key(face)), &face};
    }
  }
  return n;
}

// Least significant byte first, every pass stable, so the entries end ordered by their whole
// codes. A byte that all entries share needs no pass: for depth keys that is most of the low
// bytes (a sum of three floats rarely fills the double's mantissa) and the top ones.
void radix_sort(std::span<DrawEntry> entries, std::span<DrawEntry> scratch) {
  std::uint32_t counts[8][256] = {};
  for (const DrawEntry& e : entries)
    for (int b = 0; b < 8; ++b) ++counts[b][(e.order >> (8 * b)) & 0xFF];
  DrawEntry* from = entries.data();
  DrawEntry* to = scratch.data();
  const std::size_t n = entries.size();
  for (int b = 0; b < 8; ++b) {
    const int shift = 8 * b;
    if (counts[b][(from[0].order >> shift) & 0xFF] == n) continue;
    std::uint32_t next[256];
    std::uint32_t sum = 0;
    for (int d = 0; d < 256; ++d) {
      next[d] = sum;
      sum += counts[b][d];
    }
    for (std::size_t i = 0; i < n; ++i) to[next[(from[i].order >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != entries.data())
    for (std::size_t i = 0; i < n; ++i) entries[i] = from[i];
}

Camera* find_camera(std::string_view name) {
  SceneNode* node = nullptr;
  scene_find_by_name(name, node);
  if (node == nullptr) scene_find_by_name(fallback_camera_name, node);
  if (node == nullptr || node->kind != NODE_CAMERA) return nullptr;
  return static_cast<Camera*>(node->object.get());
}

std::uint32_t shade_channel(float ambient, float diffuse, float e) {
  const float value = (ambient + diffuse) * e * 255.0f;
  if (!(value > 0.0f)) return 0;  // NaN too
  if (value >= 255.0f) return 255;
  return std::uint32_t(value);
}

PolyVertex poly_vertex(const Vertex& v) {
  return {v.transformed_position.x, v.transformed_position.y, v.transformed_position.z};
}

}  // namespace

void render_reserve(std::size_t face_count) {
  if (draw_order.entries.size() >= face_count) return;
  draw_order.entries.resize(face_count);
  draw_order.scratch.resize(face_count);
}

int render_scene(Scene& scene, std::int32_t frame_number, std::span<std::uint32_t> frame,
                 std::string_view camera_name, int mode) {
  scene_set_active(&scene);
  Camera* camera = find_camera(camera_name);
  if (camera == nullptr) return 1;
  camera->screen_width = float(screen_width);
  camera->screen_height = float(screen_height);
  camera->aspect = render_aspect;
  camera_set_active(camera);
  scene_set_frame(float(frame_number));
  scene_update();

  render_reserve(scene.face_list.size());
  const std::size_t n = gather_draw_order(scene);
  std::span<DrawEntry> entries(draw_order.entries.data(), n);
  if (n >= 2) radix_sort(entries, draw_order.scratch);

  const RenderView view = render_view(*camera, mode);
  for (const DrawEntry& entry : entries) draw_face(*entry.face, view, frame);
  return 1;
}

int gather_faces(Scene& scene) {
  const std::size_t capacity = scene.face_list.size();
  std::size_t n = 0;
  for (const SceneNode* node = scene.first_object; node != nullptr; node = node->next) {
    if (node->kind != NODE_MESH) continue;
    const Mesh& mesh = static_cast<const Mesh&>(*node->object);
    if ((mesh.flags & MESH_NOT_DRAWN) != 0) continue;
    for (const Face& face : mesh.faces) {
      if (n == capacity) return int(n);
      if (has_vertices(face)) scene.face_list[n++] = face;
    }
  }
  return int(n);
}

double face_depth_key(const Face& face) {
  return double(face.vertex_a->transformed_position.z) + double(face.vertex_b->transformed_position.z) +
         double(face.vertex_c->transformed_position.z);
}

void sort_faces(int lo, int hi, std::span<Face> list) {
  assert(lo >= 0 && hi < int(list.size()));
  for (;;) {
    const double pivot = face_depth_key(list[std::size_t(lo + ((hi - lo) >> 1))]);
    int i = lo, j = hi;
    // Each scan stops at the pivot's own value at the latest, or at a face swapped behind it.
    do {
      while (face_depth_key(list[std::size_t(i)]) > pivot) ++i;
      while (face_depth_key(list[std::size_t(j)]) < pivot) --j;
      if (i <= j) std::swap(list[std::size_t(i++)], list[std::size_t(j--)]);
    } while (i <= j);
    if (lo < j) sort_faces(lo, j, list);
    if (i >= hi) return;
    lo = i;
  }
}

RenderView render_view(const Camera& camera, int mode) {
  RenderView view;
  Vector3 direction;
  vec_sub(camera.target, camera.position, direction);
  vec_normalize(direction, view.axis);
  view.vertical_factor = camera.perspective_y;
  view.mode = mode;
  return view;
}

float face_shade(const Face& face, const Vector3& axis) {
  return 1.0f - std::fabs(vec_cos_angle(face.transformed_normal, axis));
}

std::uint32_t shade_colour(const Material* material, float e) {
  if (material == nullptr) {
    const std::uint32_t grey = shade_channel(unlit_face_grey, 0.0f, e);
    return grey << 16 | grey << 8 | grey;
  }
  return shade_channel(material->ambient.x, material->diffuse.x, e) << 16 |
         shade_channel(material->ambient.y, material->diffuse.y, e) << 8 |
         shade_channel(material->ambient.z, material->diffuse.z, e);
}

void draw_face(const Face& face, const RenderView& view, std::span<std::uint32_t> frame) {
  if (!has_vertices(face)) return;
  PolyVertex polygon[clip_max_vertices] = {poly_vertex(*face.vertex_a), poly_vertex(*face.vertex_b),
                                           poly_vertex(*face.vertex_c)};
  int n = clip_near(polygon, 3);
  for (int i = 0; i < n; ++i) project_vertex(polygon[i], view.vertical_factor);
  n = clip_screen(polygon, n);
  if (view.mode == DRAW_FLAT) {
    if (n >= 3) fill_polygon(polygon, n, frame, shade_colour(face.material, face_shade(face, view.axis)));
  } else {
    draw_polygon_edges(polygon, n, frame, wireframe_colour);
  }
}
