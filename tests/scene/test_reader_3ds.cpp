// The 3DS reader: scenes built byte by byte for the walk, the handlers and each failure code;
// the files written by an independent 3DS library with what each loads as and the codes of
// the malformed ones; every file cut at every length or with bytes changed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <tuple>

#include "native_scene_fixture.h"
#include "scene/frame_update.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "testdata.h"
#include "tools/tds_writer.h"

namespace {

// Silences the reader's light lines while it lives.
struct Quiet {
  std::FILE* old = read_3ds_set_output(nullptr);
  ~Quiet() { read_3ds_set_output(old); }
};

// A scene read from bytes by the two stage operations alone (no boxes, normals or frame 0), left active.
struct LoadedTds {
  std::unique_ptr<Scene> scene;
  int scene_code = -1, motion_code = -1;
  std::string printed;
};

LoadedTds read_tds(const std::vector<std::uint8_t>& bytes) {
  LoadedTds l;
  lib_init(0);
  scene_new(l.scene);
  scene_set_active(l.scene.get());
  std::FILE* lights = std::tmpfile();  // what the reader prints
  std::FILE* old = read_3ds_set_output(lights);
  SceneFile file;
  file.bytes = bytes;
  l.scene_code = read_3ds_scene(file);
  l.motion_code = read_3ds_motion(file);
  read_3ds_set_output(old);
  std::rewind(lights);
  for (int c; (c = std::fgetc(lights)) != EOF;) l.printed += char(c);
  std::fclose(lights);
  return l;
}

std::vector<std::uint8_t> file_bytes(const std::filesystem::path& path) {
  std::vector<unsigned char> b = read_file_bytes(path);
  return {b.begin(), b.end()};
}

std::filesystem::path write_scratch(const std::string& test, const std::vector<std::uint8_t>& bytes) {
  std::filesystem::path path = scratch_dir("reader_3ds_" + test) / "scene.3ds";
  write_file_bytes(path, {bytes.begin(), bytes.end()});
  return path;
}

template <class T>
T* object_as(const Scene& scene, std::string_view name) {
  for (SceneNode* n = scene.first_object; n != nullptr; n = n->next)
    if (n->object->name == name) return static_cast<T*>(n->object.get());
  return nullptr;
}

AnimNode* node_with_id(const Scene& scene, std::int32_t id) {
  for (AnimNode* n = scene.first_anim_node; n != nullptr; n = n->next)
    if (n->node_id == id) return n;
  return nullptr;
}

template <class Node>
int count(const Node* n) {
  int count = 0;
  for (; n != nullptr; n = n->next) ++count;
  return count;
}

const Key* key_at(const AnimNode& node, int slot, int index) {
  const Track* t = node.tracks->slots[slot].get();
  const Key* k = t != nullptr ? t->first : nullptr;
  for (int i = 0; k != nullptr && i < index; ++i) k = k->next;
  return k;
}

// Within 4 units in the last place, or within `tolerance` when one is given.
void expect_vec(const Vector3& v, float x, float y, float z, float tolerance = 0) {
  for (auto [got, want] : {std::pair{v.x, x}, {v.y, y}, {v.z, z}}) {
    if (tolerance == 0) {
      EXPECT_FLOAT_EQ(got, want);
    } else {
      EXPECT_NEAR(got, want, tolerance);
    }
  }
}

// Both stages on bytes, then what loading does after them: boxes, normals and frame 0.
void load_anything(const std::vector<std::uint8_t>& bytes) {
  LoadedTds l = read_tds(bytes);
  for (int code : {l.scene_code, l.motion_code})
    EXPECT_TRUE(code == 0 || code == 1 || code == 3 || code == 4 || code == 256) << code;
  lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
  scene_set_active(l.scene.get());
  for (SceneNode* n = l.scene->first_object; n != nullptr; n = n->next) {
    if (n->kind != NODE_MESH) continue;
    mesh_compute_bounds(*static_cast<Mesh*>(n->object.get()));
    mesh_compute_normals(*static_cast<Mesh*>(n->object.get()));
  }
  scene_set_frame(0);
  scene_update();
  lib_init(0);
}

// Every shorter copy of the bytes, then copies with one to four bytes changed at random.
void cut_and_flip(const std::vector<std::uint8_t>& bytes, int flips, unsigned seed) {
  for (std::size_t n = 0; n < bytes.size() && !::testing::Test::HasFailure(); ++n) {
    SCOPED_TRACE(n);
    load_anything({bytes.begin(), bytes.begin() + std::ptrdiff_t(n)});
  }
  std::mt19937 random(seed);
  for (int i = 0; i < flips && !::testing::Test::HasFailure(); ++i) {
    std::vector<std::uint8_t> changed = bytes;
    for (int c = 1 + int(random() % 4); c > 0; --c)
      changed[random() % changed.size()] ^= std::uint8_t(1 + random() % 255);
    SCOPED_TRACE(i);
    load_anything(changed);
  }
}

std::vector<std::uint8_t> finish(TdsWriter& w) {
  while (w.depth() > 0) w.end();
  return w.bytes();
}

constexpr TdsVec triangle[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
constexpr TdsFace one_face[] = {{0, 1, 2, 0}};

// The main chunk, its version and the open editor chunk with the mesh version byte at offset 28.
void begin_file(TdsWriter& w, std::uint8_t version_byte = 3) {
  w.begin(TDS_MAIN);
  w.version(3);
  w.begin(TDS_EDITOR);
  w.mesh_version(version_byte);
}

void begin_mesh(TdsWriter& w, std::string_view name) {
  w.begin_named_object(name);
  w.begin(TDS_MESH);
}

void write_mesh(TdsWriter& w, std::string_view name, std::span<const TdsVec> points) {
  begin_mesh(w, name);
  w.points(points);
  w.begin_faces(one_face);
  for (int i = 0; i < 3; ++i) w.end();
}

void write_material(TdsWriter& w, std::string_view name) {
  w.begin(TDS_MATERIAL);
  w.chunk_string(TDS_MAT_NAME, name);
  w.end();
}

// Both stages on a file whose editor chunk holds what `body` writes.
template <class F>
LoadedTds read_editor(F body) {
  TdsWriter w;
  begin_file(w);
  body(w);
  return read_tds(finish(w));
}

// Mesh "Box" (id 0), camera "Cam" (1), omni light "Lamp" (2), spot light "Spot" (3), then an
// open keyframer chunk with the frames 0 .. 100.
void begin_keyframer(TdsWriter& w) {
  begin_file(w);
  const TdsVec box[] = {{-1, -1, -1}, {1, 2, 3}, {2, -1, 0}};
  write_mesh(w, "Box", box);
  w.begin_named_object("Cam");
  w.camera({0, -10, 0}, {0, 0, 0}, 0, 50);
  w.end();
  w.begin_named_object("Lamp");
  w.begin_light({1, 2, 3});
  w.end();
  w.end();
  w.begin_named_object("Spot");
  w.begin_light({4, 5, 6});
  w.spotlight({0, 0, 0}, 20, 30);
  for (int i = 0; i < 3; ++i) w.end();
  w.begin(TDS_KEYFRAMER);
  w.frames(0, 100);
}

template <class F>
LoadedTds read_keyframer(F body) {
  TdsWriter w;
  begin_keyframer(w);
  body(w);
  return read_tds(finish(w));
}

// Opens a node chunk with its node-id chunk (none for -1) and header.
void begin_node(TdsWriter& w, std::uint16_t node_chunk, std::string_view name, int node_id = -1,
                std::int16_t parent = -1, std::uint16_t flags1 = 0) {
  w.begin(node_chunk);
  if (node_id >= 0) w.node_id(std::uint16_t(node_id));
  w.node_header(name, flags1, 0, parent);
}

}  // namespace

// ---- the walk ----

TEST(Read3dsVersion, ByteOneAtOffset28GivesFourAndShortFilesThree) {
  TdsWriter w;
  begin_file(w, 1);
  std::vector<std::uint8_t> bytes = finish(w);
  ASSERT_EQ(bytes[tds_version_offset], 1);
  LoadedTds l = read_tds(bytes);
  EXPECT_EQ(l.scene_code, SCENE_NOT_SUPPORTED);
  EXPECT_EQ(l.motion_code, SCENE_NOT_SUPPORTED);
  EXPECT_EQ(read_editor([](TdsWriter&) {}).scene_code, SCENE_OK);  // version byte 3
  bytes.resize(28);
  l = read_tds(bytes);
  EXPECT_EQ(l.scene_code, SCENE_READ_ERROR);
  EXPECT_EQ(l.motion_code, SCENE_READ_ERROR);
}

TEST(Read3dsWalk, ChunkShorterThanItsHeaderOrNestingBeyondSixtyFourGivesThree) {
  for (std::uint32_t length : {0u, 5u}) {
    LoadedTds l = read_editor([&](TdsWriter& w) { w.header(TDS_TEXELS, length); });
    EXPECT_EQ(l.scene_code, SCENE_READ_ERROR) << length;
    EXPECT_EQ(l.motion_code, SCENE_OK);  // the keyframer stage skips the editor chunk whole
    l = read_editor([&](TdsWriter& w) {
      w.end();
      w.header(0x1234, length);
    });
    EXPECT_EQ(l.motion_code, SCENE_READ_ERROR) << length;
  }
  for (int levels : {40, 200}) {
    LoadedTds l = read_editor([&](TdsWriter& w) {
      for (int i = 0; i < levels; ++i) w.begin(TDS_MAIN);
    });
    EXPECT_EQ(l.scene_code, levels == 40 ? SCENE_OK : SCENE_READ_ERROR) << levels;
  }
}

// ---- editor objects ----

// The container id stays at the last container entered: colour bytes straight in the material
// after its diffuse chunk closed are still the diffuse colour; under the background they are dropped.
TEST(Read3dsColor, BytesUnderDiffuseAreScaledAndUnderBackgroundDropped) {
  LoadedTds l = read_editor([](TdsWriter& w) {
    w.begin(0x7777);  // unknown: skipped with what it holds
    write_material(w, "Unseen");
    w.end();
    w.begin(TDS_MATERIAL);
    w.chunk_string(TDS_MAT_NAME, "M");
    w.color_chunk_bytes(TDS_MAT_DIFFUSE, 255, 128, 0);
    w.end();
    w.begin(TDS_BACKGROUND);
    w.color_bytes(1, 2, 3);
    w.end();
    w.begin(TDS_MATERIAL);
    w.chunk_string(TDS_MAT_NAME, "N");
    w.color_chunk_bytes(TDS_MAT_DIFFUSE, 10, 20, 30);
    w.color_bytes(255, 0, 0);
  });
  ASSERT_EQ(l.scene_code, SCENE_OK);
  EXPECT_EQ(count(l.scene->first_object), 2);
  const Material& m = *object_as<Material>(*l.scene, "M");
  EXPECT_EQ(m.diffuse.x, 1.0f);
  EXPECT_EQ(m.diffuse.y, float(128 * 0.00392156862745098));
  EXPECT_NEAR(m.diffuse.y, 0.50196f, 1e-5f);
  EXPECT_EQ(m.diffuse.z, 0.0f);
  expect_vec(m.ambient, 0, 0, 0);
  expect_vec(object_as<Material>(*l.scene, "N")->diffuse, 1, 0, 0);
}

// The map chunk that a file name or parameter lands in is chosen by its container's id.
TEST(Read3dsMaterial, MapsChosenByContainerAndFlags) {
  LoadedTds l = read_editor([](TdsWriter& w) {
    w.begin(TDS_MATERIAL);
    w.chunk_string(TDS_MAT_NAME, "Shiny");
    for (std::uint16_t flag : {TDS_MAT_TWO_SIDE, TDS_MAT_ADDITIVE, TDS_MAT_WIRE, TDS_MAT_SOFTEN}) w.empty_chunk(flag);
    w.percent_chunk(TDS_MAT_SELF_ILLUM, 40);
    const std::uint16_t maps[] = {TDS_MAT_TEXMAP, TDS_MAT_BUMPMAP, TDS_MAT_REFLMAP};
    for (int i = 0; i < 3; ++i) {
      w.begin(maps[i]);
      w.chunk_string(TDS_MAP_FILE, std::string(1, char('a' + i)));
      w.chunk_u16(TDS_MAP_TILING, std::uint16_t(0x10 + i));
      w.chunk_floats(TDS_MAP_U_SCALE, {float(i + 1)});
      w.chunk_floats(TDS_MAP_ROTATION, {float(10 * i)});
      w.end();
    }
  });
  ASSERT_EQ(l.scene_code, SCENE_OK);
  const Material& m = *object_as<Material>(*l.scene, "Shiny");
  EXPECT_EQ(m.flags, MATERIAL_TWO_SIDED | MATERIAL_ADDITIVE | MATERIAL_WIRE | MATERIAL_SOFT);
  EXPECT_FLOAT_EQ(m.self_illumination, 0.4f);
  const int indices[] = {MAP_TEXTURE, MAP_BUMP, MAP_REFLECTION};
  for (int i = 0; i < 3; ++i) {
    const MaterialMap& map = m.maps[indices[i]];
    EXPECT_EQ(map.file_name, std::string(1, char('a' + i)));
    EXPECT_EQ(map.flags, 0x10u + unsigned(i));
    EXPECT_EQ(map.u_scale, float(i + 1));
    EXPECT_EQ(map.rotation, float(10 * i));
  }
}

TEST(Read3dsMesh, MatrixWithXAxisTwoAndOriginTenMovesVertexTwelveToOne) {
  LoadedTds l = read_editor([](TdsWriter& w) {
    begin_mesh(w, "M");
    const TdsVec points[] = {{12, 0, 0}, {10, 4, 3}};
    w.points(points);
    // The file's y axis has length 2: it becomes the library's z axis, whose coordinate halves.
    w.mesh_matrix({2, 0, 0}, {0, 2, 0}, {0, 0, 1}, {10, 0, 0});
  });
  ASSERT_EQ(l.scene_code, SCENE_OK);
  const Mesh& mesh = *object_as<Mesh>(*l.scene, "M");
  expect_vec(mesh.vertices[0].position, 1, 0, 0);
  expect_vec(mesh.vertices[1].position, 0, 3, 2);
}

TEST(Read3dsMesh, IndicesAndOrderThatWouldReachOutsideTheArraysAreRefused) {
  const std::uint16_t group[] = {0, 1};
  const TdsFace beyond[] = {{0, 1, 3, 0}};
  const TdsTexel texel[] = {{0, 0}};
  const std::pair<const char*, std::function<void(TdsWriter&)>> cases[] = {
      {"vertex index at the vertex count", [&](TdsWriter& w) { w.points(triangle), w.begin_faces(beyond); }},
      {"face list before the vertex list", [](TdsWriter& w) { w.begin_faces(one_face); }},
      {"mapping coordinates before the vertex list", [&](TdsWriter& w) { w.texels(texel); }},
      {"group face index at the face count",
       [&](TdsWriter& w) { w.points(triangle), w.begin_faces(one_face), w.face_material("Mat", group); }},
      {"group naming no object",  // 256, not 3
       [&](TdsWriter& w) {
         w.points(triangle), w.begin_faces(one_face), w.face_material("NoSuchMat", {group, 1});
       }},
      {"vertex count beyond the chunk",
       [](TdsWriter& w) {
         w.begin(TDS_POINTS), w.u16(1000), w.floats({1, 2, 3});
       }},
      {"a second, shorter vertex list under the faces",
       [](TdsWriter& w) { w.points(triangle), w.begin_faces(one_face), w.end(), w.points(std::span(triangle, 2)); }},
  };
  for (const auto& [what, write] : cases) {
    LoadedTds l = read_editor([&](TdsWriter& w) {
      write_material(w, "Mat");
      begin_mesh(w, "M");
      write(w);
    });
    EXPECT_EQ(l.scene_code, std::string_view(what) == "group naming no object" ? SCENE_NOT_FOUND : SCENE_READ_ERROR)
        << what;
  }
}

TEST(Read3dsMesh, SecondVertexListRelinksTheFacesAndChunksOfOtherObjectsAreIgnored) {
  LoadedTds l = read_editor([](TdsWriter& w) {
    begin_mesh(w, "M");
    w.points(triangle);
    w.begin_faces(one_face);
    w.end();
    const TdsVec more[] = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {5, 5, 5}};
    w.points(more);
    w.end();
    w.end();
    w.begin_named_object("Lamp");
    w.begin_light({1, 2, 3});
    w.points(triangle);  // no mesh to take them
    w.chunk_string(TDS_MAT_NAME, "NotAMaterial");
  });
  ASSERT_EQ(l.scene_code, SCENE_OK);
  const Mesh& mesh = *object_as<Mesh>(*l.scene, "M");
  EXPECT_EQ(mesh.faces[0].vertex_b, &mesh.vertices[1]);
  EXPECT_EQ(mesh.faces[0].vertex_b->position.x, 2);
  EXPECT_NE(object_as<Light>(*l.scene, "Lamp"), nullptr);
  EXPECT_EQ(count(l.scene->first_object), 2);
}

