// screen.h: the renderer's screen size and the perspective projection onto that screen.
// Owns the process-wide screen_width and screen_height, written only by set_screen_size;
// the rasteriser and the render pass read them, nothing here touches a frame.
#pragma once

#include "render/raster.h"

// Pixels across and down, 320 x 200 from the start of the process; the driver sets them again
// once at start-up.
extern int screen_width;
extern int screen_height;

// Stores the screen size read by the rasteriser and the render pass. Returns 1.
int set_screen_size(int width, int height);

// Perspective projection of a camera-space vertex (z > 0 in front) to pixel coordinates, with
// the camera's vertical factor P on both axes so one unit spans as many pixels across as down:
// x <- (screen_width >> 1) + x * P / z, y <- (screen_height >> 1) - y * P / z; z is kept.
// The caller clips at the near plane first, so z >= 4.
void project_vertex(PolyVertex& vertex, float vertical_factor);
