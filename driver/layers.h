// layers.h: what each layer type loads at start-up and draws per frame. The frame loop
// calls draw_layer for every open layer; each type lives in its own layer_*.cpp. Layers
// draw into the frame in place, or through work_buffer. Drawing allocates nothing, with one
// exception: the video layer makes its working surfaces anew when a frame of a new size or
// pixel format arrives, and its decoder may allocate while it decodes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "base/frame.h"
#include "driver/script.h"
#include "platform/clock.h"
#include "platform/pixels.h"
#include "platform/video.h"

// Everything a layer may draw with in one frame.
struct FrameContext {
  std::span<std::uint32_t> frame;  // the frame being drawn, 64000 pixels, row after row
  std::span<std::uint32_t> work;   // work_buffer, same layout
  const Timer* show_timer = nullptr;
  Clock* process_clock = nullptr;
};

// The scenes one start-up has loaded, by file name. Every 3d_mesh layer loads its scene the same
// way, so the layers that name one file share one scene: each keeps its own frame (scene_frame)
// and sets the scene to it before updating, and a frame update depends on nothing but the frame.
struct SceneShelf {
  struct Entry {
    std::shared_ptr<Scene> scene;
    float loaded_frame = 0;
  };
  std::map<std::string, Entry> by_file;
};

// What loading a layer's data came to: `failure` is LAYER_LOAD_OK or what went wrong; the
// other fields keep what the failing reader reported. layer_load_problem
// (driver/startup_problems.h) words it, for the show's standard error and for script-check.
enum : int {
  LAYER_LOAD_OK = 0,
  LAYER_LOAD_UNKNOWN_TYPE = 1,  // the keyword names no layer type
  LAYER_LOAD_MISSING = 2,       // param1 names nothing that exists
  LAYER_LOAD_NOT_A_FILE = 3,    // param1 names a folder, a device or a pipe
  LAYER_LOAD_SCENE = 4,         // the scene library refused the file: `code` is its result code
  LAYER_LOAD_PICTURE = 5,       // the picture cannot be used: `code` (PICTURE_*) and `detail`
  LAYER_LOAD_PICTURE_SIZE = 6,  // the picture is width x height, not needed_width x needed_height
  LAYER_LOAD_VIDEO = 7,         // the video reader's reason in `detail`
  LAYER_LOAD_SEQUENCE = 8,      // the sequence file cannot be opened or read
};

struct LayerLoad {
  int failure = LAYER_LOAD_OK;
  int code = 0;
  int width = 0, height = 0;
  int needed_width = 0, needed_height = 0;
  std::string detail;   // the reader's own words: "is a PCX of 3 planes ...", "not an AVI file ..."
  std::string warning;  // loaded, but with damage worth telling: "is cut short: ..."

  explicit operator bool() const { return failure == LAYER_LOAD_OK; }
};

// A load that failed for the given reason, with nothing more to say.
LayerLoad layer_load_failure(int failure);

// Every layer type but radialblur loads the file its first word names.
bool layer_needs_file(const Layer& layer);

// Start-up: fills the layer's resource, or says why the layer has none. A radialblur layer
// loads nothing and always succeeds. A scene the shelf already holds is shared, one newly
// loaded is put on it.
LayerLoad load_layer_resource(Layer& layer, VideoLibrary& video, SceneShelf& scenes);

void draw_layer(Layer& layer, const FrameContext& context);

// Moves the layer on as drawing it in this frame would (its start mark, local time, fade
// level, sequence and video position, 3D frame) without drawing anything: a show reaches a
// later position exactly, without spending the time to draw every frame before it.
void advance_layer(Layer& layer, const FrameContext& context);

// Puts the layer back as start-up leaves it, before its first frame: not started, and a 3D
// scene at the frame it was loaded at.
void reset_layer(Layer& layer);

// Local time of 3d_mesh, ipol_mesh and radialblur layers: param3 units per second of
// show time, counted from the layer's first drawn frame and running on after that.
std::int32_t layer_local_time(Layer& layer, double show_s);

LayerLoad load_mesh3d_layer(Layer& layer, SceneShelf& scenes);
// The layer's picture (param1) into its resource when it is width x height; any other size is
// refused (LAYER_LOAD_PICTURE_SIZE). A damaged picture that still decodes loads with a warning.
LayerLoad load_layer_picture(Layer& layer, int width, int height);
LayerLoad load_bitmap_layer(Layer& layer);
LayerLoad load_ipol_mesh_layer(Layer& layer);
LayerLoad load_video_layer(Layer& layer, VideoLibrary& video);
LayerLoad load_sequence_layer(Layer& layer);

void draw_mesh3d_layer(Layer& layer, const FrameContext& context);
void draw_bitmap_layer(Layer& layer, const FrameContext& context);
void draw_ipol_mesh_layer(Layer& layer, const FrameContext& context);
void draw_radialblur_layer(Layer& layer, const FrameContext& context);
void draw_video_layer(Layer& layer, const FrameContext& context);
void draw_sequence_layer(Layer& layer, const FrameContext& context);

void advance_mesh3d_layer(Layer& layer, const FrameContext& context);
void advance_bitmap_layer(Layer& layer, const FrameContext& context);
void advance_ipol_mesh_layer(Layer& layer, const FrameContext& context);
void advance_video_layer(Layer& layer, const FrameContext& context);
void advance_sequence_layer(Layer& layer, const FrameContext& context);
