// fuzz_avi.cpp: any bytes as an AVI file: the stream layout read from the RIFF headers and
// index, then the avivideo layer's start-up (FFmpeg opens and decodes the first frame) and its
// frames fetched as the layer fetches them: one after another at the stream's rate, back to the
// first, and past the end. Every chunk the layout lists with data lies inside the file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "driver/layers.h"
#include "fuzz/fuzz_support.h"
#include "platform/video_avi.h"

namespace {

// Frames fetched in order per input at most: decoding is the costly part.
constexpr std::uint32_t frames_fetched_max = 12;

void check_layout(const std::string& path, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) std::abort();
  AviVideoLayout layout;
  if (avi_read_layout(file, &layout))
    for (const AviChunk& chunk : layout.chunks)  // size 0 is a dropped frame: its offset is unused
      if (chunk.size > 0 && (chunk.offset > size || chunk.size > size - chunk.offset)) std::abort();
  std::fclose(file);
}

// Show times (seconds) at which the layer shows frames 0, 1, ... of the stream.
std::vector<double> fetch_times(const VideoStreamInfo& info) {
  std::vector<double> times;
  if (info.dwRate == 0 || info.dwScale == 0) return {1.0, 1.25, 2.5};
  const double frame_s = double(info.dwScale) / double(info.dwRate);
  const std::uint32_t frames = std::min(info.dwLength, frames_fetched_max);
  for (std::uint32_t i = 0; i < frames; ++i) times.push_back(1.0 + (i + 0.5) * frame_s);
  times.push_back(1.0 + 0.5 * frame_s);                                     // back to the first
  if (frame_s * info.dwLength < 1e6) times.push_back(1.0 + (info.dwLength + 0.5) * frame_s);  // past the end
  return times;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file("fuzz_avi");
  VideoLibrary& video = fuzz_video_library();
  static FuzzFrame target;
  file.assign(data, size);
  check_layout(file.path(), size);

  Layer layer;
  layer.type = LAYER_AVIVIDEO;
  layer.param1 = file.path();
  if (!load_video_layer(layer, video)) return 0;
  for (double t : fetch_times(layer.video_info)) draw_video_layer(layer, target.at(t));
  return 0;
}
