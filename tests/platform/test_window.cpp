// The setup dialog's template, procedure and manager rules; its off-screen picture;
// message boxes without a window system; the live console's pure rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <array>
#include <set>
#include <utility>

#include "platform/display_sdl.h"
#include "platform/headless.h"
#include "platform/live.h"
#include "platform/setup_dialog.h"
#include "platform/window_sdl.h"
#include "resources/resources.h"

namespace {

SetupDialogState started() {
  SetupDialogState state;
  dialog_start(state);
  return state;
}

// The centre of a control in dialog pixels, where a click lands.
void centre_of(int id, int* x, int* y) {
  const PixelRect r = control_rect(*dialog_control(id));
  *x = r.x + r.width / 2;
  *y = r.y + r.height / 2;
}

void click(SetupDialogState& state, int id) {
  int x = 0, y = 0;
  centre_of(id, &x, &y);
  dialog_mouse_down(state, x, y);
  dialog_mouse_up(state, x, y);
}

// No window system can be reached: no display named and no video driver chosen.
void forget_display() {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("SDL_VIDEODRIVER");
}

}  // namespace

TEST(SetupDialogTemplate, TitleSizeAndControlsOfResource101) {
  const DialogTemplate& t = setup_dialog_template;
  EXPECT_EQ(t.resource_id, 101);
  EXPECT_EQ(t.title, "korvelia - quindle07 demo competition");
  EXPECT_EQ(t.width, 302);
  EXPECT_EQ(t.height, 138);
  ASSERT_EQ(t.controls.size(), 6u);
  const DialogControl* ok = dialog_control(1);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->kind, ControlKind::default_button);
  EXPECT_EQ(ok->text, "OK");
  EXPECT_EQ(dialog_control(2)->text, "Abbrechen");
  EXPECT_EQ(dialog_control(1002)->text, "fullscreen ");  // with its trailing blank
  EXPECT_EQ(dialog_control(1002)->kind, ControlKind::auto_radio);
  EXPECT_EQ(dialog_control(1003)->text, "windowed");
  const DialogControl& c = *dialog_control(1003);
  EXPECT_EQ((std::array{c.x, c.y, c.width, c.height}), (std::array{236, 112, 45, 13}));
  EXPECT_EQ(t.controls[3].text, "video mode");
  EXPECT_EQ(t.controls[3].kind, ControlKind::group_box);
  EXPECT_EQ(t.controls[2].bitmap, 110);
}

TEST(DialogUnits, AcrossOneAndAHalfDownOneAndFiveEighths) {
  EXPECT_EQ(dialog_width_px(), 453);   // 302 x 1.5
  EXPECT_EQ(dialog_height_px(), 224);  // 138 x 1.625 = 224.25
  const PixelRect ok = control_rect(*dialog_control(1));
  EXPECT_EQ(ok.x, 344);  // 229 x 1.5 = 343.5, rounded up
  EXPECT_EQ(ok.y, 11);   // 7 x 1.625 = 11.375
  EXPECT_EQ(ok.x + ok.width, 432);
  EXPECT_EQ(ok.y + ok.height, 34);  // 21 x 1.625 = 34.125
  const PixelRect picture = control_rect(setup_dialog_template.controls[2]);
  EXPECT_EQ((std::array{picture.x, picture.y, picture.width, picture.height}), (std::array{11, 11, 320, 200}));
  // The picture ends left of the buttons and above the dialog's bottom edge.
  EXPECT_LT(picture.x + picture.width, ok.x);
  EXPECT_LT(picture.y + picture.height, dialog_height_px());
}

TEST(SetupDialogProcedure, StartChecksFullscreenAndAsksForFocus) {
  SetupDialogState state;
  EXPECT_TRUE(setup_dialog_procedure(state, DIALOG_INIT, 0));
  EXPECT_TRUE(state.fullscreen_checked);
  EXPECT_FALSE(state.windowed_checked);
  EXPECT_FALSE(state.ended);
}

TEST(SetupDialogProcedure, OkReadsTheStateOf1002) {
  SetupDialogState state;
  state.fullscreen_checked = true;
  EXPECT_TRUE(setup_dialog_procedure(state, DIALOG_COMMAND, 1));
  EXPECT_TRUE(state.ended);
  EXPECT_TRUE(state.choice.run);
  EXPECT_TRUE(state.choice.fullscreen);

  SetupDialogState windowed;
  windowed.windowed_checked = true;
  setup_dialog_procedure(windowed, DIALOG_COMMAND, 1);
  EXPECT_TRUE(windowed.choice.run);
  EXPECT_FALSE(windowed.choice.fullscreen);
}

