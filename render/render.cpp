// render.cpp: the render pass. The frame's faces are not copied whole and sorted as records:
// the gather reads each mesh in memory order, projects its vertices once, and keeps per face
// one cache line with what drawing it needs (its corners, projected unless the near plane
// cuts it, and its flat colour) and a small entry (order code, place of that line). The code is
// the depth key mapped to an integer that sorts farthest first, so a radix sort of the entries
// gives the order of comparing the keys, and drawing in that order touches one line per face.
// Everything here draws exactly what clipping, projecting and filling each gathered face in
// that order draws; the shortcuts only skip work whose result is known.
#include "render/render.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <utility>
#include <vector>

#include "render/raster.h"
#include "render/screen.h"
#include "scene/frame_update.h"

namespace {

// One cache line per gathered face.
struct alignas(64) DrawFace {
  PolyVertex corners[3];  // vertices a, b, c: projected, or in camera space
  std::uint32_t colour;   // flat shading's colour (0 in wireframe)
  bool camera_space;      // not projected: the near plane cuts it, or its corners are not its mesh's own
  const Face* face;
};

struct DrawEntry {
  std::uint64_t order;  // ascending order = descending depth key
  std::uint32_t place;  // index into DrawOrder::faces
};

// Process-wide, like the rasteriser's clip buffers, and sized by render_reserve: the gathered
// faces in gather order, the entries in draw order, the other half of the sort's ping-pong, and
// the projected vertices of the mesh being gathered.
struct DrawOrder {
  std::vector<DrawFace> faces;
  std::vector<DrawEntry> entries, scratch;
  std::vector<PolyVertex> projected;
};
DrawOrder draw_order;

// How many faces ahead the draw loop asks for its next lines.
constexpr std::size_t prefetch_distance = 16;

bool has_vertices(const Face& face) {
  return face.vertex_a != nullptr && face.vertex_b != nullptr && face.vertex_c != nullptr;
}

PolyVertex poly_vertex(const Vertex& v) {
  return {v.transformed_position.x, v.transformed_position.y, v.transformed_position.z};
}

// Doubles map to unsigned integers in the same order once a positive value has its sign bit set
// and a negative one has every bit flipped; the complement of that orders them largest first.
std::uint64_t descending_order(double key) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(key);
  const std::uint64_t ascending = (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t(1) << 63);
  return ~ascending;
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

// Limited by max and min, which also turn NaN into 0: the truncation never sees a value
// outside 0 .. 255.
std::uint32_t shade_channel(float ambient, float diffuse, float e) {
  float value = (ambient + diffuse) * e * 255.0f;
  value = value > 0.0f ? value : 0.0f;
  value = value < 255.0f ? value : 255.0f;
  return std::uint32_t(value);
}

// True when no clip plane has anything to cut: clip_near and clip_screen would return the
// three corners unchanged, and skipping them is exact. NaN coordinates answer false.
bool inside_near(const PolyVertex* p) {
  return p[0].z >= near_plane_z && p[1].z >= near_plane_z && p[2].z >= near_plane_z;
}

bool inside_screen(const PolyVertex* p) {
  const float width = float(screen_width), height = float(screen_height);
  for (int i = 0; i < 3; ++i)
    if (!(p[i].x >= 0.0f && p[i].x <= width && p[i].y >= 0.0f && p[i].y <= height)) return false;
  return true;
}

// ceil (v) for 0 <= v < 2^31, without a library call.
int ceil_nonnegative(float v) {
  const int whole = int(v);
  return whole + (float(whole) < v ? 1 : 0);
}

// A triangle on the screen (0 <= y <= screen_height) whose corner rows all round up to one row
// covers no pixel centre, so its fill writes nothing.
bool covers_no_row(const PolyVertex* p) {
  const float top = std::min({p[0].y, p[1].y, p[2].y});
  const float bottom = std::max({p[0].y, p[1].y, p[2].y});
  return ceil_nonnegative(top) == ceil_nonnegative(bottom);
}

// vec_cos_angle (normal, axis) step by step, with the axis's length given: the same operations
// in the same order, so the same bits.
inline float shade_of(const Vector3& normal, const RenderView& view) {
  const double squared = double(normal.x) * normal.x + double(normal.y) * normal.y + double(normal.z) * normal.z;
  const float length = squared == 0 ? 1.0f : float(std::sqrt(squared));
  const double dot = double(normal.x) * view.axis.x + double(normal.y) * view.axis.y + double(normal.z) * view.axis.z;
  const float cos = float(dot / (double(length) * double(view.axis_length)));
  return 1.0f - std::fabs(cos);
}

inline std::uint32_t colour_of(const Material* material, float e) {
  if (material == nullptr) {
    const std::uint32_t grey = shade_channel(unlit_face_grey, 0.0f, e);
    return grey << 16 | grey << 8 | grey;
  }
  return shade_channel(material->ambient.x, material->diffuse.x, e) << 16 |
         shade_channel(material->ambient.y, material->diffuse.y, e) << 8 |
         shade_channel(material->ambient.z, material->diffuse.z, e);
}

std::uint32_t face_colour(const Face& face, const RenderView& view) {
  return view.mode == DRAW_FLAT ? colour_of(face.material, shade_of(face.transformed_normal, view)) : 0;
}

// What draw_polygon_edges draws for a triangle on the screen, each edge once: the fan's first
// member (v0, v0, v1) adds only the pixel at v0 to the lines of (v0, v1, v2). On the screen the
// coordinates are finite and small, so truncating them here is what the rasteriser does.
void outline_triangle(const PolyVertex* p, std::span<std::uint32_t> frame) {
  const int x = int(p[0].x), y = int(p[0].y);
  draw_line(x, y, x, y, wireframe_colour, frame);
  draw_triangle_edges(p[0], p[1], p[2], frame, wireframe_colour);
}

// A polygon of n projected vertices (room for clip_max_vertices): cut at the screen edges
// unless it is a triangle inside them, then filled or outlined.
void draw_projected(PolyVertex* polygon, int n, std::uint32_t colour, const RenderView& view,
                    std::span<std::uint32_t> frame) {
  const bool inside = n == 3 && inside_screen(polygon);
  if (!inside) n = clip_screen({polygon, clip_max_vertices}, n);
  if (view.mode == DRAW_FLAT)
    fill_polygon({polygon, clip_max_vertices}, n, frame, colour);
  else if (inside)
    outline_triangle(polygon, frame);
  else
    draw_polygon_edges({polygon, clip_max_vertices}, n, frame, wireframe_colour);
}

// The triangle's part of draw_face, from its camera-space corners on.
void draw_corners(const PolyVertex (&corners)[3], std::uint32_t colour, const RenderView& view,
                  std::span<std::uint32_t> frame) {
  PolyVertex polygon[clip_max_vertices];  // only the first n are ever read
  std::copy(corners, corners + 3, polygon);
  const int n = inside_near(polygon) ? 3 : clip_near(polygon, 3);
  for (int i = 0; i < n; ++i) project_vertex(polygon[i], view.vertical_factor);
  draw_projected(polygon, n, colour, view, frame);
}

// The face's corners among the mesh's projected vertices, when its vertex pointers are those
// its indices name (as linking the mesh sets them).
bool corner_places(const Mesh& mesh, const Face& face) {
  const std::size_t count = mesh.vertices.size();
  return face.a < count && face.b < count && face.c < count && face.vertex_a == &mesh.vertices[face.a] &&
         face.vertex_b == &mesh.vertices[face.b] && face.vertex_c == &mesh.vertices[face.c];
}

// Flat colours of the gathered faces first .. end - 1. Run on blocks of faces just gathered,
// whose records are still in the cache: short and free of branches, the loop lets the square
// roots and divisions of neighbouring faces overlap.
void shade_block(std::size_t first, std::size_t end, const RenderView& view) {
  if (view.mode != DRAW_FLAT) return;
  for (DrawFace& f : std::span(draw_order.faces.data() + first, end - first))
    f.colour = colour_of(f.face->material, shade_of(f.face->transformed_normal, view));
}

constexpr std::size_t shade_block_size = 256;

// The faces of one mesh, appended at faces[n], entries[n]; returns the new n. `gathered` counts
// the faces taken against the face list's room, kept or not.
std::size_t gather_mesh(const Mesh& mesh, const RenderView& view, std::size_t capacity, std::size_t& gathered,
                        std::size_t n) {
  DrawFace* faces = draw_order.faces.data();
  DrawEntry* entries = draw_order.entries.data();
  PolyVertex* projected = draw_order.projected.data();
  for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
    projected[i] = poly_vertex(mesh.vertices[i]);
    project_vertex(projected[i], view.vertical_factor);
  }
  for (const Face& face : mesh.faces) {
    if (gathered == capacity) break;
    if (!has_vertices(face)) continue;
    ++gathered;
    DrawFace& f = faces[n];
    // Projecting keeps z, so the projected corners still carry the camera-space depths.
    f.camera_space = !corner_places(mesh, face);
    if (!f.camera_space) {
      f.corners[0] = projected[face.a];
      f.corners[1] = projected[face.b];
      f.corners[2] = projected[face.c];
      f.camera_space = !inside_near(f.corners);
    }
    if (f.camera_space) {
      f.corners[0] = poly_vertex(*face.vertex_a);
      f.corners[1] = poly_vertex(*face.vertex_b);
      f.corners[2] = poly_vertex(*face.vertex_c);
    } else if (view.mode == DRAW_FLAT && inside_screen(f.corners) && covers_no_row(f.corners)) {
      continue;  // a flat face that lies on the screen and covers no row draws nothing anywhere
    }
    f.colour = 0;
    f.face = &face;
    // face_depth_key, from the corners' copies of the same z values.
    const double key = double(f.corners[0].z) + double(f.corners[1].z) + double(f.corners[2].z);
    entries[n] = {descending_order(key), std::uint32_t(n)};
    if (++n % shade_block_size == 0) shade_block(n - shade_block_size, n, view);
  }
  return n;
}

