// video_avi.h: reads where an AVI file keeps its first video stream: the stream header, the
// bitmap format and, frame number by frame number, the file range of each chunk. Every length is
// checked against the file; reads nothing but headers and indexes, decodes no pixels.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One chunk of the video stream. A chunk of size 0 is a dropped frame: it shows the one before.
struct AviChunk {
  std::uint64_t offset = 0;  // first byte of the chunk's data in the file
  std::uint32_t size = 0;
  bool key = false;  // a frame that decodes without the frames before it
};

struct AviVideoLayout {
  int stream_number = -1;  // place among the file's streams; names the chunks "##dc" / "##db"
  // The stream header ('strh') as written, not reduced or shifted.
  std::uint32_t scale = 0;
  std::uint32_t rate = 0;
  std::uint32_t start = 0;
  std::uint32_t length = 0;
  // The bitmap format ('strf'); height is negative for rows stored top row first.
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bit_count = 0;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB, for 8 bits per pixel and less

  std::vector<AviChunk> chunks;  // frame i of the stream is chunks[i]
  // A cut file: how far the RIFF sizes and the chunks reach past the end of the file, and how
  // many chunks lie (partly) there. Those of the index are kept as dropped frames (size 0), so
  // the numbering holds.
  std::uint64_t missing_bytes = 0;
  std::size_t chunks_outside_file = 0;
  // More than max_video_frames chunks were found; the walk stopped there.
  bool too_many_chunks = false;
  // False when no index was found and the chunks were found by walking the frame data: then
  // only the first chunk is known to decode on its own.
  bool keyframes_known = false;
};

// Reads the layout of the first video stream. False when the file is no AVI file or has no
// video stream; a file whose frames cannot be found gives a layout with no chunks. Reads at
// most max_video_frames + 1 chunks (base/limits.h).
bool avi_read_layout(std::FILE* file, AviVideoLayout* layout);

// Whether the file starts as a RIFF AVI file does ("RIFF", a size, "AVI "). Leaves the file
// position unspecified.
bool avi_is_riff_avi(std::FILE* file);

// Empty when the stream lies within the limits of base/limits.h: a frame size of 1 to
// max_video_side a side and at most max_video_pixels, at most max_video_frames chunks. Else
// a sentence for the show's author saying what is too large ("the frames are 16000x16000
// pixels; videos of up to ... are played").
std::string avi_limits_problem(const AviVideoLayout& layout);
