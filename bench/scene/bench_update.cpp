// bench_update.cpp: one frame update of a 200 000-face scene built in code: four grid meshes
// (about 100 000 vertices in all) under a dummy parent, each with position, scale and
// rotation tracks, a camera with its target, and an omni light, with the show's flags.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "scene/frame_update.h"
#include "scene/scene.h"

namespace {

constexpr int mesh_count = 4;
constexpr int grid_columns = 125, grid_rows = 200;  // 2 faces a cell: 50 000 faces per mesh
constexpr int last_frame = 100;

// A wavy grid of (columns + 1) x (rows + 1) vertices, linked, with bounds and normals.
std::unique_ptr<Mesh> grid_mesh(int index) {
  auto mesh = std::make_unique<Mesh>();
  mesh->name = "grid" + std::to_string(index);
  mesh->id = index + 1;
  for (int r = 0; r <= grid_rows; ++r) {
    for (int c = 0; c <= grid_columns; ++c) {
      Vertex v;
      v.position = {float(c) - grid_columns / 2.0f, std::sin(0.1f * float(c + r + index)), float(r) - grid_rows / 2.0f};
      mesh->vertices.push_back(v);
    }
  }
  const auto at = [](int r, int c) { return std::uint32_t(r * (grid_columns + 1) + c); };
  for (int r = 0; r < grid_rows; ++r) {
    for (int c = 0; c < grid_columns; ++c) {
      Face lower, upper;
      lower.a = at(r, c), lower.b = at(r + 1, c), lower.c = at(r, c + 1);
      upper.a = at(r, c + 1), upper.b = at(r + 1, c), upper.c = at(r + 1, c + 1);
      mesh->faces.push_back(lower);
      mesh->faces.push_back(upper);
    }
  }
  mesh_link_faces(*mesh);
  mesh_compute_bounds(*mesh);
  mesh_compute_normals(*mesh);
  return mesh;
}

// Three keys at frames 0, 50 and 100 from the three given values, splined.
std::unique_ptr<Track> vector_track(Vector3 a, Vector3 b, Vector3 c) {
  auto track = track_new();
  const Vector3 values[3] = {a, b, c};
  for (int i = 0; i < 3; ++i) {
    auto key = key_new();
    key->value[0] = values[i].x, key->value[1] = values[i].y, key->value[2] = values[i].z;
    track_append_key(track.get(), std::move(key), i * last_frame / 2);
  }
  track_setup_spline(track.get());
  return track;
}

std::unique_ptr<Track> rotation_track(float turn) {
  auto track = track_new();
  Quaternion orientation{1, 0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    auto key = key_new();
    Quaternion step;
    quat_from_angle_axis(i == 0 ? 0 : turn, 0, 1, 0, step);
    quat_mul(step, orientation, orientation);
    key->value[0] = turn * float(i), key->value[2] = 1;
    key->orientation = orientation;
    track_append_key(track.get(), std::move(key), i * last_frame / 2);
  }
  track_setup_rotation(track.get());
  return track;
}

std::unique_ptr<TrackSet> object_tracks(int index) {
  auto tracks = std::make_unique<TrackSet>();
  const float x = 150.0f * float(index - 1);
  tracks->slots[SLOT_POSITION] = vector_track({x, 0, 0}, {x, 20, 10}, {x, 0, 20});
  tracks->slots[OBJECT_SLOT_SCALE] = vector_track({1, 1, 1}, {1.5f, 1, 1.5f}, {1, 1, 1});
  tracks->slots[OBJECT_SLOT_ROTATION] = rotation_track(0.5f + 0.1f * float(index));
  return tracks;
}

// The scene, active, with its camera active and sized as the render pass sizes it.
std::unique_ptr<Scene> build_scene() {
  lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
  std::unique_ptr<Scene> scene;
  scene_new(scene);
  scene_set_active(scene.get());
  scene->end_frame = float(last_frame);

  auto dummy = std::make_unique<Mesh>();
  dummy->name = "$$$DUMMY";
  dummy->id = 1024;
  dummy->flags = MESH_DUMMY;
  Mesh* dummy_raw = dummy.get();
  scene_add_object(NODE_MESH, std::move(dummy));
  scene_add_anim_node(ANIM_OBJECT, 0, -1, object_tracks(1), dummy_raw);
  for (int i = 0; i < mesh_count; ++i) {
    auto mesh = grid_mesh(i);
    Mesh* raw = mesh.get();
    scene_add_object(NODE_MESH, std::move(mesh));
    scene_add_anim_node(ANIM_OBJECT, i + 1, 0, object_tracks(i), raw);
  }

  auto camera = std::make_unique<Camera>();
  camera->name = "Camera01";
  camera->id = 100;
  camera->fov = 60;
  camera->screen_width = 320, camera->screen_height = 200, camera->aspect = 0.75f;
  Camera* camera_raw = camera.get();
  scene_add_object(NODE_CAMERA, std::move(camera));
  auto camera_tracks = std::make_unique<TrackSet>();
  camera_tracks->slots[SLOT_POSITION] = vector_track({0, 100, -400}, {50, 150, -350}, {0, 100, -400});
  scene_add_anim_node(ANIM_CAMERA, 10, -1, std::move(camera_tracks), camera_raw);
  auto target_tracks = std::make_unique<TrackSet>();
  target_tracks->slots[SLOT_POSITION] = vector_track({0, 0, 0}, {20, 0, 0}, {0, 0, 0});
  scene_add_anim_node(ANIM_CAMERA_TARGET, 11, -1, std::move(target_tracks), camera_raw);

  auto light = std::make_unique<Light>();
  light->name = "Omni01";
  light->id = 101;
  Light* light_raw = light.get();
  scene_add_object(NODE_LIGHT, std::move(light));
  auto light_tracks = std::make_unique<TrackSet>();
  light_tracks->slots[SLOT_POSITION] = vector_track({0, 10, 0}, {0, 20, 0}, {0, 10, 0});
  scene_add_anim_node(ANIM_OMNI, 12, 10, std::move(light_tracks), light_raw);

  camera_set_active(camera_raw);
  return scene;
}

// The show plays frames forward; the frame wraps so that the run may last any number of steps.
void BM_scene_update_200k_faces(benchmark::State& state) {
  std::unique_ptr<Scene> scene = build_scene();
  float frame = 0;
  for (auto _ : state) {
    scene_set_frame(frame);
    benchmark::DoNotOptimize(scene_update());
    benchmark::ClobberMemory();
    frame += 0.75f;
    if (frame >= float(last_frame)) frame = 0;
  }
  state.counters["faces"] = double(mesh_count * grid_columns * grid_rows * 2);
  lib_init(0);
}
BENCHMARK(BM_scene_update_200k_faces)->Unit(benchmark::kMillisecond);

}  // namespace