// The most faces a frame of the scene can draw, counted when it was loaded.
std::size_t face_capacity(const Scene& scene) {
  return scene.visible_face_count > 0 ? std::size_t(scene.visible_face_count) : 0;
}

}  // namespace

void render_reserve(const Scene& scene) {
  const std::size_t face_count = face_capacity(scene);
  if (draw_order.faces.size() < face_count) {
    draw_order.faces.resize(face_count);
    draw_order.entries.resize(face_count);
    draw_order.scratch.resize(face_count);
  }
  for (const SceneNode* node = scene.first_object; node != nullptr; node = node->next)
    if (node->kind == NODE_MESH) {
      const std::size_t vertex_count = static_cast<const Mesh&>(*node->object).vertices.size();
      if (draw_order.projected.size() < vertex_count) draw_order.projected.resize(vertex_count);
    }
}

int render_scene(Scene& scene, std::int32_t frame_number, std::span<std::uint32_t> frame,
                 std::string_view camera_name, int mode) {
  const Camera* camera = render_prepare(scene, frame_number, camera_name);
  if (camera == nullptr) return 1;
  const RenderView view = render_view(*camera, mode);
  const std::size_t n = draw_order_gather(scene, view);
  draw_order_sort(n);
  draw_order_draw(n, view, frame);
  return 1;
}

