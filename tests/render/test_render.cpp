// The render pass on scenes built in code: camera choice and projection, flat colours and shade,
// the farthest-first sort, hidden meshes, and the staged pass against the plain one (whole face
// copies, quicksort, one face at a time) on random scenes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
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
using Triangle = std::array<std::uint32_t, 3>;

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
    if (kind != NODE_MATERIAL) scene_add_anim_node(kind == NODE_CAMERA ? ANIM_CAMERA : ANIM_OBJECT, next_node++, -1, nullptr, raw);
    return raw;
  }
  Camera* camera(const std::string& name, Vector3 position, Vector3 target, float fov = 90) {
    auto camera = std::make_unique<Camera>();
    camera->position = position, camera->target = target, camera->fov = fov;
    return add(NODE_CAMERA, std::move(camera), name);
  }
  Material* material(Vector3 ambient, Vector3 diffuse) {
    auto material = std::make_unique<Material>();
    material->ambient = ambient, material->diffuse = diffuse;
    return add(NODE_MATERIAL, std::move(material), "");
  }
  // A mesh at the world origin, its node id next_node - 1.
  Mesh* mesh(const std::string& name, const std::vector<Vector3>& points, const std::vector<Triangle>& triangles,
             Material* material) {
    auto mesh = std::make_unique<Mesh>();
    for (const Vector3& p : points) mesh->vertices.emplace_back().position = p;
    for (const Triangle& t : triangles) {
      Face& face = mesh->faces.emplace_back();
      face.a = t[0], face.b = t[1], face.c = t[2], face.material = material;
    }
    mesh_link_faces(*mesh);
    mesh_compute_normals(*mesh);
    mesh->rotation = {1, 0, 0, 0};
    mesh->scale = {1, 1, 1};
    return add(NODE_MESH, std::move(mesh), name);
  }
  // A triangle on the wall x = 30, which a camera at the origin looking along +z sees edge-on.
  Mesh* wall(const std::string& name) { return mesh(name, {{30, -50, 20}, {30, 50, 20}, {30, 0, 200}}, {{0, 1, 2}}, nullptr); }
  Scene& done() {
    scene_prepare_face_list(*scene);
    return *scene;
  }
};

int lit_pixels(const Frame& frame) {
  return int(std::count_if(frame.begin(), frame.end(), [](std::uint32_t p) { return p != 0; }));
}

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
    if (mode == DRAW_FLAT)
      fill_polygon(polygon, count, frame, shade_colour(face.material, 1 - std::fabs(vec_cos_angle(face.transformed_normal, axis))));
    else
      draw_polygon_edges(polygon, count, frame, 0xFFFFFF);
  }
  return frame;
}

// Random triangles around a camera at (5, 12, -90) looking at the origin: mostly a pixel or a
// few across, some large, a few huge ones far behind, some cut by the near plane, some off the
// screen or behind the camera; some without a material or without vertex pointers (left out),
// one mesh hidden in the file, one that a hide track hides for frames 10 to 20. Small faces must
// show in the frame, not be painted over by large ones.
Scene& random_scene(TestScene& s, std::uint32_t seed) {
  std::mt19937 rng(seed);
  s.camera("Camera01", {5, 12, -90}, {0, 0, 0}, 60);
  Material* materials[] = {s.material({0.1f, 0.2f, 0.3f}, {0.8f, 0.5f, 0.2f}), s.material({0.5f, 0, 0.5f}, {0.7f, 0.9f, 0.1f}), nullptr};
  std::uniform_real_distribution<float> unit(-1, 1), small(0.3f, 5);
  auto random_face = [&](int kind) -> std::pair<Vector3, float> {
    switch (kind) {
      case 0: return {{70 * unit(rng), 50 * unit(rng), 200 + 100 * unit(rng)}, 400};  // huge, far behind
      case 1: return {{20 * unit(rng), 15 * unit(rng), -90 + 10 * unit(rng)}, 30};    // cut by the near plane
      case 2: return {{300 * unit(rng), 300 * unit(rng), 80 * unit(rng)}, 40};        // mostly off the screen
      case 3: return {{70 * unit(rng), 50 * unit(rng), 80 * unit(rng)}, 40};
      default: return {{70 * unit(rng), 50 * unit(rng), 80 * unit(rng)}, small(rng)};
    }
  };
  for (int m = 0; m < 6; ++m) {
    std::vector<Vector3> points;
    std::vector<Triangle> triangles;
    for (std::uint32_t t = 0; t < 150; ++t) {
      const auto [centre, span] = random_face(t < 2 ? 0 : t < 4 ? 1 : t < 7 ? 2 : t < 12 ? 3 : 4);
      for (int k = 0; k < 3; ++k)
        points.push_back({centre.x + span * unit(rng), centre.y + span * unit(rng), centre.z + span * unit(rng)});
      triangles.push_back({3 * t, 3 * t + 1, 3 * t + 2});
    }
    Mesh* mesh = s.mesh("M" + std::to_string(m), points, triangles, materials[m % 3]);
    for (std::size_t f = 0; f < mesh->faces.size(); f += 5) mesh->faces[f].material = materials[(m + 1) % 3];
    for (std::size_t f = 3; m == 3 && f < mesh->faces.size(); f += 9) mesh->faces[f].vertex_b = nullptr;
    if (m == 4) mesh->flags |= MESH_FILE_HIDDEN;
    if (m == 5) hide_from_10_to_20(s.next_node - 1);
  }
  return s.done();
}

}  // namespace

