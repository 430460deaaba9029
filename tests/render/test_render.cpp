// The render pass on scenes built in code: camera choice and projection, flat colours and shade,
// hidden meshes, and the staged pass against the plain one (whole face copies, quicksort, one
// face at a time) on random scenes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "render/render.h"
#include "render/screen.h"
#include "scene/frame_update.h"

namespace {

using Frame = std::vector<std::uint32_t>;

// A scene of frames [0, 100) with the show's flags, filled object by object. Cameras and meshes
// get an animation node with empty tracks, so the frame update keeps the values set here.
struct TestScene {
  std::unique_ptr<Scene> scene;
  std::int32_t next_node = 0;

  TestScene() {
    set_screen_size(320, 200);
    lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
    scene_new(scene);
    scene->end_frame = 100;
  }
  template <class T>
  T* add(SceneNodeKind kind, std::unique_ptr<T> object, const std::string& name) {
    T* raw = object.get();
    raw->name = name;
    scene_set_active(scene.get());
    scene_add_object(kind, std::move(object));
    scene_add_anim_node(kind == NODE_CAMERA ? ANIM_CAMERA : ANIM_OBJECT, next_node++, -1, nullptr, raw);
    return raw;
  }
  Camera* camera(const std::string& name, Vector3 position, Vector3 target, float fov = 90) {
    auto camera = std::make_unique<Camera>();
    camera->position = position, camera->target = target, camera->fov = fov;
    return add(NODE_CAMERA, std::move(camera), name);
  }
  // A mesh at the world origin whose faces are points 0 1 2, 3 4 5, ...; its node id next_node - 1.
  Mesh* mesh(const std::string& name, const std::vector<Vector3>& points, Material* material) {
    auto mesh = std::make_unique<Mesh>();
    for (const Vector3& p : points) mesh->vertices.emplace_back().position = p;
    for (std::uint32_t i = 0; i + 2 < points.size(); i += 3)
      mesh->faces.push_back({.a = i, .b = i + 1, .c = i + 2, .material = material, .normal = {}, .transformed_normal = {}});
    mesh_link_faces(*mesh);
    mesh_compute_normals(*mesh);
    mesh->rotation = {1, 0, 0, 0}, mesh->scale = {1, 1, 1};
    return add(NODE_MESH, std::move(mesh), name);
  }
};

int lit_pixels(const Frame& frame) { return int(std::count_if(frame.begin(), frame.end(), [](std::uint32_t p) { return p != 0; })); }

// A hide track that hides its mesh from frame 10 through frame 20: keys hold 1, then 0.
void hide_from_10_to_20(std::int32_t node) {
  std::unique_ptr<Track> hide = track_new();
  for (int frame : {10, 20}) {
    std::unique_ptr<Key> key = key_new();
    key_set_int(*key, frame == 10 ? 1 : 0);
    track_append_key(hide.get(), std::move(key), frame);
  }
  ASSERT_EQ(scene_set_track(TRACK_KIND_HIDE, node, std::move(hide)), SCENE_OK);
}

Frame render(Scene& scene, int frame_number, const char* camera_name, int mode, std::uint32_t background = 0) {
  Frame frame(64000, background);
  EXPECT_EQ(render_scene(scene, frame_number, frame, camera_name, mode), 1);
  return frame;
}

// The pass step by step, without its shortcuts: whole face copies, the quicksort, and each face
// cut, projected, cut and drawn through the rasteriser, its shade from the library's cosine.
Frame render_plainly(Scene& scene, int frame_number, const char* camera_name, int mode) {
  Frame frame(64000, 0);
  const Camera* camera = render_prepare(scene, frame_number, camera_name);
  if (camera == nullptr) return frame;
  const int n = gather_faces(scene);
  if (n >= 2) sort_faces(0, n - 1, scene.face_list);
  Vector3 axis;
  vec_sub(camera->target, camera->position, axis);
  vec_normalize(axis, axis);
  for (const Face& face : std::span(scene.face_list.data(), std::size_t(n))) {
    PolyVertex polygon[clip_max_vertices];
    const Vertex* corners[3] = {face.vertex_a, face.vertex_b, face.vertex_c};
    for (int k = 0; k < 3; ++k)
      polygon[k] = {corners[k]->transformed_position.x, corners[k]->transformed_position.y, corners[k]->transformed_position.z};
    int count = clip_near(polygon, 3);
    for (int k = 0; k < count; ++k) project_vertex(polygon[k], camera->perspective_y);
    count = clip_screen(polygon, count);
    const float e = 1 - std::fabs(vec_cos_angle(face.transformed_normal, axis));
    if (mode == DRAW_FLAT) fill_polygon(polygon, count, frame, shade_colour(face.material, e));
    else draw_polygon_edges(polygon, count, frame, 0xFFFFFF);
  }
  return frame;
}

}  // namespace

