// bench_scene.cpp: keyframe track evaluation (playing forward and jumping back) and the
// load-time normals of a large mesh.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "scene/scene.h"
#include "scene/track.h"

namespace {

constexpr int key_count = 100;
constexpr int key_spacing = 100;  // frames between keys: the track spans 0 .. 9900
constexpr int sweep_frames = 10000;

std::unique_ptr<Track> vector_track() {
  auto track = track_new();
  for (int i = 0; i < key_count; ++i) {
    auto key = key_new();
    key->value[0] = std::sin(0.3f * float(i)) * 50;
    key->value[1] = float(i);
    key->value[2] = std::cos(0.2f * float(i)) * 20;
    key->tension = 0.1f * float(i % 5);
    key->continuity = -0.1f * float(i % 3);
    key->ease_from = i % 4 == 0 ? 0.3f : 0;
    track_append_key(track.get(), std::move(key), i * key_spacing);
  }
  track_setup_spline(track.get());
  return track;
}

std::unique_ptr<Track> rotation_track() {
  auto track = track_new();
  Quaternion running{1, 0, 0, 0};
  float total = 0;
  for (int i = 0; i < key_count; ++i) {
    auto key = key_new();
    float angle = 0.2f + 0.05f * float(i % 7);
    Vector3 axis{0.6f, float(i % 2) * 0.8f, float((i + 1) % 2) * 0.8f};
    Quaternion q;
    quat_from_angle_axis(angle, axis.x, axis.y, axis.z, q);
    quat_mul(q, running, running);
    total = std::trunc(total + angle);
    key->value[0] = total;
    key->value[1] = axis.x;
    key->value[2] = axis.y;
    key->value[3] = axis.z;
    key->orientation = running;
    key->tension = 0.1f * float(i % 4);
    track_append_key(track.get(), std::move(key), i * key_spacing);
  }
  track_setup_rotation(track.get());
  return track;
}

// One iteration plays the whole track forward, one evaluation per frame.
void BM_track_eval_vector_forward(benchmark::State& state) {
  auto track = vector_track();
  Vector3 v;
  for (auto _ : state) {
    for (int f = 0; f < sweep_frames; ++f) track_eval_vector(track.get(), float(f), v);
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * sweep_frames);
}
BENCHMARK(BM_track_eval_vector_forward);

void BM_track_eval_rotation_forward(benchmark::State& state) {
  lib_init(0);
  auto track = rotation_track();
  Quaternion q;
  for (auto _ : state) {
    for (int f = 0; f < sweep_frames; ++f) track_eval_rotation(track.get(), float(f), q);
    benchmark::DoNotOptimize(q);
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * sweep_frames);
}
BENCHMARK(BM_track_eval_rotation_forward);

// One iteration: an evaluation on the last segment, then one segment back, which restarts the
// search from the first key and walks 98 keys: the worst backward jump of this track.
void BM_track_eval_backward_jump(benchmark::State& state) {
  auto track = vector_track();
  Vector3 v;
  const float last_segment = float((key_count - 1) * key_spacing - key_spacing / 2);
  for (auto _ : state) {
    track_eval_vector(track.get(), last_segment, v);
    track_eval_vector(track.get(), last_segment - key_spacing, v);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_track_eval_backward_jump);

// A 317 x 317 vertex grid, two triangles per cell: 100 489 vertices, 199 712 faces.
Mesh grid_mesh() {
  constexpr int side = 317;
  Mesh mesh;
  mesh.vertices.resize(side * side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      mesh.vertices[y * side + x].position = {float(x), std::sin(0.1f * float(x)) * std::cos(0.07f * float(y)) * 5, float(y)};
  for (int y = 0; y + 1 < side; ++y) {
    for (int x = 0; x + 1 < side; ++x) {
      std::uint32_t v = std::uint32_t(y * side + x);
      Face f1, f2;
      f1.a = v, f1.b = v + 1, f1.c = v + side;
      f2.a = v + 1, f2.b = v + side + 1, f2.c = v + side;
      mesh.faces.push_back(f1);
      mesh.faces.push_back(f2);
    }
  }
  return mesh;
}

void BM_normals_200k_faces(benchmark::State& state) {
  Mesh mesh = grid_mesh();
  for (auto _ : state) {
    mesh_compute_normals(mesh);
    benchmark::DoNotOptimize(mesh.vertices.data());
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(mesh.faces.size()));
  state.counters["faces"] = double(mesh.faces.size());
}
BENCHMARK(BM_normals_200k_faces)->Unit(benchmark::kMillisecond);

}  // namespace
