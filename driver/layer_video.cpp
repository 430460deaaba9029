// layer_video.cpp: the avivideo layer. Placeholder until the video layer lands.
#include "driver/layers.h"

bool load_video_layer(Layer&, VideoLibrary&) { return false; }
void draw_video_layer(Layer&, const FrameContext&) {}
