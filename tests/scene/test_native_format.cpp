// Native format: the worked cases, the writer's layout, version 1 rotations, the result codes
// for each kind of damage or missing reference; scenes converted from .3DS and read back
// evaluate bit for bit as the originals; damaged files give a code, never a read outside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

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

// Hand-made native files: little-endian fields; a chunk's length is patched when it ends.
struct NativeBytes {
  std::vector<std::uint8_t> bytes;
  std::size_t chunk_start = 0;
  NativeBytes& raw(const void* p, std::size_t n) {
    bytes.insert(bytes.end(), static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + n);
    return *this;
  }
  NativeBytes& u16(std::uint16_t v) { return raw(&v, 2); }
  NativeBytes& i32(std::int32_t v) { return raw(&v, 4); }
  NativeBytes& ints(std::initializer_list<std::int32_t> values) {
    for (std::int32_t v : values) i32(v);
    return *this;
  }
  NativeBytes& floats(std::initializer_list<float> values) {
    for (float v : values) raw(&v, 4);
    return *this;
  }
  NativeBytes& str(std::string_view s) { return raw(s.data(), s.size()).raw("", 1); }
  NativeBytes& header(std::int32_t version, std::int32_t contents) {
    return raw("QZ\0\0", 4).ints({version, contents});
  }
  NativeBytes& begin(std::uint16_t id) {
    u16(id).i32(0);
    chunk_start = bytes.size();
    return *this;
  }
  NativeBytes& end() {
    const std::uint32_t length = std::uint32_t(bytes.size() - chunk_start);
    std::memcpy(bytes.data() + chunk_start - 4, &length, 4);
    return *this;
  }
};

struct StageCodes {
  int scene = -1, motion = -1;
};

// A fresh active scene for bytes read through the two stage operations.
struct ActiveScene {
  Scene scene;
  ActiveScene() {
    lib_init(0);
    scene_set_active(&scene);
  }
  ~ActiveScene() { lib_init(0); }
  StageCodes read(const std::vector<std::uint8_t>& bytes) {
    SceneFile file;
    file.bytes = bytes;
    const int scene_code = read_native_scene(file);
    return {scene_code, read_native_motion(file)};
  }
};

// The active scene written in a version.
std::vector<std::uint8_t> write_native_bytes(std::int32_t version = native_version) {
  SceneFile file;
  EXPECT_EQ(write_native_scene_version(file, version), SCENE_OK);
  return file.bytes;
}

// 48 data bytes: "Cam", id, no parents, position, target, fov 45, roll 0.
NativeBytes& camera_chunk(NativeBytes& b, std::int32_t id = 0) {
  return b.begin(NATIVE_CAMERA).str("Cam").ints({id, -1, -1}).floats({1, 2, 3, 0, 0, 0, 45, 0}).end();
}

// Mesh id 7 without arrays, frames 0 .. 100, and its object node 0 with the track records given.
NativeBytes mesh_scene(std::int32_t version, const std::function<void(NativeBytes&)>& tracks) {
  NativeBytes b;
  b.header(version, 3).begin(NATIVE_MESH).str("M").ints({7, -1, 0, 0, 0}).floats({0, 0, 0});
  if (version == native_version) b.floats({0, 0, 0, 0, 0, 0});
  b.end().begin(NATIVE_FRAMES).floats({0, 100}).end().begin(NATIVE_OBJECT_NODE).ints({0, -1, 7});
  tracks(b);
  return b.end();
}

const Track* slot_track(const Scene& scene, int slot) { return scene.first_anim_node->tracks->slots[slot].get(); }

// Both load stages of a .3DS or native file with the library flags given.
std::unique_ptr<Scene> load_scene_file(const std::filesystem::path& path, LibraryFlags flags) {
  lib_init(flags);
  std::unique_ptr<Scene> scene;
  scene_new(scene);
  const bool native = native_file_is_native(path.c_str());
  std::FILE* old = read_3ds_set_output(nullptr);
  EXPECT_EQ((native ? native_load_scene : scene_load)(path.c_str(), scene.get()), SCENE_OK) << path;
  EXPECT_EQ((native ? native_load_motion : scene_load_motion)(path.c_str(), scene.get()), SCENE_OK) << path;
  read_3ds_set_output(old);
  return scene;
}

