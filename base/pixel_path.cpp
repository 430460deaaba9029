// pixel_path.cpp: the processor test and the one-time choice of the kernels' path.
#include "base/pixel_path.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int widest_supported_path() {
  return pixel_path_supported(PIXEL_PATH_AVX2) ? PIXEL_PATH_AVX2 : PIXEL_PATH_SSE2;
}

int choose_path() {
  const char* wanted = std::getenv("QUINDLE_SIMD");
  if (wanted == nullptr || *wanted == '\0') return widest_supported_path();
  for (int path = 0; path < pixel_path_count; ++path) {
    if (std::strcmp(wanted, pixel_path_name(path)) != 0) continue;
    if (pixel_path_supported(path)) return path;
    std::fprintf(stderr, "QUINDLE_SIMD=%s: this processor has no %s; using %s\n", wanted, wanted,
                 pixel_path_name(widest_supported_path()));
    return widest_supported_path();
  }
  std::fprintf(stderr, "QUINDLE_SIMD=%s names no pixel path (sse2 or avx2); using %s\n", wanted,
               pixel_path_name(widest_supported_path()));
  return widest_supported_path();
}

}  // namespace

const char* pixel_path_name(int path) {
  switch (path) {
    case PIXEL_PATH_SSE2: return "sse2";
    case PIXEL_PATH_AVX2: return "avx2";
    default: return "?";
  }
}

bool pixel_path_supported(int path) {
  if (path == PIXEL_PATH_SSE2) return true;
#if defined(__x86_64__) || defined(__i386__)
  if (path == PIXEL_PATH_AVX2) return __builtin_cpu_supports("avx2");
#endif
  return false;
}

int pixel_path_selected() {
  static const int path = choose_path();
  return path;
}