TEST(Read3dsStrings, SixtyThreeCharactersFitAndSixtyFourOrACutStringGiveThree) {
  for (std::size_t length : {63u, 64u}) {
    LoadedTds l = read_editor([&](TdsWriter& w) { begin_mesh(w, std::string(length, 'n')); });
    EXPECT_EQ(l.scene_code, length == 63 ? SCENE_OK : SCENE_READ_ERROR);
    if (length == 63) {
      EXPECT_EQ(l.scene->first_object->object->name, std::string(63, 'n'));
    }
  }
  LoadedTds cut = read_editor([](TdsWriter& w) {
    w.header(TDS_NAMED_OBJECT, 10);
    w.u8('a');
    w.u8('b');
  });
  EXPECT_EQ(cut.scene_code, SCENE_READ_ERROR);
}

// ---- keyframer ----

TEST(Read3dsNodes, NumbersWithoutNodeIdChunkCountOnFromThePrevious) {
  LoadedTds l = read_keyframer([](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "Box");
    w.end();
    begin_node(w, TDS_CAMERA_NODE, "Cam", 5);
    w.end();
    begin_node(w, TDS_TARGET_NODE, "Cam");
  });
  ASSERT_EQ(l.motion_code, SCENE_OK);
  ASSERT_EQ(count(l.scene->first_anim_node), 3);
  EXPECT_EQ(l.scene->first_anim_node->node_id, 0);
  EXPECT_EQ(l.scene->first_anim_node->next->node_id, 5);
  EXPECT_EQ(l.scene->last_anim_node->node_id, 6);
}

