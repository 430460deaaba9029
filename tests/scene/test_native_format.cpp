// Native format: the worked cases, the bytes the writer lays out, version 1 files, and the
// result codes for each kind of damage or missing reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "native_test_helpers.h"
#include "tools/tds_writer.h"

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

// Camera chunk of 48 data bytes: "Cam", id 0, no parents, position, target, fov 45, roll 0.
NativeBytes& camera_chunk(NativeBytes& b, std::int32_t id = 0) {
  return b.begin(NATIVE_CAMERA).str("Cam").i32(id).i32(-1).i32(-1).floats({1, 2, 3, 0, 0, 0, 45, 0}).end();
}

// An object node of one mesh (id 7) whose five slots are given by `tracks`.
NativeBytes mesh_scene(std::int32_t version, const std::function<void(NativeBytes&)>& tracks) {
  NativeBytes b;
  b.header(version, 3);
  b.begin(NATIVE_MESH).str("M").i32(7).i32(-1).i32(0).i32(0).u32(0).floats({0, 0, 0});
  if (version == native_version) b.floats({0, 0, 0, 0, 0, 0});
  b.end();
  b.begin(NATIVE_FRAMES).floats({0, 100}).end();
  b.begin(NATIVE_OBJECT_NODE).i32(0).i32(-1).i32(7);
  tracks(b);
  b.end();
  return b;
}

const Track* slot_track(const Scene& scene, int slot) { return scene.first_anim_node->tracks->slots[slot].get(); }

}  // namespace

// ---- the worked cases ----

TEST(ReadNative, HeaderOnlyFileIsAnEmptySceneInBothStages) {
  for (std::int32_t version : {native_version_1, native_version}) {
    ActiveScene a;
    NativeBytes b;
    b.header(version, 1);
    const StageCodes codes = a.read(b.bytes);
    EXPECT_EQ(codes.scene, SCENE_OK);
    EXPECT_EQ(codes.motion, SCENE_OK);
    EXPECT_EQ(a.scene.first_object, nullptr);
    EXPECT_EQ(a.scene.first_anim_node, nullptr);
  }
}

TEST(ReadNative, DummyMeshChunkHoldsNoArraysWhateverItsCounts) {
  ActiveScene a;
  NativeBytes b;
  b.header(1, 1);
  b.begin(NATIVE_MESH).str("Group").i32(1025).i32(-1).i32(3).i32(2).u32(MESH_DUMMY).floats({1, 2, 3}).end();
  camera_chunk(b);
  ASSERT_EQ(a.read(b.bytes).scene, SCENE_OK);
  const auto* mesh = dynamic_cast<const Mesh*>(a.scene.first_object->object.get());
  ASSERT_NE(mesh, nullptr);
  EXPECT_TRUE(mesh->vertices.empty());
  EXPECT_TRUE(mesh->faces.empty());
  EXPECT_EQ(mesh->flags, MESH_DUMMY);
  EXPECT_EQ(mesh->pivot.z, 3);
  EXPECT_EQ(a.scene.last_object->kind, NODE_CAMERA);
}

TEST(ReadNative, CountZeroTrackLeavesItsSlotEmpty) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(1, [](NativeBytes& n) {
    n.i32(0).i32(0).i32(0).i32(0).i32(1).u32(0).f32(5).i32(1);  // hide: one key at 5
  });
  ASSERT_EQ(a.read(b.bytes).motion, SCENE_OK);
  for (int slot = 0; slot < 4; ++slot) EXPECT_EQ(slot_track(a.scene, slot), nullptr) << slot;
  ASSERT_NE(slot_track(a.scene, OBJECT_SLOT_HIDE), nullptr);
  EXPECT_EQ(key_get_int(*slot_track(a.scene, OBJECT_SLOT_HIDE)->first), 1);
}

