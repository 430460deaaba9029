// video_probe.h: a video file decoded whole through libavformat and libavcodec, to check what
// capture wrote: stream parameters, every picture as 0x00RRGGBB pixels (lossless RGB files only)
// and every sound sample as 16-bit interleaved stereo (16-bit codecs only). Holds everything in
// memory: for short files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedStream {
  std::string codec;
  int width = 0;
  int height = 0;
  int sample_rate = 0;
  int channels = 0;
  int frames = 0;  // pictures or audio frames decoded
};

struct DecodedVideo {
  bool opened = false;
  std::string format;     // the demuxer's name
  double duration_s = 0;  // of the file, as the demuxer reports it
  DecodedStream video;
  DecodedStream audio;
  std::vector<std::vector<std::uint32_t>> pictures;  // when keep_pictures and the pictures are RGB
  std::vector<std::int16_t> samples;                 // when the sound is 16-bit
};

DecodedVideo decode_video_file(const std::string& path, bool keep_pictures);