TEST(SetupDialogProcedure, CancelEndsWithoutRun) {
  SetupDialogState state;
  state.fullscreen_checked = true;
  EXPECT_TRUE(setup_dialog_procedure(state, DIALOG_COMMAND, 2));
  EXPECT_TRUE(state.ended);
  EXPECT_FALSE(state.choice.run);
}

TEST(SetupDialogProcedure, OtherMessagesAndControlsAreNotHandled) {
  SetupDialogState state;
  EXPECT_FALSE(setup_dialog_procedure(state, DIALOG_OTHER, 1));
  EXPECT_FALSE(setup_dialog_procedure(state, DIALOG_COMMAND, 1002));
  EXPECT_FALSE(setup_dialog_procedure(state, DIALOG_COMMAND, 7));
  EXPECT_FALSE(state.ended);
}

TEST(SetupDialogKeys, EnterWithNoChangeStartsFullscreen) {
  SetupDialogState state = started();
  EXPECT_EQ(state.focus, id_ok);
  dialog_key(state, DialogKey::enter);
  EXPECT_TRUE(state.ended);
  EXPECT_TRUE(state.choice.run);
  EXPECT_TRUE(state.choice.fullscreen);
}

TEST(SetupDialogKeys, ArrowDownThenEnterStartsWindowed) {
  SetupDialogState state = started();
  dialog_key(state, DialogKey::down);
  EXPECT_TRUE(state.windowed_checked);
  EXPECT_FALSE(state.fullscreen_checked);
  EXPECT_EQ(state.focus, id_windowed);
  dialog_key(state, DialogKey::enter);  // the focus is on no push button: OK
  EXPECT_TRUE(state.choice.run);
  EXPECT_FALSE(state.choice.fullscreen);
}

TEST(SetupDialogKeys, ArrowUpAndLeftReturnToFullscreen) {
  for (DialogKey back : {DialogKey::up, DialogKey::left}) {
    SetupDialogState state = started();
    dialog_key(state, DialogKey::right);
    dialog_key(state, back);
    EXPECT_TRUE(state.fullscreen_checked);
    EXPECT_FALSE(state.windowed_checked);
  }
}

TEST(SetupDialogKeys, EscapeCancels) {
  SetupDialogState state = started();
  dialog_key(state, DialogKey::down);
  dialog_key(state, DialogKey::escape);
  EXPECT_TRUE(state.ended);
  EXPECT_FALSE(state.choice.run);
}

TEST(SetupDialogKeys, TabVisitsOkCancelAndTheCheckedRadio) {
  SetupDialogState state = started();
  dialog_key(state, DialogKey::tab);
  EXPECT_EQ(state.focus, id_cancel);
  dialog_key(state, DialogKey::tab);
  EXPECT_EQ(state.focus, id_fullscreen);
  dialog_key(state, DialogKey::tab);
  EXPECT_EQ(state.focus, id_ok);
  dialog_key(state, DialogKey::back_tab);
  EXPECT_EQ(state.focus, id_fullscreen);
  dialog_key(state, DialogKey::down);
  dialog_key(state, DialogKey::back_tab);
  EXPECT_EQ(state.focus, id_cancel);
  dialog_key(state, DialogKey::back_tab);
  dialog_key(state, DialogKey::back_tab);
  EXPECT_EQ(state.focus, id_windowed);  // the group is entered at its checked button
}

TEST(SetupDialogKeys, EnterOrSpaceOnFocusedCancelCancels) {
  for (DialogKey press : {DialogKey::enter, DialogKey::space}) {
    SetupDialogState state = started();
    dialog_key(state, DialogKey::tab);
    dialog_key(state, press);
    EXPECT_TRUE(state.ended);
    EXPECT_FALSE(state.choice.run);
  }
}

TEST(SetupDialogKeys, SpaceOnFocusedRadioChecksIt) {
  SetupDialogState state = started();
  state.focus = id_windowed;
  dialog_key(state, DialogKey::space);
  EXPECT_TRUE(state.windowed_checked);
  EXPECT_FALSE(state.ended);
}

TEST(SetupDialogKeys, KeysAfterTheEndChangeNothing) {
  SetupDialogState state = started();
  dialog_key(state, DialogKey::escape);
  dialog_key(state, DialogKey::enter);
  dialog_close_box(state);
  EXPECT_FALSE(state.choice.run);
}

