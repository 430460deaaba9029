// native_scene_fixture.h: a .3DS scene built in code that uses everything the native format
// stores: materials with maps, meshes with a matrix, pivots, texels and face groups, omni and
// spot lights, a camera, the ambient and a dummy node, hierarchy, every track kind with spline
// parameters and easing, loop and repeat flags, rotations of more than a turn, morph and hide.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/tds_writer.h"

inline void fixture_material(TdsWriter& w, const char* name, std::uint8_t red, const char* texture) {
  w.begin(TDS_MATERIAL);
  w.chunk_string(TDS_MAT_NAME, name);
  w.color_chunk_float(TDS_MAT_AMBIENT, 0.1f, 0.2f, 0.3f);
  w.color_chunk_bytes(TDS_MAT_DIFFUSE, red, 128, 7);
  w.color_chunk_float(TDS_MAT_SPECULAR, 0.9f, 0.8f, 0.7f);
  w.percent_chunk(TDS_MAT_SHININESS, 37);
  w.percent_chunk(TDS_MAT_TRANSPARENCY, 11);
  w.percent_chunk(TDS_MAT_SELF_ILLUM, 3);
  w.empty_chunk(TDS_MAT_TWO_SIDE);
  w.empty_chunk(TDS_MAT_SOFTEN);
  w.chunk_u16(TDS_MAT_SHADING, 3);
  w.begin(TDS_MAT_TEXMAP);
  if (texture != nullptr) w.chunk_string(TDS_MAP_FILE, texture);
  w.chunk_u16(TDS_MAP_TILING, 0x11);
  w.chunk_floats(TDS_MAP_U_SCALE, {2.5f});
  w.chunk_floats(TDS_MAP_V_OFFSET, {-0.125f});
  w.chunk_floats(TDS_MAP_ROTATION, {33.3f});
  w.end();
  w.begin(TDS_MAT_BUMPMAP);  // a map without a file name
  w.chunk_floats(TDS_MAP_V_SCALE, {0.75f});
  w.end();
  w.end();
}

// A four-vertex, two-face mesh, moved by `shift` so that morph targets differ.
inline void fixture_quad(TdsWriter& w, const char* name, float shift, bool with_matrix) {
  w.begin_named_object(name);
  w.begin(TDS_MESH);
  const TdsVec points[] = {{-1.3f + shift, 0.2f, -0.7f}, {2.1f, 0.4f * shift, -0.9f}, {1.7f, 1.1f, 3.3f + shift},
                           {-0.6f, -2.2f, 1.9f}};
  w.points(points);
  const TdsTexel texels[] = {{0, 0}, {1, 0}, {1, 1}, {0.25f, 0.75f}};
  w.texels(texels);
  const TdsFace faces[] = {{0, 1, 2, 0x8}, {0, 2, 3, 0x10}};
  w.begin_faces(faces);
  const std::uint16_t first[] = {0};
  w.face_material("Mat0", first);  // face 1 stays without a material
  w.end();
  if (with_matrix) w.mesh_matrix({0.8660254f, 0.5f, 0}, {-1, 1.7320508f, 0}, {0, 0, 0.5f}, {3, -4, 5.5f});
  w.end();
  w.end();
}

inline void fixture_editor(TdsWriter& w) {
  fixture_material(w, "Mat0", 255, "wood.pcx");
  fixture_material(w, "Mat1", 3, nullptr);
  fixture_quad(w, "Body", 0, true);
  fixture_quad(w, "Blob", 0.5f, false);
  fixture_quad(w, "MorphA", 1.25f, false);
  fixture_quad(w, "MorphB", -2.5f, false);
  fixture_quad(w, "Loose", 0.1f, true);  // a mesh without a keyframer node
  w.begin_named_object("Lamp");
  w.begin_light({5.5f, -3.25f, 8});
  w.color_float(0.9f, 0.7f, 0.3f);
  w.end();
  w.end();
  w.begin_named_object("Spot");
  w.begin_light({-6, 9.5f, -4});
  w.spotlight({0.5f, 0.25f, 0}, 27.5f, 44.25f);
  w.color_bytes(200, 100, 50);
  w.end();
  w.end();
  w.begin_named_object("Camera01");
  w.camera({1.5f, -120, 40}, {0.25f, 0, 0.5f}, 3.5f, 43);
  w.end();
}

inline void fixture_node(TdsWriter& w, std::uint16_t chunk, std::uint16_t id, const char* name, std::int16_t parent,
                         std::uint16_t flags1 = 0) {
  w.begin(chunk);
  w.node_id(id);
  w.node_header(name, flags1, 0, parent);
}