TEST(WriteNative, SlotWithAnEmptyTrackIsASingleZero) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(2, [](NativeBytes& n) { n.i32(0).i32(0).i32(0).i32(0).i32(0); });
  ASSERT_EQ(a.read(b.bytes).motion, SCENE_OK);
  a.scene.first_anim_node->tracks->slots[0] = track_new();  // a track without keys
  EXPECT_EQ(write_native_bytes(), b.bytes);
}

TEST(ReadNative, KeyFrame1275IsAppendedAt12) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(1, [](NativeBytes& n) {
    n.i32(2).u32(0);
    n.f32(0).floats({1, 2, 3}).floats({0, 0, 0, 0, 0});
    n.f32(12.75f).floats({4, 5, 6}).floats({0, 0, 0, 0, 0});
    n.i32(0).i32(0).i32(0).i32(0);
  });
  ASSERT_EQ(a.read(b.bytes).motion, SCENE_OK);
  const Track* t = slot_track(a.scene, SLOT_POSITION);
  EXPECT_EQ(t->first->next->frame, 12);
  EXPECT_EQ(t->length, 12);
  // Prepared as a spline: the two-key tangents.
  EXPECT_EQ(t->first->out_tangent[0], 3);
}

TEST(WriteNative, OneCameraSceneIsAHeaderAndOneChunkOfItsDataSize) {
  ActiveScene a;
  NativeBytes in;
  in.header(2, 1);
  camera_chunk(in);
  ASSERT_EQ(a.read(in.bytes).scene, SCENE_OK);
  const std::vector<std::uint8_t> out = write_native_bytes();
  EXPECT_EQ(out, in.bytes);
  ASSERT_EQ(out.size(), 12u + 6u + 48u);
  EXPECT_EQ(std::memcmp(out.data(), "QZ\0\0\2\0\0\0\1\0\0\0\0\3\x30\0\0\0", 18), 0);
  const std::vector<std::uint8_t> v1 = write_native_bytes(native_version_1);
  EXPECT_EQ(v1[4], 1);
  EXPECT_TRUE(std::equal(v1.begin() + 8, v1.end(), out.begin() + 8));
}

// ---- layout ----

