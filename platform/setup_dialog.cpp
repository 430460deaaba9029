// setup_dialog.cpp: the setup dialog's template, procedure and manager rules.
#include "platform/setup_dialog.h"

#include <iterator>

#include "resources/resources.h"

namespace {

constexpr DialogControl setup_controls[] = {
    {ControlKind::default_button, id_ok, "OK", 229, 7, 59, 14},
    {ControlKind::button, id_cancel, "Abbrechen", 229, 25, 59, 14},
    {ControlKind::picture, 0, "", 7, 7, 0, 0, resource_dialog_bitmap},
    {ControlKind::group_box, 0, "video mode", 229, 84, 59, 47},
    {ControlKind::auto_radio, id_fullscreen, "fullscreen ", 236, 96, 46, 14},
    {ControlKind::auto_radio, id_windowed, "windowed", 236, 112, 45, 13},
};

constexpr int picture_width_px = 320, picture_height_px = 200;

// Keyboard order: the two push buttons, then the radio group (entered at its checked button).
constexpr int tab_order[] = {id_ok, id_cancel, id_fullscreen};

bool is_radio(int id) { return id == id_fullscreen || id == id_windowed; }
bool is_push_button(int id) { return id == id_ok || id == id_cancel; }

// An automatic radio button checks itself and clears the others of its group.
void check_radio(SetupDialogState& state, int id) {
  state.fullscreen_checked = id == id_fullscreen;
  state.windowed_checked = id == id_windowed;
}

void command(SetupDialogState& state, int id) { setup_dialog_procedure(state, DIALOG_COMMAND, id); }

// Tab and back-tab: the radio group counts once, so its position is that of 1002.
void move_focus(SetupDialogState& state, int step) {
  const int n = int(std::size(tab_order));
  const int current = is_radio(state.focus) ? id_fullscreen : state.focus;
  int at = 0;
  for (int i = 0; i < n; ++i)
    if (tab_order[i] == current) at = i;
  const int next = tab_order[(at + step + n) % n];
  state.focus = is_radio(next) ? (state.windowed_checked ? id_windowed : id_fullscreen) : next;
}

}  // namespace

const DialogTemplate setup_dialog_template{
    resource_setup_dialog, "korvelia - quindle07 demo competition", 302, 138, "MS Sans Serif", 8, setup_controls};

int dialog_x_px(int units) { return (units * 3 + 1) / 2; }
int dialog_y_px(int units) { return (units * 13 + 4) / 8; }

PixelRect control_rect(const DialogControl& c) {
  PixelRect r;
  r.x = dialog_x_px(c.x);
  r.y = dialog_y_px(c.y);
  if (c.kind == ControlKind::picture) {
    r.width = picture_width_px;
    r.height = picture_height_px;
  } else {
    r.width = dialog_x_px(c.x + c.width) - r.x;
    r.height = dialog_y_px(c.y + c.height) - r.y;
  }
  return r;
}

int dialog_width_px() { return dialog_x_px(setup_dialog_template.width); }
int dialog_height_px() { return dialog_y_px(setup_dialog_template.height); }

const DialogControl* dialog_control(int id) {
  for (const DialogControl& c : setup_dialog_template.controls)
    if (id && c.id == id) return &c;
  return nullptr;
}

bool setup_dialog_procedure(SetupDialogState& state, DialogMessage message, int control_id) {
  switch (message) {
    case DIALOG_INIT:
      check_radio(state, id_fullscreen);
      return true;
    case DIALOG_COMMAND:
      if (control_id == id_ok) {
        state.choice.fullscreen = dialog_is_checked(state, id_fullscreen);
        state.choice.run = true;
        state.ended = true;
        return true;
      }
      if (control_id == id_cancel) {
        state.choice.run = false;
        state.ended = true;
        return true;
      }
      return false;
    default:
      return false;
  }
}

void dialog_start(SetupDialogState& state) {
  state = SetupDialogState{};
  // True asks the manager to put the focus on the first control that takes it.
  if (setup_dialog_procedure(state, DIALOG_INIT, 0)) state.focus = tab_order[0];
}

void dialog_key(SetupDialogState& state, DialogKey key) {
  if (state.ended) return;
  switch (key) {
    case DialogKey::enter:
      // A focused push button is the one Enter presses; otherwise the default button.
      command(state, is_push_button(state.focus) ? state.focus : id_ok);
      return;
    case DialogKey::escape:
      command(state, id_cancel);
      return;
    case DialogKey::tab:
      move_focus(state, 1);
      return;
    case DialogKey::back_tab:
      move_focus(state, -1);
      return;
    case DialogKey::up:
    case DialogKey::left:
      check_radio(state, id_fullscreen);
      state.focus = id_fullscreen;
      return;
    case DialogKey::down:
    case DialogKey::right:
      check_radio(state, id_windowed);
      state.focus = id_windowed;
      return;
    case DialogKey::space:
      if (is_push_button(state.focus)) command(state, state.focus);
      else if (is_radio(state.focus)) check_radio(state, state.focus);
      return;
  }
}

void dialog_close_box(SetupDialogState& state) {
  if (!state.ended) command(state, id_cancel);
}

int dialog_control_at(int x_px, int y_px) {
  for (const DialogControl& c : setup_dialog_template.controls)
    if ((is_push_button(c.id) || is_radio(c.id)) && control_rect(c).contains(x_px, y_px)) return c.id;
  return 0;
}

// A click acts when the button goes up over the control it went down on, as on any desktop.
void dialog_mouse_down(SetupDialogState& state, int x_px, int y_px) {
  if (state.ended) return;
  state.pressed = dialog_control_at(x_px, y_px);
  state.pressed_inside = state.pressed != 0;
  if (state.pressed) state.focus = state.pressed;
}

void dialog_mouse_move(SetupDialogState& state, int x_px, int y_px) {
  if (state.pressed) state.pressed_inside = dialog_control_at(x_px, y_px) == state.pressed;
}

void dialog_mouse_up(SetupDialogState& state, int x_px, int y_px) {
  const int id = state.pressed;
  state.pressed = 0;
  state.pressed_inside = false;
  if (!id || state.ended || dialog_control_at(x_px, y_px) != id) return;
  if (is_radio(id)) check_radio(state, id);
  else command(state, id);
}

bool dialog_is_checked(const SetupDialogState& state, int id) {
  return id == id_fullscreen ? state.fullscreen_checked : id == id_windowed ? state.windowed_checked : false;
}
