// grid_warp_kernels.h: the warp renderer's loop over the cells for each instruction-set path.
// Private to effects/. Each draws the whole frame (frame_width x frame_height) from the grid; the
// caller has checked the frame and texture sizes.
#pragma once

#include <cstdint>

#include "effects/grid_warp.h"

void grid_warp_render_sse2(std::uint32_t* frame, const std::uint32_t* texture, const WarpGrid& grid);
void grid_warp_render_avx2(std::uint32_t* frame, const std::uint32_t* texture, const WarpGrid& grid);  // AVX2 only
