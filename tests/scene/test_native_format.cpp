// Native format: the worked cases, the writer's layout, version 1 rotations, and the result
// codes for each kind of damage or missing reference.
#include <gtest/gtest.h>

#include <functional>

#include "native_test_helpers.h"

namespace {

// A fresh active scene for bytes read through the stage operations.
struct ActiveScene {
  Scene scene;
  ActiveScene() {
    lib_init(0);
    scene_set_active(&scene);
  }
  ~ActiveScene() { lib_init(0); }
  StageCodes read(const std::vector<std::uint8_t>& bytes) { return read_native_bytes(scene, bytes); }
};

// 48 data bytes: "Cam", id, no parents, position, target, fov 45, roll 0.
NativeBytes& camera_chunk(NativeBytes& b, std::int32_t id = 0) {
  return b.begin(NATIVE_CAMERA).str("Cam").i32(id).i32(-1).i32(-1).floats({1, 2, 3, 0, 0, 0, 45, 0}).end();
}

// Mesh id 7 without arrays, frames 0 .. 100, and its object node 0 with the track records given.
NativeBytes mesh_scene(std::int32_t version, const std::function<void(NativeBytes&)>& tracks) {
  NativeBytes b;
  b.header(version, 3).begin(NATIVE_MESH).str("M").i32(7).i32(-1).i32(0).i32(0).i32(0).floats({0, 0, 0});
  if (version == native_version) b.floats({0, 0, 0, 0, 0, 0});
  b.end().begin(NATIVE_FRAMES).floats({0, 100}).end();
  b.begin(NATIVE_OBJECT_NODE).i32(0).i32(-1).i32(7);
  tracks(b);
  return b.end();
}

const Track* slot_track(const Scene& scene, int slot) { return scene.first_anim_node->tracks->slots[slot].get(); }

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
  b.header(1, 1).begin(NATIVE_MESH).str("G").i32(1025).i32(-1).i32(3).i32(2).i32(MESH_DUMMY).floats({1, 2, 3}).end();
  ASSERT_EQ(a.read(camera_chunk(b).bytes).scene, SCENE_OK);
  const auto* mesh = static_cast<const Mesh*>(a.scene.first_object->object.get());
  EXPECT_TRUE(mesh->vertices.empty() && mesh->faces.empty());
  EXPECT_EQ(mesh->pivot.z, 3);
  EXPECT_EQ(a.scene.last_object->kind, NODE_CAMERA);
}

TEST(ReadNative, CountZeroLeavesTheSlotEmptyAndFrame1275IsAppendedAt12) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(1, [](NativeBytes& n) {
    n.i32(2).i32(0).floats({0, 1, 2, 3, 0, 0, 0, 0, 0}).floats({12.75f, 4, 5, 6, 0, 0, 0, 0, 0});
    n.i32(0).i32(0).i32(0).i32(0);
  });
  ASSERT_EQ(a.read(b.bytes).motion, SCENE_OK);
  const Track* t = slot_track(a.scene, SLOT_POSITION);
  EXPECT_EQ(t->first->next->frame, 12);
  EXPECT_EQ(t->length, 12);
  EXPECT_EQ(t->first->out_tangent[0], 3);  // prepared: the two-key rule
  for (int slot = 1; slot < 5; ++slot) EXPECT_EQ(slot_track(a.scene, slot), nullptr) << slot;
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

TEST(WriteNative, SlotWithAnEmptyTrackIsASingleZero) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(2, [](NativeBytes& n) { n.i32(0).i32(0).i32(0).i32(0).i32(0); });
  ASSERT_EQ(a.read(b.bytes).motion, SCENE_OK);
  a.scene.first_anim_node->tracks->slots[0] = track_new();
  EXPECT_EQ(write_native_bytes(), b.bytes);
}