TEST(WriteNative, FacesAreFiveIntegersAndFlagsLoseTheirPerFrameBits) {
  ActiveScene a;
  NativeBytes in;
  in.header(1, 1);
  in.begin(NATIVE_MATERIAL).str("Mat").i32(0).i32(1).u32(0).floats({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  for (int map = 0; map < 3; ++map) in.str(map == 0 ? "wood.pcx" : "").u32(0).floats({1, 1, 0, 0, 0});
  in.end();
  in.begin(NATIVE_MESH).str("Tri").i32(1).i32(-1).i32(3).i32(1).u32(MESH_FILE_HIDDEN).floats({0, 0, 0});
  for (int v = 0; v < 3; ++v) in.floats({float(v), 0, float(v == 2), 0, 0});
  in.u32(0).u32(1).u32(2).u32(FACE_V_WRAP).i32(0);
  in.end();
  ASSERT_EQ(a.read(in.bytes).scene, SCENE_OK);
  auto* mesh = static_cast<Mesh*>(a.scene.last_object->object.get());
  EXPECT_EQ(mesh->faces[0].material, a.scene.first_object->object.get());
  EXPECT_EQ(mesh->faces[0].vertex_c, &mesh->vertices[2]);
  mesh->flags |= MESH_HIDDEN | MESH_MORPHING;
  EXPECT_EQ(write_native_bytes(native_version_1), in.bytes);
}

TEST(WriteNative, MapWithoutAFileNameIsAnEmptyString) {
  ActiveScene a;
  auto m = std::make_unique<Material>();
  m->name = "Mat";
  m->maps[MAP_BUMP].file_name = "bump.pcx";
  scene_add_object(NODE_MATERIAL, std::move(m));
  const std::vector<std::uint8_t> out = write_native_bytes(native_version_1);
  // Head 8, shading and flags 8, colours 36, percentages 24, maps 1 + 9 + 1 bytes of names and 24 each.
  EXPECT_EQ(out.size(), 12u + 6u + 8u + 8u + 36u + 24u + 11u + 3u * 24u);
  ActiveScene b;
  ASSERT_EQ(b.read(out).scene, SCENE_OK);
  const auto* read = static_cast<const Material*>(b.scene.first_object->object.get());
  EXPECT_EQ(read->maps[MAP_TEXTURE].file_name, "");
  EXPECT_EQ(read->maps[MAP_BUMP].file_name, "bump.pcx");
}

TEST(WriteNative, RefusesWhatCannotBeReadBack) {
  {
    lib_init(0);
    SceneFile f;
    EXPECT_EQ(write_native_scene(f), SCENE_NOT_FOUND);  // no active scene
    ActiveScene a;
    EXPECT_EQ(write_native_scene(f), SCENE_NO_ACTIVE);  // no objects
    EXPECT_EQ(write_native_scene_version(f, 3), SCENE_NOT_SUPPORTED);
  }
  for (const std::string& name : {std::string(64, 'n'), std::string("a\0b", 3)}) {
    ActiveScene a;
    auto camera = std::make_unique<Camera>();
    camera->name = name;
    scene_add_object(NODE_CAMERA, std::move(camera));
    SceneFile f;
    EXPECT_EQ(write_native_scene(f), SCENE_NOT_SUPPORTED);
    EXPECT_TRUE(f.bytes.empty());  // nothing left behind
  }
  ActiveScene a;
  scene_add_object(NODE_CAMERA, std::make_unique<Camera>());
  scene_add_anim_node(ANIM_OBJECT, 0, -1, nullptr, a.scene.first_object->object.get());  // a camera as object
  SceneFile f;
  EXPECT_EQ(write_native_scene(f), SCENE_NOT_SUPPORTED);
}

// ---- version 1 ----

// Keys of 0.5, 0.5 and 7.0 radians about one axis hold the totals 0, 0 and 7: the rebuilt
// orientations turn by 0, 0 and 7 radians.
TEST(ReadNative, Version1RotationsAreRebuiltFromTheAngleTotals) {
  TdsWriter w;
  w.begin(TDS_MAIN);
  w.version(3);
  w.begin(TDS_EDITOR);
  w.mesh_version(3);
  w.begin_named_object("Box");
  w.begin(TDS_MESH);
  w.end();
  w.end();
  w.end();
  w.begin(TDS_KEYFRAMER);
  w.frames(0, 30);
  w.begin(TDS_OBJECT_NODE);
  w.node_header("Box", 0, 0, -1);
  const TdsRotationKey keys[] = {{0, 0.5f, {0, 0, 1}}, {10, 0.5f, {0, 0, 1}}, {20, 7.0f, {0, 0, 1}}};
  w.rotation_track(keys);
  w.end();
  w.end();
  w.end();
  const auto path = scratch_dir("native_v1_rotation") / "box.3ds";
  write_file_bytes(path, {w.bytes().begin(), w.bytes().end()});

  ActiveScene a;
  ASSERT_EQ(a.read(convert_3ds(path, native_version_1)).motion, SCENE_OK);
  const Key* k = slot_track(a.scene, OBJECT_SLOT_ROTATION)->first;
  const float turns[] = {0, 0, 7};
  for (float angle : turns) {
    ASSERT_NE(k, nullptr);
    Quaternion q;
    quat_from_angle_axis(angle, 0, 1, 0, q);  // the file's z is the library's y
    EXPECT_EQ(k->value[0], angle);
    EXPECT_EQ(k->orientation.w, q.w);
    EXPECT_EQ(k->orientation.y, q.y);
    EXPECT_NE(k->in_control.w, 0);  // prepared as a rotation
    k = k->next;
  }
}

TEST(ReadNative, Version1MorphKeysCarryNoSplineParameters) {
  ActiveScene a;
  const NativeBytes b = mesh_scene(1, [](NativeBytes& n) {
    n.i32(0).i32(0).i32(0);
    n.i32(2).u32(0).f32(0).i32(7).f32(10).i32(7);  // morph to itself, twice
    n.i32(0);
  });
  ASSERT_EQ(a.read(b.bytes).motion, SCENE_OK);
  EXPECT_EQ(slot_track(a.scene, OBJECT_SLOT_MORPH)->key_count, 2);
}

// ---- codes ----

TEST(ReadNative, ShortHeaderUnknownVersionAndNoActiveScene) {
  NativeBytes b;
  b.header(2, 1);
  for (std::size_t n = 0; n < 12; ++n) {
    ActiveScene a;
    const StageCodes codes = a.read({b.bytes.begin(), b.bytes.begin() + std::ptrdiff_t(n)});
    EXPECT_EQ(codes.scene, SCENE_READ_ERROR) << n;
    EXPECT_EQ(codes.motion, SCENE_READ_ERROR) << n;
  }
  for (std::int32_t version : {0, 3, -1}) {
    ActiveScene a;
    NativeBytes v;
    v.header(version, 1);
    EXPECT_EQ(a.read(v.bytes).scene, SCENE_NOT_SUPPORTED);
    EXPECT_EQ(a.read(v.bytes).motion, SCENE_NOT_SUPPORTED);
  }
  lib_init(0);
  SceneFile f;
  f.bytes = b.bytes;
  EXPECT_EQ(read_native_scene(f), SCENE_NO_ACTIVE);
}

TEST(ReadNative, UnknownChunksAreSkippedAndChunksPastTheEndGive3) {
  ActiveScene a;
  NativeBytes b;
  b.header(2, 1);
  b.begin(0x999).u32(0xDEADBEEF).end();
  camera_chunk(b, 0);
  b.begin(NATIVE_FRAMES).floats({0, 10}).end();  // a motion chunk, skipped by the scene stage
  camera_chunk(b, 1);
  const StageCodes codes = a.read(b.bytes);
  EXPECT_EQ(codes.scene, SCENE_OK);
  EXPECT_EQ(codes.motion, SCENE_OK);
  EXPECT_EQ(a.scene.last_object->object->id, 1);
  EXPECT_EQ(a.scene.end_frame, 10);

  b.u16(0x999).u32(5).u32(0);  // one byte short
  ActiveScene c;
  const StageCodes cut = c.read(b.bytes);
  EXPECT_EQ(cut.scene, SCENE_READ_ERROR);
  EXPECT_EQ(cut.motion, SCENE_READ_ERROR);
}

// Counts are checked against the bytes left before anything is allocated for them.
TEST(ReadNative, CountsThatDoNotFitTheirChunkGive3) {
  for (std::int32_t count : {0x7FFFFFFF, -1, 1}) {
    ActiveScene a;
    NativeBytes b;
    b.header(2, 1);
    b.begin(NATIVE_MESH).str("M").i32(0).i32(-1).i32(count).i32(0).u32(0).floats({0, 0, 0}).end();
    EXPECT_EQ(a.read(b.bytes).scene, SCENE_READ_ERROR) << count;
    const NativeBytes t = mesh_scene(2, [count](NativeBytes& n) { n.i32(count).u32(0).f32(0); });
    ActiveScene c;
    EXPECT_EQ(c.read(t.bytes).motion, SCENE_READ_ERROR) << count;
  }
}

TEST(ReadNative, FaceIndexOutsideTheVerticesGives3) {
  ActiveScene a;
  NativeBytes b;
  b.header(1, 1);
  b.begin(NATIVE_MESH).str("M").i32(0).i32(-1).i32(1).i32(1).u32(0).floats({0, 0, 0});
  b.floats({0, 0, 0, 0, 0}).u32(0).u32(0).u32(1).u32(0).i32(0).end();
  EXPECT_EQ(a.read(b.bytes).scene, SCENE_READ_ERROR);
}

TEST(ReadNative, StringsMustFitSixtyFourBytesWithTheirZero) {
  for (std::size_t length : {63u, 64u}) {
    ActiveScene a;
    NativeBytes b;
    b.header(1, 1);
    b.begin(NATIVE_AMBIENT).str(std::string(length, 'a')).i32(0).floats({0, 0, 0}).end();
    EXPECT_EQ(a.read(b.bytes).scene, length == 63 ? SCENE_OK : SCENE_READ_ERROR) << length;
  }
}

TEST(ReadNative, IdsNotFoundGive256) {
  auto face_scene = [](std::int32_t material_id) {
    NativeBytes b;
    b.header(1, 1);
    b.begin(NATIVE_AMBIENT).str("$AMBIENT$").i32(5).floats({0, 0, 0}).end();
    b.begin(NATIVE_MESH).str("M").i32(1).i32(-1).i32(3).i32(1).u32(0).floats({0, 0, 0});
    for (int v = 0; v < 3; ++v) b.floats({0, 0, 0, 0, 0});
    b.u32(0).u32(1).u32(2).u32(0).i32(material_id).end();
    return b;
  };
  for (auto [material_id, expected] : {std::pair{9, SCENE_NOT_FOUND}, {0, SCENE_OK}, {5, SCENE_OK}, {1, SCENE_OK}}) {
    ActiveScene a;
    EXPECT_EQ(a.read(face_scene(material_id).bytes).scene, expected) << material_id;
    if (expected != SCENE_OK) continue;
    // Id 0 names nothing here; the ambient and the mesh itself are no materials.
    const auto* mesh = static_cast<const Mesh*>(a.scene.last_object->object.get());
    EXPECT_EQ(mesh->faces[0].material_id, material_id);
    EXPECT_EQ(mesh->faces[0].material, nullptr);
  }
  // A node's object: missing, or of a kind the node cannot animate.
  for (std::int32_t object_id : {3, 5}) {
    ActiveScene a;
    NativeBytes b = face_scene(0);
    b.begin(NATIVE_OBJECT_NODE).i32(0).i32(-1).i32(object_id).i32(0).i32(0).i32(0).i32(0).i32(0).end();
    EXPECT_EQ(a.read(b.bytes).motion, SCENE_NOT_FOUND) << object_id;
  }
}

// ---- load and save over files ----

TEST(NativeLoad, StagesOverFilesRestoreTheActiveSceneAndEvaluateFrameZero) {
  ActiveScene other;
  const auto dir = scratch_dir("native_load");
  const NativeBytes b = mesh_scene(2, [](NativeBytes& n) {
    n.i32(2).u32(0).f32(0).floats({1, 2, 3, 0, 0, 0, 0, 0}).f32(10).floats({3, 2, 1, 0, 0, 0, 0, 0});
    n.i32(0).i32(0).i32(0).i32(0);
  });
  write_file_bytes(dir / "scene.nvf", {b.bytes.begin(), b.bytes.end()});
  std::unique_ptr<Scene> scene;
  scene_new(scene);
  EXPECT_EQ(native_load_scene((dir / "scene.nvf").c_str(), scene.get()), SCENE_OK);
  EXPECT_EQ(native_load_motion((dir / "scene.nvf").c_str(), scene.get()), SCENE_OK);
  EXPECT_EQ(scene_get_active(), &other.scene);
  EXPECT_EQ(static_cast<const Mesh*>(scene->first_object->object.get())->position.x, 1);
  EXPECT_EQ(native_load_scene((dir / "missing.nvf").c_str(), scene.get()), SCENE_CANNOT_OPEN);
  EXPECT_TRUE(native_file_is_native((dir / "scene.nvf").c_str()));
  EXPECT_FALSE(native_file_is_native((dir / "missing.nvf").c_str()));
  lib_init(0);
  EXPECT_EQ(native_save_scene((dir / "none" / "x.nvf").c_str(), scene.get()), SCENE_NO_ACTIVE);  // emptied
}
