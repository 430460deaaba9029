// smooth.h: the smoothing pass that the 3D layer runs over the whole frame after each render.
// Works in place on the caller's frame of 320-pixel rows; owns nothing, allocates nothing, and
// changes only the blue, green and red bytes of pixels 321 .. 63678.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/frame.h"

// The pass has the frame's fixed geometry, whatever the screen size: rows of frame_width
// pixels, frame_pixels in all.

// For k = 321 .. 63678 ((1, 1) .. (318, 198) in reading order), in increasing order and in
// place, each of the blue, green and red bytes of pixel k becomes (L + R + UL + DR) >> 2, with
// L, R, UL, DR that byte of pixels k - 1, k + 1, k - 321, k + 321. Because the pass runs in place,
// L and UL are already smoothed and R and DR are not. The frame is read as one long row, so the
// first and last columns take their left or right sample from the neighbouring line. The top
// byte is never changed. A frame of fewer than 64000 pixels is left as it is.
void smooth_frame(std::span<std::uint32_t> frame);

// The same pass on a chosen path of base/pixel_path.h, which the processor must support;
// smooth_frame uses pixel_path_selected(). Tests and benchmarks run every path through this.
void smooth_frame_on(int path, std::span<std::uint32_t> frame);

// The rule above one byte at a time: the reference that smooth_frame matches bit for bit.
void smooth_frame_reference(std::span<std::uint32_t> frame);
