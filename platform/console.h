// console.h: the window or full screen that shows the 320x200 frame, and its keyboard.
// Implemented over SDL2 for live mode and by a headless console for capture mode.
#pragma once

#include <memory>
#include <string_view>

#include "platform/pixels.h"

constexpr int key_escape = 27;

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
};

class PixelToolkit {
 public:
  virtual ~PixelToolkit() = default;
  virtual std::unique_ptr<Console> create_console() = 0;
};
