// capture.cpp: the show on a virtual clock, written to files frame by frame.
#include "driver/capture.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "base/frame.h"
#include "driver/capture_queue.h"
#include "driver/music.h"
#include "driver/show.h"
#include "platform/headless.h"
#include "platform/png.h"
#include "platform/sound_openmpt.h"
#include "platform/video_ffmpeg.h"
#include "platform/video_out.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Each file is written under ".NAME.part" and renamed when complete, so an interrupted
// capture leaves no half-written file under a name that looks finished.
fs::path part_name(const fs::path& path) { return path.parent_path() / ("." + path.filename().string() + ".part"); }

bool finish_part(const fs::path& path) {
  std::error_code error;
  fs::rename(part_name(path), path, error);
  return !error;
}

void remove_part(const fs::path& path) {
  std::error_code ignored;
  fs::remove(part_name(path), ignored);
}

bool is_frame_name(const std::string& name) {
  if (name.size() != 16 || name.rfind("frame_", 0) != 0 || name.compare(12, 4, ".png") != 0) return false;
  return std::all_of(name.begin() + 6, name.begin() + 12, [](char c) { return c >= '0' && c <= '9'; });
}

bool looks_like_earlier_frame(const std::string& name) {
  return name.rfind("frame_", 0) == 0 && name.size() > 10 && name.compare(name.size() - 4, 4, ".png") == 0;
}

// The progress line: frames, show time of the total, capture speed and time left.
struct Progress {
  bool shown = false;
  double total_s = 0;  // show time the capture will reach, as far as it is known
  double first_s = -1;  // show time of the first frame (a capture may start part-way)
  Clock::time_point start = Clock::now();
  Clock::time_point last = start;

  void update(std::int64_t frames, double show_s, bool final) {
    const Clock::time_point now = Clock::now();
    if (!shown || (!final && now - last < std::chrono::milliseconds(250))) return;
    last = now;
    const double wall_s = std::chrono::duration<double>(now - start).count();
    const double rate = wall_s > 0 ? double(frames) / wall_s : 0;
    const double speed = wall_s > 0 ? (show_s - first_s) / wall_s : 0;
    const double left_s = speed > 0 ? std::max(0.0, total_s - show_s) / speed : 0;
    std::fprintf(stderr, "\rframe %lld  %.1f s of %.1f s  %.0f frames/s  %.0f s left ", static_cast<long long>(frames),
                 show_s, total_s, rate, final ? 0.0 : left_s);
    if (final) std::fputc('\n', stderr);
  }
};

struct CaptureRun {
  explicit CaptureRun(const CaptureOptions& o) : options(o) {}

  const CaptureOptions& options;
  std::int64_t frame_limit = 0;
  VirtualClock clock;
  HeadlessToolkit toolkit;
  OfflineSound* sound = nullptr;
  CaptureQueue* queue = nullptr;
  CaptureFrame* filling = nullptr;  // the slot the mixed sound goes to, during render_until
  std::FILE* timeline = nullptr;
  Progress progress;
  std::int64_t frames_done = 0;
  bool stopped = false;  // the capture ended the show (frame limit or a failed write)
  bool keep_sound = false;  // each frame carries the sound mixed while it was shown
  std::int64_t step = 0;  // the frame's place on the 1/fps grid of a run from the song's start

  // A jump (a start part-way, a loop's wrap) lands on grid frame `to`: the clock goes there.
  void jumped_to(std::int64_t to) {
    step = to;
    clock.set(double(step) / options.fps);
  }

  // Hands frame n to the encoders, then moves every clock (and the mixed sound) on to frame n + 1.
  void after_frame(const FrameReport& report) {
    CaptureFrame& frame = queue->acquire();
    const Surface& picture = toolkit.console()->picture();
    frame.index = report.frame;
    // The console's rows are `pitch` bytes apart; the frame's are packed.
    for (int y = 0; y < picture.height && y < frame_height; ++y)
      std::memcpy(frame.pixels.data() + std::size_t(y) * frame_width,
                  picture.pixels.data() + std::size_t(y) * std::size_t(picture.pitch), std::size_t(frame_width) * 4);

    write_timeline_columns(timeline, report);
    std::fputc('\n', timeline);

    const std::int64_t next = report.frame + 1;
    const double next_s = double(++step) / options.fps;
    clock.set(next_s);
    frame.audio.clear();
    filling = &frame;
    sound->render_until(next_s);
    filling = nullptr;
    queue->submit(frame);
    frames_done = next;
    if (progress.first_s < 0) {
      progress.first_s = report.show_s;
      if (options.max_frames > 0) progress.total_s = report.show_s + double(options.max_frames) / options.fps;
    }
    progress.update(next, report.show_s, false);
    if (next >= frame_limit || queue->failed() || std::ferror(timeline)) {
      toolkit.console()->push_key(key_escape);
      stopped = true;
    }
  }
};

