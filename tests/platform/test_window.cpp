// The setup dialog's template, procedure and manager rules; its off-screen picture;
// message boxes without a window system; the live console's pure rules.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "platform/display_sdl.h"
#include "platform/headless.h"
#include "platform/live.h"
#include "platform/setup_dialog.h"
#include "platform/window_sdl.h"
#include "resources/resources.h"

namespace {

std::array<int, 4> rect_of(const PixelRect& r) { return {r.x, r.y, r.width, r.height}; }
PixelRect rect_of(int id) { return control_rect(*dialog_control(id)); }

}  // namespace

TEST(SetupDialogTemplate, Resource101InDialogUnitsAndPixels) {
  const DialogTemplate& t = setup_dialog_template;
  EXPECT_EQ(t.resource_id, 101);
  EXPECT_EQ(t.title, "korvelia - quindle07 demo competition");
  EXPECT_EQ((std::array{t.width, t.height}), (std::array{302, 138}));
  ASSERT_EQ(t.controls.size(), 6u);
  const std::tuple<int, ControlKind, const char*> controls[] = {
      {id_ok, ControlKind::default_button, "OK"},  {id_cancel, ControlKind::button, "Abbrechen"},
      {id_fullscreen, ControlKind::auto_radio, "fullscreen "},  // with its trailing blank
      {id_windowed, ControlKind::auto_radio, "windowed"}};
  for (auto [id, kind, text] : controls) {
    ASSERT_NE(dialog_control(id), nullptr) << id;
    EXPECT_EQ(dialog_control(id)->kind, kind) << id;
    EXPECT_EQ(dialog_control(id)->text, text);
  }
  EXPECT_EQ(t.controls[2].bitmap, 110);
  const IndexedBitmap bmp = resource_bitmap(110);
  ASSERT_EQ((std::array{bmp.width, bmp.height, int(bmp.indices.size())}), (std::array{320, 200, 64000}));
  std::set<std::uint32_t> colours;
  for (std::uint8_t i : bmp.indices) colours.insert(bmp.palette[i]);
  EXPECT_GT(colours.size(), 50u);  // a picture, not a blank
  // 1.5 px across, 1.625 down, rounded: 302 x 138 units are 453 x 224 px; OK's 229, 7 to
  // 288, 21 units become 344, 11 to 432, 34; the picture fills 320 x 200 px at (11, 11).
  EXPECT_EQ((std::array{dialog_width_px(), dialog_height_px()}), (std::array{453, 224}));
  EXPECT_EQ(rect_of(rect_of(id_ok)), (std::array{344, 11, 88, 23}));
  EXPECT_EQ(rect_of(control_rect(t.controls[2])), (std::array{11, 11, 320, 200}));
}

TEST(SetupDialogProcedure, StartChecksFullscreenOkReadsTheRadioCancelEnds) {
  SetupDialogState start;
  EXPECT_TRUE(setup_dialog_procedure(start, DIALOG_INIT, 0));
  EXPECT_TRUE(start.fullscreen_checked && !start.windowed_checked && !start.ended);
  const struct {
    bool windowed;  // the radio checked before the message
    DialogMessage message;
    int id;
    bool handled, run;  // handled commands end the dialog
  } cases[] = {{false, DIALOG_COMMAND, id_ok, true, true},          {true, DIALOG_COMMAND, id_ok, true, true},
               {false, DIALOG_COMMAND, id_cancel, true, false},     {false, DIALOG_OTHER, id_ok, false, false},
               {false, DIALOG_COMMAND, id_fullscreen, false, false}, {false, DIALOG_COMMAND, 7, false, false}};
  for (const auto& c : cases) {
    SetupDialogState state;
    state.fullscreen_checked = !c.windowed, state.windowed_checked = c.windowed;
    EXPECT_EQ(setup_dialog_procedure(state, c.message, c.id), c.handled) << c.message << " " << c.id;
    EXPECT_EQ(state.ended, c.handled) << c.id;
    EXPECT_EQ(state.choice.run, c.run) << c.id;
    if (c.run) { EXPECT_EQ(state.choice.fullscreen, !c.windowed); }
  }
}

