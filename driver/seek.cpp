// seek.cpp: positions on the command line, and moving the show to one of them exactly.
#include "driver/seek.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/layers.h"
#include "effects/grid_warp.h"

namespace {

// One hexadecimal number of one or two digits up to `end`; false for anything else.
bool parse_hex(const char* text, const char* end, std::int32_t* out) {
  const std::ptrdiff_t length = end - text;
  if (length < 1 || length > 2) return false;
  std::int32_t value = 0;
  for (const char* p = text; p < end; ++p) {
    const char c = *p;
    int digit = 0;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    value = value * 16 + digit;
  }
  *out = value;
  return true;
}

void reset_show_layers(Show& show) {
  for (PatternBlock& block : show.script.blocks)
    for (Layer& layer : block.layers) reset_layer(layer);
  // The warp grid is shared by every warp layer and starts out empty.
  warp_grid() = WarpGrid{};
}

// Every layer open at the position moves on by one frame, as draw_frame would draw them.
void advance_open_layers(Show& show, const SongPosition& position, const FrameContext& context) {
  for (PatternBlock& block : show.script.blocks) {
    if (position.order < block.first_order || position.order > block.last_order) continue;
    for (Layer& layer : block.layers)
      if (is_layer_open(layer, position.order, position.row)) advance_layer(layer, context);
  }
}

}  // namespace

bool parse_song_position(const char* text, SongPosition* out) {
  const char* dot = std::strchr(text, '.');
  const char* end = text + std::strlen(text);
  SongPosition position;
  if (!parse_hex(text, dot ? dot : end, &position.order)) return false;
  if (dot && !parse_hex(dot + 1, end, &position.row)) return false;
  *out = position;
  return true;
}

bool parse_order_range(const char* text, OrderRange* out) {
  const char* dots = std::strstr(text, "..");
  if (!dots) return false;
  OrderRange range;
  if (!parse_hex(text, dots, &range.first) || !parse_hex(dots + 2, text + std::strlen(text), &range.last))
    return false;
  if (range.first > range.last) return false;
  *out = range;
  return true;
}

std::string format_song_position(const SongPosition& position) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X.%02X", unsigned(position.order & 0xFF), unsigned(position.row & 0xFF));
  return text;
}

bool position_before(const SongPosition& a, const SongPosition& b) {
  return a.order < b.order || (a.order == b.order && a.row < b.row);
}

int seek_check(Show& show, const SongPosition& target) {
  Music& music = show.music;
  if (!music.song) return target.order == 0 && target.row == 0 ? SEEK_OK : SEEK_NO_SONG;
  const int rows = music.sound->get_pattern_rows(music.song, target.order);
  if (rows <= 0) return SEEK_PAST_SONG;
  if (target.row >= rows) return SEEK_PAST_PATTERN;
  if (target.order >= show.script.quit_order) return SEEK_AFTER_QUIT;
  return SEEK_OK;
}

std::string seek_error_text(Show& show, int result, const SongPosition& target, const std::string& what) {
  Music& music = show.music;
  char text[256];
  const std::string at = format_song_position(target);
  switch (result) {
    case SEEK_NO_SONG:
      std::snprintf(text, sizeof text, "%s: no tune plays (check the script's tune line), so the show stays at 00.00",
                    what.c_str());
      break;
    case SEEK_PAST_SONG: {
      int orders = 0;
      while (orders < 256 && music.sound->get_pattern_rows(music.song, orders) > 0) ++orders;
      std::snprintf(text, sizeof text, "%s: the song has no order %02X; its orders run from 00 to %02X", what.c_str(),
                    unsigned(target.order & 0xFF), unsigned((orders > 0 ? orders - 1 : 0) & 0xFF));
      break;
    }
    case SEEK_PAST_PATTERN:
      std::snprintf(text, sizeof text, "%s: order %02X has rows 00 to %02X only", what.c_str(),
                    unsigned(target.order & 0xFF),
                    unsigned((music.sound->get_pattern_rows(music.song, target.order) - 1) & 0xFF));
      break;
    case SEEK_AFTER_QUIT:
      std::snprintf(text, sizeof text, "%s: the show ends at its quit order %02X, before %s", what.c_str(),
                    unsigned(show.script.quit_order & 0xFF), at.c_str());
      break;
    case SEEK_NOT_REACHED:
      std::snprintf(text, sizeof text, "%s: the song does not reach %s in its first %d seconds", what.c_str(),
                    at.c_str(), int(seek_limit_s));
      break;
    default: std::snprintf(text, sizeof text, "%s: cannot go to %s", what.c_str(), at.c_str()); break;
  }
  return text;
}