// How much show time the capture will cover, for the progress line.
double expected_seconds(const CaptureOptions& options) {
  if (options.max_frames > 0) return double(options.max_frames) / options.fps;
  double seconds = default_capture_seconds;
  if (std::optional<Script> script = load_script(options.script_path)) {
    const fs::path tune = fs::path(options.script_path).parent_path() / script->tune;
    const double at_quit = tune_seconds_at_order(tune_file_callbacks(), tune.c_str(), script->quit_order);
    if (at_quit >= 0) seconds = std::min(seconds, at_quit);
  }
  return seconds;
}

int output_error(const std::string& message) {
  std::fprintf(stderr, "quindle: %s\n", message.c_str());
  return capture_output_error;
}

// A folder for PNG frames: refused when it holds frames of an earlier capture, unless forced,
// in which case only the files capture writes are removed.
std::string prepare_folder(const fs::path& dir, bool force) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) return "cannot create the capture folder " + dir.string() + ": " + error.message();
  std::vector<fs::path> ours;
  std::string earlier;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (is_capture_file(name) && it->is_regular_file()) ours.push_back(it->path());
    if (earlier.empty() && looks_like_earlier_frame(name)) earlier = name;
  }
  if (error) return "cannot read the capture folder " + dir.string() + ": " + error.message();
  if (!earlier.empty() && !force)
    return dir.string() + " already holds frames of an earlier capture (" + earlier +
           "); use --force to replace them, or capture into an empty folder";
  for (const fs::path& path : ours)
    if (!fs::remove(path, error) && error) return "cannot remove " + path.string() + ": " + error.message();
  return {};
}

// Names of media files capture does not write: taken for a mistake rather than a folder name.
bool is_other_media_name(const fs::path& path) {
  static const char* const extensions[] = {".avi", ".mov", ".m4v", ".mpg", ".mpeg", ".ogv", ".ogg", ".flv", ".wmv",
                                           ".ts",  ".mts", ".3gp", ".gif", ".png", ".jpg", ".wav", ".mp3"};
  std::string ext = path.extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return std::find(std::begin(extensions), std::end(extensions), ext) != std::end(extensions);
}

int worker_count(const CaptureOptions& options) {
  if (options.encoder_threads > 0) return options.encoder_threads;
  return int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

// Runs the show into the queue; the capture's exit code as far as the show decides it.
int run_into(CaptureRun& run, OfflineSound& sound, const fs::path& timeline_path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> timeline(std::fopen(part_name(timeline_path).c_str(), "w"),
                                                           std::fclose);
  if (!timeline) return output_error("cannot create " + part_name(timeline_path).string());
  run.timeline = timeline.get();
  run.sound = &sound;
  if (run.keep_sound)
    sound.set_sample_sink([&run](std::span<const std::int16_t> samples) {
      if (run.filling) run.filling->audio.insert(run.filling->audio.end(), samples.begin(), samples.end());
    });
  run.frame_limit =
      run.options.max_frames > 0 ? run.options.max_frames : std::int64_t(run.options.fps) * default_capture_seconds;
  run.progress.shown = run.options.progress;
  if (run.progress.shown) run.progress.total_s = expected_seconds(run.options);

  std::unique_ptr<VideoLibrary> video = make_video_library();
  HeadlessWindowSystem window({true, false});
  Platform platform{&window, &run.toolkit, &sound, video.get(), &run.clock};
  ShowOptions show_options;
  show_options.answer = SetupChoice{true, false};
  show_options.script_path = run.options.script_path;
  show_options.after_frame = [&run](const FrameReport& report) { run.after_frame(report); };
  show_options.start = run.options.start;
  show_options.loop = run.options.loop;
  show_options.step_fps = run.options.fps;
  show_options.jumped_to = [&run](std::int64_t step) { run.jumped_to(step); };

  const int code = run_show(platform, show_options);
  const bool encoded = run.queue->finish();
  sound.set_sample_sink(nullptr);
  run.progress.update(run.frames_done, double(run.step) / run.options.fps, true);
  const bool timeline_written = std::fflush(timeline.get()) == 0 && !std::ferror(timeline.get()) &&
                                std::fclose(timeline.release()) == 0;
  timeline.reset();
  if (code != exit_show_ended && !run.stopped) {
    remove_part(timeline_path);
    // A --start or --loop the song does not hold is a usage error; anything else kept the
    // show from starting.
    return code == exit_bad_position ? capture_output_error : capture_show_failed;
  }
  if (!encoded || !timeline_written || !finish_part(timeline_path)) {
    remove_part(timeline_path);
    return capture_output_error;
  }
  return capture_complete;
}

int capture_to_folder(const CaptureOptions& options, const fs::path& dir) {
  if (std::string problem = prepare_folder(dir, options.force); !problem.empty()) return output_error(problem);
  std::unique_ptr<OfflineSound> sound = make_offline_sound();
  const fs::path wav = dir / "audio.wav";
  if (!sound->start_wav(part_name(wav).string())) return output_error("cannot create " + part_name(wav).string());

  std::string failure;
  std::mutex failure_mutex;
  CaptureQueue queue(2 * worker_count(options) + 2, worker_count(options), 0, [&](const CaptureFrame& frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(frame.index));
    const fs::path path = dir / name;
    if (write_png(part_name(path).string(), frame.pixels, frame_width, frame_height) && finish_part(path)) return true;
    remove_part(path);
    std::lock_guard lock(failure_mutex);
    if (failure.empty()) failure = "cannot write " + path.string();
    return false;
  });
  CaptureRun run(options);
  run.queue = &queue;
  int code = run_into(run, *sound, dir / "timeline.tsv");
  const bool sound_written = sound->finish_wav();
  if (code == capture_complete && !(sound_written && finish_part(wav))) {
    failure = "cannot write " + wav.string();
    code = capture_output_error;
  }
  if (code != capture_complete) remove_part(wav);
  if (code == capture_output_error) std::fprintf(stderr, "quindle: %s\n", failure.empty() ? "capture failed" : failure.c_str());
  return code;
}

