// headless.cpp: the window-less window system and console.
#include "platform/headless.h"

#include <cstdio>
#include <string>

void HeadlessWindowSystem::message_box(std::string_view text, std::string_view caption) {
  std::fprintf(stderr, "%.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()), text.data());
}

void HeadlessWindowSystem::screen_size(int* width, int* height) {
  *width = 1024;
  *height = 768;
}

bool HeadlessConsole::open(std::string_view, int width, int height, const PixelFormat& format) {
  picture_ = surface_create(width, height, format);
  open_ = true;
  return true;
}

void HeadlessConsole::copy_from(const Surface& surface) {
  if (picture_.width != surface.width || picture_.height != surface.height || !(picture_.format == surface.format))
    picture_ = surface_create(surface.width, surface.height, surface.format);
  picture_.pixels = surface.pixels;
}

int HeadlessConsole::read_key() {
  if (keys_.empty()) return 0;
  int code = keys_.front();
  keys_.pop_front();
  return code;
}

std::unique_ptr<Console> HeadlessToolkit::create_console() {
  auto console = std::make_unique<HeadlessConsole>();
  console_ = console.get();
  return console;
}
