// bench_paths.h: registers one benchmark per pixel path the processor runs, named
// BM_<what>/<path> (BM_fade_blend/sse2, BM_fade_blend/avx2, ...).
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "base/pixel_path.h"

// function(state, path) runs the measured work on `path`. Returns 0, for a static initialiser.
inline int register_per_path(const char* name, void (*function)(benchmark::State&, int)) {
  for (int path = 0; path < pixel_path_count; ++path)
    if (pixel_path_supported(path))
      benchmark::RegisterBenchmark((std::string(name) + "/" + pixel_path_name(path)).c_str(), function, path);
  return 0;
}
