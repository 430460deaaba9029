// layer_mesh3d.cpp: the 3d_mesh layer. Placeholder until the scene renderer lands: the
// layer has no resource, so a script that uses it stops at start-up.
#include "driver/layers.h"

void SceneRelease::operator()(Scene*) const {}

bool load_mesh3d_layer(Layer&) { return false; }
void draw_mesh3d_layer(Layer&, const FrameContext&) {}
