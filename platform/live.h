// live.h: the live window system and pixel toolkit over SDL2.
#pragma once

#include <memory>

#include "platform/console.h"
#include "platform/window.h"

// Null when no window system can be reached (no display).
std::unique_ptr<WindowSystem> make_live_window_system();
std::unique_ptr<PixelToolkit> make_live_toolkit();
