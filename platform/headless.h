// headless.h: stand-ins for the window system and the pixel toolkit where there is no
// display: capture mode and machines without a window system. Message boxes go to
// standard error as "caption: text"; the console keeps the last presented frame and a
// queue of keys that its owner pushes.
#pragma once

#include <deque>
#include <memory>

#include "platform/console.h"
#include "platform/window.h"

class HeadlessWindowSystem final : public WindowSystem {
 public:
  explicit HeadlessWindowSystem(SetupChoice answer = {true, false}) : answer_(answer) {}
  SetupChoice run_setup_dialog() override { return answer_; }
  void message_box(std::string_view text, std::string_view caption) override;
  void screen_size(int* width, int* height) override;

 private:
  SetupChoice answer_;
};

class HeadlessConsole final : public Console {
 public:
  bool set_option(std::string_view) override { return true; }
  bool open(std::string_view title, int width, int height, const PixelFormat& format) override;
  void place_window(int, int, int, int) override {}
  void copy_from(const Surface& surface) override;
  void update() override {}
  bool key_waiting() override { return !keys_.empty(); }
  int read_key() override;
  void close() override { open_ = false; }

  void push_key(int code) { keys_.push_back(code); }
  // The last frame copied to the console, in the display format.
  const Surface& picture() const { return picture_; }
  bool is_open() const { return open_; }

 private:
  Surface picture_;
  std::deque<int> keys_;
  bool open_ = false;
};

// Hands out one HeadlessConsole and keeps a pointer to it for the owner of the run.
class HeadlessToolkit final : public PixelToolkit {
 public:
  std::unique_ptr<Console> create_console() override;
  HeadlessConsole* console() const { return console_; }

 private:
  HeadlessConsole* console_ = nullptr;
};