// A name the scene lacks means "rolli", which is set up for the screen (fov 90: (10, 5, 20)
// lands at (226.67, 66.67)). A name of an object that is no camera draws nothing and leaves the
// scene's frame as it was (a scene with neither name nor "rolli" is the layer tests' Camera02).
// Wall has a hide track for frames 10 to 20 and Ghost, which the camera would see as well, is
// hidden in the file: in frame 15 there is nothing to draw, and the pass returns 1 all the same.
TEST(RenderScene, UnknownNameDrawsThroughRolliNonCameraAndHiddenMeshesDrawNothing) {
  TestScene s;
  s.camera("Side", {200, 0, 40}, {400, 0, 40});  // looks away from everything
  Camera* rolli = s.camera("rolli", {0, 0, 0}, {0, 0, 100}, 90);
  s.mesh("Wall", {{30, -50, 20}, {30, 50, 20}, {30, 0, 200}}, nullptr);
  hide_from_10_to_20(s.next_node - 1);
  s.mesh("Ghost", {{-30, -50, 20}, {-30, 50, 20}, {-30, 0, 200}}, nullptr)->flags |= MESH_FILE_HIDDEN;
  Scene& scene = *s.scene;
  scene_prepare_face_list(scene);
  ASSERT_EQ(render_prepare(scene, 0, "NoSuchCamera"), rolli);
  EXPECT_EQ(camera_get_active(), rolli);
  PolyVertex v{10, 5, 20};
  project_vertex(v, render_view(*rolli, DRAW_FLAT).vertical_factor);
  EXPECT_NEAR(v.x, 226.67f, 0.01f);
  EXPECT_NEAR(v.y, 66.67f, 0.01f);
  const Frame through_rolli = render(scene, 0, "rolli", DRAW_FLAT);
  EXPECT_GT(lit_pixels(through_rolli), 100);
  EXPECT_EQ(render(scene, 0, "NoSuchCamera", DRAW_FLAT), through_rolli);
  EXPECT_EQ(lit_pixels(render(scene, 0, "Side", DRAW_FLAT)), 0);
  for (int mode : {DRAW_FLAT, DRAW_WIREFRAME}) {
    EXPECT_GT(lit_pixels(render(scene, 5, "rolli", mode)), 100);
    EXPECT_EQ(lit_pixels(render(scene, 15, "rolli", mode)), 0);
    EXPECT_GT(lit_pixels(render(scene, 25, "rolli", mode)), 100);
  }
  scene.current_frame = 7;
  EXPECT_EQ(render(scene, 20, "Wall", DRAW_WIREFRAME, 0x123456), Frame(64000, 0x123456));
  EXPECT_EQ(scene.current_frame, 7.0f);
}

