// video_ffmpeg.cpp: placeholder video library that opens nothing.
#include "platform/video_ffmpeg.h"

namespace {

class NoVideo final : public VideoLibrary {
 public:
  void init() override {}
  std::unique_ptr<VideoStream> open_stream(const char*) override { return nullptr; }
};

}  // namespace

std::unique_ptr<VideoLibrary> make_video_library() { return std::make_unique<NoVideo>(); }
