// limits.h: the largest input each reader accepts, in one place. A file past a limit is refused
// with its reader's error, before anything is allocated for it.
#pragma once

#include <cstdint>

// Pictures (PCX and the other picture formats) and sequence frames.
constexpr int max_picture_side = 4096;  // pixels, width and height each

// Scene files (.3DS and native).

// Video (AVI). The engine draws 320x200 and shows the centre of a larger frame; the pixel
// limit keeps the decoder's pictures (and a codec's reference pictures) to a few megabytes.
constexpr int max_video_side = 4096;  // pixels, width and height each
constexpr std::int64_t max_video_pixels = 1024 * 1024;  // width x height
constexpr std::int64_t max_video_frames = 100000;  // chunks of the video stream

// Scripts.

// Tunes (modules), read whole into memory by the module player.
constexpr std::int64_t max_tune_bytes = 64 * 1024 * 1024;
