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
// Returns 1. Allocates only when the scene has more room in its face list than
// render_reserve has provided for.
int render_scene(Scene& scene, std::int32_t frame_number, std::span<std::uint32_t> frame,
                 std::string_view camera_name, int mode);

// Makes room in the draw-order storage for scenes of up to face_count faces, so that their
// frames allocate nothing. The driver calls it when a scene is loaded.
void render_reserve(std::size_t face_count);

// Refills the scene's face list from the start with whole copies of the faces of every mesh
// whose flags & MESH_NOT_DRAWN are 0, in object-list and face order, stopping when the list is
// full. Faces whose vertex pointers are not set are left out. Returns the number copied.
int gather_faces(Scene& scene);

// Sum of the camera-space z of the face's three vertices, in double; larger is farther.
double face_depth_key(const Face& face);

// Sorts list[lo .. hi] in place by depth key, farthest first: a quicksort on the middle key,
// recursing into the left part and looping on the right one, so the stack stays shallow on
// sorted input. Faces with equal keys end in no particular order.
void sort_faces(int lo, int hi, std::span<Face> list);

// What every face of one frame is drawn with.
struct RenderView {
  Vector3 axis;                // the camera's unit viewing direction, world space
  float vertical_factor = 0;   // the camera's vertical perspective factor, used on both axes
  int mode = DRAW_WIREFRAME;
};

// The view of a camera whose matrix the frame update has just built.
RenderView render_view(const Camera& camera, int mode);

// e = 1 - |cos| of the angle between the face's world-space normal and the camera axis: 1 for a
// face seen edge-on, 0 for one seen square-on, front and back alike.
float face_shade(const Face& face, const Vector3& axis);

// 0x00RRGGBB with each channel trunc((ambient + diffuse) * e * 255) in floats, limited to
// 0 .. 255 (NaN gives 0). A null material counts as unlit_face_grey.
std::uint32_t shade_colour(const Material* material, float e);

// One face: the triangle of its transformed vertices, cut at the near plane, projected, cut at
// the screen edges, then filled in its shade colour (DRAW_FLAT) or outlined in white.
void draw_face(const Face& face, const RenderView& view, std::span<std::uint32_t> frame);