TEST(SetupDialogMouse, ClickWindowedThenOk) {
  SetupDialogState state = started();
  click(state, id_windowed);
  EXPECT_TRUE(state.windowed_checked);
  EXPECT_FALSE(state.ended);
  click(state, id_ok);
  EXPECT_TRUE(state.choice.run);
  EXPECT_FALSE(state.choice.fullscreen);
}

TEST(SetupDialogMouse, ClickOnRadioLabelCountsAsClickOnRadio) {
  SetupDialogState state = started();
  const PixelRect r = control_rect(*dialog_control(id_windowed));
  dialog_mouse_down(state, r.x + r.width - 2, r.y + 1);
  dialog_mouse_up(state, r.x + r.width - 2, r.y + 1);
  EXPECT_TRUE(state.windowed_checked);
}

TEST(SetupDialogMouse, ClickCancelEnds) {
  SetupDialogState state = started();
  click(state, id_cancel);
  EXPECT_TRUE(state.ended);
  EXPECT_FALSE(state.choice.run);
}

TEST(SetupDialogMouse, ReleasingOutsideThePressedButtonDoesNothing) {
  SetupDialogState state = started();
  int x = 0, y = 0;
  centre_of(id_cancel, &x, &y);
  dialog_mouse_down(state, x, y);
  EXPECT_TRUE(state.pressed_inside);
  dialog_mouse_move(state, 5, 5);
  EXPECT_FALSE(state.pressed_inside);
  int ok_x = 0, ok_y = 0;
  centre_of(id_ok, &ok_x, &ok_y);
  dialog_mouse_up(state, ok_x, ok_y);  // released over another button
  EXPECT_FALSE(state.ended);
  EXPECT_EQ(state.pressed, 0);
}

TEST(SetupDialogMouse, ClicksOnPictureGroupBoxAndBackgroundDoNothing) {
  SetupDialogState state = started();
  for (auto [x, y] : {std::pair{100, 100}, std::pair{345, 140}, std::pair{440, 220}}) {
    EXPECT_EQ(dialog_control_at(x, y), 0);
    dialog_mouse_down(state, x, y);
    dialog_mouse_up(state, x, y);
  }
  EXPECT_FALSE(state.ended);
  EXPECT_TRUE(state.fullscreen_checked);
}

TEST(SetupDialogCloseBox, Cancels) {
  SetupDialogState state = started();
  dialog_close_box(state);
  EXPECT_TRUE(state.ended);
  EXPECT_FALSE(state.choice.run);
}

TEST(SetupDialogSnapshot, ShowsPictureButtonsAndCheckedRadio) {
  if (find_sans_font().empty()) GTEST_SKIP() << "no sans-serif font installed";
  SetupDialogState state = started();
  const std::vector<std::uint32_t> full = setup_dialog_snapshot(state);
  const int w = dialog_width_px();
  ASSERT_EQ(full.size(), std::size_t(w) * dialog_height_px());

  // The picture lands pixel for pixel at (11, 11).
  const IndexedBitmap bmp = resource_bitmap(110);
  int mismatches = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x)
      mismatches += full[std::size_t(y + 11) * w + std::size_t(x + 11)] != bmp.palette[bmp.indices[std::size_t(y) * 320 + x]];
  EXPECT_EQ(mismatches, 0);

  // Each button holds dark text on its face.
  for (int id : {id_ok, id_cancel}) {
    const PixelRect r = control_rect(*dialog_control(id));
    int dark = 0;
    for (int y = r.y + 4; y < r.y + r.height - 4; ++y)
      for (int x = r.x + 4; x < r.x + r.width - 4; ++x) dark += (full[std::size_t(y) * w + x] & 0xff) < 0x60;
    EXPECT_GT(dark, 10) << "button " << id;
  }

  // Checking "windowed" redraws the radio buttons; the picture stays as it was.
  dialog_key(state, DialogKey::down);
  const std::vector<std::uint32_t> windowed = setup_dialog_snapshot(state);
  ASSERT_EQ(windowed.size(), full.size());
  const PixelRect radio = control_rect(*dialog_control(id_windowed));
  int changed_in_radio = 0;
  for (std::size_t i = 0; i < full.size(); ++i)
    if (full[i] != windowed[i]) {
      const int x = int(i % w), y = int(i / w);
      EXPECT_GE(x, 331) << "pixel " << x << "," << y;
      changed_in_radio += radio.contains(x, y);
    }
  EXPECT_GT(changed_in_radio, 0);
}

