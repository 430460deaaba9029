// The render pass on scenes built in code: camera choice, projection, flat colours, the
// farthest-first order, hidden meshes, the full face list, and the staged pass against the
// plain one (whole face copies, quicksort, one face at a time) on random scenes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "allocation_count.h"
#include "render/render.h"
#include "render/screen.h"
#include "scene/frame_update.h"

namespace {

using Frame = std::vector<std::uint32_t>;
using Triangle = std::array<std::uint32_t, 3>;

constexpr std::uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
constexpr std::uint32_t background = 0x123456;

Frame blank_frame(std::uint32_t colour = 0) { return Frame(64000, colour); }

// A scene of frames [0, 100) with the show's flags, filled object by object. Every object gets
// an animation node with empty tracks, so the frame update keeps the values set here.
struct TestScene {
  std::unique_ptr<Scene> scene;
  std::int32_t next_node = 0;

  TestScene() {
    set_screen_size(320, 200);
    lib_init(LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM);
    scene_new(scene);
    scene_set_active(scene.get());
    scene->end_frame = 100;
  }

  Camera* camera(const std::string& name, Vector3 position, Vector3 target, float fov = 90) {
    auto camera = std::make_unique<Camera>();
    camera->name = name;
    camera->position = position;
    camera->target = target;
    camera->fov = fov;
    Camera* raw = camera.get();
    scene_set_active(scene.get());
    scene_add_object(NODE_CAMERA, std::move(camera));
    scene_add_anim_node(ANIM_CAMERA, next_node++, -1, nullptr, raw);
    return raw;
  }

  Material* material(const std::string& name, Vector3 ambient, Vector3 diffuse) {
    auto material = std::make_unique<Material>();
    material->name = name;
    material->ambient = ambient;
    material->diffuse = diffuse;
    Material* raw = material.get();
    scene_set_active(scene.get());
    scene_add_object(NODE_MATERIAL, std::move(material));
    return raw;
  }

  // A mesh at the world origin; its node id is returned in node (for tracks).
  Mesh* mesh(const std::string& name, const std::vector<Vector3>& points, const std::vector<Triangle>& triangles,
             Material* material, std::int32_t* node = nullptr) {
    auto mesh = std::make_unique<Mesh>();
    mesh->name = name;
    for (const Vector3& p : points) mesh->vertices.emplace_back().position = p;
    for (const Triangle& t : triangles) {
      Face& face = mesh->faces.emplace_back();
      face.a = t[0], face.b = t[1], face.c = t[2];
      face.material = material;
    }
    mesh_link_faces(*mesh);
    mesh_compute_normals(*mesh);
    mesh->rotation = {1, 0, 0, 0};
    mesh->scale = {1, 1, 1};
    Mesh* raw = mesh.get();
    scene_set_active(scene.get());
    scene_add_object(NODE_MESH, std::move(mesh));
    if (node != nullptr) *node = next_node;
    scene_add_anim_node(ANIM_OBJECT, next_node++, -1, nullptr, raw);
    return raw;
  }

  Mesh* triangle(const std::string& name, Vector3 a, Vector3 b, Vector3 c, Material* material) {
    return mesh(name, {a, b, c}, {{0, 1, 2}}, material);
  }