TEST(RenderPrepare, Fov90PointLandsAt226And67) {
  TestScene s;
  Camera* camera = s.camera("Camera01", {0, 0, 0}, {0, 0, 100}, 90);
  ASSERT_EQ(render_prepare(s.done(), 0, "Camera01"), camera);
  EXPECT_EQ(camera->screen_width, 320.0f);
  EXPECT_EQ(camera->screen_height, 200.0f);
  EXPECT_EQ(camera->aspect, 0.75f);
  EXPECT_EQ(camera_get_active(), camera);
  PolyVertex v{10, 5, 20};
  project_vertex(v, render_view(*camera, DRAW_FLAT).vertical_factor);
  EXPECT_NEAR(v.x, 226.67f, 0.01f);
  EXPECT_NEAR(v.y, 66.67f, 0.01f);
}

// A name the scene lacks means "rolli". A name of an object that is no camera draws nothing
// and leaves the scene's frame as it was (a scene with neither name nor "rolli" is the layer
// tests' Camera02).
TEST(RenderScene, UnknownCameraNameDrawsThroughRolliAndANonCameraDrawsNothing) {
  TestScene s;
  s.camera("Side", {200, 0, 40}, {400, 0, 40});  // looks away from everything
  s.camera("rolli", {0, 0, 0}, {0, 0, 100});
  s.wall("Wall");
  Scene& scene = s.done();
  const Frame through_rolli = render(scene, 0, "rolli", DRAW_FLAT);
  EXPECT_GT(lit_pixels(through_rolli), 100);
  EXPECT_EQ(render(scene, 0, "NoSuchCamera", DRAW_FLAT), through_rolli);
  EXPECT_EQ(lit_pixels(render(scene, 0, "Side", DRAW_FLAT)), 0);
  scene.current_frame = 7;
  EXPECT_EQ(render(scene, 20, "Wall", DRAW_WIREFRAME, 0x123456), Frame(64000, 0x123456));
  EXPECT_EQ(scene.current_frame, 7.0f);
}

// Blinker has a hide track for frames 10 to 20; Ghost is hidden in the file. In frame 15 there
// is nothing to draw at all, and the pass returns 1 all the same.
TEST(RenderScene, MeshesHiddenByTheirHideTrackOrInTheFileDrawNothing) {
  TestScene s;
  s.camera("Camera01", {0, 0, 0}, {0, 0, 100});
  s.wall("Blinker");
  hide_from_10_to_20(s.next_node - 1);
  s.mesh("Ghost", {{-30, -50, 20}, {-30, 50, 20}, {-30, 0, 200}}, {{0, 1, 2}}, nullptr)->flags |= MESH_FILE_HIDDEN;
  Scene& scene = s.done();
  for (int mode : {DRAW_FLAT, DRAW_WIREFRAME}) {
    EXPECT_GT(lit_pixels(render(scene, 5, "Camera01", mode)), 100);
    EXPECT_EQ(lit_pixels(render(scene, 15, "Camera01", mode)), 0);
    EXPECT_GT(lit_pixels(render(scene, 25, "Camera01", mode)), 100);
  }
}