TEST(Read3dsNodes, TwoDummiesNumberedThreeAndFourGetIds1027And1028AndTheirInstanceNames) {
  LoadedTds l = read_keyframer([](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "$$$DUMMY", 3);
    w.pivot({1, 2, 3});
    w.instance_name("GroupA");
    w.end();
    begin_node(w, TDS_OBJECT_NODE, "$$$DUMMY", 4, 3);
    w.instance_name("GroupB");
  });
  ASSERT_EQ(l.motion_code, SCENE_OK);
  const Mesh* a = object_as<Mesh>(*l.scene, "GroupA");
  const Mesh* b = object_as<Mesh>(*l.scene, "GroupB");
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_EQ(a->id, 1027);
  EXPECT_EQ(b->id, 1028);
  EXPECT_EQ(a->flags, MESH_DUMMY);
  expect_vec(a->box_max, 0, 0, 0);  // a dummy has no vertices: its pivot moves no box
  EXPECT_EQ(b->parent_id, 1027);
  EXPECT_EQ(l.scene->last_object->object.get(), b);  // created by the keyframer: last in the list
  EXPECT_EQ(node_with_id(*l.scene, 4)->parent, node_with_id(*l.scene, 3));
}

TEST(Read3dsNodes, EveryNodeKindWithItsParentsAndTheHiddenFlag) {
  LoadedTds l = read_keyframer([](TdsWriter& w) {
    const std::tuple<std::uint16_t, const char*, std::int16_t, std::uint16_t> nodes[] = {
        {TDS_OBJECT_NODE, "Box", -1, 0x800}, {TDS_CAMERA_NODE, "Cam", 0, 0},      {TDS_TARGET_NODE, "Cam", -1, 0},
        {TDS_LIGHT_NODE, "Lamp", 1, 0},      {TDS_SPOTLIGHT_NODE, "Spot", -1, 0}, {TDS_L_TARGET_NODE, "Spot", 0, 0}};
    int id = 0;
    for (auto [chunk, name, parent, flags] : nodes) {
      begin_node(w, chunk, name, id++, parent, flags);
      w.end();
    }
    begin_node(w, TDS_AMBIENT_NODE, "$AMBIENT$", 6);
    const TdsVectorKey ambient[] = {{0, {0.1f, 0.2f, 0.3f}}};
    w.vector_track(TDS_COL_TRACK, ambient);
  });
  ASSERT_EQ(l.motion_code, SCENE_OK);
  const AnimNodeKind kinds[] = {ANIM_OBJECT, ANIM_CAMERA,       ANIM_CAMERA_TARGET, ANIM_OMNI,
                                ANIM_SPOT,   ANIM_LIGHT_TARGET, ANIM_AMBIENT};
  int i = 0;
  for (AnimNode* n = l.scene->first_anim_node; n != nullptr && i < 7; n = n->next, ++i) EXPECT_EQ(n->kind, kinds[i]);
  EXPECT_EQ(i, 7);
  const Mesh& box = *object_as<Mesh>(*l.scene, "Box");
  const Camera& cam = *object_as<Camera>(*l.scene, "Cam");
  EXPECT_EQ(box.flags, MESH_FILE_HIDDEN);
  EXPECT_EQ(cam.parent_id, box.id);
  EXPECT_EQ(cam.target_parent_id, -1);
  EXPECT_EQ(object_as<Light>(*l.scene, "Lamp")->parent_id, cam.id);
  EXPECT_EQ(object_as<Light>(*l.scene, "Spot")->target_parent_id, box.id);
  const Ambient* ambient = object_as<Ambient>(*l.scene, "$AMBIENT$");
  ASSERT_NE(ambient, nullptr);
  EXPECT_EQ(ambient->id, 1030);
  EXPECT_EQ(l.scene->last_anim_node->object, ambient);
  EXPECT_EQ(key_at(*l.scene->last_anim_node, AMBIENT_SLOT_COLOR, 0)->value[1], 0.2f);
}

