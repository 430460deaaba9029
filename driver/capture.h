// capture.h: capture mode: the show runs with no window and no sound device on a virtual
// clock that advances exactly 1/fps per frame. The output is either a folder (each frame a
// PNG file, the sound a WAV file, timeline.tsv) or one video file chosen by its extension
// (.mp4, .webm, .mkv) with FILE.timeline.tsv beside it. timeline.tsv records each frame's
// time, song position and drawn layers. Finished frames are encoded on worker threads while
// the show goes on; the output is the same bytes however many threads there are.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "driver/show.h"

struct CaptureOptions {
  std::string out;  // a folder, or a video file named .mp4, .webm or .mkv
  int fps = 30;
  std::int64_t max_frames = 0;  // 0: until the quit order, at most default_capture_seconds
  std::string script_path = "script.txt";
  bool force = false;       // a folder's earlier capture files are removed rather than refused
  int width = 1280;         // the picture size in a video file
  int height = 960;
  int encoder_threads = 0;  // PNG writers, or the video codecs' threads; 0: one per core
  bool progress = false;    // a progress line on standard error
  // Start part-way and loop a stretch (see ShowOptions). Frames are numbered from 0 in the
  // order they are written; their show time, position and layers are those of a full run.
  std::optional<SongPosition> start;
  std::optional<OrderRange> loop;
};

// Without --frames a capture stops after this much show time, so a show that never
// reaches its quit order still ends.
constexpr int default_capture_seconds = 300;

// A timeline line's columns, without its end: frame, show seconds, order, row, and the drawn
// layers as block.layer separated by blanks (tabs between columns).
void write_timeline_columns(std::FILE* file, const FrameReport& report);

// Exit codes of capture mode (live mode keeps its own).
constexpr int capture_complete = 0;       // the quit order was reached or max_frames written
constexpr int capture_output_error = 2;   // the output cannot be written (or the options are wrong)
constexpr int capture_show_failed = 3;    // the show could not start; the reason is on standard error

// Runs the show in capture mode and returns one of the codes above. An output that could not
// be completed leaves nothing under its final names.
int run_capture(const CaptureOptions& options);

// Whether a file name in a capture folder is one that capture writes: frame_NNNNNN.png,
// audio.wav, timeline.tsv, and the temporary names they are written under.
bool is_capture_file(const std::string& name);
