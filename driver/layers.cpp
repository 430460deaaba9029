// layers.cpp: dispatch by layer type, and the local-time rule shared by the timed layers.
#include "driver/layers.h"

#include <filesystem>
#include <string>

#include "base/saturate.h"
#include "driver/picture_file.h"
#include "scene/scene.h"

std::int32_t layer_local_time(Layer& layer, double show_s) {
  const double v = double(decimal_param(layer.param3)) * show_s;
  const std::int32_t whole = saturate_to_int32(v);
  if (layer.start_mark == -1) layer.start_mark = whole;
  // Wraps like the 32-bit subtraction it is, rather than overflowing.
  layer.local_time = std::int32_t(std::uint32_t(whole) - std::uint32_t(layer.start_mark));
  return layer.local_time;
}

LayerLoad layer_load_failure(int failure) {
  LayerLoad load;
  load.failure = failure;
  return load;
}

namespace {

// Only an ordinary file is read: a folder, a device or a pipe could never end or never answer.
int file_failure(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) return LAYER_LOAD_MISSING;
  if (!std::filesystem::is_regular_file(status)) return LAYER_LOAD_NOT_A_FILE;
  return LAYER_LOAD_OK;
}

}  // namespace

bool layer_needs_file(const Layer& layer) { return layer.type != LAYER_RADIALBLUR && layer.type != LAYER_UNKNOWN; }

LayerLoad load_layer_resource(Layer& layer, VideoLibrary& video, SceneShelf& scenes) {
  if (layer.type == LAYER_UNKNOWN) return layer_load_failure(LAYER_LOAD_UNKNOWN_TYPE);
  if (!layer_needs_file(layer)) return {};  // radialblur draws from the frame itself
  if (const int failure = file_failure(layer.param1)) return layer_load_failure(failure);
  switch (layer.type) {
    case LAYER_3D_MESH: return load_mesh3d_layer(layer, scenes);
    case LAYER_BITMAP: return load_bitmap_layer(layer);
    case LAYER_IPOL_MESH: return load_ipol_mesh_layer(layer);
    case LAYER_AVIVIDEO: return load_video_layer(layer, video);
    case LAYER_SEQUENCE: return load_sequence_layer(layer);
    default: return layer_load_failure(LAYER_LOAD_UNKNOWN_TYPE);
  }
}

void advance_layer(Layer& layer, const FrameContext& context) {
  switch (layer.type) {
    case LAYER_3D_MESH: advance_mesh3d_layer(layer, context); break;
    case LAYER_BITMAP: advance_bitmap_layer(layer, context); break;
    case LAYER_IPOL_MESH: advance_ipol_mesh_layer(layer, context); break;
    case LAYER_RADIALBLUR: layer_local_time(layer, timer_seconds(*context.show_timer)); break;
    case LAYER_AVIVIDEO: advance_video_layer(layer, context); break;
    case LAYER_SEQUENCE: advance_sequence_layer(layer, context); break;
    default: break;
  }
}

void reset_layer(Layer& layer) {
  layer.start_mark = -1;
  layer.local_time = 0;
  layer.scene_frame = layer.scene_loaded_frame;
}

void draw_layer(Layer& layer, const FrameContext& context) {
  switch (layer.type) {
    case LAYER_3D_MESH: draw_mesh3d_layer(layer, context); break;
    case LAYER_BITMAP: draw_bitmap_layer(layer, context); break;
    case LAYER_IPOL_MESH: draw_ipol_mesh_layer(layer, context); break;
    case LAYER_RADIALBLUR: draw_radialblur_layer(layer, context); break;
    case LAYER_AVIVIDEO: draw_video_layer(layer, context); break;
    case LAYER_SEQUENCE: draw_sequence_layer(layer, context); break;
    default: break;
  }
}

LayerLoad load_layer_picture(Layer& layer, int width, int height) {
  LayerLoad load;
  std::string problem;
  Picture picture = load_any_picture(layer.param1, &load.code, &problem);
  if (picture.pixels.empty()) {
    load.failure = LAYER_LOAD_PICTURE;
    load.detail = problem.empty() ? "cannot be loaded" : problem;
    return load;
  }
  if (picture.width != width || picture.height != height) {
    load.failure = LAYER_LOAD_PICTURE_SIZE;
    load.width = picture.width;
    load.height = picture.height;
    load.needed_width = width;
    load.needed_height = height;
    return load;
  }
  load.warning = problem;
  layer.resource.picture = std::move(picture.pixels);
  return load;
}
