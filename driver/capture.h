// capture.h: capture mode: the show runs with no window and no sound device on a virtual
// clock that advances exactly 1/fps per frame. Frames become PNG files, the sound a WAV
// file, and timeline.tsv records each frame's time, song position and drawn layers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "driver/show.h"

struct CaptureOptions {
  std::string out_dir;
  int fps = 30;
  std::int64_t max_frames = 0;  // 0: until the quit order, at most default_capture_seconds
  std::string script_path = "script.txt";
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

// Runs the show in capture mode; returns the show's exit code (1 at the quit order, 0 when
// the frame limit ended it or start-up failed), or 2 when the output cannot be written.
int run_capture(const CaptureOptions& options);
