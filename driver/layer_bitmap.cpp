// layer_bitmap.cpp: the bitmap layer. Placeholder until pictures land.
#include "driver/layers.h"

bool load_bitmap_layer(Layer&) { return false; }
void draw_bitmap_layer(Layer&, const FrameContext&) {}
