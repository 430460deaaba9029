// The 3DS reader: scenes built byte by byte for the handlers and each failure code, the files
// written by an independent 3DS library with what their README lists, and damaged files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "base/limits.h"
#include "native_scene_fixture.h"
#include "scene/frame_update.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "testdata.h"

namespace {

constexpr LibraryFlags show_flags = LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM;
using Bytes = std::vector<std::uint8_t>;

struct Loaded {
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  int scene_code = -1, motion_code = -1;
  std::string printed;  // the reader's lines
};

// Both load stages of a file (the motion stage ends by updating frame 0), the reader's lines caught.
Loaded load(const std::filesystem::path& path, LibraryFlags flags = 0) {
  Loaded l;
  lib_init(flags);
  std::FILE* lines = std::tmpfile();
  std::FILE* old = read_3ds_set_output(lines);
  l.scene_code = scene_load(path.c_str(), l.scene.get());
  l.motion_code = scene_load_motion(path.c_str(), l.scene.get());
  read_3ds_set_output(old);
  std::rewind(lines);
  for (int c; (c = std::fgetc(lines)) != EOF;) l.printed += char(c);
  std::fclose(lines);
  return l;
}

Loaded load(const Bytes& bytes, LibraryFlags flags = 0) {
  const auto dir = std::filesystem::path(QUINDLE_BINARY_DIR) / "scratch" /
                   ("reader_3ds_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::filesystem::create_directories(dir);
  write_file_bytes(dir / "scene.3ds", bytes);
  return load(dir / "scene.3ds", flags);
}

template <class T>
const T& object(const Loaded& l, std::string_view name) {
  for (SceneNode* n = l.scene->first_object; n != nullptr; n = n->next)
    if (const T* t = dynamic_cast<const T*>(n->object.get()); t != nullptr && t->name == name) return *t;
  throw std::runtime_error("no object " + std::string(name));
}

const AnimNode& node(const Loaded& l, std::int32_t id) {
  for (AnimNode* n = l.scene->first_anim_node; n != nullptr; n = n->next)
    if (n->node_id == id) return *n;
  throw std::runtime_error("no node " + std::to_string(id));
}

// The object list, row by row: name, kind, id.
struct ObjectRow {
  std::string name;
  SceneNodeKind kind;
  std::int32_t id;
};

void expect_objects(const Loaded& l, const std::vector<ObjectRow>& rows) {
  const SceneNode* o = l.scene->first_object;
  for (const ObjectRow& row : rows) {
    ASSERT_NE(o, nullptr) << "the list ends before " << row.name;
    EXPECT_EQ(o->object->name, row.name);
    EXPECT_EQ(o->kind, row.kind) << row.name;
    EXPECT_EQ(o->object->id, row.id) << row.name;
    o = o->next;
  }
  EXPECT_EQ(o, nullptr) << "more objects than listed";
}

// The animation-node list, row by row: node number, kind, object name, the key count of each
// slot, the parent's number (-1 for none).
struct NodeRow {
  std::int32_t node_id;
  AnimNodeKind kind;
  std::string object;
  std::array<int, track_set_capacity> keys;
  std::int32_t parent;
};

void expect_nodes(const Loaded& l, const std::vector<NodeRow>& rows) {
  const AnimNode* n = l.scene->first_anim_node;
  for (const NodeRow& row : rows) {
    ASSERT_NE(n, nullptr) << "the list ends before node " << row.node_id;
    EXPECT_EQ(n->node_id, row.node_id);
    EXPECT_EQ(n->kind, row.kind) << "node " << row.node_id;
    EXPECT_EQ(n->object->name, row.object) << "node " << row.node_id;
    for (int slot = 0; slot < track_set_capacity; ++slot) {
      const Track* t = n->tracks->slots[slot].get();
      EXPECT_EQ(t != nullptr ? t->key_count : 0, row.keys[std::size_t(slot)]) << "node " << row.node_id << " slot " << slot;
    }
    EXPECT_EQ(n->parent != nullptr ? n->parent->node_id : -1, row.parent) << "node " << row.node_id;
    n = n->next;
  }
  EXPECT_EQ(n, nullptr) << "more nodes than listed";
}

void expect_vec(const Vector3& v, Vector3 want, float tolerance = 0) {
  EXPECT_LE(std::abs(v.x - want.x), tolerance) << v.x << ", " << v.y << ", " << v.z;
  EXPECT_LE(std::abs(v.y - want.y), tolerance) << v.x << ", " << v.y << ", " << v.z;
  EXPECT_LE(std::abs(v.z - want.z), tolerance) << v.x << ", " << v.y << ", " << v.z;
}

constexpr TdsVec triangle[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
constexpr TdsFace one_face[] = {{0, 1, 2, 0}};

// A file whose editor chunk (mesh version byte `version` at offset 28) holds what `body` writes.
Bytes editor(const std::function<void(TdsWriter&)>& body, std::uint8_t version = 3) {
  TdsWriter w;
  w.begin(TDS_MAIN);
  w.version(3);
  w.begin(TDS_EDITOR);
  w.mesh_version(version);
  body(w);
  while (w.depth() > 0) w.end();
  return w.bytes();
}

// Material "Box" (id 0) and mesh "Box" (1), then a keyframer chunk of frames 0 .. 100 that
// holds what `body` writes.
Bytes keyframer(const std::function<void(TdsWriter&)>& body) {
  return editor([&](TdsWriter& w) {
    w.begin(TDS_MATERIAL);
    w.chunk_string(TDS_MAT_NAME, "Box");
    w.end();
    w.begin_named_object("Box");
    w.begin(TDS_MESH);
    w.points(triangle);
    w.begin_faces(one_face);
    w.end();
    w.end();
    w.end();
    w.end();
    w.begin(TDS_KEYFRAMER);
    w.frames(0, 100);
    body(w);
  });
}

// Opens a node chunk with its node-id chunk (none for -1) and its header.
void begin_node(TdsWriter& w, std::uint16_t chunk, std::string_view name, int id = -1, std::int16_t parent = -1,
                std::uint16_t flags = 0) {
  w.begin(chunk);
  if (id >= 0) w.node_id(std::uint16_t(id));
  w.node_header(name, flags, 0, parent);
}

}  // namespace

TEST(Read3dsDamaged, CutAtEveryLengthOrChangedFailsWithACodeOrLoads) {
  std::vector<Bytes> files = {fixture_scene_3ds()};
  for (const char* name : {"3ds/cube_flat.3ds", "3ds/hierarchy.3ds"})
    files.push_back(read_file_bytes(testdata_path(name)));
  ASSERT_EQ(load(files[0]).motion_code, SCENE_OK);
  // In memory, for speed: both stages, then boxes, normals and frame 0 whatever the stages gave.
  std::FILE* old = read_3ds_set_output(nullptr);
  for (const Bytes& bytes : files)
    for_each_damaged(bytes, 1000, unsigned(bytes.size()), [](const Bytes& damaged, std::size_t) {
      lib_init(show_flags);
      Scene scene;
      scene_set_active(&scene);
      SceneFile file;
      file.bytes = damaged;
      for (int code : {read_3ds_scene(file), read_3ds_motion(file)})
        EXPECT_THAT(code, testing::AnyOf(0, 1, 3, 4, 256));
      for (SceneNode* n = scene.first_object; n != nullptr; n = n->next)
        if (auto* mesh = dynamic_cast<Mesh*>(n->object.get())) {
          mesh_compute_bounds(*mesh);
          mesh_compute_normals(*mesh);
        }
      scene_set_frame(0);
      scene_update();
      lib_init(0);
    });
  read_3ds_set_output(old);
}

// Hostile shapes cost linear time: 100 000 nodes naming node 0 as their parent, and 37 000 nodes
// sharing one node id with as many children naming it. Loading them took minutes, and the shared
// id seconds per frame, while lists were searched from the start; the bounds are generous.
TEST(Read3dsDamaged, ManyNodesAndSharedIdsLoadAndUpdateInLinearTime) {
  const Bytes many = keyframer([](TdsWriter& w) {
    for (int i = 0; i < 100000; ++i) {
      begin_node(w, TDS_OBJECT_NODE, "Box", -1, std::int16_t(i == 0 ? -1 : 0));
      w.end();
    }
  });
  const Bytes shared = keyframer([](TdsWriter& w) {
    for (int i = 0; i < 37000; ++i) {
      begin_node(w, TDS_OBJECT_NODE, "Box", 5);
      w.end();
    }
    for (int i = 0; i < 37000; ++i) {
      begin_node(w, TDS_OBJECT_NODE, "Box", 6, 5);
      w.end();
    }
  });
  using Clock = std::chrono::steady_clock;
  for (const Bytes* bytes : {&many, &shared}) {
    const auto start = Clock::now();
    const Loaded l = load(*bytes, show_flags);
    const auto loaded = Clock::now();
    EXPECT_EQ(l.motion_code, SCENE_OK);
    scene_set_active(l.scene.get());
    EXPECT_EQ(scene_set_frame(1), SCENE_OK);
    EXPECT_EQ(scene_update(), SCENE_OK);
    const auto updated = Clock::now();
    EXPECT_LT(std::chrono::duration<double>(loaded - start).count(), 2.0);
    EXPECT_LT(std::chrono::duration<double>(updated - loaded).count(), 0.2);
  }
  lib_init(0);
}

// The largest input the reader accepts (base/limits.h): 16-bit counts hold the most vertices,
// faces and keys; nodes are refused past their limit.
TEST(Read3dsDamaged, LimitsAreAcceptedUpToTheLastAndRefusedPastIt) {
  const std::vector<TdsVec> points(std::size_t(max_mesh_vertices), TdsVec{0, 0, 0});
  const std::vector<TdsFace> faces(std::size_t(max_mesh_faces), TdsFace{0, 0, 0, 0});
  const Loaded largest_mesh = load(editor([&](TdsWriter& w) {
    w.begin_named_object("M");
    w.begin(TDS_MESH);
    w.points(points);
    w.begin_faces(faces);
  }));
  EXPECT_EQ(largest_mesh.scene_code, SCENE_OK);
  EXPECT_EQ(object<Mesh>(largest_mesh, "M").vertices.size(), std::size_t(max_mesh_vertices));
  EXPECT_EQ(object<Mesh>(largest_mesh, "M").faces.size(), std::size_t(max_mesh_faces));

  const std::vector<TdsVectorKey> keys(std::size_t(max_track_keys), TdsVectorKey{0, {1, 2, 3}});
  const Loaded most_keys = load(keyframer([&](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "Box", 0);
    w.vector_track(TDS_POS_TRACK, keys);
  }));
  EXPECT_EQ(most_keys.motion_code, SCENE_OK);
  EXPECT_EQ(node(most_keys, 0).tracks->slots[SLOT_POSITION]->key_count, max_track_keys);

  for (std::int64_t count : {max_scene_nodes, max_scene_nodes + 1}) {
    const Loaded l = load(keyframer([count](TdsWriter& w) {
      for (std::int64_t i = 0; i < count; ++i) {
        begin_node(w, TDS_OBJECT_NODE, "Box");
        w.end();
      }
    }));
    EXPECT_EQ(l.motion_code, count > max_scene_nodes ? SCENE_READ_ERROR : SCENE_OK) << count << " nodes";
  }
  lib_init(0);
}

// ---- files written by an independent 3DS library: what their README lists ----

TEST(Read3dsFiles, CubeFlatObjectsNodesAndTheirValues) {
  const std::filesystem::path path = testdata_path("3ds/cube_flat.3ds");
  const Loaded l = load(path);
  ASSERT_EQ(l.scene_code, 0);
  ASSERT_EQ(l.motion_code, 0);
  expect_objects(l, {{"RedMat", NODE_MATERIAL, 0},
                     {"Camera01", NODE_CAMERA, 1},
                     {"Omni01", NODE_LIGHT, 2},
                     {"Spot01", NODE_LIGHT, 3},
                     {"Cube", NODE_MESH, 4}});
  expect_nodes(l, {{0, ANIM_CAMERA, "Camera01", {3, 4, 2, 0, 0}, -1},
                   {1, ANIM_CAMERA_TARGET, "Camera01", {2, 0, 0, 0, 0}, -1},
                   {5, ANIM_OBJECT, "Cube", {4, 3, 4, 0, 0}, -1},
                   {2, ANIM_OMNI, "Omni01", {2, 3, 0, 0, 0}, -1},
                   {3, ANIM_SPOT, "Spot01", {1, 1, 2, 0, 0}, -1},
                   {4, ANIM_LIGHT_TARGET, "Spot01", {2, 0, 0, 0, 0}, -1}});
  EXPECT_EQ(l.printed, "licht gelesen: Omni01\r\nlicht gelesen: Spot01\r\n");
  EXPECT_EQ(node(l, 1).tracks->slots[0]->first->next->tension, -0.5f);
  const Material& mat = object<Material>(l, "RedMat");
  const Light &omni = object<Light>(l, "Omni01"), &spot = object<Light>(l, "Spot01");
  const Mesh& cube = object<Mesh>(l, "Cube");
  EXPECT_EQ(mat.flags, MATERIAL_TWO_SIDED);
  EXPECT_EQ(mat.shading, 1);
  EXPECT_EQ(omni.type, LIGHT_OMNI);
  EXPECT_EQ(spot.type, LIGHT_SPOT);
  EXPECT_EQ(spot.hotspot, 30);
  EXPECT_EQ(spot.falloff, 45);
  const std::pair<Vector3, Vector3> values[] = {
      {mat.ambient, {0.2f, 0, 0}}, {mat.diffuse, {1, 0.501961f, 0}}, {mat.specular, {0.898039f, 0.898039f, 0.898039f}},
      {{mat.shininess, mat.shininess_strength, mat.transparency}, {0.25f, 0.05f, 0.1f}},
      {{mat.transparency_falloff, mat.reflection_blur, 0}, {0, 0.2f, 0}},
      {omni.position, {50, 80, 50}}, {omni.color, {0.9f, 0.8f, 0.7f}}, {spot.position, {-60, 90, -40}},
      {spot.target, {0, 0, 0}}, {spot.color, {1, 1, 0.5f}}, {cube.pivot, {0.5f, 0.75f, -0.25f}}};
  for (const auto& [got, want] : values) expect_vec(got, want, 1e-6f);
  ASSERT_EQ(cube.vertices.size(), 8u);
  ASSERT_EQ(cube.faces.size(), 12u);
  int wrapped = 0;
  for (const Face& f : cube.faces) {
    EXPECT_EQ(f.material_id, 0);
    EXPECT_EQ(f.material, &mat);
    EXPECT_EQ(f.vertex_a, &cube.vertices[f.a]);
    wrapped += f.flags != 0;
  }
  EXPECT_EQ(wrapped, 3);
}

// The README's evaluated state (flags 15, no active camera), frames set in the order listed;
// at frame 0 the Cube lands on the vertices as stored in the file.
TEST(Read3dsFiles, FramesEvaluateAsTheReadmeLists) {
  const std::filesystem::path dir = testdata_path("3ds");
  // cube_flat.3ds: frame, Cube position, Camera01 position, fov, roll.
  const std::vector<std::vector<float>> cube = {
      {0, 10.991f, 5.375f, 20.2835f, 0, 40, -120, 48, 0},
      {5.5f, 17.6023f, 4.9371f, 16.7616f, 9.3755f, 41.5626f, -115.3123f, 43.5772f, 1.65f},
      {25, 30, 5, 10, 35.625f, 45.9375f, -102.1875f, 31.0752f, 7.5f},
      {50, -2.8249f, 13.8348f, 31.5444f, 60, 50, -90, 29.7822f, 15},
      {99, -0.04f, 10.0153f, 0.0735f, 1.7998f, 40.3f, -119.1001f, 58.8574f, 29.7f}};
  // hierarchy.3ds: frame, Box2 flags, Box3 translation, Camera01 target x, Omni01 position x.
  const std::vector<std::vector<float>> hierarchy = {
      {0, 0, -5, 3, 0, 0, 0},                         {10, 1, 1.4645f, 5, 3.5355f, 5, 3},
      {20, 1, 10, 7, 5, 10, 6},                       {30, 1, 8.5355f, 9, 3.5355f, 5, 9},
      {31, 0, 8.0545f, 9.2f, 3.2472f, 4.2525f, 9.3f}, {50, 0, 1.4645f, 13, 3.5355f, 5, 15},
      {60, 0, 10, 13, 5, 10, 18},                     {61, 1, 10.3198f, 13, 4.9846f, 9.9275f, 18.3f},
      {75, 1, 6.1819f, 13, 1.9134f, 1.5625f, 22.5f}};
  // The first vertex list of cube_flat.3ds as stored, in the library's axes.
  const Bytes bytes = read_file_bytes(dir / "cube_flat.3ds");
  std::vector<Vector3> stored;
  for (std::size_t p = 0; p + 8 <= bytes.size() && stored.empty(); ++p) {
    const std::size_t n = bytes[p + 6] | bytes[p + 7] << 8;
    if (bytes[p] != 0x10 || bytes[p + 1] != 0x41 || p + 8 + n * 12 > bytes.size()) continue;
    float f[3];
    for (std::size_t i = 0; i < n; ++i)
      std::memcpy(f, &bytes[p + 8 + 12 * i], 12), stored.push_back({f[0], f[2], f[1]});
  }
  ASSERT_EQ(stored.size(), 8u);
  for (const char* name : {"cube_flat.3ds", "hierarchy.3ds"}) {
    const Loaded l = load(dir / name, show_flags);
    const bool is_cube = std::string_view(name) == "cube_flat.3ds";
    scene_set_active(l.scene.get());
    for (const std::vector<float>& row : is_cube ? cube : hierarchy) {
      ASSERT_EQ(scene_set_frame(row[0]), SCENE_OK);
      ASSERT_EQ(scene_update(), SCENE_OK);
      std::vector<float> got;
      if (is_cube) {
        const Mesh& m = object<Mesh>(l, "Cube");
        const Camera& c = object<Camera>(l, "Camera01");
        got = {row[0], m.position.x, m.position.y, m.position.z, c.position.x, c.position.y, c.position.z, c.fov,
               c.roll};
        for (std::size_t i = 0; i < stored.size() && row[0] == 0; ++i)
          expect_vec(m.vertices[i].transformed_position, stored[i], 2e-4f);
      } else {
        const Matrix& m = object<Mesh>(l, "Box3").matrix;
        got = {row[0], float(object<Mesh>(l, "Box2").flags), m.m[0][3], m.m[1][3], m.m[2][3],
               object<Camera>(l, "Camera01").target.x, object<Light>(l, "Omni01").position.x};
      }
      for (std::size_t i = 1; i < row.size(); ++i)
        EXPECT_NEAR(got[i], row[i], 1e-4f) << name << ", frame " << row[0] << ", column " << i;
    }
  }
  lib_init(0);
}

TEST(Read3dsFiles, BigLoadsFourMeshesThroughLoad3dMesh) {
  const std::filesystem::path path = testdata_path("3ds/big.3ds");
  std::FILE* old = read_3ds_set_output(nullptr);
  Loaded l;
  l.scene = load_3d_mesh(path.c_str());
  read_3ds_set_output(old);
  ASSERT_NE(l.scene, nullptr);
  for (const char* name : {"Torus0", "Torus1", "Torus2", "Torus3"}) {
    EXPECT_EQ(object<Mesh>(l, name).vertices.size(), 25100u) << name;
    EXPECT_EQ(object<Mesh>(l, name).faces.size(), 50000u) << name;
  }
  EXPECT_EQ(l.scene->visible_face_count, 200000);
  EXPECT_NEAR(object<Camera>(l, "Camera01").fov, 45, 1e-3);
}

// Through load_3d_mesh only the motion stage decides.
TEST(Read3dsFiles, BadFilesGiveTheirCodes) {
  const std::filesystem::path dir = testdata_path("3ds/bad");
  const std::tuple<const char*, int, int> cases[] = {{"version1.3ds", 4, 4}, {"short20.3ds", 3, 3},
                                                     {"truncated.3ds", 3, 3}, {"zero_length.3ds", 3, 256},
                                                     {"missing_material.3ds", 256, 0}};
  for (const auto& [file, scene_code, motion_code] : cases) {
    const Loaded l = load(dir / file, show_flags);
    EXPECT_EQ(l.scene_code, scene_code) << file;
    EXPECT_EQ(l.motion_code, motion_code) << file;
    if (scene_code != SCENE_OK) {
      EXPECT_EQ(l.scene->first_object, nullptr) << file;
    }
    if (motion_code != SCENE_OK) {
      EXPECT_EQ(l.scene->first_anim_node, nullptr) << file;
    }
  }
  std::FILE* old = read_3ds_set_output(nullptr);
  EXPECT_EQ(load_3d_mesh((dir / "zero_length.3ds").c_str()), nullptr);
  std::unique_ptr<Scene> empty = load_3d_mesh((dir / "missing_material.3ds").c_str());
  read_3ds_set_output(old);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->first_object, nullptr);
  lib_init(0);
}
