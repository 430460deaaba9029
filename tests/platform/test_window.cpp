// The setup dialog's template and what keys and clicks do to it; its off-screen picture;
// message boxes without a window system; the live console's pure rules.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/display_sdl.h"
#include "platform/headless.h"
#include "platform/live.h"
#include "platform/setup_dialog.h"
#include "platform/window_sdl.h"
#include "resources/resources.h"
#include "scoped_env.h"
#include "stderr_pipe.h"

namespace {

PixelRect rect_of(int id) { return control_rect(*dialog_control(id)); }

}  // namespace

namespace {

// What a user does to the dialog: a key, the close box, a click on a control's centre (on
// the end of the "windowed" label, on the picture, the group box and the background), a press
// on Cancel moved off and released over OK, or the focus put on "windowed" without checking it.
enum class Step {
  enter, escape, tab, back_tab, up, down, right, space,
  close_box, click_ok, click_cancel, click_windowed, click_windowed_label, click_nowhere,
  press_cancel_release_ok, focus_windowed
};

std::pair<int, int> centre(int id) { return {rect_of(id).x + rect_of(id).width / 2, rect_of(id).y + rect_of(id).height / 2}; }

void click(SetupDialogState& state, std::pair<int, int> at) {
  dialog_mouse_down(state, at.first, at.second);
  dialog_mouse_up(state, at.first, at.second);
}

void apply(SetupDialogState& state, Step step) {
  const PixelRect windowed = rect_of(id_windowed);
  switch (step) {
    case Step::enter: dialog_key(state, DialogKey::enter); break;
    case Step::escape: dialog_key(state, DialogKey::escape); break;
    case Step::tab: dialog_key(state, DialogKey::tab); break;
    case Step::back_tab: dialog_key(state, DialogKey::back_tab); break;
    case Step::up: dialog_key(state, DialogKey::up); break;
    case Step::down: dialog_key(state, DialogKey::down); break;
    case Step::right: dialog_key(state, DialogKey::right); break;
    case Step::space: dialog_key(state, DialogKey::space); break;
    case Step::close_box: dialog_close_box(state); break;
    case Step::click_ok: click(state, centre(id_ok)); break;
    case Step::click_cancel: click(state, centre(id_cancel)); break;
    case Step::click_windowed: click(state, centre(id_windowed)); break;
    case Step::click_windowed_label: click(state, {windowed.x + windowed.width - 2, windowed.y + 1}); break;
    case Step::click_nowhere:
      for (auto at : {std::pair{100, 100}, {345, 140}, {440, 220}}) click(state, at);
      break;
    case Step::press_cancel_release_ok:
      dialog_mouse_down(state, centre(id_cancel).first, centre(id_cancel).second);
      dialog_mouse_move(state, 5, 5);
      EXPECT_FALSE(state.pressed_inside);
      dialog_mouse_up(state, centre(id_ok).first, centre(id_ok).second);
      break;
    case Step::focus_windowed: state.focus = id_windowed; break;
  }
}

}  // namespace

TEST(SetupDialogManager, KeysClicksAndCloseBoxFromTheStart) {
  using enum Step;
  const struct {
    std::vector<Step> steps;
    bool ended, run, windowed;
    int focus;  // 0: not checked
  } cases[] = {
      {{}, false, false, false, id_ok},
      {{enter}, true, true, false, 0},
      {{down}, false, false, true, id_windowed},
      {{down, enter}, true, true, true, 0},
      {{right, up}, false, false, false, 0},
      {{down, escape}, true, false, true, 0},
      {{tab}, false, false, false, id_cancel},
      {{tab, tab, tab}, false, false, false, id_ok},
      {{back_tab}, false, false, false, id_fullscreen},
      {{down, back_tab}, false, false, true, id_cancel},
      {{down, back_tab, back_tab, back_tab}, false, false, true, id_windowed},  // the group is entered at its checked button
      {{tab, enter}, true, false, false, 0},
      {{tab, space}, true, false, false, 0},
      {{focus_windowed, space}, false, false, true, 0},
      {{escape, enter, close_box}, true, false, false, 0},
      {{click_windowed}, false, false, true, 0},
      {{click_windowed, click_ok}, true, true, true, 0},
      {{click_windowed_label}, false, false, true, 0},
      {{click_cancel}, true, false, false, 0},
      {{close_box}, true, false, false, 0},
      {{click_nowhere}, false, false, false, 0},
      {{press_cancel_release_ok}, false, false, false, 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE("case " + std::to_string(i));
    SetupDialogState state;
    dialog_start(state);
    for (Step step : c.steps) apply(state, step);
    EXPECT_EQ(state.pressed, 0);
    EXPECT_EQ(state.ended, c.ended);
    EXPECT_EQ(state.choice.run, c.run);
    if (c.run) {
      EXPECT_EQ(state.choice.fullscreen, !c.windowed);
    }
    EXPECT_EQ(state.windowed_checked, c.windowed);
    EXPECT_EQ(state.fullscreen_checked, !c.windowed);
    if (c.focus) {
      EXPECT_EQ(state.focus, c.focus);
    }
  }
}

// The picture lands pixel for pixel at (11, 11), each button holds dark text; checking
// "windowed" redraws only the radio buttons, right of the picture.
TEST(SetupDialogSnapshot, ShowsPictureButtonsAndCheckedRadio) {
  const std::string font = find_sans_font();
  if (font.empty()) GTEST_SKIP() << "no sans-serif font installed";
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
  const ScopedEnv no_x("DISPLAY", nullptr);
  const ScopedEnv no_wayland("WAYLAND_DISPLAY", nullptr);
  for (const char* driver : {"none", "x11", "offscreen", "dummy"}) {
    const ScopedEnv video_driver("SDL_VIDEODRIVER", driver);
    EXPECT_EQ(make_live_window_system(), nullptr) << driver;
    EXPECT_EQ(make_live_toolkit(), nullptr) << driver;
  }
  const std::string printed = stderr_of([] { show_message_box("script loading failed", "error"); });
  EXPECT_NE(printed.find("error: script loading failed\n"), std::string::npos) << printed;
  const std::string headless =
      stderr_of([] { HeadlessWindowSystem().message_box("null pointer error", "error in script -> loading data"); });
  EXPECT_EQ(headless, "error in script -> loading data: null pointer error\n");
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
