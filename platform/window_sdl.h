// window_sdl.h: the live window system over SDL2 and SDL2_ttf: the setup dialog in a real
// window, message boxes and the screen size. make_live_window_system (platform/live.h)
// hands it out; these functions are the parts that tests and other layers reach directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/setup_dialog.h"

struct SDL_Window;

// SDL's simple message box with one OK button and no owner; "caption: text" on standard
// error when no window system can show it. Returns once the box is closed.
void show_message_box(std::string_view text, std::string_view caption);

// The file of the system's sans-serif font as fontconfig matches it, or DejaVu Sans at its
// usual place when fontconfig finds nothing; empty when neither exists.
std::string find_sans_font();

// Starts SDL's video subsystem on a driver that shows windows to a person; false (and
// nothing started) where only the drivers that draw into memory are left.
bool init_visible_video();

// Asks an open dialog or message box to close, as its close box would; safe from any thread.
void post_close_request();

// Gives a window the program icon (icon group 107).
void set_program_icon(SDL_Window* window);

// The dialog as it looks in `state`, drawn off screen: dialog_width_px() x dialog_height_px()
// pixels of 0x00RRGGBB, top row first. Empty when it cannot be drawn (no font).
std::vector<std::uint32_t> setup_dialog_snapshot(const SetupDialogState& state);
