// main.cpp: the quindle command line: live mode (setup dialog, window or full screen,
// sound) or capture mode (frames and sound to files on a virtual clock).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "driver/capture.h"
#include "driver/seek.h"
#include "driver/show.h"
#include "platform/live.h"
#include "platform/sound_openmpt.h"
#include "platform/video_ffmpeg.h"

namespace {

const char usage[] =
    "usage: quindle [options]\n"
    "Plays the show described by script.txt in the working directory.\n"
    "\n"
    "  --windowed          skip the setup dialog and play in a 640x480 window\n"
    "  --fullscreen        skip the setup dialog and play full screen\n"
    "  -C DIR              run the show in DIR\n"
    "  --capture DIR       no window and no sound device: write each frame as DIR/frame_NNNNNN.png,\n"
    "                      the sound as DIR/audio.wav and DIR/timeline.tsv\n"
    "  --fps N             capture frames per second (default 30)\n"
    "  --frames N          stop the capture after N frames (default: the quit order, at most 5 minutes)\n"
    "\n"
    "Authoring (live and capture):\n"
    "  --start ORDER[.ROW] begin at that song position (hexadecimal, as the script writes it: 5, 5.20),\n"
    "                      looking exactly as if the show had played from the start\n"
    "  --loop A..B         after the end of order B go back to order A (hexadecimal, A not after B);\n"
    "                      without --start the show begins at A\n"
    "  --edit              live only, in a window unless --fullscreen: reload script.txt and its files\n"
    "                      when they are saved, at the same song position; keys: Space pause,\n"
    "                      Left/Right order, Up/Down row, PgUp/PgDn 16 rows, Home start, L loop this\n"
    "                      order, R reload, Tab overlay, Escape end\n"
    "  --timeline FILE     live only: write a line per frame shown (a capture's timeline.tsv line\n"
    "                      and the seconds since the show started when it was shown)\n"
    "  --help              show this help\n"
    "  --version           show the version\n"
    "\n"
    "Exit code: 1 when the show reached its quit order or the dialog was cancelled,\n"
    "0 after Escape or a start-up failure, 2 for a usage or output error.\n";

bool parse_count(const char* text, long long min, long long* out) {
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (!*text || *end || value < min) return false;
  *out = value;
  return true;
}

int usage_error(const char* message, const char* arg) {
  std::fprintf(stderr, "quindle: %s%s\n%s", message, arg, "Try 'quindle --help'.\n");
  return 2;
}

// One line per frame shown: the capture's columns, then the wall-clock time of the frame.
void write_live_timeline_line(std::FILE* file, const FrameReport& report) {
  write_timeline_columns(file, report);
  std::fprintf(file, "\t%.6f\n", report.wall_s);
  std::fflush(file);  // read while the show runs
}

int run_live(ShowOptions options, const std::string& timeline_path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> timeline(nullptr, std::fclose);
  if (!timeline_path.empty()) {
    timeline.reset(std::fopen(timeline_path.c_str(), "w"));
    if (!timeline) {
      std::fprintf(stderr, "quindle: cannot write the timeline %s: %s\n", timeline_path.c_str(), std::strerror(errno));
      return 2;
    }
    options.after_frame = [file = timeline.get()](const FrameReport& report) { write_live_timeline_line(file, report); };
  }
  std::unique_ptr<WindowSystem> window = make_live_window_system();
  std::unique_ptr<PixelToolkit> toolkit = window ? make_live_toolkit() : nullptr;
  if (!window || !toolkit) {
    std::fprintf(stderr, "quindle: no display available; use --capture DIR to render the show to files\n");
    return exit_dialog_cancelled;
  }
  SteadyClock clock;
  std::unique_ptr<SoundLibrary> sound = make_live_sound();
  std::unique_ptr<VideoLibrary> video = make_video_library();
  Platform platform{window.get(), toolkit.get(), sound.get(), video.get(), &clock};
  return run_show(platform, options);
}

}  // namespace

int main(int argc, char** argv) {
  ShowOptions show_options;
  CaptureOptions capture;
  bool capturing = false;
  std::string directory;
  std::string timeline_path;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    long long count = 0;
    if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
      std::fputs(usage, stdout);
      return 0;
    } else if (!std::strcmp(arg, "--version")) {
      std::printf("quindle %s\n", QUINDLE_VERSION);
      return 0;
    } else if (!std::strcmp(arg, "--windowed")) {
      show_options.answer = SetupChoice{true, false};
    } else if (!std::strcmp(arg, "--fullscreen")) {
      show_options.answer = SetupChoice{true, true};
    } else if (!std::strcmp(arg, "-C")) {
      const char* dir = value();
      if (!dir) return usage_error("-C needs a directory", "");
      directory = dir;
    } else if (!std::strcmp(arg, "--capture")) {
      const char* dir = value();
      if (!dir) return usage_error("--capture needs a directory", "");
      capture.out_dir = dir;
      capturing = true;
    } else if (!std::strcmp(arg, "--fps")) {
      const char* n = value();
      if (!n || !parse_count(n, 1, &count) || count > 1000) return usage_error("--fps needs a number from 1 to 1000", "");
      capture.fps = int(count);
    } else if (!std::strcmp(arg, "--start")) {
      const char* at = value();
      SongPosition position;
      if (!at || !parse_song_position(at, &position))
        return usage_error("--start needs ORDER or ORDER.ROW in hexadecimal, for example 5 or 5.20", "");
      show_options.start = position;
    } else if (!std::strcmp(arg, "--loop")) {
      const char* orders = value();
      OrderRange range;
      if (!orders || !parse_order_range(orders, &range))
        return usage_error("--loop needs two orders A..B in hexadecimal with A not after B, for example 3..7", "");
      show_options.loop = range;
    } else if (!std::strcmp(arg, "--edit")) {
      show_options.edit = true;
    } else if (!std::strcmp(arg, "--timeline")) {
      const char* file = value();
      if (!file) return usage_error("--timeline needs a file name", "");
      timeline_path = file;
    } else if (!std::strcmp(arg, "--frames")) {
      const char* n = value();
      if (!n || !parse_count(n, 1, &count)) return usage_error("--frames needs a positive number", "");
      capture.max_frames = count;
    } else {
      return usage_error("unknown option ", arg);
    }
  }

  if (capturing && show_options.edit)
    return usage_error("--edit is for live mode; leave out --capture, or --edit", "");
  if (capturing && !timeline_path.empty())
    return usage_error("--timeline is for live mode; a capture writes its own timeline.tsv", "");
  // An author's run opens a window unless told otherwise.
  if (show_options.edit && !show_options.answer) show_options.answer = SetupChoice{true, false};
  if (!timeline_path.empty()) {
    // Named relative to where quindle was started, like the capture directory.
    std::error_code error;
    timeline_path = std::filesystem::absolute(timeline_path, error).string();
  }
  if (capturing) {
    // The capture directory is named relative to where quindle was started, not to -C.
    std::error_code error;
    capture.out_dir = std::filesystem::absolute(capture.out_dir, error).string();
  }
  if (!directory.empty() && chdir(directory.c_str()) != 0) {
    std::fprintf(stderr, "quindle: cannot enter %s: %s\n", directory.c_str(), std::strerror(errno));
    return 2;
  }
  capture.start = show_options.start;
  capture.loop = show_options.loop;
  return capturing ? run_capture(capture) : run_live(show_options, timeline_path);
}
