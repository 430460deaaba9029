// pixel_paths.h: the pixel kernels' paths this processor can run, for tests that check each one.
#pragma once

#include <vector>

#include "base/pixel_path.h"

inline std::vector<int> supported_pixel_paths() {
  std::vector<int> paths;
  for (int path = 0; path < pixel_path_count; ++path)
    if (pixel_path_supported(path)) paths.push_back(path);
  return paths;
}
