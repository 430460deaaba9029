// radial_blur.h: smears a frame outward from the fixed centre pixel (160, 100), in place.
// Works on the caller's pixels only: owns nothing, allocates nothing, and never reads or
// writes outside the width x height frame, whatever the strength.
#pragma once

#include <cstdint>
#include <span>

// The centre is fixed; the layer's own centre arguments are not used.
constexpr int radial_blur_centre_x = 160;
constexpr int radial_blur_centre_y = 100;

// Averages each pixel with a source pixel nearer the centre, walking outward in four
// quadrants so that sources already carry this pass's result (that feedback draws the streaks).
// strength is truncated toward zero to s; s / 65536 is the fraction of a pixel's distance to
// the centre by which its source lies nearer the centre. Row 0 is never touched, nor column 0
// of rows 0 to 100.
//
// width and height are the shared screen size (screen_width x screen_height, 320 x 200 in the
// show); the driver passes them. For s in 0 .. 65536 every source lies between a pixel and the
// centre. Outside that range a source can lie beyond the frame edge: its column and row are
// then clamped to the frame, so such a pixel reads the nearest edge pixel.
//
// Nothing is done unless the frame holds the centre and its pixels: 161 <= width <= 32767,
// 101 <= height <= 32767 and frame.size() >= width * height.
void radial_blur(std::span<std::uint32_t> frame, int width, int height, double strength);