TEST(SansFont, FoundThroughFontconfigOrFallback) {
  const std::string font = find_sans_font();
  if (font.empty()) GTEST_SKIP() << "no sans-serif font installed";
  EXPECT_NE(font.find(".tt"), std::string::npos) << font;
}

TEST(MessageBox, WithoutWindowSystemPrintsCaptionAndText) {
  forget_display();
  testing::internal::CaptureStderr();
  show_message_box("script loading failed", "error");
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("error: script loading failed\n"), std::string::npos) << printed;
}

TEST(MessageBox, HeadlessWindowSystemPrintsCaptionAndText) {
  HeadlessWindowSystem window;
  testing::internal::CaptureStderr();
  window.message_box("null pointer error", "error in script -> loading data");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "error in script -> loading data: null pointer error\n");
}

TEST(LiveWindowSystem, NullWithoutDisplay) {
  forget_display();
  for (const char* driver : {"none", "x11"}) {
    setenv("SDL_VIDEODRIVER", driver, 1);
    EXPECT_EQ(make_live_window_system(), nullptr) << driver;
    EXPECT_EQ(make_live_toolkit(), nullptr) << driver;
  }
}

TEST(LiveWindowSystem, NullOnDriversThatDrawIntoMemory) {
  // SDL picks these by itself when no display answers; nobody could see the dialog there.
  forget_display();
  for (const char* driver : {"offscreen", "dummy"}) {
    setenv("SDL_VIDEODRIVER", driver, 1);
    EXPECT_EQ(make_live_window_system(), nullptr) << driver;
    EXPECT_EQ(make_live_toolkit(), nullptr) << driver;
  }
}

TEST(Letterbox, FourByThreeCentredInAnyOutput) {
  const auto same = [](ScreenRect r, ScreenRect want) {
    return r.x == want.x && r.y == want.y && r.width == want.width && r.height == want.height;
  };
  EXPECT_TRUE(same(letterbox_4_3(640, 480), {0, 0, 640, 480}));
  EXPECT_TRUE(same(letterbox_4_3(1024, 768), {0, 0, 1024, 768}));
  EXPECT_TRUE(same(letterbox_4_3(1920, 1080), {240, 0, 1440, 1080}));  // bars left and right
  EXPECT_TRUE(same(letterbox_4_3(1280, 1024), {0, 32, 1280, 960}));    // bars above and below
  EXPECT_TRUE(same(letterbox_4_3(1280, 800), {107, 0, 1066, 800}));
  EXPECT_TRUE(same(letterbox_4_3(0, 480), {0, 0, 0, 0}));
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
  while (!key_queue_empty(queue)) {
    last = key_queue_pop(queue);
    ++count;
  }
  EXPECT_EQ(count, KeyQueue::capacity);
  EXPECT_EQ(last, key_escape);

  key_queue_push(queue, 'x');
  key_queue_push(queue, 'y');
  EXPECT_EQ(key_queue_pop(queue), 'x');
  EXPECT_EQ(key_queue_pop(queue), 'y');
}

TEST(DialogResources, PictureIs320x200WithPaletteAndIconHasThreeSizes) {
  const IndexedBitmap bmp = resource_bitmap(110);
  EXPECT_EQ(bmp.width, 320);
  EXPECT_EQ(bmp.height, 200);
  ASSERT_EQ(bmp.indices.size(), 64000u);
  std::set<std::uint32_t> colours;
  for (std::uint8_t i : bmp.indices) colours.insert(bmp.palette[i]);
  EXPECT_GT(colours.size(), 50u);  // a picture, not a blank
  EXPECT_TRUE(resource_bitmap(111).indices.empty());

  const std::vector<IconImage> icons = resource_icon_group(107);
  ASSERT_EQ(icons.size(), 3u);
  for (const IconImage& icon : icons) {
    ASSERT_EQ(icon.pixels.size(), std::size_t(icon.size) * icon.size);
    EXPECT_EQ(icon.pixels[0] >> 24, 0u) << "rounded corner is transparent";
    EXPECT_EQ(icon.pixels[std::size_t(icon.size / 2) * icon.size + icon.size / 2] >> 24, 255u);
  }
  EXPECT_TRUE(resource_icon_group(108).empty());
}
