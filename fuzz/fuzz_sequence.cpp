// fuzz_sequence.cpp: any bytes as a sequence file, opened by the sequence layer's start-up and
// then every frame it holds drawn through the layer (both of its blend words), with the frame
// number chosen by the process clock as in the show: every record, the frames the trailer
// promises beyond them (black), and the restart after the last.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "base/limits.h"
#include "driver/layers.h"
#include "fuzz/fuzz_support.h"

namespace {

// Frames drawn per input at most: enough to walk every record of a small file.
constexpr std::uint32_t frames_drawn_max = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file("fuzz_sequence");
  static FuzzFrame target;
  file.assign(data, size);

  for (const char* blend : {"no", "additive"}) {
    Layer layer;
    layer.type = LAYER_SEQUENCE;
    layer.param1 = file.path();
    layer.param2 = blend;
    layer.param3 = "1001";  // frames per second: one frame per millisecond (a little over, so rounding never repeats one)
    if (!load_sequence_layer(layer)) return 0;
    const Sequence& sequence = *layer.resource.sequence;
    if (sequence.records.size() > max_sequence_frames) std::abort();
    // One frame per millisecond, from the layer's first whole second on, one past the records
    // or past the frames the trailer promises, whichever is later.
    const std::size_t shown = std::max<std::size_t>(sequence.records.size(), sequence.frame_count) + 1;
    const std::uint32_t frames = std::uint32_t(std::min<std::size_t>(shown, frames_drawn_max));
    for (std::uint32_t i = 0; i < frames; ++i) draw_sequence_layer(layer, target.at(1.0005 + 0.001 * i));
  }
  return 0;
}