int capture_to_video(const CaptureOptions& options, const fs::path& file, VideoKind kind) {
  VideoOutSettings settings;
  settings.path = file.string();
  settings.kind = kind;
  settings.width = options.width;
  settings.height = options.height;
  settings.source_width = frame_width;
  settings.source_height = frame_height;
  settings.fps = options.fps;
  settings.sample_rate = video_kind_sample_rate(kind);
  settings.threads = options.encoder_threads;
  std::string error;
  VideoOutPtr out = video_out_open(settings, &error);
  if (!out) return output_error("cannot capture to " + file.string() + ": " + error);

  const std::size_t samples_per_frame = 2 * (std::size_t(settings.sample_rate / options.fps) + 2);
  CaptureQueue queue(4, 1, samples_per_frame,
                     [&out](const CaptureFrame& frame) { return video_out_frame(*out, frame.pixels, frame.audio); });
  std::unique_ptr<OfflineSound> sound = make_offline_sound(settings.sample_rate);
  CaptureRun run(options);
  run.queue = &queue;
  run.keep_sound = true;
  const int code = run_into(run, *sound, fs::path(file.string() + ".timeline.tsv"));
  if (code != capture_complete) {
    if (code == capture_output_error && !video_out_error(*out).empty())
      std::fprintf(stderr, "quindle: %s\n", video_out_error(*out).c_str());
    return code;
  }
  if (!video_out_finish(*out)) {
    std::error_code ignored;
    fs::remove(file.string() + ".timeline.tsv", ignored);
    return output_error(video_out_error(*out));
  }
  return capture_complete;
}

}  // namespace

void write_timeline_columns(std::FILE* file, const FrameReport& report) {
  std::fprintf(file, "%lld\t%.6f\t%d\t%d\t", static_cast<long long>(report.frame), report.show_s,
               report.position.order, report.position.row);
  for (std::size_t i = 0; i < report.drawn.size(); ++i)
    std::fprintf(file, "%s%d.%d", i ? " " : "", report.drawn[i].block, report.drawn[i].layer);
}

bool is_capture_file(const std::string& name) {
  std::string base = name;
  if (base.size() > 6 && base[0] == '.' && base.compare(base.size() - 5, 5, ".part") == 0)
    base = base.substr(1, base.size() - 6);
  return is_frame_name(base) || base == "audio.wav" || base == "timeline.tsv";
}

int run_capture(const CaptureOptions& options) {
  if (options.fps <= 0) return output_error("the frame rate must be at least 1");
  std::error_code error;
  const fs::path out = fs::absolute(options.out, error);
  if (error) return output_error("cannot capture to " + options.out);
  VideoKind kind;
  if (video_kind_of(out.string(), &kind) && !fs::is_directory(out)) return capture_to_video(options, out, kind);
  if (is_other_media_name(out) && !fs::is_directory(out))
    return output_error("cannot capture to " + options.out + ": a video file must end in .mp4, .webm or .mkv (" +
                        "to capture into a folder of that name, create the folder first)");
  return capture_to_folder(options, out);
}