  Scene& done() {
    scene_prepare_face_list(*scene);
    return *scene;
  }
};

// The pixel whose area holds the world point, as the camera sees it at the scene's frame.
std::size_t pixel_of(const Camera& camera, Vector3 world) {
  Vector3 p;
  mat_transform_point(camera.matrix, world, p);
  PolyVertex v{p.x, p.y, p.z};
  project_vertex(v, camera.perspective_y);
  return std::size_t(int(v.y)) * 320 + std::size_t(int(v.x));
}

int lit_pixels(const Frame& frame) {
  int n = 0;
  for (std::uint32_t p : frame) n += p != 0;
  return n;
}

// A hide track that hides its mesh from frame 10 through frame 20: keys hold 1, then 0.
std::unique_ptr<Track> hidden_from_10_to_20() {
  std::unique_ptr<Track> hide = track_new();
  for (int frame : {10, 20}) {
    std::unique_ptr<Key> key = key_new();
    key_set_int(*key, frame == 10 ? 1 : 0);
    track_append_key(hide.get(), std::move(key), frame);
  }
  return hide;
}

// The pass step by step, without its shortcuts: whole face copies, the quicksort, and each face
// cut, projected, cut and drawn through the rasteriser, its shade from the library's cosine.
Frame render_plainly(Scene& scene, int frame_number, const char* camera_name, int mode) {
  Frame frame = blank_frame();
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

Frame render(Scene& scene, int frame_number, const char* camera_name, int mode) {
  Frame frame = blank_frame();
  EXPECT_EQ(render_scene(scene, frame_number, frame, camera_name, mode), 1);
  return frame;
}

// Three coplanar triangles on the wall x = 30, seen from the origin looking along +z, so each
// is seen edge-on and drawn in its full colour. Their depth keys are 300 (red), 100 (blue) and
// 200 (green), in that list order; all three hold the line y = 0, z = 35 .. 40, only the red
// and the green reach z = 60, only the red z = 200.
struct WallScene : TestScene {
  Camera* eye;
  WallScene() {
    eye = camera("Camera01", {0, 0, 0}, {0, 0, 100});
    triangle("Far", {30, -80, 20}, {30, 80, 20}, {30, 0, 260}, material("Red", {0, 0, 0}, {1, 0, 0}));
    triangle("Near", {30, -10, 40}, {30, 10, 40}, {30, 0, 20}, material("Blue", {0, 0, 0}, {0, 0, 1}));
    triangle("Middle", {30, -40, 30}, {30, 40, 30}, {30, 0, 140}, material("Green", {0, 1, 0}, {0, 0, 0}));
    done();
  }
};

}  // namespace

// ---- camera and projection ----

TEST(RenderPrepare, Fov90PointLandsAt226And67) {
  TestScene s;
  Camera* camera = s.camera("Camera01", {0, 0, 0}, {0, 0, 100}, 90);
  s.done();
  ASSERT_EQ(render_prepare(*s.scene, 0, "Camera01"), camera);
  EXPECT_EQ(camera->screen_width, 320.0f);
  EXPECT_EQ(camera->screen_height, 200.0f);
  EXPECT_EQ(camera->aspect, 0.75f);
  EXPECT_EQ(camera_get_active(), camera);
  PolyVertex v{10, 5, 20};
  project_vertex(v, render_view(*camera, DRAW_FLAT).vertical_factor);
  EXPECT_NEAR(v.x, 226.67f, 0.01f);
  EXPECT_NEAR(v.y, 66.67f, 0.01f);
}

TEST(RenderScene, UnknownCameraNameDrawsThroughRolli) {
  TestScene s;
  s.camera("Side", {200, 0, 40}, {400, 0, 40});  // looks away from everything
  s.camera("rolli", {0, 0, 0}, {0, 0, 100});
  s.triangle("Wall", {30, -50, 20}, {30, 50, 20}, {30, 0, 200}, nullptr);
  Scene& scene = s.done();
  const Frame through_rolli = render(scene, 0, "rolli", DRAW_FLAT);
  EXPECT_GT(lit_pixels(through_rolli), 100);
  EXPECT_EQ(render(scene, 0, "NoSuchCamera", DRAW_FLAT), through_rolli);
  EXPECT_EQ(lit_pixels(render(scene, 0, "Side", DRAW_FLAT)), 0);
}

TEST(RenderScene, NoCameraOrANonCameraNameDrawsNothingAndLeavesTheSceneAsItWas) {
  TestScene s;
  s.triangle("Wall", {30, -50, 20}, {30, 50, 20}, {30, 0, 200}, nullptr);
  Scene& scene = s.done();
  scene.current_frame = 7;
  Frame frame = blank_frame(background);
  EXPECT_EQ(render_scene(scene, 20, frame, "Camera01", DRAW_FLAT), 1);
  EXPECT_EQ(render_scene(scene, 20, frame, "Wall", DRAW_WIREFRAME), 1);  // a mesh, not a camera
  EXPECT_EQ(frame, blank_frame(background));
  EXPECT_EQ(scene.current_frame, 7.0f);
}

TEST(RenderScene, SceneWithNoVisibleFacesDrawsNothingAndReturnsOne) {
  TestScene s;
  s.camera("Camera01", {0, 0, 0}, {0, 0, 100});
  s.triangle("Wall", {30, -50, 20}, {30, 50, 20}, {30, 0, 200}, nullptr)->flags |= MESH_FILE_HIDDEN;
  Scene& scene = s.done();
  Frame frame = blank_frame(background);
  EXPECT_EQ(render_scene(scene, 0, frame, "Camera01", DRAW_FLAT), 1);
  EXPECT_EQ(render_scene(scene, 0, frame, "Camera01", DRAW_WIREFRAME), 1);
  EXPECT_EQ(frame, blank_frame(background));
}

// ---- colours ----

TEST(ShadeColour, HalfShadeOfQuarterAndThreeQuarterRedGives127And63And63) {
  Material m;
  m.ambient = {0.25f, 0.25f, 0};
  m.diffuse = {0.75f, 0.25f, 0.5f};
  EXPECT_EQ(shade_colour(&m, 0.5f), 0x7F3F3Fu);
}

TEST(ShadeColour, FullAmbientAndDiffuseAtFullShadeIsLimitedTo255) {
  Material m;
  m.ambient = m.diffuse = {1, 1, 1};
  EXPECT_EQ(shade_colour(&m, 1), 0xFFFFFFu);
  EXPECT_EQ(shade_colour(&m, 0), 0u);
  EXPECT_EQ(shade_colour(&m, -0.5f), 0u);
  EXPECT_EQ(shade_colour(&m, std::nanf("")), 0u);
}

TEST(ShadeColour, FaceWithoutMaterialIsMidGrey) {
  EXPECT_EQ(shade_colour(nullptr, 1), 0x7F7F7Fu);
  EXPECT_EQ(shade_colour(nullptr, 0.5f), 0x3F3F3Fu);
}

TEST(FaceShade, MatchesTheLibraryCosineBitForBit) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> any(-2, 2);
  std::uniform_int_distribution<int> exponent(-60, 60);
  for (int i = 0; i < 20000; ++i) {
    RenderView view;
    vec_normalize({any(rng), any(rng), any(rng)}, view.axis);
    view.axis_length = vec_length(view.axis);
    const float scale = std::ldexp(1.0f, exponent(rng));
    Vector3 normal{any(rng) * scale, any(rng) * scale, i % 7 == 0 ? 0.0f : any(rng) * scale};
    if (i % 101 == 0) normal = {};
    const float expected = 1.0f - std::fabs(vec_cos_angle(normal, view.axis));
    const float e = face_shade(normal, view);
    ASSERT_EQ(std::memcmp(&e, &expected, sizeof e), 0) << i;
  }
}

