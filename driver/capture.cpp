// capture.cpp: the show on a virtual clock, written to files frame by frame.
#include "driver/capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "driver/show.h"
#include "platform/headless.h"
#include "platform/png.h"
#include "platform/sound_openmpt.h"
#include "platform/video_ffmpeg.h"

namespace {

struct CaptureRun {
  CaptureRun(const CaptureOptions& o, std::filesystem::path d) : options(o), dir(std::move(d)) {}

  const CaptureOptions& options;
  std::filesystem::path dir;
  std::int64_t frame_limit = 0;
  VirtualClock clock;
  HeadlessToolkit toolkit;
  OfflineSound* sound = nullptr;
  std::FILE* timeline = nullptr;
  bool progress = false;
  bool write_failed = false;
  std::vector<std::uint32_t> pixels;  // the shown picture as 32-bit pixels, row after row

  // Copies the console's picture (display format, rows `pitch` bytes apart) into pixels.
  void copy_pixels(const Surface& picture) {
    const std::size_t row = std::size_t(picture.width);
    pixels.resize(row * std::size_t(picture.height));
    for (int y = 0; y < picture.height; ++y)
      std::memcpy(&pixels[std::size_t(y) * row], picture.pixels.data() + std::size_t(y) * std::size_t(picture.pitch),
                  row * sizeof(std::uint32_t));
  }

  std::int64_t step = 0;  // the frame's place on the 1/fps grid of a run from the song's start

  // A jump (a start part-way, a loop's wrap) lands on grid frame `to`: the clock goes there.
  void jumped_to(std::int64_t to) {
    step = to;
    clock.set(double(step) / options.fps);
  }

  // Writes frame n, then moves every clock (and the mixed sound) on to frame n + 1.
  void after_frame(const FrameReport& report) {
    const Surface& picture = toolkit.console()->picture();
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(report.frame));
    copy_pixels(picture);
    if (!write_png((dir / name).string(), pixels, picture.width, picture.height)) write_failed = true;

    write_timeline_columns(timeline, report);
    std::fputc('\n', timeline);

    if (progress)
      std::fprintf(stderr, "\rcapturing frame %lld  %.2f s  order %d row %d ", static_cast<long long>(report.frame),
                   report.show_s, report.position.order, report.position.row);

    const std::int64_t next = report.frame + 1;
    const double next_s = double(++step) / options.fps;
    clock.set(next_s);
    sound->render_until(next_s);
    if (next >= frame_limit || write_failed) toolkit.console()->push_key(key_escape);
  }
};

}  // namespace

void write_timeline_columns(std::FILE* file, const FrameReport& report) {
  std::fprintf(file, "%lld\t%.6f\t%d\t%d\t", static_cast<long long>(report.frame), report.show_s,
               report.position.order, report.position.row);
  for (std::size_t i = 0; i < report.drawn.size(); ++i)
    std::fprintf(file, "%s%d.%d", i ? " " : "", report.drawn[i].block, report.drawn[i].layer);
}

int run_capture(const CaptureOptions& options) {
  std::error_code error;
  std::filesystem::path dir = std::filesystem::absolute(options.out_dir, error);
  if (!error) std::filesystem::create_directories(dir, error);
  if (error || options.fps <= 0) {
    std::fprintf(stderr, "quindle: cannot write captures to %s\n", options.out_dir.c_str());
    return 2;
  }

  CaptureRun run{options, dir};
  run.frame_limit = options.max_frames > 0 ? options.max_frames : std::int64_t(options.fps) * default_capture_seconds;
  std::unique_ptr<OfflineSound> sound = make_offline_sound();
  std::unique_ptr<VideoLibrary> video = make_video_library();
  run.sound = sound.get();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> timeline(std::fopen((dir / "timeline.tsv").c_str(), "w"),
                                                           std::fclose);
  if (!timeline || !sound->start_wav((dir / "audio.wav").string())) {
    std::fprintf(stderr, "quindle: cannot write captures to %s\n", dir.c_str());
    return 2;
  }
  run.timeline = timeline.get();
  run.progress = isatty(STDERR_FILENO);

  HeadlessWindowSystem window({true, false});
  Platform platform{&window, &run.toolkit, sound.get(), video.get(), &run.clock};
  ShowOptions show_options;
  show_options.answer = SetupChoice{true, false};
  show_options.script_path = options.script_path;
  show_options.after_frame = [&run](const FrameReport& report) { run.after_frame(report); };
  show_options.start = options.start;
  show_options.loop = options.loop;
  show_options.step_fps = options.fps;
  show_options.jumped_to = [&run](std::int64_t step) { run.jumped_to(step); };

  const int code = run_show(platform, show_options);
  if (std::fclose(timeline.release()) != 0) run.write_failed = true;
  const bool sound_written = sound->finish_wav();
  if (run.progress) std::fputc('\n', stderr);
  if (run.write_failed || !sound_written) {
    std::fprintf(stderr, "quindle: writing frames to %s failed\n", dir.c_str());
    return 2;
  }
  return code;
}
