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

// What one frame did, for capture mode, --timeline and tests.
struct FrameReport {
  std::int64_t frame = 0;  // frames shown before this one in this run
  double show_s = 0;
  SongPosition position;
  std::span<const LayerRef> drawn;
  double wall_s = 0;  // the platform clock when the frame was shown, from the show's start
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
  // The author's run (live mode): watch and reload the show's files, keys, overlay.
  bool edit = false;
};

// The clock the show's layers and timer read: the platform clock, moved by the jumps of an
// author's run (starting part-way, looping) so that it reads what a run from the start would.
// In a plain run it reads the platform clock unchanged.
// Unlike the platform clock it goes back when the show jumps back, and it stands still while
// the author's run is paused.
class ShowClock final : public Clock {
 public:
  Clock* base = nullptr;
  double offset_s = 0;
  bool paused = false;
  double paused_s = 0;  // the reading while paused
  double now_s() override { return paused ? paused_s : base->now_s() + offset_s; }
};

// Stops the clock at its present reading, or lets it go on from there.
void show_clock_pause(ShowClock& clock, bool paused);

// A file the show is made from, as it stood when last looked at.
enum WatchedKind : int { WATCHED_MISSING = 0, WATCHED_FILE = 1, WATCHED_OTHER = 2 };
struct WatchedFile {
  std::string path;
  int kind = WATCHED_MISSING;
  std::int64_t mtime_ns = 0;
  std::int64_t size = 0;
  std::uint64_t inode = 0;  // an editor's save by rename makes a new file
};

// What the author's run keeps from frame to frame (driver/author.h).
struct AuthorState {
  bool edit = false;
  bool overlay_shown = true;
  bool paused = false;
  SongPosition home;  // where Home goes: the start the run was given
  std::vector<WatchedFile> watched;
  std::vector<WatchedFile> loaded;  // the data files as they were when the show in use loaded them
  bool change_pending = false;  // a change was seen; the reload waits for a quiet poll
  bool tune_stale = false;      // the tune's file changed and is to be loaded again
  double next_poll_s = 0;
  std::string error;  // why the last reload failed, until one succeeds
  std::string note;   // why the last key did nothing
  double rate_start_s = 0;
  int rate_frames = 0;
  double rate_draw_s = 0;
  double fps = 0;
  double draw_ms = 0;
};

struct Show {
  DataFiles files;  // the names the script gave, as found on the disk
  Script script;
  Music music;
  ShowClock clock;
  double origin_s = 0;  // the show clock's reading when the show began
  std::optional<OrderRange> loop;  // the loop in force (the author's L key changes it)
  AuthorState author;
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

// Layers of every block of the script.
std::size_t layer_total(const Script& script);

// Whether the layer's window holds (order, row): open at (start_order, start_row), closed
// from (end_order, end_row) on.
bool is_layer_open(const Layer& layer, std::int32_t order, std::int32_t row);