TEST(RenderScene, FaceSeenEdgeOnIsFullColourAndFaceSeenSquareOnIsBlack) {
  TestScene s;
  Camera* eye = s.camera("Camera01", {0, 0, 0}, {0, 0, 100});
  Material* orange = s.material("Orange", {0.25f, 0.25f, 0}, {0.75f, 0.25f, 0.5f});
  s.triangle("EdgeOn", {30, -50, 20}, {30, 50, 20}, {30, 0, 200}, orange);
  s.triangle("SquareOn", {-60, -40, 50}, {-10, -40, 50}, {-35, 40, 50}, orange);
  Scene& scene = s.done();
  Frame frame = blank_frame(background);
  render_scene(scene, 0, frame, "Camera01", DRAW_FLAT);
  EXPECT_EQ(frame[pixel_of(*eye, {30, 0, 40})], 0xFF7F7Fu);  // (1, 0.5, 0.5) at e = 1
  EXPECT_EQ(frame[pixel_of(*eye, {-35, 0, 50})], 0u);
}

TEST(RenderScene, WireframeIsWhiteWhateverTheMaterial) {
  WallScene s;
  const Frame frame = render(*s.scene, 0, "Camera01", DRAW_WIREFRAME);
  EXPECT_GT(lit_pixels(frame), 100);
  for (std::uint32_t p : frame) ASSERT_TRUE(p == 0 || p == wireframe_colour);
}

