// layer_warp.cpp: the ipol_mesh and radialblur layers. Placeholder until the effects land.
#include "driver/layers.h"

bool load_ipol_mesh_layer(Layer&) { return false; }
void draw_ipol_mesh_layer(Layer&, const FrameContext&) {}
void draw_radialblur_layer(Layer&, const FrameContext&) {}