Camera* render_prepare(Scene& scene, std::int32_t frame_number, std::string_view camera_name) {
  scene_set_active(&scene);
  Camera* camera = find_camera(camera_name);
  if (camera == nullptr) return nullptr;
  camera->screen_width = float(screen_width);
  camera->screen_height = float(screen_height);
  camera->aspect = render_aspect;
  camera_set_active(camera);
  scene_set_frame(float(frame_number));
  scene_update();
  return camera;
}

std::size_t draw_order_gather(const Scene& scene, const RenderView& view) {
  render_reserve(scene);
  const std::size_t capacity = face_capacity(scene);
  std::size_t gathered = 0;
  std::size_t n = 0;
  for (const SceneNode* node = scene.first_object; node != nullptr && gathered < capacity; node = node->next) {
    if (node->kind != NODE_MESH) continue;
    const Mesh& mesh = static_cast<const Mesh&>(*node->object);
    if ((mesh.flags & MESH_NOT_DRAWN) == 0 && !mesh.faces.empty()) n = gather_mesh(mesh, view, capacity, gathered, n);
  }
  shade_block(n - n % shade_block_size, n, view);
  return n;
}

void draw_order_sort(std::size_t n) {
  assert(n <= draw_order.entries.size());
  if (n >= 2) radix_sort({draw_order.entries.data(), n}, draw_order.scratch);
}

const Face* draw_order_face(std::size_t i) {
  return i < draw_order.entries.size() ? draw_order.faces[draw_order.entries[i].place].face : nullptr;
}

void draw_order_draw(std::size_t n, const RenderView& view, std::span<std::uint32_t> frame) {
  assert(n <= draw_order.entries.size());
  const DrawFace* faces = draw_order.faces.data();
  const DrawEntry* entries = draw_order.entries.data();
  for (std::size_t i = 0; i < n; ++i) {
    if (i + prefetch_distance < n) __builtin_prefetch(&faces[entries[i + prefetch_distance].place]);
    const DrawFace& f = faces[entries[i].place];
    if (f.camera_space) {
      draw_corners(f.corners, f.colour, view, frame);
    } else {
      PolyVertex polygon[clip_max_vertices];
      std::copy(f.corners, f.corners + 3, polygon);
      draw_projected(polygon, 3, f.colour, view, frame);
    }
  }
}

int gather_faces(Scene& scene) {
  // The scene's list is sized on first use; loading left it empty.
  const std::size_t capacity = face_capacity(scene);
  if (scene.face_list.size() < capacity) scene.face_list.resize(capacity);
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
  view.axis_length = vec_length(view.axis);
  view.vertical_factor = camera.perspective_y;
  view.mode = mode;
  return view;
}

float face_shade(const Vector3& normal, const RenderView& view) { return shade_of(normal, view); }

std::uint32_t shade_colour(const Material* material, float e) { return colour_of(material, e); }

void draw_face(const Face& face, const RenderView& view, std::span<std::uint32_t> frame) {
  if (!has_vertices(face)) return;
  const PolyVertex corners[3] = {poly_vertex(*face.vertex_a), poly_vertex(*face.vertex_b), poly_vertex(*face.vertex_c)};
  draw_corners(corners, face_colour(face, view), view, frame);
}
