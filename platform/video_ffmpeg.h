// video_ffmpeg.h: the video-file role over FFmpeg. Opens the first video stream of a RIFF AVI
// file whose headers lie within the limits of base/limits.h, reads its AVI stream header, and
// decodes frame i by number into a bitmap that the decoder owns. FFmpeg's own log is silenced.
#pragma once

#include <cstdio>
#include <memory>

#include "platform/video.h"

// Files that are refused, cut or damaged are told in one line each on `messages` (for a show,
// standard error; none for silence); damage found while decoding is told once per stream.
std::unique_ptr<VideoLibrary> make_video_library(std::FILE* messages = stderr);