TEST(Read3dsNodes, UnknownNameGives256AndLoadingFreesTheNodesRead) {
  TdsWriter w;
  begin_keyframer(w);
  begin_node(w, TDS_OBJECT_NODE, "Box", 0);
  w.end();
  begin_node(w, TDS_OBJECT_NODE, "Ghost", 1);
  const auto path = write_scratch("unknown_node", finish(w));
  Quiet quiet;
  lib_init(0);
  Scene scene;
  ASSERT_EQ(scene_load(path.c_str(), &scene), SCENE_OK);
  EXPECT_EQ(scene_load_motion(path.c_str(), &scene), SCENE_NOT_FOUND);
  EXPECT_EQ(scene.first_anim_node, nullptr);
  EXPECT_EQ(count(scene.first_object), 4);
}

TEST(Read3dsNodes, NodesAndMorphKeysFindObjectsOfTheirOwnKind) {
  // A material named like the mesh comes first in the list; the object node takes the mesh.
  LoadedTds l = read_editor([](TdsWriter& w) {
    write_material(w, "Box");
    write_mesh(w, "Box", triangle);
    w.end();
    w.begin(TDS_KEYFRAMER);
    begin_node(w, TDS_OBJECT_NODE, "Box", 0);
    const TdsMorphKey morph[] = {{0, "Box", {.tension = 0.5f}}};
    w.morph_track(morph);
  });
  ASSERT_EQ(l.motion_code, SCENE_OK);
  const AnimNode& node = *l.scene->first_anim_node;
  EXPECT_EQ(node.object->id, 1);
  EXPECT_EQ(key_get_int(*key_at(node, OBJECT_SLOT_MORPH, 0)), 1);
  EXPECT_EQ(key_at(node, OBJECT_SLOT_MORPH, 0)->tension, 0.5f);
  // "$AMBIENT$" makes an ambient light, which no object node animates; a camera node cannot
  // animate a mesh; a morph key names no mesh.
  EXPECT_EQ(read_keyframer([](TdsWriter& w) { begin_node(w, TDS_OBJECT_NODE, "$AMBIENT$"); }).motion_code,
            SCENE_NOT_FOUND);
  EXPECT_EQ(read_keyframer([](TdsWriter& w) { begin_node(w, TDS_CAMERA_NODE, "Box"); }).motion_code, SCENE_NOT_FOUND);
  const LoadedTds unknown_morph = read_keyframer([](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "Box");
    const TdsMorphKey morph[] = {{0, "Nowhere"}};
    w.morph_track(morph);
  });
  EXPECT_EQ(unknown_morph.motion_code, SCENE_NOT_FOUND);
}

