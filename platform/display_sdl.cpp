// display_sdl.cpp: the console as an SDL window or full screen, its streaming texture,
// presentation paced by vsync, and the keyboard queue.
#include "platform/display_sdl.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/live.h"
#include "platform/overlay_sdl.h"
#include "platform/sdl_owned.h"
#include "platform/window_sdl.h"

namespace {

constexpr double fallback_refresh_hz = 60;
// Presents that return this much faster than a refresh, this many times in a row, mean the
// driver's vsync does not wait; the console then paces itself.
constexpr int fast_presents_before_pacing = 30;

class SdlConsole final : public Console {
 public:
  ~SdlConsole() override { close(); }
  bool set_option(std::string_view option) override;
  bool open(std::string_view title, int width, int height, const PixelFormat& format) override;
  void place_window(int x, int y, int width, int height) override;
  void copy_from(const Surface& surface) override;
  void update() override;
  bool key_waiting() override;
  int read_key() override { return key_queue_pop(keys_); }
  void close() override;
  void set_overlay(std::string_view text) override { overlay_set_text(overlay_, renderer_.get(), text); }

 private:
  void pace_before_present();
  void judge_vsync(Uint64 present_ticks);

  bool fullscreen_ = false;
  bool centre_ = false;
  bool video_ = false;  // holds a reference on SDL's video subsystem
  // In this order: a texture goes before its renderer, a renderer before its window.
  WindowPtr window_;
  RendererPtr renderer_;
  TexturePtr texture_;
  int width_ = 0, height_ = 0;
  Surface staging_;  // frames in other formats are converted here first
  KeyQueue keys_;
  TextOverlay overlay_;

  bool vsync_waits_ = false;
  int fast_presents_ = 0;
  Uint64 refresh_ticks_ = 0;  // one display refresh in performance-counter ticks
  Uint64 last_present_ = 0;
};

bool SdlConsole::set_option(std::string_view option) {
  if (option == "fullscreen output") fullscreen_ = true;
  else if (option == "windowed output") fullscreen_ = false;
  else if (option == "center window") centre_ = true;
  else if (option != "DirectX") return false;  // the original's back end: nothing to choose here
  return true;
}

// A console that cannot be opened leaves Escape in its queue: its owner does not check
// the result, and a show that nobody can see or stop must end at its first key poll.
bool SdlConsole::open(std::string_view title, int width, int height, const PixelFormat& format) {
  close();
  if (width <= 0 || height <= 0 || SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    key_queue_push(keys_, key_escape);
    return false;
  }
  video_ = true;
  width_ = width;
  height_ = height;
  // The windowed size shows the picture at 4:3, twice as wide as the picture: 640x480.
  // Full screen starts as large as the desktop, so it covers the screen also where no window
  // manager acts on the full-screen request.
  const int position = centre_ ? int(SDL_WINDOWPOS_CENTERED) : int(SDL_WINDOWPOS_UNDEFINED);
  SDL_Rect place{position, position, 2 * width, 2 * width * 3 / 4};
  if (fullscreen_ && SDL_GetDisplayBounds(0, &place) != 0) place = {0, 0, 2 * width, 2 * width * 3 / 4};
  // Hidden until its renderer exists: making a GL renderer recreates the window, which
  // would take the focus from a window already on the screen.
  const Uint32 flags = SDL_WINDOW_HIDDEN | (fullscreen_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  window_.reset(SDL_CreateWindow(std::string(title).c_str(), place.x, place.y, place.w, place.h, flags));
  if (!window_) {
    std::fprintf(stderr, "quindle: cannot open the display window: %s\n", SDL_GetError());
    close();
    key_queue_push(keys_, key_escape);
    return false;
  }
  set_program_icon(window_.get());
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  renderer_.reset(SDL_CreateRenderer(window_.get(), -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC));
  if (!renderer_) renderer_.reset(SDL_CreateRenderer(window_.get(), -1, SDL_RENDERER_SOFTWARE));
  if (renderer_)
    texture_.reset(SDL_CreateTexture(renderer_.get(), SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height));
  if (!texture_) {
    std::fprintf(stderr, "quindle: cannot draw into the display window: %s\n", SDL_GetError());
    close();
    key_queue_push(keys_, key_escape);
    return false;
  }
  SDL_SetTextureScaleMode(texture_.get(), SDL_ScaleModeNearest);
  if (!(format == display_pixel_format)) staging_ = surface_create(width, height, display_pixel_format);

  SDL_RendererInfo info;
  vsync_waits_ = SDL_GetRendererInfo(renderer_.get(), &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
  SDL_DisplayMode mode;
  const int display = SDL_GetWindowDisplayIndex(window_.get());
  const double hz = SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 && mode.refresh_rate > 0
                        ? mode.refresh_rate
                        : fallback_refresh_hz;
  refresh_ticks_ = Uint64(double(SDL_GetPerformanceFrequency()) / hz);
  if (fullscreen_) SDL_ShowCursor(SDL_DISABLE);
  SDL_ShowWindow(window_.get());
  SDL_SetRenderDrawColor(renderer_.get(), 0, 0, 0, 255);
  SDL_RenderClear(renderer_.get());
  SDL_RenderPresent(renderer_.get());
  return true;
}

// The outer size is the given one: the frame the window manager adds comes off the inside.
// Full screen keeps the whole screen.
void SdlConsole::place_window(int x, int y, int width, int height) {
  if (!window_ || fullscreen_) return;
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(window_.get(), &top, &left, &bottom, &right) != 0) top = left = bottom = right = 0;
  SDL_SetWindowSize(window_.get(), SDL_max(width - left - right, 1), SDL_max(height - top - bottom, 1));
  SDL_SetWindowPosition(window_.get(), x + left, y + top);
  SDL_ShowWindow(window_.get());
  SDL_RaiseWindow(window_.get());
}

void SdlConsole::copy_from(const Surface& surface) {
  if (!texture_) return;
  const Surface* frame = &surface;
  if (!(surface.format == display_pixel_format) || surface.width != width_ || surface.height != height_) {
    if (staging_.pixels.empty()) staging_ = surface_create(width_, height_, display_pixel_format);
    surface_clear(staging_);
    surface_copy_area(surface, staging_, {0, 0, surface.width, surface.height}, {0, 0, surface.width, surface.height});
    frame = &staging_;
  }
  SDL_UpdateTexture(texture_.get(), nullptr, frame->pixels.data(), frame->pitch);
}

void SdlConsole::pace_before_present() {
  if (vsync_waits_ || !last_present_) return;
  const Uint64 due = last_present_ + refresh_ticks_;
  const Uint64 now = SDL_GetPerformanceCounter();
  if (now < due) SDL_Delay(Uint32((due - now) * 1000 / SDL_GetPerformanceFrequency()));
}

void SdlConsole::judge_vsync(Uint64 present_ticks) {
  if (!vsync_waits_) return;
  fast_presents_ = present_ticks < refresh_ticks_ / 4 ? fast_presents_ + 1 : 0;
  if (fast_presents_ >= fast_presents_before_pacing) vsync_waits_ = false;
}

void SdlConsole::update() {
  if (!renderer_) return;
  int out_w = 0, out_h = 0;
  SDL_Renderer* renderer = renderer_.get();
  if (SDL_GetRendererOutputSize(renderer, &out_w, &out_h) != 0) return;
  const ScreenRect r = letterbox_4_3(out_w, out_h);
  const SDL_Rect to{r.x, r.y, r.width, r.height};
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture_.get(), nullptr, &to);
  overlay_draw(overlay_, renderer);
  pace_before_present();
  const Uint64 before = SDL_GetPerformanceCounter();
  SDL_RenderPresent(renderer);
  last_present_ = SDL_GetPerformanceCounter();
  judge_vsync(last_present_ - before);
}

// Pumps the window's events, so it stays responsive, and queues its key presses. Closing
// the window ends the show as Escape does.
bool SdlConsole::key_waiting() {
  if (video_) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      if (e.type == SDL_KEYDOWN) key_queue_push(keys_, console_key_code(e.key.keysym.sym, e.key.keysym.scancode));
      else if (e.type == SDL_QUIT || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE))
        key_queue_push(keys_, key_escape);
    }
  }
  return !key_queue_empty(keys_);
}