// What scene-convert writes for a file: loaded with normals and without the hierarchy.
std::vector<std::uint8_t> convert_file(const std::filesystem::path& path, std::int32_t version = native_version) {
  std::unique_ptr<Scene> scene = load_scene_file(path, LIB_NORMALS);
  scene_set_active(scene.get());
  std::vector<std::uint8_t> bytes = write_native_bytes(version);
  lib_init(0);
  return bytes;
}

std::filesystem::path write_fixture(const std::string& test) {
  const auto path = scratch_dir("native_" + test) / "scene.3ds";
  const std::vector<std::uint8_t> bytes = fixture_scene_3ds();
  write_file_bytes(path, {bytes.begin(), bytes.end()});
  return path;
}

template <class T>
void put(std::string& s, const T& v) {
  s.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// The bits of everything the frame update reads or writes in one object.
std::string object_bits(const SceneNode& node) {
  std::string s;
  put(s, node.object->id);
  if (const auto* m = dynamic_cast<const Mesh*>(node.object.get())) {
    for (const auto& v :
         {m->pivot, m->position, m->scale, m->box_min, m->box_max, m->transformed_box_min, m->transformed_box_max})
      put(s, v);
    put(s, m->flags), put(s, m->morph), put(s, m->rotation), put(s, m->matrix);
    s.append(reinterpret_cast<const char*>(m->vertices.data()), m->vertices.size() * sizeof(Vertex));
    for (const Face& f : m->faces) {
      for (std::uint32_t v : {f.a, f.b, f.c, f.flags, std::uint32_t(f.material_id)}) put(s, v);
      put(s, f.material != nullptr ? f.material->id : -1), put(s, f.normal), put(s, f.transformed_normal);
    }
  } else if (const auto* c = dynamic_cast<const Camera*>(node.object.get())) {
    for (const auto& v : {c->position, c->target}) put(s, v);
    for (float v : {c->fov, c->roll, c->perspective_x, c->perspective_y}) put(s, v);
    put(s, c->matrix);
  } else if (const auto* l = dynamic_cast<const Light*>(node.object.get())) {
    for (const auto& v : {l->position, l->target, l->color}) put(s, v);
    for (float v : {l->roll, l->hotspot, l->falloff}) put(s, v);
  } else if (const auto* a = dynamic_cast<const Ambient*>(node.object.get())) {
    put(s, a->color);
  }
  return s;
}

// Sets the frame and updates, as the render pass does, through the scene's first camera.
void evaluate_at(Scene& scene, float frame) {
  scene_set_active(&scene);
  Camera* camera = nullptr;
  for (SceneNode* n = scene.first_object; n != nullptr && camera == nullptr; n = n->next)
    if (n->kind == NODE_CAMERA) camera = static_cast<Camera*>(n->object.get());
  if (camera != nullptr) camera->screen_width = 320, camera->screen_height = 200, camera->aspect = 0.75f;
  camera_set_active(camera);
  scene_set_frame(frame);
  scene_update();
}

// Forward, repeated, backward, fractional, at keys and outside the range.
const std::vector<float> comparison_frames = {0,  0.25f, 1,   5.5f, 10, 10, 12, 12.75f, 15, 20,    25,
                                              30, 31,    29,  40,   45, 50, 60, 61,     70, 75,    80.5f,
                                              99, 99.9f, 100, 150,  -3, 3,  41, 0,      64, 33.3f, 97};

// Converts the file, then loads both with `flags` and compares their objects bit for bit, frame by frame.
void expect_round_trip(const std::filesystem::path& original, LibraryFlags flags, const std::vector<float>& frames) {
  const std::vector<std::uint8_t> bytes = convert_file(original);
  const auto converted = std::filesystem::path(original).replace_extension(".nvf");
  write_file_bytes(converted, {bytes.begin(), bytes.end()});
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
    ASSERT_TRUE(x == nullptr && y == nullptr) << when << ": object lists differ in length";
  }
  lib_init(0);
}