TEST(Read3dsTracks, KeyFlags5CarryTensionAndBiasAndFlags20OneDroppedFloat) {
  LoadedTds l = read_keyframer([](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "Box", 0);
    w.begin(TDS_POS_TRACK);
    w.track_header(0, 2);
    w.key_header(0, 0x0005, {0.25f, 0.75f});
    w.floats({1, 2, 3});
    w.key_header(10, 0x0020, {99});
    w.floats({4, 5, 6});
  });
  ASSERT_EQ(l.motion_code, SCENE_OK);
  const Key& k0 = *key_at(*l.scene->first_anim_node, SLOT_POSITION, 0);
  EXPECT_EQ(k0.tension, 0.25f);
  EXPECT_EQ(k0.bias, 0.75f);
  EXPECT_EQ(k0.continuity + k0.ease_to + k0.ease_from, 0);
  EXPECT_EQ(k0.value[1], 3);
  const Key& k1 = *k0.next;
  EXPECT_EQ(k1.frame, 10);
  EXPECT_EQ(k1.tension + k1.bias + k1.continuity + k1.ease_to + k1.ease_from, 0);
  EXPECT_EQ(k1.value[0], 4);
  EXPECT_EQ(k1.value[1], 6);
}

TEST(Read3dsTracks, ThreeHideKeysGiveOneZeroOne) {
  const std::uint32_t frames[] = {10, 30, 60};
  LoadedTds l = read_keyframer([&](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "Box", 0);
    w.hide_track(frames);
  });
  ASSERT_EQ(l.motion_code, SCENE_OK);
  for (int i = 0; i < 3; ++i) {
    const Key& k = *key_at(*l.scene->first_anim_node, OBJECT_SLOT_HIDE, i);
    EXPECT_EQ(key_get_int(k), i == 1 ? 0 : 1);
    EXPECT_EQ(k.frame, float(frames[i]));
  }
}

TEST(Read3dsTracks, RotationTotalsZeroZeroSevenAndOrientationsHalfOneEight) {
  LoadedTds l = read_keyframer([](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "Box", 0);
    // About the file's z axis, which is the library's y axis.
    const TdsRotationKey keys[] = {{0, 0.5f, {0, 0, 1}}, {10, 0.5f, {0, 0, 1}}, {20, 7.0f, {0, 0, 1}}};
    w.rotation_track(keys);
  });
  ASSERT_EQ(l.motion_code, SCENE_OK);
  const float totals[] = {0, 0, 7}, angles[] = {0.5f, 1.0f, 8.0f};
  for (int i = 0; i < 3; ++i) {
    const Key& k = *key_at(*l.scene->first_anim_node, OBJECT_SLOT_ROTATION, i);
    EXPECT_EQ(k.value[0], totals[i]);
    EXPECT_EQ(k.value[2], 1);
    EXPECT_EQ(k.value[1] + k.value[3], 0);
    EXPECT_NEAR(k.orientation.w, std::cos(angles[i] / 2), 1e-5);
    EXPECT_NEAR(k.orientation.y, std::sin(angles[i] / 2), 1e-5);
    EXPECT_NEAR(std::abs(k.orientation.x) + std::abs(k.orientation.z), 0, 1e-6);
  }
}

