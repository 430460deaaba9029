// pixel_path.h: which instruction set the pixel kernels use. The choice is made once, on first
// use: the widest path the processor supports, unless the environment variable QUINDLE_SIMD
// names another (sse2 or avx2), which tests and benchmarks use to run every path on one machine.
// Every path gives the same pixels, bit for bit.
#pragma once

enum PixelPath : int {
  PIXEL_PATH_SSE2 = 0,  // 16-byte vectors; every x86-64 processor has them
  PIXEL_PATH_AVX2 = 1,  // 32-byte vectors
};
constexpr int pixel_path_count = 2;

// "sse2" or "avx2"; "?" for a number that names no path.
const char* pixel_path_name(int path);

// True when this processor can run the path (SSE2 always can).
bool pixel_path_supported(int path);

// The path the kernels use for the rest of the run. QUINDLE_SIMD naming a path the processor
// lacks, or no path at all, is said once on standard error and the widest path is used instead.
int pixel_path_selected();
