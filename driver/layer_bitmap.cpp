// layer_bitmap.cpp: the bitmap layer: a full-screen picture laid over the frame (black is
// transparent) or added to it, optionally cross-faded in at one of four speeds. It composes
// in work_buffer and touches the frame only in its last step.
#include "base/saturate.h"
#include "driver/layers.h"
#include "effects/blend.h"

namespace {

// Fade levels per second of show time for "fade1" .. "fade4"; 0 for any other word.
int fade_speed(const std::string& fade) {
  if (begins_with(fade, "fade1")) return 32;
  if (begins_with(fade, "fade2")) return 64;
  if (begins_with(fade, "fade3")) return 128;
  if (begins_with(fade, "fade4")) return 256;
  return 0;
}

// The fade level: counts from the first drawn frame and freezes at 255 once it first passes
// 255 (start_mark -2), for the rest of the show.
void advance_fade(Layer& layer, double show_s) {
  const double level = show_s * fade_speed(layer.param3);
  const std::int32_t whole = saturate_to_int32(level);
  if (layer.start_mark == -1) layer.start_mark = whole;
  if (layer.start_mark != -2 && level != 0)
    layer.local_time = std::int32_t(std::uint32_t(whole) - std::uint32_t(layer.start_mark));
  if (layer.local_time > 255) {
    layer.local_time = 255;
    layer.start_mark = -2;
  }
}

}  // namespace

// The layer uses its picture as one whole 320x200 frame, so no other size will do.
LayerLoad load_bitmap_layer(Layer& layer) {
  return load_layer_picture(layer, frame_width, frame_height);
}

void advance_bitmap_layer(Layer& layer, const FrameContext& context) {
  advance_fade(layer, timer_seconds(*context.show_timer));
}

void draw_bitmap_layer(Layer& layer, const FrameContext& context) {
  const std::span<std::uint32_t> frame = context.frame, work = context.work;
  const std::span<const std::uint32_t> picture = layer.resource.picture;
  std::fill(work.begin(), work.end(), 0u);
  advance_fade(layer, timer_seconds(*context.show_timer));

  if (begins_with(layer.param2, "no"))
    copy_nonzero(picture, work);
  else if (begins_with(layer.param2, "additive"))
    add_saturate(picture, frame, work);
  if (!begins_with(layer.param3, "no") && begins_with(layer.param3, "fade"))
    fade_blend(frame, work, work, layer.local_time);
  // Pixels that came out exactly black leave the frame as it was.
  copy_nonzero(work, frame);
}
