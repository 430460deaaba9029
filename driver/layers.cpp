// layers.cpp: dispatch by layer type, and the local-time rule shared by the timed layers.
#include "driver/layers.h"

#include <cstdio>
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

bool load_layer_resource(Layer& layer, VideoLibrary& video, SceneShelf& scenes) {
  switch (layer.type) {
    case LAYER_3D_MESH: return load_mesh3d_layer(layer, scenes);
    case LAYER_BITMAP: return load_bitmap_layer(layer);
    case LAYER_IPOL_MESH: return load_ipol_mesh_layer(layer);
    case LAYER_RADIALBLUR: return true;  // draws from the frame itself; nothing to load
    case LAYER_AVIVIDEO: return load_video_layer(layer, video);
    case LAYER_SEQUENCE: return load_sequence_layer(layer);
    default: return false;
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

bool load_layer_picture(Layer& layer, int width, int height) {
  int result = PICTURE_OK;
  std::string problem;
  Picture picture = load_any_picture(layer.param1, &result, &problem);
  if (!problem.empty())
    std::fprintf(stderr, "quindle: line %d (%s): %s %s\n", layer.line, layer.keyword.c_str(), layer.param1.c_str(),
                 problem.c_str());
  if (picture.width != width || picture.height != height) return false;
  layer.resource.picture = std::move(picture.pixels);
  return true;
}