// Steps from the start: E Enter, X Escape, T Tab, B back-tab, U D L R arrows, S space, C the
// close box; o c w clicks on OK, Cancel and "windowed", l on the end of that radio's label,
// n on the picture, the group box and the background; P a press on Cancel, moved off and
// released over OK; f the focus put on "windowed" without checking it.
TEST(SetupDialogManager, KeysClicksAndCloseBoxFromTheStart) {
  const struct {
    const char* steps;
    bool ended, run, windowed;
    int focus;  // 0: not checked
  } cases[] = {{"", false, false, false, id_ok},   {"E", true, true, false, 0},   {"D", false, false, true, id_windowed},
               {"DE", true, true, true, 0},        {"RU", false, false, false, 0}, {"RL", false, false, false, 0},
               {"DX", true, false, true, 0},       {"T", false, false, false, id_cancel},
               {"TT", false, false, false, id_fullscreen}, {"TTT", false, false, false, id_ok},
               {"B", false, false, false, id_fullscreen},  {"DB", false, false, true, id_cancel},
               {"DBBB", false, false, true, id_windowed},  // the group is entered at its checked button
               {"TE", true, false, false, 0},      {"TS", true, false, false, 0}, {"fS", false, false, true, 0},
               {"XEC", true, false, false, 0},     {"w", false, false, true, 0},  {"wo", true, true, true, 0},
               {"l", false, false, true, 0},       {"c", true, false, false, 0},  {"C", true, false, false, 0},
               {"n", false, false, false, 0},      {"P", false, false, false, 0}};
  const std::string key_names = "EXTBUDLRS";
  const DialogKey keys[] = {DialogKey::enter, DialogKey::escape, DialogKey::tab,   DialogKey::back_tab, DialogKey::up,
                            DialogKey::down,  DialogKey::left,   DialogKey::right, DialogKey::space};
  const auto centre = [](int id) { return std::pair{rect_of(id).x + rect_of(id).width / 2, rect_of(id).y + rect_of(id).height / 2}; };
  const auto click = [](SetupDialogState& state, std::pair<int, int> at) {
    dialog_mouse_down(state, at.first, at.second);
    dialog_mouse_up(state, at.first, at.second);
  };
  for (const auto& c : cases) {
    SetupDialogState state;
    dialog_start(state);
    for (const char* s = c.steps; *s; ++s) {
      if (key_names.find(*s) != std::string::npos) dialog_key(state, keys[key_names.find(*s)]);
      if (*s == 'C') dialog_close_box(state);
      if (*s == 'o' || *s == 'c' || *s == 'w') click(state, centre(*s == 'o' ? id_ok : *s == 'c' ? id_cancel : id_windowed));
      if (*s == 'l') click(state, {rect_of(id_windowed).x + rect_of(id_windowed).width - 2, rect_of(id_windowed).y + 1});
      if (*s == 'f') state.focus = id_windowed;
      if (*s == 'n')
        for (auto at : {std::pair{100, 100}, {345, 140}, {440, 220}}) click(state, at);
      if (*s == 'P') {
        dialog_mouse_down(state, centre(id_cancel).first, centre(id_cancel).second);
        dialog_mouse_move(state, 5, 5);
        EXPECT_FALSE(state.pressed_inside);
        dialog_mouse_up(state, centre(id_ok).first, centre(id_ok).second);
      }
    }
    EXPECT_EQ(state.pressed, 0) << c.steps;
    EXPECT_EQ(state.ended, c.ended) << c.steps;
    EXPECT_EQ(state.choice.run, c.run) << c.steps;
    if (c.run) { EXPECT_EQ(state.choice.fullscreen, !c.windowed) << c.steps; }
    EXPECT_EQ(state.windowed_checked, c.windowed) << c.steps;
    EXPECT_EQ(state.fullscreen_checked, !c.windowed) << c.steps;
    if (c.focus) { EXPECT_EQ(state.focus, c.focus) << c.steps; }
  }
}

