#include "render/screen.h"

#include "base/frame.h"

int screen_width = frame_width;
int screen_height = frame_height;

int set_screen_size(int width, int height) {
  screen_width = width;
  screen_height = height;
  return 1;
}

void project_vertex(PolyVertex& vertex, float vertical_factor) {
  const float factor = vertical_factor / vertex.z;
  vertex.x = float(screen_width >> 1) + vertex.x * factor;
  vertex.y = float(screen_height >> 1) - vertex.y * factor;
}