inline void fixture_keyframer(TdsWriter& w) {
  const TdsKeyParams tcb{0.3f, -0.4f, 0.25f, 0, 0};
  const TdsKeyParams eased{-0.2f, 0.1f, -0.5f, 0.6f, 0.3f};
  w.begin(TDS_KEYFRAMER);
  w.frames(0, 100);

  fixture_node(w, TDS_AMBIENT_NODE, 0, "$AMBIENT$", -1);
  const TdsVectorKey ambient[] = {{0, {0.1f, 0.2f, 0.3f}}, {50, {0.5f, 0.4f, 0.3f}, eased}, {100, {0, 0, 1}}};
  w.vector_track(TDS_COL_TRACK, ambient);
  w.end();

  fixture_node(w, TDS_OBJECT_NODE, 1, "$$$DUMMY", -1);
  w.instance_name("Group");
  w.pivot({1, 2, 3});
  const TdsVectorKey loop[] = {{0, {0, 0, 0}}, {20, {10, 1, -2}, tcb}, {40, {0, 0, 0}}};
  w.vector_track(TDS_POS_TRACK, loop, 3);
  const TdsRotationKey spin[] = {{0, 0, {0, 0, 1}}, {15, 1.5f, {0, 0, 1}, eased}, {40, 2.25f, {0.6f, 0, 0.8f}}};
  w.rotation_track(spin, 2);
  w.end();

  fixture_node(w, TDS_OBJECT_NODE, 2, "Body", 1);
  w.pivot({0.5f, 0.25f, -0.75f});
  const TdsVectorKey position[] = {{0, {1, 2, 3}}, {10, {4.5f, -1, 2}, tcb}, {35, {-3, 0.5f, 7}, eased}, {90, {2, 2, 2}}};
  w.vector_track(TDS_POS_TRACK, position);
  const TdsVectorKey scale[] = {{0, {1, 1, 1}}, {50, {2, 0.5f, 1.5f}, eased}, {100, {1, 1, 1}}};
  w.vector_track(TDS_SCL_TRACK, scale);
  // Angles of more than a turn each way, so that spins and the long log terms come in.
  const TdsRotationKey turns[] = {{0, 0.5f, {0, 0, 1}},       {12, 7.0f, {0, 0, 1}, tcb},
                                  {30, -7.0f, {1, 0, 0}},      {55, 0.3f, {0, 0.6f, 0.8f}, eased},
                                  {80, 6.5f, {0.48f, 0.6f, 0.64f}}};
  w.rotation_track(turns);
  const std::uint32_t hide[] = {10, 30, 60};
  w.hide_track(hide);
  w.end();

  fixture_node(w, TDS_OBJECT_NODE, 3, "Blob", 2);
  const TdsMorphKey morph[] = {{0, "MorphA"}, {40, "MorphB", eased}, {70, "MorphA", {0, 0, 0, 0.5f, 0.5f}}};
  w.morph_track(morph);
  const TdsVectorKey still[] = {{0, {0, 3, 0}}};
  w.vector_track(TDS_POS_TRACK, still);
  w.end();

  fixture_node(w, TDS_OBJECT_NODE, 4, "MorphA", -1, 0x800);
  w.end();
  fixture_node(w, TDS_OBJECT_NODE, 5, "MorphB", -1, 0x800);
  w.end();

  fixture_node(w, TDS_CAMERA_NODE, 6, "Camera01", -1);
  const TdsVectorKey eye[] = {{0, {1.5f, -120, 40}}, {45, {30, -90, 20}, tcb}, {100, {-10, -100, 60}}};
  w.vector_track(TDS_POS_TRACK, eye);
  const TdsFloatKey fov[] = {{0, 48}, {60, 30.5f, eased}};
  w.float_track(TDS_FOV_TRACK, fov);
  const TdsFloatKey roll[] = {{0, 0}, {100, 30, tcb}};
  w.float_track(TDS_ROLL_TRACK, roll);
  w.end();

  fixture_node(w, TDS_TARGET_NODE, 7, "Camera01", 1);
  const TdsVectorKey look[] = {{0, {0, 0, 0}}, {100, {5, 5, 5}}};
  w.vector_track(TDS_POS_TRACK, look);
  w.end();

  fixture_node(w, TDS_LIGHT_NODE, 8, "Lamp", 6);
  const TdsVectorKey lamp[] = {{0, {5.5f, -3.25f, 8}}, {100, {-5, 3, 8}}};
  w.vector_track(TDS_POS_TRACK, lamp);
  const TdsVectorKey glow[] = {{0, {1, 1, 1}}, {30, {0.2f, 0.9f, 0.4f}, eased}, {100, {1, 0, 0}}};
  w.vector_track(TDS_COL_TRACK, glow);
  w.end();

  fixture_node(w, TDS_SPOTLIGHT_NODE, 9, "Spot", -1);
  const TdsVectorKey spot[] = {{0, {-6, 9.5f, -4}}};
  w.vector_track(TDS_POS_TRACK, spot);
  const TdsFloatKey spot_roll[] = {{0, 0}, {25, 45, tcb}, {50, 0}};
  w.float_track(TDS_ROLL_TRACK, spot_roll, 3);
  w.end();

  fixture_node(w, TDS_L_TARGET_NODE, 10, "Spot", 2);
  const TdsVectorKey aim[] = {{0, {0.5f, 0.25f, 0}}, {100, {4, 4, -4}, eased}};
  w.vector_track(TDS_POS_TRACK, aim);
  w.end();
  w.end();
}

// The whole file.
inline std::vector<std::uint8_t> fixture_scene_3ds() {
  TdsWriter w;
  w.begin(TDS_MAIN);
  w.version(3);
  w.begin(TDS_EDITOR);
  w.mesh_version(3);
  fixture_editor(w);
  w.end();
  fixture_keyframer(w);
  w.end();
  return w.bytes();
}