TEST(Read3dsTracks, RotationTotalOfHugeAnglesStaysDefinedAndKeyCountBeyondTheChunkGivesThree) {
  LoadedTds l = read_keyframer([](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "Box", 0);
    const TdsRotationKey keys[] = {{0, 3e9f, {0, 0, 1}}, {10, -1e30f, {0, 0, 1}}, {20, NAN, {1, 0, 0}}};
    w.rotation_track(keys);
  });
  ASSERT_EQ(l.motion_code, SCENE_OK);
  const AnimNode& node = *l.scene->first_anim_node;
  EXPECT_EQ(key_at(node, OBJECT_SLOT_ROTATION, 0)->value[0], 2147483647.0f);
  EXPECT_EQ(key_at(node, OBJECT_SLOT_ROTATION, 1)->value[0], -2147483648.0f);
  EXPECT_EQ(key_at(node, OBJECT_SLOT_ROTATION, 2)->value[0], 0);
  l = read_keyframer([](TdsWriter& w) {
    begin_node(w, TDS_OBJECT_NODE, "Box", 0);
    w.begin(TDS_POS_TRACK);
    w.track_header(0, 60000);
    w.key_header(0, TdsKeyParams{});
    w.floats({1, 2, 3});
  });
  EXPECT_EQ(l.motion_code, SCENE_READ_ERROR);
}

// ---- the load stages around the reader ----

TEST(Read3dsMotion, FrameRangeAndPivotMovingVerticesWithTheirBox) {
  TdsWriter w;
  begin_keyframer(w);
  w.frames(10, 90);
  begin_node(w, TDS_OBJECT_NODE, "Box", 0);
  w.pivot({1, 2, 3});
  const auto path = write_scratch("pivot", finish(w));
  Quiet quiet;
  lib_init(0);
  Scene scene;
  ASSERT_EQ(scene_load(path.c_str(), &scene), SCENE_OK);
  ASSERT_EQ(scene_load_motion(path.c_str(), &scene), SCENE_OK);
  EXPECT_EQ(scene.start_frame, 10);
  EXPECT_EQ(scene.end_frame, 90);
  Mesh& box = *object_as<Mesh>(scene, "Box");
  expect_vec(box.pivot, 1, 3, 2);
  // File vertices (-1, -1, -1), (1, 2, 3), (2, -1, 0), exchanged, minus the pivot (1, 3, 2).
  expect_vec(box.vertices[0].position, -2, -4, -3);
  expect_vec(box.vertices[1].position, 0, 0, 0);
  expect_vec(box.box_min, -2, -4, -3);
  expect_vec(box.box_max, 1, 0, 0);
}

// The scene that the native format tests convert: every chunk kind the reader takes.
TEST(Read3dsCut, BuiltSceneCutAtEveryLengthOrChangedFailsWithACodeOrLoads) {
  const std::vector<std::uint8_t> bytes = fixture_scene_3ds();
  ASSERT_EQ(read_tds(bytes).motion_code, SCENE_OK);
  Quiet quiet;
  cut_and_flip(bytes, 3000, 7);
}

// ---- files written by an independent 3DS library ----

namespace {

struct ObjectRow {
  const char* name;
  SceneNodeKind kind;
  std::int32_t id;
};

struct NodeRow {
  AnimNodeKind kind;
  std::int32_t node_id;
  const char* object;
  std::vector<int> keys;  // key count of each slot
  std::int32_t parent = -1;
};

void expect_lists(const Scene& scene, std::span<const ObjectRow> objects, std::span<const NodeRow> nodes) {
  ASSERT_EQ(count(scene.first_object), int(objects.size()));
  ASSERT_EQ(count(scene.first_anim_node), int(nodes.size()));
  const SceneNode* o = scene.first_object;
  for (const ObjectRow& row : objects) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(o->object->name, row.name);
    EXPECT_EQ(o->kind, row.kind);
    EXPECT_EQ(o->object->id, row.id);
    o = o->next;
  }
  const AnimNode* n = scene.first_anim_node;
  for (const NodeRow& row : nodes) {
    SCOPED_TRACE(row.node_id);
    EXPECT_EQ(n->kind, row.kind);
    EXPECT_EQ(n->node_id, row.node_id);
    ASSERT_NE(n->object, nullptr);
    EXPECT_EQ(n->object->name, row.object);
    for (int slot = 0; slot < int(row.keys.size()); ++slot) {
      const Track* t = n->tracks->slots[slot].get();
      EXPECT_EQ(t != nullptr ? t->key_count : 0, row.keys[std::size_t(slot)]) << "slot " << slot;
    }
    EXPECT_EQ(n->parent, row.parent < 0 ? nullptr : node_with_id(scene, row.parent));
    n = n->next;
  }
}

}  // namespace

