// window.h: the window-system role: the setup dialog, message boxes and the screen size.
#pragma once

#include <string_view>

struct SetupChoice {
  bool run = false;         // OK was pressed
  bool fullscreen = false;  // the "fullscreen " radio button was checked
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // Shows the setup dialog modally; run is false on cancel or when it cannot be shown.
  virtual SetupChoice run_setup_dialog() = 0;
  // A modal box with one OK button and no owner.
  virtual void message_box(std::string_view text, std::string_view caption) = 0;
  // The primary screen's size in pixels.
  virtual void screen_size(int* width, int* height) = 0;
};
