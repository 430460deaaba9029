// console.h: the window or full screen that shows the 320x200 frame, and its keyboard.
// Implemented over SDL2 for live mode and by a headless console for capture mode.
#pragma once

#include <memory>
#include <string_view>

#include "platform/pixels.h"

constexpr int key_escape = 27;
// Keys with an ASCII code read as that code; every other key as 256 + its USB usage id.
constexpr int key_tab = 9;
constexpr int key_space = 32;
constexpr int key_home = 256 + 74;
constexpr int key_page_up = 256 + 75;
constexpr int key_page_down = 256 + 78;
constexpr int key_right = 256 + 79;
constexpr int key_left = 256 + 80;
constexpr int key_down = 256 + 81;
constexpr int key_up = 256 + 82;

class Console {
 public:
  virtual ~Console() = default;
  // Option texts such as "fullscreen output"; true when understood. Callers ignore it.
  virtual bool set_option(std::string_view option) = 0;
  virtual bool open(std::string_view title, int width, int height, const PixelFormat& format) = 0;
  // Moves and sizes the console's window (outer size), showing it on top.
  virtual void place_window(int x, int y, int width, int height) = 0;
  // The whole surface becomes the console's next picture; update shows it.
  virtual void copy_from(const Surface& surface) = 0;
  virtual void update() = 0;
  // Never blocks.
  virtual bool key_waiting() = 0;
  virtual int read_key() = 0;
  virtual void close() = 0;
  // Text laid over the picture where it is shown, from the next update on (lines separated by
  // '\n'; empty for none). It is never part of the frame. Consoles with no screen ignore it.
  virtual void set_overlay(std::string_view text) { (void)text; }
};

class PixelToolkit {
 public:
  virtual ~PixelToolkit() = default;
  virtual std::unique_ptr<Console> create_console() = 0;
};
