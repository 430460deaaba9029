// native_scene_fixture.h: a .3DS scene built in code that uses everything the native format
// stores: a material with maps, meshes with a matrix, pivots, texels and a face group, omni
// and spot lights, a camera, the ambient and a dummy node, hierarchy, every track kind with
// spline parameters and easing, loop and repeat flags, turns of more than 2 pi, morph, hide.
// Also the damage loop the scene file tests run on it. Owns nothing; never touches files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/tds_writer.h"

// A four-vertex, two-face mesh moved by `shift`, its first face in "Mat0".
inline void fixture_quad(TdsWriter& w, const char* name, float shift, bool with_matrix) {
  const TdsVec points[] = {
      {-1.3f + shift, 0.2f, -0.7f}, {2.1f, 0.4f * shift, -0.9f}, {1.7f, 1.1f, 3.3f + shift}, {-0.6f, -2.2f, 1.9f}};
  const TdsTexel texels[] = {{0, 0}, {1, 0}, {1, 1}, {0.25f, 0.75f}};
  const TdsFace faces[] = {{0, 1, 2, 0x8}, {0, 2, 3, 0x10}};
  const std::uint16_t first[] = {0};
  w.begin_named_object(name);
  w.begin(TDS_MESH);
  w.points(points);
  w.texels(texels);
  w.begin_faces(faces);
  w.face_material("Mat0", first);
  w.end();
  if (with_matrix) w.mesh_matrix({0.8660254f, 0.5f, 0}, {-1, 1.7320508f, 0}, {0, 0, 0.5f}, {3, -4, 5.5f});
  w.end();
  w.end();
}

