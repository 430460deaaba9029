// show.h: the show from start to end: setup dialog, script, resources, music, display,
// timer, the frame loop and shutdown. The Show record owns everything for the life of the
// run; the platform roles are borrowed, so tests can hand in recording fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "driver/data_files.h"
#include "driver/music.h"
#include "driver/script.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/pixels.h"
#include "platform/sound.h"
#include "platform/video.h"
#include "platform/window.h"

// Exit codes of the program.
constexpr int exit_show_ended = 1;       // the song reached the quit order
constexpr int exit_dialog_cancelled = 1;
constexpr int exit_startup_failed = 0;
constexpr int exit_escape = 0;
constexpr int exit_bad_position = 2;     // --start or --loop names a place the song does not reach

struct Platform {
  WindowSystem* window = nullptr;
  PixelToolkit* toolkit = nullptr;
  SoundLibrary* sound = nullptr;
  VideoLibrary* video = nullptr;
  Clock* clock = nullptr;  // process clock and timer base
};

struct LayerRef {
  int block = 0;
  int layer = 0;
};

// What one frame did, for capture mode and tests.
struct FrameReport {
  std::int64_t frame = 0;
  double show_s = 0;
  SongPosition position;
  std::span<const LayerRef> drawn;
};

// A stretch of the order list, both ends included.
struct OrderRange {
  std::int32_t first = 0;
  std::int32_t last = 0;
};

struct ShowOptions {
  std::optional<SetupChoice> answer;     // answers the setup dialog without showing it
  std::string script_path = "script.txt";
  std::function<void(const FrameReport&)> after_frame;  // called after each frame is shown

  // Authoring. The show begins at `start` and wraps from the end of `loop` to its first order,
  // each time as a run from the song's beginning would have reached that place: on a grid of
  // step_fps frames a second (capture mode's own frame rate), the frame at or past it.
  std::optional<SongPosition> start;
  std::optional<OrderRange> loop;
  int step_fps = 60;
  // Called with the grid frame a jump arrived at, before that frame is drawn: capture mode
  // moves its virtual clock there.
  std::function<void(std::int64_t step)> jumped_to;
};

// The clock the show's layers and timer read: the platform clock, moved by the jumps of an
// author's run (starting part-way, looping) so that it reads what a run from the start would.
// In a plain run it reads the platform clock unchanged.
class ShowClock final : public Clock {
 public:
  Clock* base = nullptr;
  double offset_s = 0;
  double now_s() override { return base->now_s() + offset_s; }
};

struct Show {
  DataFiles files;  // the names the script gave, as found on the disk
  Script script;
  Music music;
  ShowClock clock;
  double origin_s = 0;  // the show clock's reading when the show began
  std::vector<std::uint32_t> frame_buffer;  // the frame the layers draw, copied to `surface` when done
  std::vector<std::uint32_t> work_buffer;
  PixelFormat format;
  std::unique_ptr<Console> console;
  Surface surface;
  Timer show_timer;
  std::vector<LayerRef> drawn;  // sized at start-up for every layer, reused each frame
  std::int64_t frame = 0;
};

enum class TimelineEnd { quit_order, escape };

// Runs the whole show; returns the process exit code.
int run_show(Platform& platform, const ShowOptions& options);

// The frame loop; returns how it ended. The display must be open and the timer running.
TimelineEnd run_timeline(Show& show, Platform& platform, const ShowOptions& options);

// Whether the layer's window holds (order, row): open at (start_order, start_row), closed
// from (end_order, end_row) on.
bool is_layer_open(const Layer& layer, std::int32_t order, std::int32_t row);