// The scene stage alone, then the motion stage over objects read from the whole file, then
// whatever was read evaluated at a few frames.
StageCodes read_damaged(const std::vector<std::uint8_t>& damaged, const std::vector<std::uint8_t>& whole) {
  lib_init(show_flags);
  StageCodes codes;
  {
    Scene scene;
    scene_set_active(&scene);
    SceneFile file;
    file.bytes = damaged;
    codes.scene = read_native_scene(file);
  }
  Scene scene;
  scene_set_active(&scene);
  SceneFile file;
  file.bytes = whole;
  EXPECT_EQ(read_native_scene(file), SCENE_OK);
  file.bytes = damaged;
  codes.motion = read_native_motion(file);
  if (codes.motion == SCENE_OK)
    for (float frame : {0.0f, 33.0f, 71.5f}) evaluate_at(scene, frame);
  lib_init(0);
  return codes;
}

}  // namespace

TEST(ReadNative, HeaderOnlyFileIsAnEmptySceneInBothStages) {
  for (std::int32_t version : {native_version_1, native_version}) {
    ActiveScene a;
    const StageCodes codes = a.read(NativeBytes().header(version, 1).bytes);
    EXPECT_EQ(codes.scene, SCENE_OK);
    EXPECT_EQ(codes.motion, SCENE_OK);
    EXPECT_EQ(a.scene.first_object, nullptr);
    EXPECT_EQ(a.scene.first_anim_node, nullptr);
  }
}

TEST(ReadNative, DummyMeshChunkHoldsNoArraysWhateverItsCounts) {
  ActiveScene a;
  NativeBytes b;
  b.header(1, 1).begin(NATIVE_MESH).str("G").ints({1025, -1, 3, 2, MESH_DUMMY}).floats({1, 2, 3}).end();
  ASSERT_EQ(a.read(camera_chunk(b).bytes).scene, SCENE_OK);
  const auto* mesh = static_cast<const Mesh*>(a.scene.first_object->object.get());
  EXPECT_TRUE(mesh->vertices.empty() && mesh->faces.empty());
  EXPECT_EQ(mesh->pivot.z, 3);
  EXPECT_EQ(a.scene.last_object->kind, NODE_CAMERA);
}

TEST(ReadNative, CountZeroLeavesTheSlotEmptyAndFrame1275IsAppendedAt12) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(1, [](NativeBytes& n) {
    n.ints({2, 0}).floats({0, 1, 2, 3, 0, 0, 0, 0, 0}).floats({12.75f, 4, 5, 6, 0, 0, 0, 0, 0}).ints({0, 0, 0, 0});
  });
  ASSERT_EQ(a.read(b.bytes).motion, SCENE_OK);
  const Track* t = slot_track(a.scene, SLOT_POSITION);
  EXPECT_EQ(t->first->next->frame, 12);
  EXPECT_EQ(t->length, 12);
  EXPECT_EQ(t->first->out_tangent[0], 3);  // prepared: the two-key rule
  for (int slot = 1; slot < 5; ++slot) EXPECT_EQ(slot_track(a.scene, slot), nullptr) << slot;
}

// Keys of 0.5, 0.5 and 7.0 radians about one axis hold the totals 0, 0 and 7: the rebuilt
// orientations turn by 0, 0 and 7 radians, and the track is prepared as a rotation.
TEST(ReadNative, Version1RotationsAreRebuiltFromTheAngleTotals) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(1, [](NativeBytes& n) {
    n.ints({0, 0, 3, 0});
    float frame = 0;
    for (float total : {0.0f, 0.0f, 7.0f}) n.floats({frame += 10, total, 0, 1, 0, 0, 0, 0, 0, 0});
    n.ints({0, 0});
  });
  ASSERT_EQ(a.read(b.bytes).motion, SCENE_OK);
  const Key* k = slot_track(a.scene, OBJECT_SLOT_ROTATION)->first;
  for (float angle : {0.0f, 0.0f, 7.0f}) {
    Quaternion q;
    quat_from_angle_axis(angle, 0, 1, 0, q);
    EXPECT_EQ(k->orientation.w, q.w);
    EXPECT_EQ(k->orientation.y, q.y);
    EXPECT_NE(k->in_control.w, 0);
    k = k->next;
  }
}