inline std::vector<std::uint8_t> fixture_scene_3ds() {
  TdsWriter w;
  w.begin(TDS_MAIN);
  w.version(3);
  w.begin(TDS_EDITOR);
  w.mesh_version(3);
  w.begin(TDS_MATERIAL);
  w.chunk_string(TDS_MAT_NAME, "Mat0");
  w.color_chunk_bytes(TDS_MAT_DIFFUSE, 255, 128, 7);
  w.percent_chunk(TDS_MAT_SHININESS, 37);
  w.empty_chunk(TDS_MAT_TWO_SIDE);
  w.begin(TDS_MAT_TEXMAP);
  w.chunk_string(TDS_MAP_FILE, "wood.pcx");
  w.chunk_floats(TDS_MAP_U_SCALE, {2.5f});
  w.end();
  w.end();
  fixture_quad(w, "Body", 0, true);
  fixture_quad(w, "Blob", 0.5f, false);
  fixture_quad(w, "MorphA", 1.25f, false);
  fixture_quad(w, "MorphB", -2.5f, true);
  fixture_quad(w, "Loose", 0.1f, true);  // these two have no node
  w.begin_named_object("Lamp");
  w.begin_light({5.5f, -3.25f, 8});
  w.color_float(0.9f, 0.7f, 0.3f);
  w.end();
  w.end();
  w.begin_named_object("Spot");
  w.begin_light({-6, 9.5f, -4});
  w.spotlight({0.5f, 0.25f, 0}, 27.5f, 44.25f);
  w.end();
  w.end();
  w.begin_named_object("Camera01");
  w.camera({1.5f, -120, 40}, {0.25f, 0, 0.5f}, 3.5f, 43);
  w.end();
  w.end();

  const TdsKeyParams tcb{0.3f, -0.4f, 0.25f, 0, 0}, eased{-0.2f, 0.1f, -0.5f, 0.6f, 0.3f};
  auto node = [&w](std::uint16_t chunk, std::uint16_t id, const char* name, std::int16_t parent,
                   std::uint16_t flags = 0) {
    w.begin(chunk);
    w.node_id(id);
    w.node_header(name, flags, 0, parent);
  };
  w.begin(TDS_KEYFRAMER);
  w.frames(0, 100);
  node(TDS_AMBIENT_NODE, 0, "$AMBIENT$", -1);
  const TdsVectorKey ambient[] = {{0, {0.1f, 0.2f, 0.3f}}, {50, {0.5f, 0.4f, 0.3f}, eased}, {100, {0, 0, 1}}};
  w.vector_track(TDS_COL_TRACK, ambient);
  w.end();

  node(TDS_OBJECT_NODE, 1, "$$$DUMMY", -1);
  w.instance_name("Group");
  w.pivot({1, 2, 3});
  const TdsVectorKey loop[] = {{0, {0, 0, 0}}, {20, {10, 1, -2}, tcb}, {40, {0, 0, 0}}};
  const TdsRotationKey repeat[] = {{0, 0, {0, 0, 1}}, {15, 1.5f, {0, 0, 1}, eased}, {40, 2.25f, {0.6f, 0, 0.8f}}};
  w.vector_track(TDS_POS_TRACK, loop, 3);
  w.rotation_track(repeat, 2);
  w.end();

  node(TDS_OBJECT_NODE, 2, "Body", 1);
  w.pivot({0.5f, 0.25f, -0.75f});
  const TdsVectorKey position[] = {
      {0, {1, 2, 3}}, {10, {4.5f, -1, 2}, tcb}, {35, {-3, 0.5f, 7}, eased}, {90, {2, 2, 2}}};
  const TdsVectorKey scale[] = {{0, {1, 1, 1}}, {50, {2, 0.5f, 1.5f}, eased}, {100, {1, 1, 1}}};
  const TdsRotationKey turns[] = {{0, 0.5f, {0, 0, 1}}, {12, 7.0f, {0, 0, 1}, tcb}, {30, -7.0f, {1, 0, 0}},
                                  {55, 0.3f, {0, 0.6f, 0.8f}, eased}, {80, 6.5f, {0.48f, 0.6f, 0.64f}}};
  const std::uint32_t hide[] = {10, 30, 60};
  w.vector_track(TDS_POS_TRACK, position);
  w.vector_track(TDS_SCL_TRACK, scale);
  w.rotation_track(turns);
  w.hide_track(hide);
  w.end();

  node(TDS_OBJECT_NODE, 3, "Blob", 2);
  const TdsMorphKey morph[] = {{0, "MorphA"}, {40, "MorphB", eased}, {70, "MorphA", {0, 0, 0, 0.5f, 0.5f}}};
  w.morph_track(morph);
  w.end();
  node(TDS_OBJECT_NODE, 4, "MorphA", 3, 0x800);  // hidden in the file
  w.end();

  node(TDS_CAMERA_NODE, 6, "Camera01", -1);
  const TdsVectorKey eye[] = {{0, {1.5f, -120, 40}}, {45, {30, -90, 20}, tcb}, {100, {-10, -100, 60}}};
  const TdsFloatKey fov[] = {{0, 48}, {60, 30.5f, eased}}, roll[] = {{0, 0}, {100, 30, tcb}};
  w.vector_track(TDS_POS_TRACK, eye);
  w.float_track(TDS_FOV_TRACK, fov);
  w.float_track(TDS_ROLL_TRACK, roll);
  w.end();
  const TdsVectorKey look[] = {{0, {0, 0, 0}}, {100, {5, 5, 5}}};
  node(TDS_TARGET_NODE, 7, "Camera01", 1);
  w.vector_track(TDS_POS_TRACK, look);
  w.end();
  node(TDS_LIGHT_NODE, 8, "Lamp", 6);
  w.vector_track(TDS_POS_TRACK, look);
  const TdsVectorKey glow[] = {{0, {1, 1, 1}}, {30, {0.2f, 0.9f, 0.4f}, eased}, {100, {1, 0, 0}}};
  w.vector_track(TDS_COL_TRACK, glow);
  w.end();
  node(TDS_SPOTLIGHT_NODE, 9, "Spot", -1);
  const TdsFloatKey spot_roll[] = {{0, 0}, {25, 45, tcb}, {50, 0}};
  w.float_track(TDS_ROLL_TRACK, spot_roll, 3);
  w.end();
  node(TDS_L_TARGET_NODE, 10, "Spot", 2);
  w.vector_track(TDS_POS_TRACK, position);
  w.end();
  w.end();
  w.end();
  return w.bytes();
}

// Calls check(copy, length) with every shorter copy of `bytes`, then (length = bytes.size())
// with every byte in turn changed to another value, then with `flips` copies that have one to
// four bytes changed at random; stops at the first failure.
template <class Check>
void for_each_damaged(const std::vector<std::uint8_t>& bytes, int flips, unsigned seed, Check check) {
  std::mt19937 random(seed);
  for (std::size_t n = 0; n < bytes.size() && !::testing::Test::HasFailure(); ++n) {
    SCOPED_TRACE("cut at " + std::to_string(n));
    check(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(n)), n);
  }
  for (std::size_t i = 0; i < bytes.size() + std::size_t(flips) && !::testing::Test::HasFailure(); ++i) {
    std::vector<std::uint8_t> changed = bytes;
    if (i < bytes.size()) changed[i] ^= std::uint8_t(1 + random() % 255);
    for (int c = i < bytes.size() ? 0 : 1 + int(random() % 4); c > 0; --c)
      changed[random() % changed.size()] ^= std::uint8_t(1 + random() % 255);
    SCOPED_TRACE("change " + std::to_string(i));
    check(changed, bytes.size());
  }
}
