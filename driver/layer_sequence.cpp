// layer_sequence.cpp: the sequence layer: an animation of packed full-screen pictures,
// paced by the process clock, laid over the frame or added to it. When the animation runs
// out the layer skips a frame and starts again on a new whole second.
#include <cmath>
#include <cstdio>

#include "driver/layers.h"
#include "effects/blend.h"
#include "effects/picture.h"

LayerLoad load_sequence_layer(Layer& layer) {
  LayerLoad load;
  layer.resource.sequence = open_sequence(layer.param1);
  if (!layer.resource.sequence) {
    load.failure = LAYER_LOAD_SEQUENCE;
    return load;
  }
  const Sequence& sequence = *layer.resource.sequence;
  layer.frame_count = sequence.frame_count;
  if (sequence.walk_stopped_early || sequence.records.size() != sequence.frame_count)
    load.warning = "is damaged: its trailer says " + std::to_string(sequence.frame_count) + " frames, " +
                   std::to_string(sequence.records.size()) + " whole records were found" +
                   (sequence.frame_count > sequence.records.size() ? "; the missing frames show black" : "");
  return load;
}

namespace {

// The frame the layer shows: frames per second times the time since its whole-second start,
// truncated and taken as unsigned (a negative rate gives a huge index, which restarts).
std::uint32_t sequence_index(const Layer& layer, std::int64_t clock_ms) {
  const float t = float(double(clock_ms) * 0.001 - double(layer.start_mark));
  const float frames = float(decimal_param(layer.param3)) * t;
  if (!(frames > -4294967296.0f && frames < 4294967296.0f)) return UINT32_MAX;
  return std::uint32_t(std::int64_t(frames));
}

// The frame to show now; frame_count when the animation has run out (it then restarts).
std::uint32_t sequence_step(Layer& layer, const FrameContext& context) {
  const std::int64_t clock_ms = process_clock_ms(*context.process_clock);
  if (layer.start_mark == -1) layer.start_mark = std::int32_t(clock_ms / 1000);
  const std::uint32_t index = sequence_index(layer, clock_ms);
  if (index < layer.frame_count) return index;
  layer.start_mark = -1;
  return layer.frame_count;
}

}  // namespace

void advance_sequence_layer(Layer& layer, const FrameContext& context) { sequence_step(layer, context); }

void draw_sequence_layer(Layer& layer, const FrameContext& context) {
  const std::span<std::uint32_t> frame = context.frame, work = context.work;
  std::fill(work.begin(), work.end(), 0u);
  const std::uint32_t index = sequence_step(layer, context);
  if (index >= layer.frame_count) return;
  // A record that fails the picture test, or is missing or too large, leaves work black; a cut
  // one draws what it holds. The first such frame is reported, later ones are not.
  Sequence& sequence = *layer.resource.sequence;
  const int result = decode_sequence_frame(sequence, index, work);
  if (result != PICTURE_OK && !sequence.damage_reported) {
    sequence.damage_reported = true;
    std::fprintf(stderr, "quindle: line %d (%s): %s, frame %u: %s (further damaged frames are not reported)\n",
                 layer.line, layer.keyword.c_str(), layer.param1.c_str(), index, picture_result_text(result));
  }
  if (begins_with(layer.param2, "no"))
    copy_nonzero(work, frame);
  else if (begins_with(layer.param2, "additive"))
    add_saturate(frame, work, frame);
}