TEST(WriteNative, OneCameraSceneIsAHeaderAndOneChunkOfItsDataSize) {
  ActiveScene a;
  NativeBytes in;
  ASSERT_EQ(a.read(camera_chunk(in.header(2, 1)).bytes).scene, SCENE_OK);
  const std::vector<std::uint8_t> out = write_native_bytes();
  EXPECT_EQ(out, in.bytes);
  ASSERT_EQ(out.size(), 12u + 6u + 48u);
  EXPECT_EQ(std::memcmp(out.data(), "QZ\0\0\2\0\0\0\1\0\0\0\0\3\x30\0\0\0", 18), 0);
  const std::vector<std::uint8_t> v1 = write_native_bytes(native_version_1);
  EXPECT_EQ(v1[4], 1);
  EXPECT_TRUE(std::equal(v1.begin() + 8, v1.end(), out.begin() + 8));
}

TEST(WriteNative, RefusesWhatCouldNotBeReadBack) {
  SceneFile f;
  lib_init(0);
  EXPECT_EQ(write_native_scene(f), SCENE_NOT_FOUND);  // no active scene
  ActiveScene empty;
  EXPECT_EQ(write_native_scene(f), SCENE_NO_ACTIVE);
  EXPECT_EQ(write_native_scene_version(f, 3), SCENE_NOT_SUPPORTED);
  for (const std::string& name : {std::string(64, 'n'), std::string("a\0b", 3)}) {
    ActiveScene a;
    scene_add_object(NODE_CAMERA, std::make_unique<Camera>());
    a.scene.first_object->object->name = name;
    EXPECT_EQ(write_native_scene(f), SCENE_NOT_SUPPORTED);
    EXPECT_TRUE(f.bytes.empty());
    a.scene.first_object->object->name = "c";
    scene_add_anim_node(ANIM_OBJECT, 0, -1, nullptr, a.scene.first_object->object.get());  // a camera as object
    EXPECT_EQ(write_native_scene(f), SCENE_NOT_SUPPORTED);
  }
}

// A header cut short gives 3 like every other cut (the damaged-file tests).
TEST(ReadNative, UnknownVersionGives4AndNoActiveScene9) {
  const NativeBytes b = NativeBytes().header(2, 1);
  for (std::int32_t version : {0, 3, -1}) {
    ActiveScene a;
    const StageCodes codes = a.read(NativeBytes().header(version, 1).bytes);
    EXPECT_TRUE(codes.scene == SCENE_NOT_SUPPORTED && codes.motion == SCENE_NOT_SUPPORTED) << version;
  }
  lib_init(0);
  SceneFile f;
  f.bytes = b.bytes;
  EXPECT_EQ(read_native_scene(f), SCENE_NO_ACTIVE);
}

TEST(ReadNative, UnknownChunksAreSkippedAndChunksPastTheEndGive3) {
  ActiveScene a;
  NativeBytes b;
  b.header(2, 1).begin(0x999).i32(-1).end();
  camera_chunk(b, 0).begin(NATIVE_FRAMES).floats({0, 10}).end();  // skipped by the scene stage
  camera_chunk(b, 1);
  const StageCodes codes = a.read(b.bytes);
  EXPECT_TRUE(codes.scene == SCENE_OK && codes.motion == SCENE_OK);
  EXPECT_EQ(a.scene.last_object->object->id, 1);
  EXPECT_EQ(a.scene.end_frame, 10);
  ActiveScene c;
  const StageCodes cut = c.read(b.u16(0x999).ints({5, 0}).bytes);  // one byte short
  EXPECT_TRUE(cut.scene == SCENE_READ_ERROR && cut.motion == SCENE_READ_ERROR);
}

