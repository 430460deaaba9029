// render.h: the scene render pass: one frame of a Scene seen through a named camera, every
// visible face painted farthest first, flat-shaded by its angle to the camera axis or as white
// wireframe. Owns only the draw-order working storage, sized once and reused by every frame;
// reads the objects that the library's frame update leaves and keeps no scene pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "scene/scene.h"

enum : int {
  DRAW_WIREFRAME = 0,  // any mode other than DRAW_FLAT draws white edges
  DRAW_FLAT = 1,
};

// The camera used when the scene has no object of the requested name.
constexpr std::string_view fallback_camera_name = "rolli";
// The aspect ratio given to the camera before every update.
constexpr float render_aspect = 0.75f;
// A face without a material is shaded as if its ambient plus diffuse colour were this grey on
// every channel: 127 at full shade.
constexpr float unlit_face_grey = 0.5f;
constexpr std::uint32_t wireframe_colour = 0xFFFFFF;

// Draws one frame of the scene: makes it the active scene; finds the camera by name, else the
// object named "rolli"; gives it the screen size and render_aspect and makes it the active
// camera; sets the scene's frame to frame_number (a frame outside the scene's range leaves the
// current one) and runs the frame update; then paints the faces of every mesh that is neither
// hidden nor hidden in the file, farthest first (faces with equal depth keys in either order).
// When that object is missing or is no camera, nothing is drawn and the scene is not updated.
// Returns 1. Allocates only when render_reserve has not made room for the scene.
int render_scene(Scene& scene, std::int32_t frame_number, std::span<std::uint32_t> frame,
                 std::string_view camera_name, int mode);

// Makes room in the draw-order storage for the scene's visible faces and its largest mesh, so that
// its frames allocate nothing. The driver calls it when a scene is loaded.
void render_reserve(const Scene& scene);

// What every face of one frame is drawn with.
struct RenderView {
  Vector3 axis;                // the camera's unit viewing direction, world space
  float axis_length = 1;       // vec_length (axis), for the shade's cosine
  float vertical_factor = 0;   // the camera's vertical perspective factor, used on both axes
  int mode = DRAW_WIREFRAME;
};

// ---- the stages of render_scene, apart for tests and measurements ----

// Everything before the faces are gathered: the scene active, its camera found and set up,
// the frame set and the scene updated. The camera, or null when there is none (then nothing
// but the active scene has changed).
Camera* render_prepare(Scene& scene, std::int32_t frame_number, std::string_view camera_name);
// Fills the draw order with the faces that gather_faces would copy, in the same order, each
// with its depth key, its corners and (DRAW_FLAT) its colour, and returns the count. In flat
// shading it leaves out the faces that lie on the screen and cover no pixel row, as they draw
// nothing. Grows the storage when render_reserve fell short.
std::size_t draw_order_gather(const Scene& scene, const RenderView& view);
// Orders the first n entries farthest first (equal keys keep their gathered order).
void draw_order_sort(std::size_t n);
// The face at place i of the draw order (null past its storage).
const Face* draw_order_face(std::size_t i);
// Draws the faces at places 0 .. n - 1 with draw_face.
void draw_order_draw(std::size_t n, const RenderView& view, std::span<std::uint32_t> frame);

// ---- the face list: the plain form of the draw order, whole face copies ----

// Refills the scene's face list from the start with whole copies of the faces of every mesh
// whose flags & MESH_NOT_DRAWN are 0, in object-list and face order, stopping at the scene's
// visible_face_count (the list is grown to that size on first use). Faces whose vertex
// pointers are not set are left out. Returns the number copied.
int gather_faces(Scene& scene);

// Sum of the camera-space z of the face's three vertices, in double; larger is farther.
double face_depth_key(const Face& face);

// Sorts list[lo .. hi] in place by depth key, farthest first: a quicksort on the middle key,
// recursing into the left part and looping on the right one, so the stack stays shallow on
// sorted input. Faces with equal keys end in no particular order.
void sort_faces(int lo, int hi, std::span<Face> list);

// ---- one face ----

// The view of a camera whose matrix the frame update has just built.
RenderView render_view(const Camera& camera, int mode);

// e = 1 - |vec_cos_angle (normal, view axis)| for a face's world-space normal: 1 for a face
// seen edge-on, 0 for one seen square-on, front and back alike. Bit for bit the library's
// cosine, with the axis length taken from the view.
float face_shade(const Vector3& normal, const RenderView& view);

// 0x00RRGGBB with each channel trunc((ambient + diffuse) * e * 255) in floats, limited to
// 0 .. 255 (NaN gives 0). A null material counts as unlit_face_grey.
std::uint32_t shade_colour(const Material* material, float e);

// One face: the triangle of its transformed vertices, cut at the near plane, projected, cut at
// the screen edges, then filled in its shade colour (DRAW_FLAT) or outlined in white.
void draw_face(const Face& face, const RenderView& view, std::span<std::uint32_t> frame);