// The picture lands pixel for pixel at (11, 11), each button holds dark text; checking
// "windowed" redraws only the radio buttons, right of the picture.
TEST(SetupDialogSnapshot, ShowsPictureButtonsAndCheckedRadio) {
  const std::string font = find_sans_font();
  if (font.empty()) GTEST_SKIP() << "no sans-serif font installed";
  EXPECT_NE(font.find(".tt"), std::string::npos) << font;
  SetupDialogState state;
  dialog_start(state);
  const std::vector<std::uint32_t> full = setup_dialog_snapshot(state);
  const int w = dialog_width_px();
  ASSERT_EQ(full.size(), std::size_t(w) * dialog_height_px());
  const IndexedBitmap bmp = resource_bitmap(110);
  int mismatches = 0;
  for (int i = 0; i < 320 * 200; ++i)
    mismatches += full[std::size_t(i / 320 + 11) * w + std::size_t(i % 320 + 11)] != bmp.palette[bmp.indices[i]];
  EXPECT_EQ(mismatches, 0);
  for (int id : {id_ok, id_cancel}) {
    const PixelRect r = rect_of(id);
    int dark = 0;
    for (int y = r.y + 4; y < r.y + r.height - 4; ++y)
      for (int x = r.x + 4; x < r.x + r.width - 4; ++x) dark += (full[std::size_t(y) * w + x] & 0xff) < 0x60;
    EXPECT_GT(dark, 10) << "button " << id;
  }
  dialog_key(state, DialogKey::down);
  const std::vector<std::uint32_t> windowed = setup_dialog_snapshot(state);
  ASSERT_EQ(windowed.size(), full.size());
  int changed_in_radio = 0;
  for (std::size_t i = 0; i < full.size(); ++i)
    if (full[i] != windowed[i]) {
      EXPECT_GE(int(i % w), 331) << "pixel " << i % w << "," << i / w;
      changed_in_radio += rect_of(id_windowed).contains(int(i % w), int(i / w));
    }
  EXPECT_GT(changed_in_radio, 0);
}

// Without a display, and on the drivers SDL picks by itself that draw into memory (nobody
// could see a window there), there is no live window system and message boxes go to
// standard error as "caption: text".
TEST(LiveWindowSystem, NullWithoutDisplayOrOnMemoryDriversAndMessagesGoToStderr) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  for (const char* driver : {"none", "x11", "offscreen", "dummy"}) {
    setenv("SDL_VIDEODRIVER", driver, 1);
    EXPECT_EQ(make_live_window_system(), nullptr) << driver;
    EXPECT_EQ(make_live_toolkit(), nullptr) << driver;
  }
  unsetenv("SDL_VIDEODRIVER");
  testing::internal::CaptureStderr();
  show_message_box("script loading failed", "error");
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("error: script loading failed\n"), std::string::npos) << printed;
  testing::internal::CaptureStderr();
  HeadlessWindowSystem().message_box("null pointer error", "error in script -> loading data");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "error in script -> loading data: null pointer error\n");
}

TEST(Letterbox, FourByThreeCentredInAnyOutput) {
  // Output size, then the picture's x, y, width and height: bars left and right at 1920 x 1080,
  // above and below at 1280 x 1024.
  for (auto [w, h, x, y, pw, ph] : {std::array{640, 480, 0, 0, 640, 480}, {1024, 768, 0, 0, 1024, 768},
                                    {1920, 1080, 240, 0, 1440, 1080}, {1280, 1024, 0, 32, 1280, 960},
                                    {1280, 800, 107, 0, 1066, 800}, {0, 480, 0, 0, 0, 0}}) {
    const ScreenRect r = letterbox_4_3(w, h);
    EXPECT_EQ((std::array{r.x, r.y, r.width, r.height}), (std::array{x, y, pw, ph})) << w << "x" << h;
  }
}

TEST(ConsoleKeyCode, EscapeIs27AndNoOtherKeyIs) {
  EXPECT_EQ(console_key_code(27, 41), 27);
  EXPECT_EQ(console_key_code('a', 4), 'a');
  EXPECT_EQ(console_key_code(13, 40), 13);
  // Keys without an ASCII symbol (arrows, F1, keypad) become 256 + scan code.
  EXPECT_EQ(console_key_code(0x40000052, 82), 256 + 82);
  for (int scancode = 0; scancode < 512; ++scancode) EXPECT_NE(console_key_code(0x40000000 | scancode, scancode), 27);
}

TEST(KeyQueue, OldestFirstAndEscapeSurvivesAFullQueue) {
  KeyQueue queue;
  EXPECT_TRUE(key_queue_empty(queue));
  EXPECT_EQ(key_queue_pop(queue), 0);
  for (int i = 0; i < KeyQueue::capacity + 10; ++i) key_queue_push(queue, 'a');
  key_queue_push(queue, key_escape);
  int last = 0, count = 0;
  for (; !key_queue_empty(queue); ++count) last = key_queue_pop(queue);
  EXPECT_EQ(count, KeyQueue::capacity);
  EXPECT_EQ(last, key_escape);
  for (int key : {'x', 'y'}) key_queue_push(queue, key);  // after the wrap
  EXPECT_EQ(key_queue_pop(queue), 'x');
  EXPECT_EQ(key_queue_pop(queue), 'y');
}