// Counts are checked against the bytes left before anything is allocated for them.
TEST(ReadNative, CountsFaceIndicesAndStringsThatDoNotFitGive3) {
  for (std::int32_t count : {0x7FFFFFFF, -1, 1}) {
    ActiveScene a;
    NativeBytes b;
    b.header(2, 1).begin(NATIVE_MESH).str("M").ints({0, -1, count, 0, 0}).floats({0, 0, 0}).end();
    EXPECT_EQ(a.read(b.bytes).scene, SCENE_READ_ERROR) << count;
    ActiveScene c;
    EXPECT_EQ(c.read(mesh_scene(2,
                                [count](NativeBytes& n) {
                                  n.ints({count, 0}).floats({0});
                                })
                         .bytes)
                  .motion,
              SCENE_READ_ERROR)
        << count;
  }
  ActiveScene a;
  NativeBytes face;
  face.header(1, 1).begin(NATIVE_MESH).str("M").ints({0, -1, 1, 1, 0}).floats({0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(a.read(face.ints({0, 0, 1, 0, 0}).end().bytes).scene, SCENE_READ_ERROR);
  for (std::size_t length : {63u, 64u}) {
    NativeBytes b;
    b.header(1, 1).begin(NATIVE_AMBIENT).str(std::string(length, 'a')).i32(0).floats({0, 0, 0}).end();
    EXPECT_EQ(a.read(b.bytes).scene, length == 63 ? SCENE_OK : SCENE_READ_ERROR) << length;
  }
}

TEST(ReadNative, IdsNotFoundGive256) {
  // An ambient (id 5) and a mesh (id 1) whose face names `material_id`.
  auto face_scene = [](std::int32_t material_id) {
    NativeBytes b;
    b.header(1, 1).begin(NATIVE_AMBIENT).str("$AMBIENT$").i32(5).floats({0, 0, 0}).end();
    b.begin(NATIVE_MESH).str("M").ints({1, -1, 3, 1, 0}).floats({0, 0, 0});
    b.floats({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    return b.ints({0, 1, 2, 0, material_id}).end();
  };
  // Id 0 may name nothing (it is also "no material"); the ambient and the mesh itself are no materials.
  for (auto [material_id, expected] : {std::pair{9, SCENE_NOT_FOUND}, {0, SCENE_OK}, {5, SCENE_OK}, {1, SCENE_OK}}) {
    ActiveScene a;
    EXPECT_EQ(a.read(face_scene(material_id).bytes).scene, expected) << material_id;
    if (expected != SCENE_OK) continue;
    EXPECT_EQ(static_cast<const Mesh*>(a.scene.last_object->object.get())->faces[0].material, nullptr);
  }
  for (std::int32_t object_id : {3, 5}) {  // a node's object: missing, or of a kind the node cannot animate
    ActiveScene a;
    NativeBytes b = face_scene(0);
    b.begin(NATIVE_OBJECT_NODE).ints({0, -1, object_id, 0, 0, 0, 0, 0}).end();
    EXPECT_EQ(a.read(b.bytes).motion, SCENE_NOT_FOUND) << object_id;
  }
}

TEST(NativeLoad, StagesOverFilesKeepTheActiveSceneAndEvaluateFrameZero) {
  ActiveScene other;
  const auto path = scratch_dir("native_load") / "scene.nvf";
  const NativeBytes b = mesh_scene(2, [](NativeBytes& n) {
    n.ints({2, 0}).floats({0, 1, 2, 3, 0, 0, 0, 0, 0, 10, 3, 2, 1, 0, 0, 0, 0, 0}).ints({0, 0, 0, 0});
  });
  write_file_bytes(path, {b.bytes.begin(), b.bytes.end()});
  Scene scene;
  EXPECT_EQ(native_load_scene(path.c_str(), &scene), SCENE_OK);
  EXPECT_EQ(native_load_motion(path.c_str(), &scene), SCENE_OK);
  EXPECT_EQ(scene_get_active(), &other.scene);
  EXPECT_EQ(static_cast<const Mesh*>(scene.first_object->object.get())->position.x, 1);
  EXPECT_EQ(native_load_scene((path.string() + "x").c_str(), &scene), SCENE_CANNOT_OPEN);
  EXPECT_EQ(scene.first_object, nullptr);
}

// ---- round trips ----

TEST(NativeRoundTrip, SceneBuiltInCodeEvaluatesBitForBit) {
  expect_round_trip(write_fixture("show_flags"), show_flags, comparison_frames);
  // Plain slerp, morphed normals and recomputed normals as well.
  expect_round_trip(write_fixture("every_flag"), 0x7F, comparison_frames);
}

TEST(NativeRoundTrip, InteropScenesEvaluateBitForBit) {
  SKIP_WITHOUT_TESTDATA(dir, "3ds");
  for (const char* name : {"cube_flat.3ds", "hierarchy.3ds", "big.3ds"}) {
    const auto copy = scratch_dir(std::string("native_interop_") + name) / name;
    std::filesystem::copy_file(dir / name, copy);
    const bool big = std::string(name) == "big.3ds";
    expect_round_trip(copy, show_flags, big ? std::vector<float>{17.5f, 99} : comparison_frames);
  }
}

TEST(NativeRoundTrip, SampleShowScenesEvaluateBitForBit) {
  const auto dir = scratch_dir("native_show");
  ASSERT_TRUE(write_show_scene(dir));
  int scenes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext != ".3ds") continue;
    expect_round_trip(entry.path(), show_flags, comparison_frames);
    ++scenes;
  }
  if (scenes == 0) GTEST_SKIP() << "the sample show writes no .3DS scene";
}

// ---- damaged files ----

// A file cut between two chunks is whole, only shorter; cut anywhere else it gives 3.
TEST(NativeDamaged, CutAtEveryLengthGives3UnlessCutBetweenChunks) {
  for (std::int32_t version : {native_version_1, native_version}) {
    const std::vector<std::uint8_t> whole = convert_file(write_fixture("cut"), version);
    std::vector<std::size_t> ends = {12};
    while (ends.back() + 6 <= whole.size()) {
      std::uint32_t length;
      std::memcpy(&length, whole.data() + ends.back() + 2, 4);
      ends.push_back(ends.back() + 6 + length);
    }
    ASSERT_EQ(ends.back(), whole.size());
    for (std::size_t n = 0; n < whole.size(); ++n) {
      const bool between = std::find(ends.begin(), ends.end(), n) != ends.end();
      const StageCodes codes = read_damaged({whole.begin(), whole.begin() + std::ptrdiff_t(n)}, whole);
      const int expected = between ? SCENE_OK : SCENE_READ_ERROR;
      ASSERT_TRUE(codes.scene == expected && codes.motion == expected) << "version " << version << ", cut at " << n;
    }
  }
}

TEST(NativeDamaged, EveryByteChangedGivesACodeOrAScene) {
  const std::vector<std::uint8_t> whole = convert_file(write_fixture("changed"));
  int refused = 0;
  for (std::size_t at = 0; at < whole.size(); ++at) {
    for (std::uint8_t flip : {0x01, 0x10, 0x80, 0xFF}) {
      std::vector<std::uint8_t> changed = whole;
      changed[at] ^= flip;
      const StageCodes codes = read_damaged(changed, whole);
      for (int code : {codes.scene, codes.motion}) {
        ASSERT_TRUE(code == SCENE_OK || code == SCENE_READ_ERROR || code == SCENE_NOT_SUPPORTED ||
                    code == SCENE_NOT_FOUND)
            << "byte " << at << " ^ " << int(flip) << " gave " << code;
        refused += code != SCENE_OK;
      }
    }
  }
  EXPECT_GT(refused, 0);
}