void SdlConsole::close() {
  overlay_close(overlay_);
  texture_.reset();
  renderer_.reset();
  window_.reset();
  if (video_) {
    SDL_ShowCursor(SDL_ENABLE);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video_ = false;
  }
}

class SdlToolkit final : public PixelToolkit {
 public:
  ~SdlToolkit() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }
  std::unique_ptr<Console> create_console() override { return std::make_unique<SdlConsole>(); }
};

}  // namespace

ScreenRect letterbox_4_3(int output_width, int output_height) {
  ScreenRect r;
  if (output_width <= 0 || output_height <= 0) return r;
  if (std::int64_t(output_width) * 3 > std::int64_t(output_height) * 4) {
    r.height = output_height;
    r.width = int(std::int64_t(output_height) * 4 / 3);
  } else {
    r.width = output_width;
    r.height = int(std::int64_t(output_width) * 3 / 4);
  }
  r.x = (output_width - r.width) / 2;
  r.y = (output_height - r.height) / 2;
  return r;
}

int console_key_code(int sdl_symbol, int sdl_scancode) {
  if (sdl_symbol > 0 && sdl_symbol < 128) return sdl_symbol;
  return 256 + sdl_scancode;
}

void key_queue_push(KeyQueue& queue, int code) {
  if (queue.count == KeyQueue::capacity) {
    if (code == key_escape) queue.codes[(queue.head + queue.count - 1) % KeyQueue::capacity] = code;
    return;
  }
  queue.codes[(queue.head + queue.count) % KeyQueue::capacity] = code;
  ++queue.count;
}

bool key_queue_empty(const KeyQueue& queue) { return queue.count == 0; }

int key_queue_pop(KeyQueue& queue) {
  if (!queue.count) return 0;
  const int code = queue.codes[queue.head];
  queue.head = (queue.head + 1) % KeyQueue::capacity;
  --queue.count;
  return code;
}

std::unique_ptr<PixelToolkit> make_live_toolkit() {
  if (!init_visible_video()) return nullptr;
  return std::make_unique<SdlToolkit>();
}