// ---- order ----

TEST(SortFaces, Keys30And10And20SortTo30And20And10) {
  TestScene s;
  s.camera("Camera01", {0, 0, 0}, {0, 0, 100});
  s.mesh("Three", {{0, 0, 10}, {0, 0, 0}, {0, 0, 20}}, {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}}, nullptr);  // z sums 30, 10, 20
  Scene& scene = s.done();
  render_prepare(scene, 0, "Camera01");
  ASSERT_EQ(gather_faces(scene), 3);
  sort_faces(0, 2, scene.face_list);
  EXPECT_EQ(face_depth_key(scene.face_list[0]), 30);
  EXPECT_EQ(face_depth_key(scene.face_list[1]), 20);
  EXPECT_EQ(face_depth_key(scene.face_list[2]), 10);
}

TEST(SortFaces, RandomKeysWithRepeatsEndFarthestFirst) {
  TestScene s;
  s.camera("Camera01", {0, 0, 0}, {0, 0, 100});
  std::mt19937 rng(4);
  std::uniform_int_distribution<int> z(-20, 20);  // few values: many equal keys
  std::vector<Vector3> points;
  std::vector<Triangle> triangles;
  for (std::uint32_t i = 0; i < 3000; ++i) {
    points.push_back({0, 0, float(z(rng))});
    triangles.push_back({i, i, i});
  }
  s.mesh("Many", points, triangles, nullptr);
  Scene& scene = s.done();
  render_prepare(scene, 0, "Camera01");
  const int n = gather_faces(scene);
  sort_faces(0, n - 1, scene.face_list);
  for (int i = 1; i < n; ++i)
    ASSERT_GE(face_depth_key(scene.face_list[std::size_t(i - 1)]), face_depth_key(scene.face_list[std::size_t(i)]));
}

TEST(RenderScene, KeysListed300And100And200AreDrawn300Then200Then100) {
  WallScene s;
  const Frame frame = render(*s.scene, 0, "Camera01", DRAW_FLAT);
  EXPECT_EQ(frame[pixel_of(*s.eye, {30, 0, 36})], blue);  // all three: the nearest is drawn last
  EXPECT_EQ(frame[pixel_of(*s.eye, {30, 0, 60})], green);
  EXPECT_EQ(frame[pixel_of(*s.eye, {30, 0, 200})], red);
}

// ---- what is gathered ----

TEST(RenderScene, MeshHiddenByItsHideTrackDrawsNothingInThoseFrames) {
  TestScene s;
  s.camera("Camera01", {0, 0, 0}, {0, 0, 100});
  s.triangle("Blinker", {30, -50, 20}, {30, 50, 20}, {30, 0, 200}, nullptr);
  const std::int32_t node = s.next_node - 1;
  ASSERT_EQ(scene_set_track(TRACK_KIND_HIDE, node, hidden_from_10_to_20()), SCENE_OK);
  Scene& scene = s.done();
  EXPECT_GT(lit_pixels(render(scene, 5, "Camera01", DRAW_FLAT)), 100);
  EXPECT_EQ(lit_pixels(render(scene, 15, "Camera01", DRAW_FLAT)), 0);
  EXPECT_EQ(lit_pixels(render(scene, 15, "Camera01", DRAW_WIREFRAME)), 0);
  EXPECT_GT(lit_pixels(render(scene, 25, "Camera01", DRAW_FLAT)), 100);
}