// e = 1 - |cos| against the view axis: 1 edge-on, 0 square-on (front or back); the random scenes
// below hold the shade to the library's cosine.
TEST(ShadeColour, TruncatedLimitedAndMidGreyWithoutMaterial) {
  const RenderView view{.axis = {0, 0, 1}};
  EXPECT_EQ(face_shade({1, 0, 0}, view), 1.0f);
  EXPECT_EQ(face_shade({0, 0, -2}, view), 0.0f);
  Material orange, white;
  orange.ambient = {0.25f, 0.25f, 0};
  orange.diffuse = {0.75f, 0.25f, 0.5f};
  white.ambient = white.diffuse = {1, 1, 1};
  const struct { const Material* material; float e; std::uint32_t colour; } cases[] = {
      {&orange, 0.5f, 0x7F3F3F}, {&orange, 1, 0xFF7F7F},  // ambient + diffuse = (1, 0.5, 0.5)
      {&white, 1, 0xFFFFFF}, {&white, -0.5f, 0}, {&white, std::nanf(""), 0},  // limited to 0 .. 255
      {nullptr, 1, 0x7F7F7F},  // no material: mid grey
  };
  for (const auto& c : cases) EXPECT_EQ(shade_colour(c.material, c.e), c.colour) << c.e;
}

// Random triangles around a camera at (5, 12, -90) looking at the origin: mostly a pixel or a
// few across, some large, a few huge ones far behind, some cut by the near plane, some off the
// screen or behind the camera; some without a material or without vertex pointers (left out),
// one mesh hidden in the file, one that a hide track hides for frames 10 to 20. Small faces must
// show in the frame, not be painted over by large ones. Seed 4 also has a face list with room
// for only 400 faces: both passes stop at the same face.
TEST(RenderScene, DrawsWhatThePlainPassDrawsOnRandomScenes) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    Material m1, m2;  // outlive the scene, which holds pointers to them
    m1.ambient = {0.1f, 0.2f, 0.3f}, m1.diffuse = {0.8f, 0.5f, 0.2f}, m2.ambient = {0.5f, 0, 0.5f}, m2.diffuse = {0.7f, 0.9f, 0.1f};
    Material* materials[] = {&m1, &m2, nullptr};
    TestScene s;
    std::mt19937 rng(seed);
    s.camera("Camera01", {5, 12, -90}, {0, 0, 0}, 60);
    std::uniform_real_distribution<float> unit(-1, 1), small(0.3f, 5);
    // Centre x, y scale, z base and scale, span (0: small): huge and far behind, cut by the near
    // plane, mostly off the screen, large, then small.
    const float kinds[][5] = {{70, 50, 200, 100, 400}, {20, 15, -90, 10, 30}, {300, 300, 0, 80, 40},
                              {70, 50, 0, 80, 40}, {70, 50, 0, 80, 0}};
    for (int m = 0; m < 6; ++m) {
      std::vector<Vector3> points;
      for (std::uint32_t t = 0; t < 150; ++t) {
        const auto& [sx, sy, z0, sz, reach] = kinds[t < 2 ? 0 : t < 4 ? 1 : t < 7 ? 2 : t < 12 ? 3 : 4];
        const Vector3 c{sx * unit(rng), sy * unit(rng), z0 + sz * unit(rng)};  // the centre
        const float span = reach > 0 ? reach : small(rng);
        for (int k = 0; k < 3; ++k) points.push_back({c.x + span * unit(rng), c.y + span * unit(rng), c.z + span * unit(rng)});
      }
      Mesh* mesh = s.mesh("M" + std::to_string(m), points, materials[m % 3]);
      for (std::size_t f = 0; f < mesh->faces.size(); f += 5) mesh->faces[f].material = materials[(m + 1) % 3];
      for (std::size_t f = 3; m == 3 && f < mesh->faces.size(); f += 9) mesh->faces[f].vertex_b = nullptr;
      if (m == 4) mesh->flags |= MESH_FILE_HIDDEN;
      if (m == 5) hide_from_10_to_20(s.next_node - 1);
    }
    scene_prepare_face_list(*s.scene);
    if (seed == 4) s.scene->face_list.resize(400);
    for (int frame_number : {0, 15})
      for (int mode : {DRAW_FLAT, DRAW_WIREFRAME}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", frame " << frame_number << ", mode " << mode);
        const Frame staged = render(*s.scene, frame_number, "Camera01", mode);
        EXPECT_GT(lit_pixels(staged), 5000);
        EXPECT_EQ(staged, render_plainly(*s.scene, frame_number, "Camera01", mode));
      }
  }
}