TEST(Read3dsFiles, CubeFlatObjectsNodesAndTheirValues) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/cube_flat.3ds");
  LoadedTds l = read_tds(file_bytes(path));
  ASSERT_EQ(l.scene_code, 0);
  ASSERT_EQ(l.motion_code, 0);
  EXPECT_EQ(l.printed, "licht gelesen: Omni01\r\nlicht gelesen: Spot01\r\n");
  EXPECT_EQ(l.scene->start_frame, 0.0f);
  EXPECT_EQ(l.scene->end_frame, 100.0f);
  const ObjectRow objects[] = {{"RedMat", NODE_MATERIAL, 0},
                               {"Camera01", NODE_CAMERA, 1},
                               {"Omni01", NODE_LIGHT, 2},
                               {"Spot01", NODE_LIGHT, 3},
                               {"Cube", NODE_MESH, 4}};
  const NodeRow nodes[] = {{ANIM_CAMERA, 0, "Camera01", {3, 4, 2}},   {ANIM_CAMERA_TARGET, 1, "Camera01", {2}},
                           {ANIM_OBJECT, 5, "Cube", {4, 3, 4, 0, 0}}, {ANIM_OMNI, 2, "Omni01", {2, 3}},
                           {ANIM_SPOT, 3, "Spot01", {1, 1, 2}},       {ANIM_LIGHT_TARGET, 4, "Spot01", {2}}};
  expect_lists(*l.scene, objects, nodes);
  EXPECT_EQ(node_with_id(*l.scene, 1)->tracks->slots[0]->first->next->tension, -0.5f);

  const Material& mat = *object_as<Material>(*l.scene, "RedMat");
  EXPECT_EQ(mat.flags, MATERIAL_TWO_SIDED);
  expect_vec(mat.ambient, 0.2f, 0, 0, 1e-5f);
  expect_vec(mat.diffuse, 1, 0.501961f, 0, 1e-5f);
  expect_vec(mat.specular, 0.898039f, 0.898039f, 0.898039f, 1e-5f);
  const float percents[] = {mat.shininess, mat.shininess_strength, mat.transparency, mat.transparency_falloff,
                            mat.reflection_blur};
  const float expected_percents[] = {0.25f, 0.05f, 0.1f, 0, 0.2f};
  for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(percents[i], expected_percents[i]) << i;
  EXPECT_EQ(mat.shading, 1);
  const Camera& camera = *object_as<Camera>(*l.scene, "Camera01");
  expect_vec(camera.position, 0, 40, -120, 1e-5f);
  expect_vec(camera.target, 0, 0, 0, 1e-5f);
  EXPECT_EQ(camera.roll, 0);
  EXPECT_EQ(camera.fov, 46);
  const Light& omni = *object_as<Light>(*l.scene, "Omni01");
  EXPECT_EQ(omni.type, LIGHT_OMNI);
  expect_vec(omni.position, 50, 80, 50, 1e-5f);
  expect_vec(omni.color, 0.9f, 0.8f, 0.7f, 1e-5f);
  const Light& spot = *object_as<Light>(*l.scene, "Spot01");
  EXPECT_EQ(spot.type, LIGHT_SPOT);
  expect_vec(spot.position, -60, 90, -40, 1e-5f);
  expect_vec(spot.target, 0, 0, 0, 1e-5f);
  EXPECT_EQ(spot.hotspot, 30);
  EXPECT_EQ(spot.falloff, 45);
  expect_vec(spot.color, 1, 1, 0.5f, 1e-5f);
  const Mesh& cube = *object_as<Mesh>(*l.scene, "Cube");
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
  expect_vec(cube.pivot, 0.5f, 0.75f, -0.25f, 1e-5f);
}

TEST(Read3dsFiles, HierarchyObjectsNodesAndParents) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/hierarchy.3ds");
  LoadedTds l = read_tds(file_bytes(path));
  ASSERT_EQ(l.scene_code, 0);
  ASSERT_EQ(l.motion_code, 0);
  EXPECT_EQ(l.printed, "licht gelesen: Omni01\r\n");
  const ObjectRow objects[] = {{"Blue", NODE_MATERIAL, 0},  {"Camera01", NODE_CAMERA, 1}, {"Omni01", NODE_LIGHT, 2},
                               {"Box1", NODE_MESH, 3},      {"Box2", NODE_MESH, 4},       {"Box3", NODE_MESH, 5},
                               {"Group01", NODE_MESH, 1024}};
  // The writer gives every node one-key tracks for what does not move.
  const NodeRow nodes[] = {{ANIM_OBJECT, 0, "Group01", {3, 1, 3, 0, 0}}, {ANIM_OBJECT, 1, "Box1", {1, 1, 1, 0, 0}, 0},
                           {ANIM_OBJECT, 2, "Box2", {2, 1, 1, 0, 3}, 0}, {ANIM_OBJECT, 3, "Box3", {1, 2, 2, 0, 0}, 2},
                           {ANIM_CAMERA_TARGET, 5, "Camera01", {1}, 0},  {ANIM_CAMERA, 4, "Camera01", {2, 1, 1}},
                           {ANIM_OMNI, 6, "Omni01", {1, 1}, 4}};
  expect_lists(*l.scene, objects, nodes);
  const Camera& camera = *object_as<Camera>(*l.scene, "Camera01");
  expect_vec(camera.position, 0, 20, -60, 1e-5f);
  EXPECT_FLOAT_EQ(camera.fov, 60);
  expect_vec(object_as<Light>(*l.scene, "Omni01")->position, 0, 10, 5, 1e-5f);
  for (const char* box : {"Box1", "Box2", "Box3"}) {
    EXPECT_EQ(object_as<Mesh>(*l.scene, box)->vertices.size(), 8u);
    EXPECT_EQ(object_as<Mesh>(*l.scene, box)->faces.size(), 12u);
  }
  EXPECT_EQ(object_as<Mesh>(*l.scene, "Group01")->flags, MESH_DUMMY);
  const AnimNode& group = *l.scene->first_anim_node;
  EXPECT_EQ(group.tracks->slots[SLOT_POSITION]->flags, TRACK_LOOP);
  EXPECT_EQ(group.tracks->slots[OBJECT_SLOT_ROTATION]->flags, TRACK_REPEAT);
  EXPECT_EQ(group.tracks->slots[SLOT_POSITION]->length, 40);
  EXPECT_EQ(key_at(*node_with_id(*l.scene, 3), OBJECT_SLOT_ROTATION, 1)->tension, 0.5f);
  EXPECT_EQ(object_as<Mesh>(*l.scene, "Box1")->parent_id, 1024);
  EXPECT_EQ(object_as<Mesh>(*l.scene, "Box3")->parent_id, 4);
  EXPECT_EQ(camera.target_parent_id, 1024);
  EXPECT_EQ(camera.parent_id, -1);
  EXPECT_EQ(object_as<Light>(*l.scene, "Omni01")->parent_id, 1);
  const AnimNode& box2 = *node_with_id(*l.scene, 2);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(key_get_int(*key_at(box2, OBJECT_SLOT_HIDE, k)), k % 2 == 0 ? 1 : 0);
  EXPECT_EQ(key_at(box2, OBJECT_SLOT_HIDE, 2)->frame, 60);
}

