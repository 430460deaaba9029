// frame.h: the size of the frame every layer draws into.
#pragma once

constexpr int frame_width = 320;
constexpr int frame_height = 200;
constexpr int frame_pixels = frame_width * frame_height;
