// show_scene.cpp: the sample show's 3D scene, scene.3ds, seen through "Camera01" over frames
// 0 .. 400 (16 seconds at 25 frames a second): a ring tumbling around a crystal that shows for
// the middle of the show, two moons and a pebble circling on a dummy, four pillars on a checker
// floor, and a camera that circles, zooms and rolls. Lights and the ambient colour move too,
// though the renderer shades by the camera axis alone. Geometry and keys are made here in the
// show's axes (y up) and written in the file's (z up).
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string_view>
#include <vector>

#include "tools/show_assets.h"
#include "tools/tds_writer.h"

namespace {

constexpr std::uint32_t scene_frames = 400;
constexpr float pi = std::numbers::pi_v<float>;

TdsVec file_axes(float x, float y, float z) { return {x, z, y}; }

struct MeshData {
  std::vector<TdsVec> points;  // file axes
  std::vector<TdsFace> faces;

  std::uint16_t point(float x, float y, float z) {
    points.push_back(file_axes(x, y, z));
    return std::uint16_t(points.size() - 1);
  }
  void triangle(std::uint16_t a, std::uint16_t b, std::uint16_t c) { faces.push_back({a, b, c, 0}); }
  void quad(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
    triangle(a, b, c);
    triangle(a, c, d);
  }
};

struct FaceGroup {
  std::string_view material;
  std::vector<std::uint16_t> faces;
};

FaceGroup all_faces(std::string_view material, const MeshData& mesh) {
  FaceGroup group{material, {}};
  for (std::size_t i = 0; i < mesh.faces.size(); ++i) group.faces.push_back(std::uint16_t(i));
  return group;
}

// ---- shapes, centred on the origin unless placed ----

// A ring lying in the x-z plane.
void add_torus(MeshData& m, float major, float minor, int around, int tube) {
  const std::uint16_t base = std::uint16_t(m.points.size());
  for (int i = 0; i < around; ++i) {
    const float u = 2 * pi * float(i) / float(around);
    for (int j = 0; j < tube; ++j) {
      const float v = 2 * pi * float(j) / float(tube);
      const float r = major + minor * std::cos(v);
      m.point(r * std::cos(u), minor * std::sin(v), r * std::sin(u));
    }
  }
  auto at = [&](int i, int j) { return std::uint16_t(base + (i % around) * tube + (j % tube)); };
  for (int i = 0; i < around; ++i)
    for (int j = 0; j < tube; ++j) m.quad(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
}

void add_sphere(MeshData& m, float radius, int slices, int stacks) {
  const std::uint16_t top = m.point(0, radius, 0);
  const std::uint16_t first_ring = std::uint16_t(m.points.size());
  for (int s = 1; s < stacks; ++s) {
    const float polar = pi * float(s) / float(stacks);
    for (int i = 0; i < slices; ++i) {
      const float u = 2 * pi * float(i) / float(slices);
      m.point(radius * std::sin(polar) * std::cos(u), radius * std::cos(polar), radius * std::sin(polar) * std::sin(u));
    }
  }
  const std::uint16_t bottom = m.point(0, -radius, 0);
  auto at = [&](int ring, int i) { return std::uint16_t(first_ring + ring * slices + (i % slices)); };
  for (int i = 0; i < slices; ++i) {
    m.triangle(top, at(0, i + 1), at(0, i));
    for (int ring = 0; ring + 1 < stacks - 1; ++ring) m.quad(at(ring, i), at(ring, i + 1), at(ring + 1, i + 1), at(ring + 1, i));
    m.triangle(bottom, at(stacks - 2, i), at(stacks - 2, i + 1));
  }
}

void add_box(MeshData& m, float hx, float hy, float hz) {
  std::uint16_t v[8];
  for (int i = 0; i < 8; ++i) v[i] = m.point(i & 1 ? hx : -hx, i & 2 ? hy : -hy, i & 4 ? hz : -hz);
  m.quad(v[0], v[1], v[3], v[2]);
  m.quad(v[4], v[6], v[7], v[5]);
  m.quad(v[0], v[4], v[5], v[1]);
  m.quad(v[2], v[3], v[7], v[6]);
  m.quad(v[0], v[2], v[6], v[4]);
  m.quad(v[1], v[5], v[7], v[3]);
}

// Two pyramids base to base: a crystal standing on its lower point.
void add_bipyramid(MeshData& m, float radius, float half_height, int sides) {
  const std::uint16_t top = m.point(0, half_height, 0), bottom = m.point(0, -half_height, 0);
  const std::uint16_t ring = std::uint16_t(m.points.size());
  for (int i = 0; i < sides; ++i) {
    const float u = 2 * pi * float(i) / float(sides);
    m.point(radius * std::cos(u), 0, radius * std::sin(u));
  }
  for (int i = 0; i < sides; ++i) {
    const std::uint16_t a = std::uint16_t(ring + i), b = std::uint16_t(ring + (i + 1) % sides);
    m.triangle(top, b, a);
    m.triangle(bottom, a, b);
  }
}

// An upright prism with both caps, its base centred on (x, y0, z).
void add_pillar(MeshData& m, float x, float z, float radius, float y0, float y1, int sides) {
  const std::uint16_t base = std::uint16_t(m.points.size());
  for (int i = 0; i < sides; ++i) {
    const float u = 2 * pi * (float(i) + 0.5f) / float(sides);
    m.point(x + radius * std::cos(u), y0, z + radius * std::sin(u));
    m.point(x + radius * std::cos(u), y1, z + radius * std::sin(u));
  }
  for (int i = 0; i < sides; ++i) {
    const int j = (i + 1) % sides;
    m.quad(std::uint16_t(base + 2 * i), std::uint16_t(base + 2 * j), std::uint16_t(base + 2 * j + 1),
           std::uint16_t(base + 2 * i + 1));
  }
  for (int i = 1; i + 1 < sides; ++i) {
    m.triangle(base, std::uint16_t(base + 2 * i), std::uint16_t(base + 2 * i + 2));
    m.triangle(std::uint16_t(base + 1), std::uint16_t(base + 2 * i + 3), std::uint16_t(base + 2 * i + 1));
  }
}

// A square of cells x cells tiles at height y, alternately in the two groups' materials.
void add_checker_floor(MeshData& m, float half_size, float y, int cells, FaceGroup& light, FaceGroup& dark) {
  const float step = 2 * half_size / float(cells);
  for (int row = 0; row <= cells; ++row)
    for (int col = 0; col <= cells; ++col) m.point(-half_size + step * float(col), y, -half_size + step * float(row));
  for (int row = 0; row < cells; ++row)
    for (int col = 0; col < cells; ++col) {
      const auto at = [&](int r, int c) { return std::uint16_t(r * (cells + 1) + c); };
      FaceGroup& group = (row + col) % 2 == 0 ? light : dark;
      group.faces.push_back(std::uint16_t(m.faces.size()));
      group.faces.push_back(std::uint16_t(m.faces.size() + 1));
      m.quad(at(row, col), at(row, col + 1), at(row + 1, col + 1), at(row + 1, col));
    }
}

// ---- editor objects ----

void write_material(TdsWriter& w, std::string_view name, TdsVec ambient, TdsVec diffuse) {
  w.begin(TDS_MATERIAL);
  w.chunk_string(TDS_MAT_NAME, name);
  w.color_chunk_float(TDS_MAT_AMBIENT, ambient.x, ambient.y, ambient.z);
  w.color_chunk_float(TDS_MAT_DIFFUSE, diffuse.x, diffuse.y, diffuse.z);
  w.color_chunk_float(TDS_MAT_SPECULAR, 0.9f, 0.9f, 0.9f);
  w.percent_chunk(TDS_MAT_SHININESS, 40);
  w.end();
}

void write_mesh(TdsWriter& w, std::string_view name, const MeshData& mesh, std::initializer_list<FaceGroup> groups) {
  w.begin_named_object(name);
  w.begin(TDS_MESH);
  w.points(mesh.points);
  w.begin_faces(mesh.faces);
  for (const FaceGroup& g : groups) w.face_material(g.material, g.faces);
  w.end();
  w.end();
  w.end();
}

void write_editor(TdsWriter& w) {
  w.begin(TDS_EDITOR);
  w.mesh_version(3);
  write_material(w, "Ember", {0.35f, 0.10f, 0.02f}, {0.65f, 0.45f, 0.10f});
  write_material(w, "Ice", {0.10f, 0.25f, 0.35f}, {0.30f, 0.70f, 0.65f});
  write_material(w, "Moon", {0.20f, 0.20f, 0.25f}, {0.60f, 0.60f, 0.70f});
  write_material(w, "Violet", {0.25f, 0.05f, 0.30f}, {0.55f, 0.25f, 0.70f});
  write_material(w, "Stone", {0.15f, 0.12f, 0.10f}, {0.55f, 0.50f, 0.40f});
  write_material(w, "TileLight", {0.05f, 0.05f, 0.15f}, {0.15f, 0.22f, 0.50f});
  write_material(w, "TileDark", {0.02f, 0.02f, 0.05f}, {0.05f, 0.06f, 0.16f});

  MeshData floor;
  FaceGroup light{"TileLight", {}}, dark{"TileDark", {}};
  add_checker_floor(floor, 80, -30, 16, light, dark);
  write_mesh(w, "Floor", floor, {light, dark});

  MeshData ring, crystal, moon, cube, pebble;
  add_torus(ring, 16, 4, 24, 8);
  add_bipyramid(crystal, 6, 11, 6);
  add_sphere(moon, 7, 12, 8);
  add_box(cube, 5, 5, 5);
  add_box(pebble, 2, 2, 2);
  write_mesh(w, "Ring", ring, {all_faces("Ember", ring)});
  write_mesh(w, "Crystal", crystal, {all_faces("Ice", crystal)});
  write_mesh(w, "MoonA", moon, {all_faces("Moon", moon)});
  write_mesh(w, "MoonB", cube, {all_faces("Violet", cube)});
  write_mesh(w, "Pebble", pebble, {all_faces("Ember", pebble)});

  MeshData pillars;
  for (int i = 0; i < 4; ++i) {
    const float u = pi / 4 + float(i) * pi / 2;
    add_pillar(pillars, 56 * std::cos(u), 56 * std::sin(u), 4.5f, -30, 14, 8);
  }
  write_mesh(w, "Pillars", pillars, {all_faces("Stone", pillars)});

  w.begin_named_object("Camera01");
  w.camera(file_axes(0, 40, -110), file_axes(0, 0, 0), 0, 35);
  w.end();
  w.begin_named_object("Sun");
  w.begin_light(file_axes(60, 90, -40));
  w.color_float(1.0f, 0.95f, 0.8f);
  w.end();
  w.end();
  w.begin_named_object("Spot01");
  w.begin_light(file_axes(-70, 80, 30));
  w.color_float(0.6f, 0.7f, 1.0f);
  w.spotlight(file_axes(0, 0, 0), 25, 40);
  w.end();
  w.end();
  w.end();
}

// ---- keyframer ----

// Each key turns by `step` radians about the axis (show axes) from the key before; the first
// key is the rest orientation, and the turning eases in and out at the two ends.
std::vector<TdsRotationKey> spin(TdsVec axis, std::uint32_t every, float step) {
  const float length = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
  const TdsVec a = file_axes(axis.x / length, axis.y / length, axis.z / length);
  std::vector<TdsRotationKey> keys;
  for (std::uint32_t frame = 0; frame <= scene_frames; frame += every)
    keys.push_back({frame, frame == 0 ? 0.0f : step, a, {}});
  keys.front().params.ease_from = 0.5f;
  keys.back().params.ease_to = 0.5f;
  return keys;
}

const std::vector<TdsRotationKey> no_turn = {{0, 0, {0, 0, 1}, {}}};
const std::vector<TdsVectorKey> unit_scale = {{0, {1, 1, 1}, {}}};

TdsVectorKey at(std::uint32_t frame, float x, float y, float z, TdsKeyParams params = {}) {
  return {frame, file_axes(x, y, z), params};
}

void begin_node(TdsWriter& w, std::uint16_t chunk, std::uint16_t id, std::string_view name, std::int16_t parent) {
  w.begin(chunk);
  w.node_id(id);
  w.node_header(name, 0, 0, parent);
}

void object_node(TdsWriter& w, std::uint16_t id, std::string_view name, std::int16_t parent,
                 const std::vector<TdsVectorKey>& position, const std::vector<TdsRotationKey>& rotation,
                 const std::vector<TdsVectorKey>& scale) {
  begin_node(w, TDS_OBJECT_NODE, id, name, parent);
  w.vector_track(TDS_POS_TRACK, position);
  w.rotation_track(rotation);
  w.vector_track(TDS_SCL_TRACK, scale);
  w.end();
}

// Node numbers; parents come before their children.
enum : std::int16_t { AMBIENT, FLOOR, RING, CRYSTAL, ORBIT, MOON_A, MOON_B, PEBBLE, PILLARS, CAMERA, TARGET, SUN, SPOT, SPOT_TARGET };

void write_object_nodes(TdsWriter& w) {
  object_node(w, FLOOR, "Floor", -1, {at(0, 0, 0, 0)}, no_turn, unit_scale);
  object_node(w, PILLARS, "Pillars", -1, {at(0, 0, 0, 0)}, no_turn, unit_scale);

  // The ring tumbles about a slanted axis and swells on the beat of every 25 frames.
  std::vector<TdsVectorKey> pulse;
  for (std::uint32_t f = 0; f <= scene_frames; f += 25) {
    const float s = f % 50 == 0 ? 1.12f : 0.94f;
    pulse.push_back({f, {s, s, s}, {0.3f, -0.4f, 0, 0, 0}});
  }
  object_node(w, RING, "Ring", -1, {at(0, 4, 0, 0)}, spin({1, 0.35f, 0.2f}, 40, pi / 2), pulse);

  // The crystal is hidden until just after frame 100 and again after frame 300; it grows
  // out of nothing when it appears and bobs while it turns.
  begin_node(w, TDS_OBJECT_NODE, CRYSTAL, "Crystal", -1);
  const std::vector<TdsVectorKey> bob = {at(0, 0, 4, 0), at(100, 0, 4, 0), at(180, 0, 9, 0, {0, 0, 0.5f, 0, 0}),
                                         at(260, 0, 1, 0), at(300, 0, 4, 0)};
  w.vector_track(TDS_POS_TRACK, bob);
  w.rotation_track(spin({0, 1, 0}, 50, -pi / 2));
  const std::vector<TdsVectorKey> grow = {{0, {0.05f, 0.05f, 0.05f}, {}},
                                          {100, {0.05f, 0.05f, 0.05f}, {}},
                                          {125, {1.1f, 1.1f, 1.1f}, {0, 0, 0, 0.8f, 0}},
                                          {135, {1, 1, 1}, {}}};
  w.vector_track(TDS_SCL_TRACK, grow);
  const std::vector<std::uint32_t> hidden = {0, 100, 300};
  w.hide_track(hidden);
  w.end();

  // The dummy carries the moons round the middle, rising and sinking as it goes.
  begin_node(w, TDS_OBJECT_NODE, ORBIT, "$$$DUMMY", -1);
  w.instance_name("Orbit");
  const std::vector<TdsVectorKey> sway = {at(0, 0, 2, 0), at(100, 0, 10, 0, {-0.2f, 0, 0, 0, 0}), at(200, 0, -2, 0),
                                          at(300, 0, 8, 0, {0, 0.3f, 0, 0, 0}), at(400, 0, 2, 0)};
  w.vector_track(TDS_POS_TRACK, sway);
  w.rotation_track(spin({0, 1, 0.1f}, 50, pi / 2));
  w.vector_track(TDS_SCL_TRACK, unit_scale);
  w.end();
  object_node(w, MOON_A, "MoonA", ORBIT, {at(0, 42, 0, 0)}, spin({0.2f, 1, 0}, 25, pi / 2), unit_scale);
  object_node(w, MOON_B, "MoonB", ORBIT, {at(0, -40, 6, 0)}, spin({1, 1, 0}, 20, -pi / 2), unit_scale);
  object_node(w, PEBBLE, "Pebble", MOON_A, {at(0, 13, 3, 0)}, spin({1, 0, 1}, 10, pi / 2), unit_scale);
}

void write_camera_and_light_nodes(TdsWriter& w) {
  // Once round the scene, low at the start, high over the middle, closing in at the end.
  begin_node(w, TDS_CAMERA_NODE, CAMERA, "Camera01", -1);
  std::vector<TdsVectorKey> path;
  const float heights[] = {22, 35, 70, 55, 30, 45, 28, 18, 26};
  const float radii[] = {125, 118, 112, 118, 124, 114, 108, 104, 110};
  for (int k = 0; k <= 8; ++k) {
    const float u = -pi / 2 + float(k) * pi / 4;
    const TdsKeyParams params = {0.1f, 0, k % 2 == 0 ? 0.2f : -0.2f, 0, 0};
    path.push_back(at(std::uint32_t(k * 50), radii[k] * std::cos(u), heights[k], radii[k] * std::sin(u), params));
  }
  w.vector_track(TDS_POS_TRACK, path);
  const std::vector<TdsFloatKey> fov = {{0, 70, {}}, {120, 55, {}}, {220, 48, {0, 0, 0, 0.5f, 0.5f}},
                                        {320, 62, {}}, {400, 58, {}}};
  w.float_track(TDS_FOV_TRACK, fov);
  const std::vector<TdsFloatKey> roll = {{0, 0, {}}, {100, 8, {}}, {200, -6, {}}, {300, 12, {}}, {400, 0, {}}};
  w.float_track(TDS_ROLL_TRACK, roll);
  w.end();

  begin_node(w, TDS_TARGET_NODE, TARGET, "Camera01", -1);
  const std::vector<TdsVectorKey> look = {at(0, 0, 2, 0), at(150, 5, 6, -4), at(250, -4, 0, 3), at(400, 0, 4, 0)};
  w.vector_track(TDS_POS_TRACK, look);
  w.end();

  begin_node(w, TDS_LIGHT_NODE, SUN, "Sun", -1);
  const std::vector<TdsVectorKey> sun_path = {at(0, 60, 90, -40), at(400, -60, 90, 40)};
  w.vector_track(TDS_POS_TRACK, sun_path);
  const std::vector<TdsVectorKey> sun_colour = {{0, {1, 0.95f, 0.8f}, {}}, {200, {1, 0.6f, 0.4f}, {}}, {400, {1, 0.95f, 0.8f}, {}}};
  w.vector_track(TDS_COL_TRACK, sun_colour);
  w.end();

  begin_node(w, TDS_SPOTLIGHT_NODE, SPOT, "Spot01", -1);
  w.vector_track(TDS_POS_TRACK, std::vector<TdsVectorKey>{at(0, -70, 80, 30)});
  w.vector_track(TDS_COL_TRACK, std::vector<TdsVectorKey>{{0, {0.6f, 0.7f, 1.0f}, {}}});
  w.float_track(TDS_ROLL_TRACK, std::vector<TdsFloatKey>{{0, 0, {}}, {400, 90, {}}});
  w.end();
  begin_node(w, TDS_L_TARGET_NODE, SPOT_TARGET, "Spot01", -1);
  w.vector_track(TDS_POS_TRACK, std::vector<TdsVectorKey>{at(0, 0, 0, 0), at(200, 20, 0, 10), at(400, 0, 0, 0)});
  w.end();
}

void write_keyframer(TdsWriter& w) {
  w.begin(TDS_KEYFRAMER);
  w.frames(0, scene_frames);
  begin_node(w, TDS_AMBIENT_NODE, AMBIENT, "$AMBIENT$", -1);
  w.vector_track(TDS_COL_TRACK, std::vector<TdsVectorKey>{{0, {0.1f, 0.1f, 0.15f}, {}}, {400, {0.2f, 0.1f, 0.1f}, {}}});
  w.end();
  write_object_nodes(w);
  write_camera_and_light_nodes(w);
  w.end();
}

std::vector<std::uint8_t> show_scene_bytes() {
  TdsWriter w;
  w.begin(TDS_MAIN);
  w.version(3);
  write_editor(w);
  write_keyframer(w);
  w.end();
  return w.bytes();
}

}  // namespace

bool write_show_scene(const std::filesystem::path& dir) {
  const std::vector<std::uint8_t> bytes = show_scene_bytes();
  std::ofstream out(dir / "scene.3ds", std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}