TEST(RenderScene, FullFaceListStopsTheGather) {
  WallScene s;
  Scene& scene = *s.scene;
  scene.face_list.resize(2);  // room for Far and Near only
  const Frame frame = render(scene, 0, "Camera01", DRAW_FLAT);
  EXPECT_EQ(frame[pixel_of(*s.eye, {30, 0, 60})], red);  // Middle is not drawn
  EXPECT_EQ(frame[pixel_of(*s.eye, {30, 0, 36})], blue);
  EXPECT_EQ(gather_faces(scene), 2);
}

TEST(RenderScene, FaceWithoutVertexPointersIsLeftOut) {
  WallScene s;
  Scene& scene = *s.scene;
  Mesh* middle = static_cast<Mesh*>(scene.first_object->next->next->next->next->next->next->object.get());
  ASSERT_EQ(middle->name, "Middle");
  middle->faces[0].vertex_b = nullptr;
  const Frame frame = render(scene, 0, "Camera01", DRAW_FLAT);
  EXPECT_EQ(frame[pixel_of(*s.eye, {30, 0, 60})], red);
  EXPECT_EQ(gather_faces(scene), 2);
}

// ---- the staged pass against the plain one ----

// Random triangles around a camera at (5, 12, -90) looking at the origin: mostly a pixel or a
// few across, some large, a few huge ones far behind, some cut by the near plane, some off the
// screen or behind the camera; some without a material, one mesh hidden in the file, one that
// a hide track hides for frames 10 to 20. Small faces must show in the frame, not be painted
// over by large ones.
Scene& random_scene(TestScene& s, std::uint32_t seed) {
  std::mt19937 rng(seed);
  s.camera("Camera01", {5, 12, -90}, {0, 0, 0}, 60);
  Material* materials[] = {s.material("A", {0.1f, 0.2f, 0.3f}, {0.8f, 0.5f, 0.2f}),
                           s.material("B", {0.5f, 0, 0.5f}, {0.7f, 0.9f, 0.1f}), nullptr};
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
      for (int k = 0; k < 3; ++k) points.push_back({centre.x + span * unit(rng), centre.y + span * unit(rng), centre.z + span * unit(rng)});
      triangles.push_back({3 * t, 3 * t + 1, 3 * t + 2});
    }
    Mesh* mesh = s.mesh("M" + std::to_string(m), points, triangles, materials[m % 3]);
    for (std::size_t f = 0; f < mesh->faces.size(); f += 5) mesh->faces[f].material = materials[(m + 1) % 3];
    if (m == 4) mesh->flags |= MESH_FILE_HIDDEN;
    if (m == 5) scene_set_track(TRACK_KIND_HIDE, s.next_node - 1, hidden_from_10_to_20());
  }
  return s.done();
}

TEST(RenderScene, DrawsWhatThePlainPassDrawsOnRandomScenes) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    TestScene s;
    Scene& scene = random_scene(s, seed);
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
  s.triangle("Close", {0.5f, 0.5f, 3.5f}, {10, -10, 30}, {-10, -10, 30}, s.material("A", {0.5f, 0, 0}, {0.5f, 1, 0}));
  Scene& scene = s.done();
  for (int mode : {DRAW_FLAT, DRAW_WIREFRAME}) {
    const Frame frame = render(scene, 0, "Camera01", mode);
    EXPECT_GT(lit_pixels(frame), 100);
    EXPECT_EQ(frame, render_plainly(scene, 0, "Camera01", mode));
  }
}

TEST(RenderScene, FramesAllocateNothingOnceReserved) {
  if (!allocations_counted()) GTEST_SKIP() << "the sanitizer build does not count allocations";
  TestScene s;
  Scene& scene = random_scene(s, 7);
  render_reserve(scene);
  Frame frame = blank_frame();
  const long before = allocation_count();
  for (int frame_number = 0; frame_number < 30; ++frame_number)
    render_scene(scene, frame_number, frame, frame_number % 2 ? "Camera01" : "elsewhere", frame_number % 3 ? DRAW_FLAT : DRAW_WIREFRAME);
  EXPECT_EQ(allocation_count(), before);
}
