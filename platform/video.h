// video.h: the video-file role: an AVI file's first video stream, its stream
// information and a decoder that returns frame i as a device-independent bitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The fields of the AVI stream header that the video layer uses.
struct VideoStreamInfo {
  std::uint32_t dwScale = 0;
  std::uint32_t dwRate = 0;
  std::uint32_t dwStart = 0;
  std::uint32_t dwLength = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

class FrameDecoder {
 public:
  virtual ~FrameDecoder() = default;
  // Frame i as a bitmap: a 40-byte header (width int32 at byte 4, height int32 at byte 8,
  // bits per pixel uint16 at byte 14) followed by bottom-up rows padded to 4 bytes; 16 bits
  // (5-5-5) or 24 bits (B, G, R). Numbers outside the stream give the nearest frame.
  // The bytes stay valid until the next call. Null only when nothing can be decoded.
  virtual const std::uint8_t* get_frame(std::int64_t index) = 0;
};

class VideoStream {
 public:
  virtual ~VideoStream() = default;
  // The stream's decoder for its default output format; null when there is none.
  virtual std::unique_ptr<FrameDecoder> open_frame_decoder() = 0;
  virtual bool info(VideoStreamInfo* out) = 0;
  // Why open_frame_decoder gave none, in words for the show's author; empty when it cannot say.
  virtual std::string decoder_problem() const { return {}; }
};

class VideoLibrary {
 public:
  virtual ~VideoLibrary() = default;
  virtual void init() = 0;
  // The first video stream of the file; null when the file cannot be opened or has none.
  virtual std::unique_ptr<VideoStream> open_stream(const char* path) = 0;
  // Why the last open_stream gave none, in words for the show's author ("not an AVI file ...");
  // empty after a stream opened, or when the library cannot say.
  virtual std::string open_problem() const { return {}; }
};