TEST(ShadeColour, TruncatedLimitedAndMidGreyWithoutMaterial) {
  Material orange, white;
  orange.ambient = {0.25f, 0.25f, 0}, orange.diffuse = {0.75f, 0.25f, 0.5f};
  white.ambient = white.diffuse = {1, 1, 1};
  const struct {
    const Material* material;
    float e;
    std::uint32_t colour;
  } cases[] = {
      {&orange, 0.5f, 0x7F3F3F}, {&orange, 1, 0xFF7F7F},  // ambient + diffuse = (1, 0.5, 0.5)
      {&white, 1, 0xFFFFFF}, {&white, 0, 0}, {&white, -0.5f, 0}, {&white, std::nanf(""), 0},  // limited to 0 .. 255
      {nullptr, 1, 0x7F7F7F}, {nullptr, 0.5f, 0x3F3F3F},  // no material: mid grey
  };
  for (const auto& c : cases) EXPECT_EQ(shade_colour(c.material, c.e), c.colour) << c.e;
}

// e = 1 - |cos| against the view axis: 1 edge-on, 0 square-on (front or back), and bit for bit
// what the library's cosine gives, for normals of any size including 0.
TEST(FaceShade, EdgeOnIsOneSquareOnIsZeroAndMatchesTheLibraryCosineBitForBit) {
  RenderView view;
  view.axis = {0, 0, 1};
  EXPECT_EQ(face_shade({1, 0, 0}, view), 1.0f);
  EXPECT_EQ(face_shade({0, 0, -2}, view), 0.0f);
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> any(-2, 2);
  std::uniform_int_distribution<int> exponent(-60, 60);
  for (int i = 0; i < 20000; ++i) {
    vec_normalize({any(rng), any(rng), any(rng)}, view.axis);
    view.axis_length = vec_length(view.axis);
    const float scale = std::ldexp(1.0f, exponent(rng));
    Vector3 normal{any(rng) * scale, any(rng) * scale, i % 7 == 0 ? 0.0f : any(rng) * scale};
    if (i % 101 == 0) normal = {};
    const float expected = 1.0f - std::fabs(vec_cos_angle(normal, view.axis)), e = face_shade(normal, view);
    ASSERT_EQ(std::memcmp(&e, &expected, sizeof e), 0) << i;
  }
}

TEST(SortFaces, RandomKeysWithRepeatsEndFarthestFirst) {
  std::mt19937 rng(4);
  std::uniform_int_distribution<int> z(-20, 20);  // few values: many equal keys
  std::vector<Vertex> vertices(3000);
  std::vector<Face> faces(3000);
  for (std::size_t i = 0; i < faces.size(); ++i) {
    vertices[i].transformed_position.z = float(z(rng));
    faces[i].vertex_a = faces[i].vertex_b = faces[i].vertex_c = &vertices[i];
  }
  sort_faces(0, 2999, faces);
  for (std::size_t i = 1; i < faces.size(); ++i) ASSERT_GE(face_depth_key(faces[i - 1]), face_depth_key(faces[i])) << i;
}

// Seed 4 also has a face list with room for only 400 faces: both passes stop at the same face.
TEST(RenderScene, DrawsWhatThePlainPassDrawsOnRandomScenes) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    TestScene s;
    Scene& scene = random_scene(s, seed);
    if (seed == 4) scene.face_list.resize(400);
    for (int frame_number : {0, 15}) {
      for (int mode : {DRAW_FLAT, DRAW_WIREFRAME}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", frame " << frame_number << ", mode " << mode);
        const Frame staged = render(scene, frame_number, "Camera01", mode);
        EXPECT_GT(lit_pixels(staged), 5000);
        EXPECT_EQ(staged, render_plainly(scene, frame_number, "Camera01", mode));
      }
    }
  }
}

TEST(RenderScene, FaceReachingJustInFrontOfTheNearPlaneIsCutThere) {
  TestScene s;
  s.camera("Camera01", {0, 0, 0}, {0, 0, 100});
  s.mesh("Close", {{0.5f, 0.5f, 3.5f}, {10, -10, 30}, {-10, -10, 30}}, {{0, 1, 2}}, s.material({0.5f, 0, 0}, {0.5f, 1, 0}));
  Scene& scene = s.done();
  for (int mode : {DRAW_FLAT, DRAW_WIREFRAME}) {
    const Frame frame = render(scene, 0, "Camera01", mode);
    EXPECT_GT(lit_pixels(frame), 100);
    EXPECT_EQ(frame, render_plainly(scene, 0, "Camera01", mode));
  }
}
