// limits.h: the largest input each reader accepts, in one place. A file past a limit is refused
// with its reader's error, before anything is allocated for it.
#pragma once

#include <cstdint>

// Pictures (PCX and the other picture formats) and sequence frames.
constexpr int max_picture_side = 4096;  // pixels, width and height each

// Scene files (.3DS and native).

// Video (AVI).

// Scripts.

// Tunes.
