// Native format: the worked files, the writer's layout and refusals, version 1 rotations, the
// result codes of damage and missing references; scenes converted from .3DS read back and
// evaluate bit for bit as the originals; damaged files give a code, never a read outside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "base/limits.h"
#include "native_scene_fixture.h"
#include "scene/frame_update.h"
#include "scene/native_format.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "testdata.h"
#include "tools/show_assets.h"

namespace {

constexpr LibraryFlags show_flags = LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM;
using Bytes = std::vector<std::uint8_t>;

// Hand-made native files: little-endian fields; end() patches the length of the chunk begun last.
struct NativeBytes {
  Bytes bytes;
  std::size_t chunk_start = 0;
  template <class T>
  NativeBytes& put(std::initializer_list<T> values) {
    for (T v : values)
      bytes.insert(bytes.end(), reinterpret_cast<std::uint8_t*>(&v), reinterpret_cast<std::uint8_t*>(&v + 1));
    return *this;
  }
  NativeBytes& ints(std::initializer_list<std::int32_t> values) { return put(values); }
  NativeBytes& floats(std::initializer_list<float> values) { return put(values); }
  NativeBytes& str(std::string_view s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return put<char>({0});
  }
  NativeBytes& header(std::int32_t version) { return put<char>({'Q', 'Z', 0, 0}).ints({version, 1}); }
  NativeBytes& begin(std::uint16_t id) {
    put({id}).ints({0});
    chunk_start = bytes.size();
    return *this;
  }
  NativeBytes& end() {
    const std::uint32_t length = std::uint32_t(bytes.size() - chunk_start);
    std::memcpy(bytes.data() + chunk_start - 4, &length, 4);
    return *this;
  }
  // 48 data bytes: "Cam", id, no parents, position, target, fov 45, roll 0.
  NativeBytes& camera(std::int32_t id = 0) {
    return begin(NATIVE_CAMERA).str("Cam").ints({id, -1, -1}).floats({1, 2, 3, 0, 0, 0, 45, 0}).end();
  }
};

// Mesh id 7 without arrays, frames 0 .. 100, and its object node 0 with the track records given.
Bytes mesh_scene(std::int32_t version, const std::function<void(NativeBytes&)>& tracks) {
  NativeBytes b;
  b.header(version).begin(NATIVE_MESH).str("M").ints({7, -1, 0, 0, 0}).floats({0, 0, 0});
  if (version == native_version) b.floats({0, 0, 0, 0, 0, 0});
  b.end().begin(NATIVE_FRAMES).floats({0, 100}).end().begin(NATIVE_OBJECT_NODE).ints({0, -1, 7});
  tracks(b);
  return b.end().bytes;
}

struct Read {
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  int scene_code = -1, motion_code = -1;
  const Track* slot(int i) const { return scene->first_anim_node->tracks->slots[i].get(); }
};

// Both stages on bytes, into a fresh scene left active.
Read read(const Bytes& bytes, LibraryFlags flags = 0) {
  Read r;
  lib_init(flags);
  scene_set_active(r.scene.get());
  SceneFile file;
  file.bytes = bytes;
  r.scene_code = read_native_scene(file);
  r.motion_code = read_native_motion(file);
  return r;
}

// The active scene written in a version.
Bytes write_native(std::int32_t version = native_version) {
  SceneFile file;
  EXPECT_EQ(write_native_scene_version(file, version), SCENE_OK);
  return file.bytes;
}

// Both load stages of a .3DS or native file with the library flags given; they leave the
// active scene as it was.
std::unique_ptr<Scene> load_scene_file(const std::filesystem::path& path, LibraryFlags flags) {
  lib_init(flags);
  auto scene = std::make_unique<Scene>();
  Scene other;
  scene_set_active(&other);
  const bool native = native_file_is_native(path.c_str());
  std::FILE* old = read_3ds_set_output(nullptr);
  EXPECT_EQ((native ? native_load_scene : scene_load)(path.c_str(), scene.get()), SCENE_OK) << path;
  EXPECT_EQ((native ? native_load_motion : scene_load_motion)(path.c_str(), scene.get()), SCENE_OK) << path;
  read_3ds_set_output(old);
  EXPECT_EQ(scene_get_active(), &other) << path;
  return scene;
}

// What scene-convert writes for a file: loaded with normals and without the hierarchy.
Bytes convert_file(const std::filesystem::path& path, std::int32_t version = native_version) {
  std::unique_ptr<Scene> scene = load_scene_file(path, LIB_NORMALS);
  scene_set_active(scene.get());
  Bytes bytes = write_native(version);
  lib_init(0);
  return bytes;
}

std::filesystem::path write_fixture(const std::string& test) {
  const auto path = scratch_dir("native_" + test) / "scene.3ds";
  write_file_bytes(path, fixture_scene_3ds());
  return path;
}

// The bits of everything the frame update reads or writes in one object.
std::string object_bits(const SceneNode& node) {
  std::string s;
  auto put = [&s](const auto&... v) { (s.append(reinterpret_cast<const char*>(&v), sizeof v), ...); };
  put(node.object->id);
  if (const auto* m = dynamic_cast<const Mesh*>(node.object.get())) {
    put(m->pivot, m->position, m->scale, m->box_min, m->box_max, m->transformed_box_min, m->transformed_box_max);
    put(m->flags, m->morph, m->rotation, m->matrix);
    s.append(reinterpret_cast<const char*>(m->vertices.data()), m->vertices.size() * sizeof(Vertex));
    for (const Face& f : m->faces)
      put(f.a, f.b, f.c, f.flags, f.material_id, f.material != nullptr ? f.material->id : -1, f.normal,
          f.transformed_normal);
  } else if (const auto* c = dynamic_cast<const Camera*>(node.object.get())) {
    put(c->position, c->target, c->fov, c->roll, c->perspective_x, c->perspective_y, c->matrix);
  } else if (const auto* l = dynamic_cast<const Light*>(node.object.get())) {
    put(l->position, l->target, l->color, l->roll, l->hotspot, l->falloff);
  } else if (const auto* a = dynamic_cast<const Ambient*>(node.object.get())) {
    put(a->color);
  }
  return s;
}

// Sets the frame and updates. Without an active camera positions stay in world space; each
// camera's own matrix is among the bits compared.
void evaluate_at(Scene& scene, float frame) {
  scene_set_active(&scene);
  scene_set_frame(frame);
  scene_update();
}

// Forward, repeated, backward, fractional, at keys and outside the range.
const std::vector<float> comparison_frames = {0,  0.25f, 1,   5.5f, 10, 10, 12, 12.75f, 15, 20,    25,
                                              30, 31,    29,  40,   45, 50, 60, 61,     70, 75,    80.5f,
                                              99, 99.9f, 100, 150,  -3, 3,  41, 0,      64, 33.3f, 97};

// Converts the file, then loads both with `flags` and compares their objects bit for bit, frame by frame.
void expect_round_trip(const std::filesystem::path& original, LibraryFlags flags,
                       const std::vector<float>& frames = comparison_frames) {
  const auto converted = std::filesystem::path(original).replace_extension(".nvf");
  write_file_bytes(converted, convert_file(original));
  std::unique_ptr<Scene> a = load_scene_file(original, flags), b = load_scene_file(converted, flags);
  for (std::size_t i = 0; i <= frames.size(); ++i) {
    std::string when = original.filename().string() + " after loading";
    if (i > 0) {
      evaluate_at(*a, frames[i - 1]);
      evaluate_at(*b, frames[i - 1]);
      when = original.filename().string() + " at frame " + std::to_string(frames[i - 1]);
    }
    const SceneNode *x = a->first_object, *y = b->first_object;
    for (; x != nullptr && y != nullptr; x = x->next, y = y->next) {
      ASSERT_EQ(x->kind, y->kind) << when;
      ASSERT_TRUE(object_bits(*x) == object_bits(*y)) << when << ": \"" << x->object->name << "\" differs";
    }
    ASSERT_EQ(x, nullptr) << when << ": object lists differ in length";
    ASSERT_EQ(y, nullptr) << when << ": object lists differ in length";
  }
  lib_init(0);
}

}  // namespace

