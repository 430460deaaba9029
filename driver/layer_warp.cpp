// layer_warp.cpp: the ipol_mesh layer (a 256x256 texture warped through the shared grid)
// and the radialblur layer (the frame smeared outward with a pulsing strength).
#include <cmath>

#include "driver/layers.h"
#include "effects/grid_warp.h"
#include "effects/radial_blur.h"
#include "render/screen.h"

// The renderer reads the texture as 65536 texels, so only a 256x256 picture will do.
LayerLoad load_ipol_mesh_layer(Layer& layer) {
  return load_layer_picture(layer, 256, 256);
}

// The grid is shared: a layer with neither word warps through what the last one left.
void advance_ipol_mesh_layer(Layer& layer, const FrameContext& context) {
  const double t = 0.1 * layer_local_time(layer, timer_seconds(*context.show_timer));
  if (begins_with(layer.param2, "flower"))
    grid_flower(t);
  else if (begins_with(layer.param2, "plasma"))
    grid_plasma(t);
}

void draw_ipol_mesh_layer(Layer& layer, const FrameContext& context) {
  advance_ipol_mesh_layer(layer, context);
  grid_warp_render(context.frame, layer.resource.picture);
}

void draw_radialblur_layer(Layer& layer, const FrameContext& context) {
  const std::int32_t local_time = layer_local_time(layer, timer_seconds(*context.show_timer));
  const double strength = double(decimal_param(layer.param2)) * (std::sin(0.1 * local_time) + 1.1);
  radial_blur(context.frame, screen_width, screen_height, strength);
}