int seek_show(Show& show, const SongPosition& target, int fps, std::int64_t* step, SongPosition* position) {
  if (const int result = seek_check(show, target); result != SEEK_OK) return result;
  Music& music = show.music;
  reset_show_layers(show);
  if (music.song) music.sound->rewind_song(music.song);

  // The layers read a clock and a timer that stand still between grid frames.
  VirtualClock grid;
  Timer timer;
  timer.clock = &grid;
  timer.start_s = show.origin_s;
  timer.running = true;
  FrameContext context;
  context.work = show.work_buffer;
  context.show_timer = &timer;
  context.process_clock = &grid;

  for (std::int64_t k = 0;; ++k) {
    const double t = double(k) / fps;
    grid.set(show.origin_s + t);
    SongPosition now;
    music_position(music, &now);
    if (!position_before(now, target)) {
      *step = k;
      *position = now;
      return SEEK_OK;
    }
    if (t > seek_limit_s) return SEEK_NOT_REACHED;
    advance_open_layers(show, now, context);
    if (music.song) music.sound->skip_song(music.song, double(k + 1) / fps);
  }
}

void resume_after_seek(Show& show, Clock& platform_clock, int fps, std::int64_t step) {
  music_play(show.music);
  const double t = double(step) / fps;
  // In capture mode the platform clock already reads t, and the offset comes out as 0 exactly.
  show.clock.offset_s = show.origin_s + t - platform_clock.now_s();
  show.show_timer.clock = &show.clock;
  show.show_timer.start_s = show.origin_s;
  show.show_timer.running = true;
}

int jump_show(Show& show, Platform& platform, const ShowOptions& options, const SongPosition& target,
              SongPosition* position) {
  std::int64_t step = 0;
  const int result = seek_show(show, target, options.step_fps, &step, position);
  if (result != SEEK_OK) return result;
  if (options.jumped_to) options.jumped_to(step);
  resume_after_seek(show, *platform.clock, options.step_fps, step);
  return SEEK_OK;
}

int check_authoring_options(Show& show, const ShowOptions& options, std::string* message) {
  if (options.start)
    if (const int result = seek_check(show, *options.start); result != SEEK_OK) {
      *message = seek_error_text(show, result, *options.start, "--start " + format_song_position(*options.start));
      return result;
    }
  if (!options.loop) return SEEK_OK;
  const OrderRange loop = *options.loop;
  char what[32];
  std::snprintf(what, sizeof what, "--loop %02X..%02X", unsigned(loop.first & 0xFF), unsigned(loop.last & 0xFF));
  for (const std::int32_t order : {loop.first, loop.last})
    if (const int result = seek_check(show, SongPosition{order, 0}); result != SEEK_OK) {
      *message = seek_error_text(show, result, SongPosition{order, 0}, what);
      return result;
    }
  if (options.start && (options.start->order < loop.first || options.start->order > loop.last)) {
    *message = std::string(what) + ": --start " + format_song_position(*options.start) +
               " lies outside the loop; start inside it, or leave --start out to start at its first order";
    return SEEK_PAST_SONG;
  }
  return SEEK_OK;
}
