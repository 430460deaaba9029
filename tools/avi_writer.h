// avi_writer.h: writes uncompressed AVI files (one video stream of 24-bit blue, green, red or
// 16-bit 5-5-5 frames) as byte arrays, for the sample show and for tests. Owns nothing beyond
// the returned bytes; uses only the standard library; never reads files.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

struct AviWriterOptions {
  std::uint32_t scale = 1;  // frames per second = rate / scale
  std::uint32_t rate = 25;
  std::uint32_t start = 0;          // the stream header's first frame number
  int bits = 24;                    // 24 (blue, green, red) or 16 (5-5-5)
  bool top_down = false;            // rows stored top row first, marked by a negative height
  bool write_index = true;          // an idx1 index after the frames
  bool absolute_index = false;      // index offsets counted from the file's start
  bool audio_stream_first = false;  // a silent 8-bit PCM stream as stream 0, its chunks interleaved
  std::vector<int> dropped;         // frame numbers stored as empty chunks
};

// Fills one frame: width * height pixels 0x00RRGGBB, top row first.
using AviDrawFrame = std::function<void(int frame, std::span<std::uint32_t> pixels)>;

// Returns empty bytes when a size is outside 1 .. 16384, the frame count is negative, bits is
// neither 16 nor 24, or the file would not fit the 32-bit sizes of the format.
std::vector<std::uint8_t> avi_encode(int width, int height, int frame_count, const AviDrawFrame& draw,
                                     const AviWriterOptions& options = {});
