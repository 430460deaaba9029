// video_ffmpeg.h: the video-file role over FFmpeg. Opens the first video stream of a RIFF AVI
// file whose headers lie within the limits of base/limits.h, reads its AVI stream header, and
// decodes frame i by number into a bitmap that the decoder owns. FFmpeg's own log is silenced.
#pragma once

#include <cstdio>
#include <memory>

#include "platform/video.h"

// A refused file is not told: open_problem and decoder_problem say why, for the caller to word
// with the script line that named it. A file that opens cut, or damage found while decoding, is
// told in one line on `messages` (for a show, standard error; none for silence), once per stream.
std::unique_ptr<VideoLibrary> make_video_library(std::FILE* messages = stderr);
