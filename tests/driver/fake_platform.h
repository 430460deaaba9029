// fake_platform.h: recording stand-ins for the platform roles. Every call of interest is
// appended to one shared log, so tests can check what start-up did, in which order, and
// what it did not do.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/show.h"
#include "platform/clock.h"

struct CallLog {
  std::vector<std::string> lines;
  void add(std::string line) { lines.push_back(std::move(line)); }
  // Index of the first line equal to `line`, or -1.
  int index_of(const std::string& line) const {
    auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : int(it - lines.begin());
  }
  bool contains(const std::string& line) const { return index_of(line) >= 0; }
};

class FakeWindow final : public WindowSystem {
 public:
  explicit FakeWindow(CallLog& log) : log_(log) {}
  SetupChoice answer{true, true};
  SetupChoice run_setup_dialog() override {
    log_.add("dialog");
    return answer;
  }
  void message_box(std::string_view text, std::string_view caption) override {
    log_.add("message_box " + std::string(text) + " | " + std::string(caption));
  }
  void screen_size(int* w, int* h) override {
    log_.add("screen_size");
    *w = 1024;
    *h = 768;
  }

 private:
  CallLog& log_;
};

// What the console was last given: the frame's pixel (160, 100) and the overlay's text.
struct ConsoleView {
  std::uint32_t pixel = 0;
  std::string overlay;
};

// Keys arrive frame by frame: each update makes the next entry of keys_per_frame waiting.
class FakeConsole final : public Console {
 public:
  FakeConsole(CallLog& log, std::deque<std::vector<int>>& keys, int& frames, ConsoleView& view)
      : log_(log), keys_per_frame_(keys), frames_(frames), view_(view) {}
  ~FakeConsole() override { log_.add("console_destroyed"); }
  bool set_option(std::string_view option) override {
    log_.add("option " + std::string(option));
    return true;
  }
  bool open(std::string_view title, int w, int h, const PixelFormat& f) override {
    log_.add("open " + std::string(title) + " " + std::to_string(w) + "x" + std::to_string(h) + " " +
             std::to_string(f.bits));
    return true;
  }
  void place_window(int x, int y, int w, int h) override {
    log_.add("place " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) + "x" +
             std::to_string(h));
  }
  void copy_from(const Surface& surface) override {
    ++frames_;
    if (surface.width > 160 && surface.height > 100)
      std::memcpy(&view_.pixel, surface.pixels.data() + 100 * std::size_t(surface.pitch) + 160 * 4, 4);
  }
  void set_overlay(std::string_view text) override { view_.overlay = text; }
  void update() override {
    waiting_.clear();
    if (keys_per_frame_.empty()) return;
    waiting_.assign(keys_per_frame_.front().begin(), keys_per_frame_.front().end());
    keys_per_frame_.pop_front();
  }
  bool key_waiting() override { return !waiting_.empty(); }
  int read_key() override {
    const int k = waiting_.front();
    waiting_.pop_front();
    return k;
  }
  void close() override { log_.add("console_close"); }

 private:
  CallLog& log_;
  std::deque<std::vector<int>>& keys_per_frame_;
  int& frames_;
  ConsoleView& view_;
  std::deque<int> waiting_;
};

class FakeToolkit final : public PixelToolkit {
 public:
  explicit FakeToolkit(CallLog& log) : log_(log) {}
  std::deque<std::vector<int>> keys_per_frame;
  int frames = 0;  // frames copied to the console
  ConsoleView view;
  std::unique_ptr<Console> create_console() override {
    log_.add("create_console");
    return std::make_unique<FakeConsole>(log_, keys_per_frame, frames, view);
  }

 private:
  CallLog& log_;
};

class FakeSound final : public SoundLibrary {
 public:
  explicit FakeSound(CallLog& log) : log_(log) {}
  bool init_ok = true;
  bool load_ok = true;
  int error = SOUND_OK;
  std::vector<std::pair<int, int>> positions{{0, 0}};  // frame by frame; the last one repeats
  int order_reads = 0;

  void set_output(int o) override { log_.add("set_output " + std::to_string(o)); }
  void set_file_callbacks(const TuneFileCallbacks&) override { log_.add("set_file_callbacks"); }
  void set_driver(int d) override { log_.add("set_driver " + std::to_string(d)); }
  void set_mixer(int m) override { log_.add("set_mixer " + std::to_string(m)); }
  bool init(int rate, int channels, unsigned flags) override {
    log_.add("init " + std::to_string(rate) + " " + std::to_string(channels) + " " + std::to_string(flags));
    return init_ok;
  }
  int get_error() override { return error; }
  ::Song* load_song(const char* name) override {
    log_.add("load_song " + std::string(name));
    return load_ok ? reinterpret_cast<::Song*>(&song_token_) : nullptr;
  }
  bool play_song(::Song*) override {
    log_.add("play_song");
    return true;
  }
  int get_order(::Song*) override {
    current_ = positions[std::min(std::size_t(order_reads++), positions.size() - 1)];
    return current_.first;
  }
  int get_row(::Song*) override { return current_.second; }
  bool free_song(::Song*) override {
    log_.add("free_song");
    return true;
  }
  void close() override { log_.add("sound_close"); }
  int get_pattern_rows(::Song*, int order) override { return order < 256 ? 64 : 0; }
  bool rewind_song(::Song*) override { return log_.add("rewind_song"), true; }
  bool skip_song(::Song*, double) override { return true; }
  bool pause_song(::Song*, bool paused) override {
    return log_.add("pause_song " + std::to_string(int(paused))), true;
  }

 private:
  CallLog& log_;
  int song_token_ = 0;  // the song handle is only passed back, never used
  std::pair<int, int> current_{0, 0};
};

class FakeVideo final : public VideoLibrary {
 public:
  explicit FakeVideo(CallLog& log) : log_(log) {}
  void init() override { log_.add("video_init"); }
  std::unique_ptr<VideoStream> open_stream(const char*) override { return nullptr; }

 private:
  CallLog& log_;
};

// All roles together, over one log and a virtual clock.
struct FakePlatform {
  CallLog log;
  FakeWindow window{log};
  FakeToolkit toolkit{log};
  FakeSound sound{log};
  FakeVideo video{log};
  VirtualClock clock;
  Platform platform() { return Platform{&window, &toolkit, &sound, &video, &clock}; }
};
