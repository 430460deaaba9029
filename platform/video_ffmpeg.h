// video_ffmpeg.h: the video-file role over FFmpeg. Opens a file's first video stream, reads
// its AVI stream header, and decodes frame i by number into a bitmap that the decoder owns.
// FFmpeg's own log is silenced; nothing here prints.
#pragma once

#include <memory>

#include "platform/video.h"

std::unique_ptr<VideoLibrary> make_video_library();