// Keys of 0.5, 0.5 and 7.0 radians about one axis hold the totals 0, 0 and 7: the rebuilt
// orientations turn by 0, 0 and 7 radians, and the track is prepared as a rotation.
TEST(ReadNative, Version1RotationsAreRebuiltFromTheAngleTotals) {
  const Read r = read(mesh_scene(1, [](NativeBytes& n) {
    n.ints({0, 0, 3, 0});
    float frame = 0;
    for (float total : {0.0f, 0.0f, 7.0f}) n.floats({frame += 10, total, 0, 1, 0, 0, 0, 0, 0, 0});
    n.ints({0, 0});
  }));
  ASSERT_EQ(r.motion_code, SCENE_OK);
  const Key* k = r.slot(OBJECT_SLOT_ROTATION)->first;
  for (float angle : {0.0f, 0.0f, 7.0f}) {
    Quaternion q;
    quat_from_angle_axis(angle, 0, 1, 0, q);
    EXPECT_EQ(k->orientation.w, q.w) << angle;
    EXPECT_EQ(k->orientation.y, q.y) << angle;
    EXPECT_NE(k->in_control.w, 0) << angle;
    k = k->next;
  }
}

// Counts are checked against the bytes left before anything is allocated for them.
TEST(ReadNative, DamageAndMissingReferencesGiveTheirCodes) {
  // An ambient (id 5), then a mesh (id 1) of three vertices whose face has the index `c` and the
  // material `material`, then an object node for `object`.
  auto face = [](std::int32_t material, std::int32_t c = 2, std::int32_t object = 1) {
    NativeBytes b;
    b.header(1).begin(NATIVE_AMBIENT).str("$AMBIENT$").ints({5}).floats({0, 0, 0}).end();
    b.begin(NATIVE_MESH).str("M").ints({1, -1, 3, 1, 0}).floats({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    b.ints({0, 1, c, 0, material}).end();
    return b.begin(NATIVE_OBJECT_NODE).ints({0, -1, object, 0, 0, 0, 0, 0}).end().bytes;
  };
  auto ambient = [](std::size_t length) {
    NativeBytes b;
    return b.header(1).begin(NATIVE_AMBIENT).str(std::string(length, 'a')).ints({0}).floats({0, 0, 0}).end().bytes;
  };
  struct Case {
    std::string what;
    Bytes bytes;
    int scene, motion;
  };
  std::vector<Case> cases = {
      {"face index at the vertex count", face(0, 3), 3, 256},
      {"name of 63 characters", ambient(63), 0, 0},
      {"name of 64 characters", ambient(64), 3, 0},
      {"material id 9 names nothing", face(9), 256, 0},
      // Id 0 may name nothing (it is also "no material"); the ambient and the mesh are no materials.
      {"material id 0", face(0), 0, 0},
      {"material id 5, the ambient", face(5), 0, 0},
      {"node of a missing object", face(0, 2, 3), 0, 256},
      {"node of the ambient", face(0, 2, 5), 0, 256},
  };
  for (std::int32_t version : {0, 3, -1})
    cases.push_back({"version " + std::to_string(version), NativeBytes().header(version).bytes, 4, 4});
  for (std::int32_t count : {0x7FFFFFFF, -1, 1}) {
    NativeBytes mesh;
    mesh.header(2).begin(NATIVE_MESH).str("M").ints({0, -1, count, 0, 0}).floats({0, 0, 0}).end();
    cases.push_back({"vertex count " + std::to_string(count), mesh.bytes, 3, 0});
    cases.push_back({"key count " + std::to_string(count),
                     mesh_scene(2, [count](NativeBytes& n) { n.ints({count, 0}).floats({0}); }), 0, 3});
  }
  for (const Case& c : cases) {
    const Read r = read(c.bytes);
    EXPECT_EQ(r.scene_code, c.scene) << c.what << ": " << r.scene_code << ", " << r.motion_code;
    EXPECT_EQ(r.motion_code, c.motion) << c.what << ": " << r.scene_code << ", " << r.motion_code;
    if (c.scene == 0 && c.what.starts_with("material")) {
      EXPECT_EQ(static_cast<const Mesh*>(r.scene->last_object->object.get())->faces[0].material, nullptr) << c.what;
    }
  }
  lib_init(0);
  SceneFile f;
  f.bytes = NativeBytes().header(2).bytes;
  EXPECT_EQ(read_native_scene(f), SCENE_NO_ACTIVE);
}

// The largest input the reader accepts (base/limits.h), on both sides of each limit.
TEST(ReadNative, LimitsAreAcceptedUpToTheLastAndRefusedPastIt) {
  // A version 1 mesh of zeroed vertices and faces (every face names vertex 0).
  auto mesh = [](std::int64_t vertices, std::int64_t faces) {
    NativeBytes b;
    b.header(1).begin(NATIVE_MESH).str("M").ints({0, -1, std::int32_t(vertices), std::int32_t(faces), 0});
    b.floats({0, 0, 0});
    b.bytes.resize(b.bytes.size() + std::size_t(vertices + faces) * 20);
    return b.end().bytes;
  };
  // Mesh 7, frames, then `nodes` object nodes of it, the first with a position track of `keys`
  // keys (zeroed: frame 0, value 0).
  auto motion = [](std::int64_t nodes, std::int64_t keys) {
    NativeBytes b;
    b.header(1).begin(NATIVE_MESH).str("M").ints({7, -1, 0, 0, 0}).floats({0, 0, 0}).end();
    b.begin(NATIVE_FRAMES).floats({0, 100}).end();
    b.begin(NATIVE_OBJECT_NODE).ints({0, -1, 7, std::int32_t(keys), 0});
    b.bytes.resize(b.bytes.size() + std::size_t(keys) * 36);
    b.ints({0, 0, 0, 0}).end();
    for (std::int64_t i = 1; i < nodes; ++i) b.begin(NATIVE_OBJECT_NODE).ints({std::int32_t(i), -1, 7, 0, 0, 0, 0, 0}).end();
    return b.bytes;
  };
  const struct {
    const char* what;
    Bytes bytes;
    int scene, motion;
  } cases[] = {
      {"the most vertices", mesh(max_mesh_vertices, 0), 0, 0},
      {"one vertex more", mesh(max_mesh_vertices + 1, 0), 3, 0},
      {"the most faces", mesh(1, max_mesh_faces), 0, 0},
      {"one face more", mesh(1, max_mesh_faces + 1), 3, 0},
      {"the most keys", motion(1, max_track_keys), 0, 0},
      {"one key more", motion(1, max_track_keys + 1), 0, 3},
      {"the most nodes", motion(max_scene_nodes, 0), 0, 0},
      {"one node more", motion(max_scene_nodes + 1, 0), 0, 3},
  };
  for (const auto& c : cases) {
    const Read r = read(c.bytes);
    EXPECT_EQ(r.scene_code, c.scene) << c.what;
    EXPECT_EQ(r.motion_code, c.motion) << c.what;
  }
  lib_init(0);
}

TEST(WriteNative, OneCameraSceneIsAHeaderAndOneChunkOfItsDataSize) {
  const Bytes in = NativeBytes().header(2).camera().bytes;
  const Read r = read(in);
  ASSERT_EQ(r.scene_code, SCENE_OK);
  const Bytes out = write_native(), v1 = write_native(native_version_1);
  EXPECT_EQ(out, in);
  ASSERT_EQ(out.size(), 12u + 6u + 48u);
  EXPECT_EQ(std::memcmp(out.data(), "QZ\0\0\2\0\0\0\1\0\0\0\0\3\x30\0\0\0", 18), 0);
  EXPECT_EQ(v1[4], 1);
  EXPECT_TRUE(std::equal(v1.begin() + 8, v1.end(), out.begin() + 8));
}

TEST(WriteNative, RefusesWhatCouldNotBeReadBack) {
  SceneFile f;
  lib_init(0);
  const Read empty = read({});
  EXPECT_EQ(write_native_scene_version(f, 3), SCENE_NOT_SUPPORTED);
  for (const std::string& name : {std::string(64, 'n'), std::string("a\0b", 3)}) {
    const Read r = read({});
    scene_add_object(NODE_CAMERA, std::make_unique<Camera>());
    r.scene->first_object->object->name = name;
    EXPECT_EQ(write_native_scene(f), SCENE_NOT_SUPPORTED);
    EXPECT_TRUE(f.bytes.empty());
    r.scene->first_object->object->name = "c";
    scene_add_anim_node(ANIM_OBJECT, 0, -1, nullptr, r.scene->first_object->object.get());  // a camera as object
    EXPECT_EQ(write_native_scene(f), SCENE_NOT_SUPPORTED);
  }
}

TEST(NativeRoundTrip, BuiltAndSampleShowScenesEvaluateBitForBit) {
  expect_round_trip(write_fixture("show_flags"), show_flags);
  expect_round_trip(write_fixture("every_flag"), 0x7F);  // plain slerp, morphed and recomputed normals too
  const auto dir = scratch_dir("native_show");
  ASSERT_TRUE(write_show_scene(dir));
  expect_round_trip(dir / "scene.3ds", show_flags);
}

TEST(NativeRoundTrip, InteropScenesEvaluateBitForBit) {
  const std::filesystem::path dir = testdata_path("3ds");
  for (const std::string name : {"cube_flat.3ds", "hierarchy.3ds", "big.3ds"}) {
    const auto copy = scratch_dir("native_interop_" + name) / name;
    std::filesystem::copy_file(dir / name, copy);
    expect_round_trip(copy, show_flags, name == "big.3ds" ? std::vector<float>{17.5f, 99} : comparison_frames);
  }
}

// A file cut between two chunks reads as far as it goes, but a stage whose part the header
// promises and the cut took away (the first object; the frame range and the first node) gives
// 3; cut anywhere else it gives 3. The motion stage reads the damaged bytes over the objects of
// the whole file, and what it reads is evaluated.
TEST(NativeDamaged, CutAtEveryLengthOrChangedGivesACodeNeverAReadOutside) {
  for (std::int32_t version : {native_version_1, native_version}) {
    const Bytes whole = convert_file(write_fixture("damaged"), version);
    std::vector<std::size_t> ends = {12};
    std::size_t first_node_end = 0;
    while (ends.back() + 6 <= whole.size()) {
      std::uint16_t id;
      std::uint32_t length;
      std::memcpy(&id, whole.data() + ends.back(), 2);
      std::memcpy(&length, whole.data() + ends.back() + 2, 4);
      ends.push_back(ends.back() + 6 + length);
      if (first_node_end == 0 && id >= NATIVE_CAMERA_NODE) first_node_end = ends.back();
    }
    ASSERT_EQ(ends.back(), whole.size());
    ASSERT_NE(first_node_end, 0u);
    for_each_damaged(whole, 2000, unsigned(version), [&](const Bytes& damaged, std::size_t length) {
      const int scene_code = read(damaged, show_flags).scene_code;
      Read r = read(whole, show_flags);
      scene_free_motion(r.scene.get());
      SceneFile file;
      file.bytes = damaged;
      const int motion_code = read_native_motion(file);
      if (motion_code == SCENE_OK)
        for (float frame : {0.0f, 33.0f, 71.5f}) evaluate_at(*r.scene, frame);
      lib_init(0);
      if (length < whole.size()) {
        const bool between_chunks = std::count(ends.begin(), ends.end(), length) != 0;
        const int scene_expected = between_chunks && length >= ends[1] ? SCENE_OK : SCENE_READ_ERROR;
        const int motion_expected = between_chunks && length >= first_node_end ? SCENE_OK : SCENE_READ_ERROR;
        EXPECT_EQ(scene_code, scene_expected) << "version " << version << ", cut at " << length;
        EXPECT_EQ(motion_code, motion_expected) << "version " << version << ", cut at " << length;
      } else {
        for (int code : {scene_code, motion_code})
          EXPECT_TRUE(code == SCENE_OK || code == SCENE_READ_ERROR || code == SCENE_NOT_SUPPORTED ||
                      code == SCENE_NOT_FOUND)
              << "version " << version << " gave " << code;
      }
    });
  }
}
