// The live console and message boxes on a real X server (run under Xvfb by ctest): what
// reaches the screen is read back with imagemagick's `import`, keys are sent with xdotool.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/display_sdl.h"
#include "platform/live.h"
#include "platform/window_sdl.h"

namespace {

constexpr std::uint32_t red = 0xff0000, blue = 0x0000ff, white = 0xffffff;
const std::string title = "quindle07 super fast demo";

// The root window as 0x00RRGGBB pixels.
struct Screenshot {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

Screenshot grab(int width, int height) {
  Screenshot shot;
  const std::string path = testing::TempDir() + "live_display_root.rgb";
  if (std::system(("import -window root -depth 8 rgb:" + path).c_str()) != 0) return shot;
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
  if (bytes.size() != std::size_t(width) * height * 3) return shot;
  shot.width = width;
  shot.height = height;
  shot.pixels.resize(std::size_t(width) * height);
  for (std::size_t i = 0; i < shot.pixels.size(); ++i)
    shot.pixels[i] = std::uint32_t(bytes[3 * i]) << 16 | std::uint32_t(bytes[3 * i + 1]) << 8 | bytes[3 * i + 2];
  return shot;
}

Surface frame_of(std::uint32_t (*colour)(int x, int y)) {
  Surface s = surface_create(320, 200, display_pixel_format);
  auto* p = reinterpret_cast<std::uint32_t*>(surface_lock(s));
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) p[y * 320 + x] = colour(x, y);
  surface_unlock(s);
  return s;
}

// Runs a shell command and gives its first line of output.
std::string first_line(const std::string& command) {
  std::string line;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    if (std::fgets(buffer, sizeof buffer, pipe)) line = buffer;
    pclose(pipe);
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// Types keys into the visible window of that title, as a user would: focus it, then type.
// Without a window manager the focus is set directly; a try that does not take is repeated.
bool type_into(const std::string& window_title, const std::string& keys) {
  // A search that meets a window being destroyed ends with an X error, so it is repeated
  // rather than left waiting.
  std::string id;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (id.empty() && std::chrono::steady_clock::now() < until) {
    id = first_line("timeout 2 xdotool search --onlyvisible --name '^" + window_title + "$' 2>/dev/null");
    if (id.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (id.empty()) {
    std::fprintf(stderr, "no visible window \"%s\"\n", window_title.c_str());
    return false;
  }
  for (int attempt = 0; attempt < 3; ++attempt)
    if (std::system(("timeout 3 xdotool windowfocus --sync " + id).c_str()) == 0)
      return std::system(("xdotool key --clearmodifiers " + keys).c_str()) == 0;
  std::fprintf(stderr, "window \"%s\" never took the focus\n", window_title.c_str());
  return false;
}

// Presents the frame a few times with the events pumped, so the X server has drawn it.
void show(Console& console, const Surface& frame) {
  for (int i = 0; i < 10; ++i) {
    console.copy_from(frame);
    console.update();
    console.key_waiting();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

class LiveDisplay : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display: run under xvfb-run";
    window_ = make_live_window_system();
    toolkit_ = make_live_toolkit();
    ASSERT_NE(window_, nullptr);
    ASSERT_NE(toolkit_, nullptr);
    window_->screen_size(&screen_w_, &screen_h_);
  }

  std::unique_ptr<Console> open_console(bool fullscreen) {
    std::unique_ptr<Console> console = toolkit_->create_console();
    console->set_option("DirectX");
    console->set_option(fullscreen ? "fullscreen output" : "windowed output");
    console->set_option("center window");
    EXPECT_TRUE(console->open(title, 320, 200, display_pixel_format));
    console->place_window(screen_w_ / 2 - 320, screen_h_ / 2 - 240, 640, 480);
    return console;
  }

  std::unique_ptr<WindowSystem> window_;
  std::unique_ptr<PixelToolkit> toolkit_;
  int screen_w_ = 0, screen_h_ = 0;
};

}  // namespace

TEST_F(LiveDisplay, WindowedShows640x480CentredWithoutBlur) {
  auto console = open_console(false);
  show(*console, frame_of([](int x, int y) { return (x + y) % 2 ? red : blue; }));
  const Screenshot shot = grab(screen_w_, screen_h_);
  ASSERT_FALSE(shot.pixels.empty());
  const int left = screen_w_ / 2 - 320, top = screen_h_ / 2 - 240;
  std::set<std::uint32_t> colours;
  for (int y = top; y < top + 480; ++y)
    for (int x = left; x < left + 640; ++x) colours.insert(shot.at(x, y));
  EXPECT_EQ(colours, (std::set<std::uint32_t>{red, blue})) << "scaling mixed colours";
  EXPECT_EQ(shot.at(left, top), blue);                // picture pixel (0, 0)
  EXPECT_EQ(shot.at(left + 639, top + 479), blue);    // picture pixel (319, 199)
  EXPECT_EQ(shot.at(left + 2, top), red);             // picture pixel (1, 0), two pixels wide
  EXPECT_NE(shot.at(left - 1, top + 100), red);       // nothing left of the window
  EXPECT_NE(shot.at(left + 640, top + 100), blue);
  console->close();
}

TEST_F(LiveDisplay, FullscreenFillsTheLargest4By3AreaAndBlacksTheRest) {
  auto console = open_console(true);
  show(*console, frame_of([](int, int) { return white; }));
  const Screenshot shot = grab(screen_w_, screen_h_);
  ASSERT_FALSE(shot.pixels.empty());
  const ScreenRect r = letterbox_4_3(screen_w_, screen_h_);
  int wrong = 0;
  for (int y = 0; y < screen_h_; y += 3)
    for (int x = 0; x < screen_w_; x += 3) {
      const bool inside = x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
      const bool edge = x == r.x - 1 || x == r.x + r.width || y == r.y - 1 || y == r.y + r.height;
      if (!edge && shot.at(x, y) != (inside ? white : 0u)) ++wrong;
    }
  EXPECT_EQ(wrong, 0) << "picture at " << r.x << "," << r.y << " " << r.width << "x" << r.height;
  console->close();
}

TEST_F(LiveDisplay, KeysArriveInOrderAndEscapeIs27) {
  auto console = open_console(false);
  show(*console, frame_of([](int, int) { return 0u; }));
  ASSERT_TRUE(type_into(title, "a Left Escape"));
  std::vector<int> keys;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (keys.size() < 3 && std::chrono::steady_clock::now() < until) {
    while (console->key_waiting()) keys.push_back(console->read_key());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0], 'a');
  EXPECT_NE(keys[1], 27);
  EXPECT_EQ(keys[2], 27);
  console->close();
}

TEST_F(LiveDisplay, MessageBoxWaitsForOk) {
  // A helper answers the box as a user would once it is on the screen; should that fail,
  // it asks the box to close after 15 s, and the test fails on the time.
  std::atomic<bool> closed{false}, watchdog{false};
  std::thread user([&closed, &watchdog] {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!closed && std::chrono::steady_clock::now() < give_up) {
      type_into("box caption", "Return");
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (!closed) {
      watchdog = true;
      post_close_request();
    }
  });
  const auto start = std::chrono::steady_clock::now();
  testing::internal::CaptureStderr();
  window_->message_box("box text", "box caption");
  closed = true;
  const std::string printed = testing::internal::GetCapturedStderr();
  user.join();
  EXPECT_EQ(printed.find("box caption: box text"), std::string::npos) << "the box went to standard error";
  EXPECT_FALSE(watchdog) << "the box did not close on Return";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}
