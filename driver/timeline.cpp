// timeline.cpp: the frame loop. The song position decides which layers draw; each layer's
// own clock decides what it draws. There is no frame pacing: motion follows the clocks.
#include <algorithm>
#include <cstring>

#include "driver/author.h"
#include "driver/layers.h"
#include "driver/seek.h"
#include "driver/show.h"

bool is_layer_open(const Layer& layer, std::int32_t order, std::int32_t row) {
  if (order < layer.start_order || order > layer.end_order) return false;
  if (order == layer.end_order && row >= layer.end_row) return false;
  if (order == layer.start_order && row < layer.start_row) return false;
  return true;
}

namespace {

// Draws every open layer of every block that holds the order, in file order.
void draw_frame(Show& show, const SongPosition& position, const FrameContext& context) {
  show.drawn.clear();
  for (std::size_t b = 0; b < show.script.blocks.size(); ++b) {
    PatternBlock& block = show.script.blocks[b];
    if (position.order < block.first_order || position.order > block.last_order) continue;
    for (std::size_t l = 0; l < block.layers.size(); ++l) {
      Layer& layer = block.layers[l];
      if (!is_layer_open(layer, position.order, position.row)) continue;
      draw_layer(layer, context);
      show.drawn.push_back({int(b), int(l)});
    }
  }
}

}  // namespace

TimelineEnd run_timeline(Show& show, Platform& platform, const ShowOptions& options) {
  SongPosition position;  // (0, 0) before the first frame
  const bool edit = show.author.edit;
  for (;; ++show.frame) {
    // The frame in which the song first reports the quit order is still drawn and shown. An
    // author's run goes back to where it started instead, and stays open.
    if (position.order >= show.script.quit_order) {
      if (!edit) return TimelineEnd::quit_order;
      author_key(show, platform, options, key_home, &position);
    }
    music_position(show.music, &position);
    // Leaving the loop's orders, the show goes back to its first as if it had started there.
    if (show.loop && (position.order < show.loop->first || position.order > show.loop->last))
      if (jump_show(show, platform, options, SongPosition{show.loop->first, 0}, &position) != SEEK_OK)
        return TimelineEnd::escape;
    const double draw_start_s = edit ? platform.clock->now_s() : 0;

    std::fill(show.frame_buffer.begin(), show.frame_buffer.end(), 0u);
    FrameContext context;
    context.frame = show.frame_buffer;
    context.work = show.work_buffer;
    context.show_timer = &show.show_timer;
    context.process_clock = &show.clock;
    draw_frame(show, position, context);
    std::memcpy(surface_lock(show.surface), show.frame_buffer.data(), show.frame_buffer.size() * sizeof(std::uint32_t));
    surface_unlock(show.surface);
    if (edit) author_after_draw(show, platform, position, platform.clock->now_s() - draw_start_s);
    show.console->copy_from(show.surface);
    show.console->update();

    if (options.after_frame)
      options.after_frame({show.frame, timer_seconds(show.show_timer), position, show.drawn,
                           platform.clock->now_s() - show.origin_s});

    // Escape anywhere in the queue ends the show in this frame; other keys are dropped, but
    // in an author's run, which has keys of its own.
    while (show.console->key_waiting()) {
      const int key = show.console->read_key();
      if (key == key_escape) return TimelineEnd::escape;
      if (edit) author_key(show, platform, options, key, &position);
    }
    if (edit) author_watch(show, platform, options, &position);
  }
}