// Faces as five 32-bit integers, maps without a file name as empty strings, and the mesh flags
// without the per-frame hidden and morphing bits.
TEST(WriteNative, FacesMapsAndFlagsAreWrittenAsTheyAreRead) {
  ActiveScene a;
  NativeBytes in;
  in.header(1, 1).begin(NATIVE_MATERIAL).str("Mat").i32(0).i32(1).i32(0);
  in.floats({0, 0, 0, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  for (const char* file : {"wood.pcx", "", ""}) in.str(file).i32(0).floats({1, 1, 0, 0, 0});
  in.end().begin(NATIVE_MESH).str("Tri").i32(1).i32(-1).i32(3).i32(1).i32(MESH_FILE_HIDDEN).floats({0, 0, 0});
  in.floats({0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0}).i32(0).i32(1).i32(2).i32(FACE_V_WRAP).i32(0).end();
  ASSERT_EQ(a.read(in.bytes).scene, SCENE_OK);
  auto* mesh = static_cast<Mesh*>(a.scene.last_object->object.get());
  EXPECT_EQ(mesh->faces[0].material, a.scene.first_object->object.get());
  EXPECT_EQ(mesh->faces[0].vertex_c, &mesh->vertices[2]);
  mesh->flags |= MESH_HIDDEN | MESH_MORPHING;
  EXPECT_EQ(write_native_bytes(native_version_1), in.bytes);
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

// Keys of 0.5, 0.5 and 7.0 radians about one axis hold the totals 0, 0 and 7: the rebuilt
// orientations turn by 0, 0 and 7 radians, and the track is prepared as a rotation.
TEST(ReadNative, Version1RotationsAreRebuiltFromTheAngleTotals) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(1, [](NativeBytes& n) {
    n.i32(0).i32(0).i32(3).i32(0);
    float frame = 0;
    for (float total : {0.0f, 0.0f, 7.0f}) n.floats({frame += 10, total, 0, 1, 0, 0, 0, 0, 0, 0});
    n.i32(0).i32(0);
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

// ---- codes ----

TEST(ReadNative, ShortHeaderUnknownVersionAndNoActiveScene) {
  const NativeBytes b = NativeBytes().header(2, 1);
  for (std::size_t n = 0; n < 12; ++n) {
    ActiveScene a;
    const StageCodes codes = a.read({b.bytes.begin(), b.bytes.begin() + std::ptrdiff_t(n)});
    EXPECT_TRUE(codes.scene == SCENE_READ_ERROR && codes.motion == SCENE_READ_ERROR) << n;
  }
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
  const StageCodes cut = c.read(b.u16(0x999).i32(5).i32(0).bytes);  // one byte short
  EXPECT_TRUE(cut.scene == SCENE_READ_ERROR && cut.motion == SCENE_READ_ERROR);
}

// Counts are checked against the bytes left before anything is allocated for them.
TEST(ReadNative, CountsFaceIndicesAndStringsThatDoNotFitGive3) {
  for (std::int32_t count : {0x7FFFFFFF, -1, 1}) {
    ActiveScene a;
    NativeBytes b;
    b.header(2, 1).begin(NATIVE_MESH).str("M").i32(0).i32(-1).i32(count).i32(0).i32(0).floats({0, 0, 0}).end();
    EXPECT_EQ(a.read(b.bytes).scene, SCENE_READ_ERROR) << count;
    ActiveScene c;
    EXPECT_EQ(c.read(mesh_scene(2, [count](NativeBytes& n) { n.i32(count).i32(0).floats({0}); }).bytes).motion,
              SCENE_READ_ERROR)
        << count;
  }
  ActiveScene a;
  NativeBytes face;
  face.header(1, 1).begin(NATIVE_MESH).str("M").i32(0).i32(-1).i32(1).i32(1).i32(0).floats({0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(a.read(face.i32(0).i32(0).i32(1).i32(0).i32(0).end().bytes).scene, SCENE_READ_ERROR);
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
    b.begin(NATIVE_MESH).str("M").i32(1).i32(-1).i32(3).i32(1).i32(0).floats({0, 0, 0});
    b.floats({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    return b.i32(0).i32(1).i32(2).i32(0).i32(material_id).end();
  };
  // Id 0 may name nothing (it is also "no material"); the ambient and the mesh itself are no materials.
  for (auto [material_id, expected] : {std::pair{9, SCENE_NOT_FOUND}, {0, SCENE_OK}, {5, SCENE_OK}, {1, SCENE_OK}}) {
    ActiveScene a;
    EXPECT_EQ(a.read(face_scene(material_id).bytes).scene, expected) << material_id;
    if (expected != SCENE_OK) continue;
    EXPECT_EQ(static_cast<const Mesh*>(a.scene.last_object->object.get())->faces[0].material, nullptr);
  }
  // A node's object: missing, or of a kind the node cannot animate.
  for (std::int32_t object_id : {3, 5}) {
    ActiveScene a;
    NativeBytes b = face_scene(0);
    b.begin(NATIVE_OBJECT_NODE).i32(0).i32(-1).i32(object_id).i32(0).i32(0).i32(0).i32(0).i32(0).end();
    EXPECT_EQ(a.read(b.bytes).motion, SCENE_NOT_FOUND) << object_id;
  }
}

TEST(NativeLoad, StagesOverFilesKeepTheActiveSceneAndEvaluateFrameZero) {
  ActiveScene other;
  const auto path = scratch_dir("native_load") / "scene.nvf";
  const NativeBytes b = mesh_scene(2, [](NativeBytes& n) {
    n.i32(2).i32(0).floats({0, 1, 2, 3, 0, 0, 0, 0, 0, 10, 3, 2, 1, 0, 0, 0, 0, 0}).i32(0).i32(0).i32(0).i32(0);
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
