// video_ffmpeg.h: the video-file role over FFmpeg.
#pragma once

#include <memory>

#include "platform/video.h"

std::unique_ptr<VideoLibrary> make_video_library();
