// setup_dialog.h: the setup dialog (resource 101) as data and plain functions: its template
// in dialog units, its procedure over (message, control id), and the dialog manager's rules
// for keys, mouse, focus and radio buttons. It draws nothing and knows no window system;
// platform/window_sdl.cpp shows it.
#pragma once

#include <span>
#include <string_view>

#include "platform/window.h"

constexpr int id_ok = 1;
constexpr int id_cancel = 2;
constexpr int id_fullscreen = 1002;
constexpr int id_windowed = 1003;

enum class ControlKind { default_button, button, picture, group_box, auto_radio };

// Place and size in dialog units; a picture takes the size of its bitmap.
struct DialogControl {
  ControlKind kind;
  int id;  // 0 for controls the program never addresses
  std::string_view text;
  int x, y, width, height;
  int bitmap = 0;  // pictures: the bitmap resource shown
};

struct DialogTemplate {
  int resource_id;
  std::string_view title;
  int width, height;  // dialog units
  std::string_view font;
  int font_points;
  std::span<const DialogControl> controls;
};

extern const DialogTemplate setup_dialog_template;

// Dialog units to pixels: 1.5 px across and 1.625 px down, rounded to the nearest pixel,
// so the 320x200 picture fills 213 x 123 units.
int dialog_x_px(int units);
int dialog_y_px(int units);

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

// The control's place in pixels inside the dialog's client area.
PixelRect control_rect(const DialogControl& control);
// The dialog's client area in pixels.
int dialog_width_px();
int dialog_height_px();
const DialogControl* dialog_control(int id);

enum DialogMessage { DIALOG_INIT, DIALOG_COMMAND, DIALOG_OTHER };

// What the window system keeps of a running dialog, and its result once it ended.
struct SetupDialogState {
  bool fullscreen_checked = false;  // check state of 1002
  bool windowed_checked = false;    // check state of 1003
  int focus = 0;                    // control id with the keyboard focus, 0 none
  int pressed = 0;                  // control held down by the mouse, 0 none
  bool pressed_inside = false;      // the pointer is still over the held control
  bool ended = false;
  SetupChoice choice;  // valid once ended
};

// The dialog procedure: start checks 1002 and returns true (the manager sets the focus);
// command 1 (OK, Enter) ends with run and full screen = 1002's state; command 2 (Cancel,
// Escape, the close box) ends without run. Returns whether the message was handled.
bool setup_dialog_procedure(SetupDialogState& state, DialogMessage message, int control_id);

// The dialog manager between the user and the procedure.
enum class DialogKey { enter, escape, tab, back_tab, up, down, left, right, space };

void dialog_start(SetupDialogState& state);
void dialog_key(SetupDialogState& state, DialogKey key);
void dialog_close_box(SetupDialogState& state);
void dialog_mouse_down(SetupDialogState& state, int x_px, int y_px);
void dialog_mouse_move(SetupDialogState& state, int x_px, int y_px);
void dialog_mouse_up(SetupDialogState& state, int x_px, int y_px);
// The id of the push button or radio button under a point of the client area, or 0.
int dialog_control_at(int x_px, int y_px);
bool dialog_is_checked(const SetupDialogState& state, int id);
