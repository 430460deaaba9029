// live.cpp: placeholder until the SDL2 window system lands: no live display.
#include "platform/live.h"

std::unique_ptr<WindowSystem> make_live_window_system() { return nullptr; }
std::unique_ptr<PixelToolkit> make_live_toolkit() { return nullptr; }