TEST(Read3dsFiles, BigLoadsFourMeshesThroughLoad3dMesh) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/big.3ds");
  Quiet quiet;
  std::unique_ptr<Scene> scene = load_3d_mesh(path.c_str());
  ASSERT_NE(scene, nullptr);
  int meshes = 0;
  for (SceneNode* n = scene->first_object; n != nullptr; n = n->next) {
    if (n->kind != NODE_MESH) continue;
    const Mesh& mesh = *static_cast<const Mesh*>(n->object.get());
    EXPECT_EQ(mesh.name, "Torus" + std::to_string(meshes++));
    EXPECT_EQ(mesh.vertices.size(), 25100u);
    EXPECT_EQ(mesh.faces.size(), 50000u);
  }
  EXPECT_EQ(meshes, 4);
  EXPECT_EQ(scene->visible_face_count, 200000);
  ASSERT_NE(object_as<Material>(*scene, "Gray"), nullptr);
  EXPECT_NEAR(object_as<Camera>(*scene, "Camera01")->fov, 45, 1e-3);
}

TEST(Read3dsFiles, BadFilesGiveTheirCodes) {
  SKIP_WITHOUT_TESTDATA(dir, "3ds/bad");
  const std::tuple<const char*, int, int> cases[] = {{"version1.3ds", 4, 4},
                                                     {"short20.3ds", 3, 3},
                                                     {"truncated.3ds", 3, 3},
                                                     {"zero_length.3ds", 3, 256},
                                                     {"missing_material.3ds", 256, 0}};
  Quiet quiet;
  for (const auto& [file, scene_code, motion_code] : cases) {
    SCOPED_TRACE(file);
    lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
    Scene scene;
    EXPECT_EQ(scene_load((dir / file).c_str(), &scene), scene_code);
    EXPECT_EQ(scene_load_motion((dir / file).c_str(), &scene), motion_code);
    // A failed scene stage leaves no objects; a failed motion stage no nodes.
    EXPECT_TRUE(scene_code == 0 || scene.first_object == nullptr);
    EXPECT_TRUE(motion_code == 0 || scene.first_anim_node == nullptr);
    lib_init(0);
  }
  EXPECT_EQ(load_3d_mesh((dir / "zero_length.3ds").c_str()), nullptr);
  std::unique_ptr<Scene> empty = load_3d_mesh((dir / "missing_material.3ds").c_str());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->first_object, nullptr);
}

TEST(Read3dsFiles, CubeFlatAtFrameZeroLandsOnItsStoredVertices) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/cube_flat.3ds");
  // The first vertex list of the file as stored, in the library's axes.
  const std::vector<std::uint8_t> bytes = file_bytes(path);
  std::vector<Vector3> stored;
  for (std::size_t p = 0; p + 8 <= bytes.size() && stored.empty(); ++p) {
    const std::size_t n = bytes[p + 6] | bytes[p + 7] << 8;
    if (bytes[p] != 0x10 || bytes[p + 1] != 0x41 || p + 8 + n * 12 > bytes.size()) continue;
    for (std::size_t i = 0; i < n; ++i) {
      float f[3];
      std::memcpy(f, &bytes[p + 8 + 12 * i], 12);
      stored.push_back({f[0], f[2], f[1]});
    }
  }
  ASSERT_EQ(stored.size(), 8u);
  Quiet quiet;
  std::unique_ptr<Scene> scene = load_3d_mesh(path.c_str());
  ASSERT_NE(scene, nullptr);
  const Mesh& cube = *object_as<Mesh>(*scene, "Cube");
  for (std::size_t i = 0; i < stored.size(); ++i)
    expect_vec(cube.vertices[i].transformed_position, stored[i].x, stored[i].y, stored[i].z, 2e-4f);
  for (const Vertex& v : cube.vertices) {  // the box moved with the pivot, so it still holds every vertex
    const Vector3& p = v.position;
    EXPECT_TRUE(cube.box_min.x <= p.x && p.x <= cube.box_max.x);
    EXPECT_TRUE(cube.box_min.y <= p.y && p.y <= cube.box_max.y);
    EXPECT_TRUE(cube.box_min.z <= p.z && p.z <= cube.box_max.z);
  }
}

TEST(Read3dsFiles, CutAtEveryLengthOrChangedFailWithACodeOrLoad) {
  SKIP_WITHOUT_TESTDATA(dir, "3ds");
  Quiet quiet;
  cut_and_flip(file_bytes(dir / "cube_flat.3ds"), 1500, 1);
  cut_and_flip(file_bytes(dir / "hierarchy.3ds"), 1500, 2);
  const std::vector<std::uint8_t> big = file_bytes(dir / "big.3ds");
  std::mt19937 random(3);
  for (int i = 0; i < 12; ++i) {  // the big file at sampled lengths
    const std::size_t n = random() % big.size();
    SCOPED_TRACE(n);
    load_anything({big.begin(), big.begin() + std::ptrdiff_t(n)});
  }
}
