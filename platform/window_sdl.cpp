// window_sdl.cpp: the setup dialog drawn with SDL2 and SDL2_ttf in the look of a classic
// desktop dialog, message boxes and the screen size.
#include "platform/window_sdl.h"

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>

#include "platform/live.h"
#include "platform/sdl_owned.h"
#include "resources/resources.h"

namespace {

constexpr const char* fallback_font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr int largest_font_px = 11;  // the 8-point dialog font on a 96-dpi screen
constexpr int smallest_font_px = 8;

// Colours of the classic 3D look.
constexpr SDL_Color face{0xd4, 0xd0, 0xc8, 0xff};
constexpr SDL_Color light{0xff, 0xff, 0xff, 0xff};
constexpr SDL_Color shadow{0x80, 0x80, 0x80, 0xff};
constexpr SDL_Color dark{0x40, 0x40, 0x40, 0xff};
constexpr SDL_Color black{0x00, 0x00, 0x00, 0xff};

// A text made once as a texture, with its size.
struct TextImage {
  TexturePtr texture;
  int width = 0, height = 0;
};

// Everything the dialog draws that is made once per renderer.
struct DialogArt {
  TexturePtr picture;
  TextImage texts[8];  // by index of the control in the template (it has 6)
};

SurfacePtr picture_surface(int bitmap_id) {
  const IndexedBitmap bmp = resource_bitmap(bitmap_id);
  SurfacePtr s(SDL_CreateRGBSurfaceWithFormat(0, bmp.width, bmp.height, 8, SDL_PIXELFORMAT_INDEX8));
  if (!s) return s;
  SDL_Color colours[256];
  for (int i = 0; i < 256; ++i)
    colours[i] = {Uint8(bmp.palette[i] >> 16), Uint8(bmp.palette[i] >> 8), Uint8(bmp.palette[i]), 0xff};
  SDL_SetPaletteColors(s->format->palette, colours, 0, 256);
  for (int y = 0; y < bmp.height; ++y)
    SDL_memcpy(static_cast<Uint8*>(s->pixels) + y * s->pitch, &bmp.indices[std::size_t(y) * bmp.width], bmp.width);
  return s;
}

// The 32-pixel image of the program icon, for the window's title bar and task list.
SurfacePtr icon_surface() {
  for (const IconImage& icon : resource_icon_group(resource_icon)) {
    if (icon.size != 32) continue;
    SurfacePtr s(SDL_CreateRGBSurfaceWithFormat(0, 32, 32, 32, SDL_PIXELFORMAT_ARGB8888));
    if (!s) return s;
    for (int y = 0; y < 32; ++y)
      SDL_memcpy(static_cast<Uint8*>(s->pixels) + y * s->pitch, &icon.pixels[std::size_t(y) * 32], 32 * 4);
    return s;
  }
  return nullptr;
}

// The largest font size up to the classic one at which every control text fits its control.
FontPtr open_dialog_font() {
  const std::string path = find_sans_font();
  if (path.empty()) return nullptr;
  for (int px = largest_font_px; px >= smallest_font_px; --px) {
    FontPtr font(TTF_OpenFont(path.c_str(), px));
    if (!font) return nullptr;
    bool fits = true;
    for (const DialogControl& c : setup_dialog_template.controls) {
      int w = 0, h = 0;
      if (c.text.empty() || TTF_SizeUTF8(font.get(), std::string(c.text).c_str(), &w, &h) != 0) continue;
      const int room = control_rect(c).width - (c.kind == ControlKind::auto_radio ? 17 : 8);
      fits = fits && w <= room;
    }
    if (fits || px == smallest_font_px) return font;
  }
  return nullptr;
}

TextImage make_text(SDL_Renderer* r, TTF_Font* font, std::string_view text) {
  TextImage image;
  if (text.empty()) return image;
  SurfacePtr s(TTF_RenderUTF8_Blended(font, std::string(text).c_str(), black));
  if (!s) return image;
  image.texture.reset(SDL_CreateTextureFromSurface(r, s.get()));
  image.width = s->w;
  image.height = s->h;
  return image;
}

// False when no font could be opened: the dialog then shows its picture and frames only.
bool make_art(SDL_Renderer* r, DialogArt& art) {
  const auto& controls = setup_dialog_template.controls;
  for (const DialogControl& c : controls)
    if (c.kind == ControlKind::picture)
      if (SurfacePtr s = picture_surface(c.bitmap)) art.picture.reset(SDL_CreateTextureFromSurface(r, s.get()));
  const auto font = open_dialog_font();
  if (!font) return false;
  for (std::size_t i = 0; i < controls.size() && i < std::size(art.texts); ++i)
    art.texts[i] = make_text(r, font.get(), controls[i].text);
  return true;
}

void set_colour(SDL_Renderer* r, SDL_Color c) { SDL_SetRenderDrawColor(r, c.r, c.g, c.b, c.a); }

void hline(SDL_Renderer* r, SDL_Color c, int x0, int x1, int y) {
  set_colour(r, c);
  SDL_RenderDrawLine(r, x0, y, x1, y);
}

void vline(SDL_Renderer* r, SDL_Color c, int x, int y0, int y1) {
  set_colour(r, c);
  SDL_RenderDrawLine(r, x, y0, x, y1);
}

// A frame one pixel wide: top and left in one colour, bottom and right in another.
void bevel(SDL_Renderer* r, const PixelRect& a, SDL_Color top_left, SDL_Color bottom_right) {
  const int x1 = a.x + a.width - 1, y1 = a.y + a.height - 1;
  hline(r, top_left, a.x, x1 - 1, a.y);
  vline(r, top_left, a.x, a.y, y1 - 1);
  hline(r, bottom_right, a.x, x1, y1);
  vline(r, bottom_right, x1, a.y, y1);
}

PixelRect inset(const PixelRect& a, int by) { return {a.x + by, a.y + by, a.width - 2 * by, a.height - 2 * by}; }

// The dotted rectangle of the focused control.
void focus_frame(SDL_Renderer* r, const PixelRect& a) {
  set_colour(r, black);
  for (int x = a.x; x < a.x + a.width; x += 2) {
    SDL_RenderDrawPoint(r, x, a.y);
    SDL_RenderDrawPoint(r, x, a.y + a.height - 1);
  }
  for (int y = a.y; y < a.y + a.height; y += 2) {
    SDL_RenderDrawPoint(r, a.x, y);
    SDL_RenderDrawPoint(r, a.x + a.width - 1, y);
  }
}

void draw_text(SDL_Renderer* r, const TextImage& text, int x, int y) {
  if (!text.texture) return;
  const SDL_Rect to{x, y, text.width, text.height};
  SDL_RenderCopy(r, text.texture.get(), nullptr, &to);
}

// A raised push button; the default one (which Enter presses) has a black frame.
void draw_button(SDL_Renderer* r, PixelRect a, const TextImage& text, bool is_default, bool focused, bool down) {
  if (is_default) {
    bevel(r, a, black, black);
    a = inset(a, 1);
  }
  if (down) {
    bevel(r, a, shadow, shadow);
  } else {
    bevel(r, a, light, dark);
    bevel(r, inset(a, 1), face, shadow);
  }
  const int shift = down ? 1 : 0;
  draw_text(r, text, a.x + (a.width - text.width) / 2 + shift, a.y + (a.height - text.height) / 2 + shift);
  if (focused) focus_frame(r, inset(a, 3));
}

void draw_push_button(SDL_Renderer* r, const DialogControl& c, const TextImage& text, const SetupDialogState& state) {
  // Enter presses the focused push button, or the default one when the focus is elsewhere.
  const bool is_default = state.focus == c.id || (c.kind == ControlKind::default_button && state.focus != id_cancel);
  draw_button(r, control_rect(c), text, is_default, state.focus == c.id, state.pressed == c.id && state.pressed_inside);
}

// A 12-pixel round button: sunken ring, white inside, a dot when checked.
void draw_radio_mark(SDL_Renderer* r, int x, int y, bool checked) {
  constexpr int size = 12;
  const double c = (size - 1) / 2.0;
  for (int py = 0; py < size; ++py)
    for (int px = 0; px < size; ++px) {
      const double dx = px - c, dy = py - c, d = SDL_sqrt(dx * dx + dy * dy);
      if (d > 6.0) continue;
      const bool upper_left = dx + dy < 0;
      SDL_Color colour = light;
      if (d > 5.0) colour = upper_left ? shadow : light;
      else if (d > 4.0) colour = upper_left ? dark : face;
      else if (checked && d < 2.0) colour = black;
      set_colour(r, colour);
      SDL_RenderDrawPoint(r, x + px, y + py);
    }
}

void draw_radio(SDL_Renderer* r, const DialogControl& c, const TextImage& text, const SetupDialogState& state) {
  const PixelRect a = control_rect(c);
  draw_radio_mark(r, a.x, a.y + (a.height - 12) / 2, dialog_is_checked(state, c.id));
  const int tx = a.x + 17, ty = a.y + (a.height - text.height) / 2;
  draw_text(r, text, tx, ty);
  if (state.focus == c.id) focus_frame(r, {tx - 2, ty, text.width + 3, text.height});
}

// An etched frame whose top line is broken by the caption.
void draw_group_box(SDL_Renderer* r, const DialogControl& c, const TextImage& text) {
  const PixelRect a = control_rect(c);
  const int top = a.y + text.height / 2;
  const PixelRect frame{a.x, top, a.width, a.y + a.height - top};
  bevel(r, frame, shadow, light);
  bevel(r, inset(frame, 1), light, shadow);
  const SDL_Rect gap{a.x + 7, a.y, text.width + 4, text.height};
  set_colour(r, face);
  SDL_RenderFillRect(r, &gap);
  draw_text(r, text, a.x + 9, a.y);
}

void draw_dialog(SDL_Renderer* r, const DialogArt& art, const SetupDialogState& state) {
  set_colour(r, face);
  SDL_RenderClear(r);
  const auto& controls = setup_dialog_template.controls;
  for (std::size_t i = 0; i < controls.size() && i < std::size(art.texts); ++i) {
    const DialogControl& c = controls[i];
    switch (c.kind) {
      case ControlKind::default_button:
      case ControlKind::button:
        draw_push_button(r, c, art.texts[i], state);
        break;
      case ControlKind::picture: {
        const PixelRect a = control_rect(c);
        const SDL_Rect to{a.x, a.y, a.width, a.height};
        if (art.picture) SDL_RenderCopy(r, art.picture.get(), nullptr, &to);
        break;
      }
      case ControlKind::group_box:
        draw_group_box(r, c, art.texts[i]);
        break;
      case ControlKind::auto_radio:
        draw_radio(r, c, art.texts[i], state);
        break;
    }
  }
}

bool ours(Uint32 event_window, Uint32 dialog_window) { return event_window == 0 || event_window == dialog_window; }

void handle_key(SetupDialogState& state, const SDL_KeyboardEvent& key) {
  switch (key.keysym.sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      dialog_key(state, DialogKey::enter);
      break;
    case SDLK_ESCAPE:
      dialog_key(state, DialogKey::escape);
      break;
    case SDLK_TAB:
      dialog_key(state, (key.keysym.mod & KMOD_SHIFT) ? DialogKey::back_tab : DialogKey::tab);
      break;
    case SDLK_UP:
      dialog_key(state, DialogKey::up);
      break;
    case SDLK_DOWN:
      dialog_key(state, DialogKey::down);
      break;
    case SDLK_LEFT:
      dialog_key(state, DialogKey::left);
      break;
    case SDLK_RIGHT:
      dialog_key(state, DialogKey::right);
      break;
    case SDLK_SPACE:
      dialog_key(state, DialogKey::space);
      break;
    default:
      break;
  }
}

// One event of the dialog's window; false when nothing it shows can have changed.
bool handle_event(SetupDialogState& state, const SDL_Event& e, Uint32 window_id) {
  switch (e.type) {
    case SDL_QUIT:
      dialog_close_box(state);
      return true;
    case SDL_WINDOWEVENT:
      if (!ours(e.window.windowID, window_id)) return false;
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) dialog_close_box(state);
      return true;
    case SDL_KEYDOWN:
      if (!ours(e.key.windowID, window_id)) return false;
      handle_key(state, e.key);
      return true;
    case SDL_MOUSEBUTTONDOWN:
      if (!ours(e.button.windowID, window_id) || e.button.button != SDL_BUTTON_LEFT) return false;
      dialog_mouse_down(state, e.button.x, e.button.y);
      return true;
    case SDL_MOUSEMOTION:
      if (!ours(e.motion.windowID, window_id) || !state.pressed) return false;
      dialog_mouse_move(state, e.motion.x, e.motion.y);
      return true;
    case SDL_MOUSEBUTTONUP:
      if (!ours(e.button.windowID, window_id) || e.button.button != SDL_BUTTON_LEFT) return false;
      dialog_mouse_up(state, e.button.x, e.button.y);
      return true;
    default:
      return false;
  }
}

// Runs a box of our own until it is closed: the text above one OK button. Enter, Escape,
// Space, a click on OK and the close box all close it. False when it could not be shown.
bool run_own_message_box(const std::string& text, const std::string& caption) {
  const FontPtr font = open_dialog_font();
  if (!font) return false;
  int tw = 0, th = 0;
  TTF_SizeUTF8(font.get(), text.c_str(), &tw, &th);
  constexpr int margin = 20, button_w = 88, button_h = 23;
  const int w = SDL_max(tw + 2 * margin, 2 * margin + button_w + 80);
  const int h = margin + th + margin + button_h + 12;
  const PixelRect button{(w - button_w) / 2, h - 12 - button_h, button_w, button_h};
  const WindowPtr window(
      SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h, SDL_WINDOW_HIDDEN));
  if (!window) return false;
  const RendererPtr owned_renderer(SDL_CreateRenderer(window.get(), -1, 0));
  SDL_Renderer* renderer = owned_renderer.get();
  if (!renderer) return false;
  set_program_icon(window.get());
  const TextImage message = make_text(renderer, font.get(), text);
  const TextImage ok = make_text(renderer, font.get(), "OK");
  SDL_ShowWindow(window.get());
  SDL_RaiseWindow(window.get());
  bool done = false;
  bool pressed = false;
  bool inside = false;
  while (!done) {
    set_colour(renderer, face);
    SDL_RenderClear(renderer);
    draw_text(renderer, message, margin, margin);
    draw_button(renderer, button, ok, true, true, pressed && inside);
    SDL_RenderPresent(renderer);
    SDL_Event e;
    if (!SDL_WaitEvent(&e)) break;
    if (e.type == SDL_QUIT || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE)) {
      done = true;
    } else if (e.type == SDL_KEYDOWN) {
      const SDL_Keycode k = e.key.keysym.sym;
      done = k == SDLK_RETURN || k == SDLK_KP_ENTER || k == SDLK_ESCAPE || k == SDLK_SPACE;
    } else if (e.type == SDL_MOUSEBUTTONDOWN && e.button.button == SDL_BUTTON_LEFT) {
      pressed = button.contains(e.button.x, e.button.y);
      inside = pressed;
    } else if (e.type == SDL_MOUSEMOTION && pressed) {
      inside = button.contains(e.motion.x, e.motion.y);
    } else if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT) {
      done = pressed && button.contains(e.button.x, e.button.y);
      pressed = false;
      inside = false;
    }
  }
  return true;
}

// A message box of our own for window systems where SDL's cannot be drawn (an X server
// without core fonts). False when no window could be shown.
bool own_message_box(const std::string& text, const std::string& caption) {
  if (!init_visible_video()) return false;
  if (TTF_Init() != 0) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  const bool shown = run_own_message_box(text, caption);
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  TTF_Quit();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return shown;
}

class SdlWindowSystem final : public WindowSystem {
 public:
  ~SdlWindowSystem() override {
    TTF_Quit();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  SetupChoice run_setup_dialog() override;
  void message_box(std::string_view text, std::string_view caption) override { show_message_box(text, caption); }
  void screen_size(int* width, int* height) override;
};

// Shows the dialog until it ends; false when it could not be shown.
bool run_dialog_window(SetupDialogState& state) {
  const WindowPtr window(SDL_CreateWindow(std::string(setup_dialog_template.title).c_str(), SDL_WINDOWPOS_CENTERED,
                                          SDL_WINDOWPOS_CENTERED, dialog_width_px(), dialog_height_px(),
                                          SDL_WINDOW_HIDDEN));
  const RendererPtr renderer(window ? SDL_CreateRenderer(window.get(), -1, 0) : nullptr);
  if (!renderer) {
    std::fprintf(stderr, "quindle: cannot show the setup dialog: %s\n", SDL_GetError());
    return false;
  }
  set_program_icon(window.get());
  DialogArt art;
  if (!make_art(renderer.get(), art)) std::fprintf(stderr, "quindle: no sans-serif font found for the setup dialog\n");
  SDL_ShowWindow(window.get());
  SDL_RaiseWindow(window.get());
  const Uint32 window_id = SDL_GetWindowID(window.get());
  bool redraw = true;
  while (!state.ended) {
    if (redraw) {
      draw_dialog(renderer.get(), art, state);
      SDL_RenderPresent(renderer.get());
    }
    SDL_Event e;
    if (!SDL_WaitEvent(&e)) {
      std::fprintf(stderr, "quindle: the setup dialog lost its events: %s\n", SDL_GetError());
      break;
    }
    redraw = handle_event(state, e, window_id);
  }
  return true;
}

SetupChoice SdlWindowSystem::run_setup_dialog() {
  SetupDialogState state;
  dialog_start(state);
  if (!run_dialog_window(state)) return {};
  // Keys and clicks meant for the dialog must not reach the show.
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  return state.ended ? state.choice : SetupChoice{};
}

void SdlWindowSystem::screen_size(int* width, int* height) {
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    *width = mode.w;
    *height = mode.h;
    return;
  }
  SDL_Rect bounds{0, 0, 640, 480};
  SDL_GetDisplayBounds(0, &bounds);
  *width = bounds.w;
  *height = bounds.h;
}

}  // namespace

void show_message_box(std::string_view text, std::string_view caption) {
  const std::string t(text), c(caption);
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, c.c_str(), t.c_str(), nullptr) == 0) return;
  if (own_message_box(t, c)) return;
  std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
}

void post_close_request() {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
}

void set_program_icon(SDL_Window* window) {
  if (SurfacePtr icon = icon_surface()) SDL_SetWindowIcon(window, icon.get());
}

std::string find_sans_font() {
  // A private configuration, destroyed after the look-up, leaves fontconfig's process-wide
  // state untouched (and nothing of it allocated).
  std::string found;
  if (FcConfig* config = FcInitLoadConfigAndFonts()) {
    if (FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"))) {
      FcConfigSubstitute(config, pattern, FcMatchPattern);
      FcDefaultSubstitute(pattern);
      FcResult result = FcResultNoMatch;
      if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
          found = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
      }
      FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
  }
  std::error_code error;
  if (!found.empty() && std::filesystem::is_regular_file(found, error)) return found;
  return std::filesystem::is_regular_file(fallback_font, error) ? fallback_font : "";
}

namespace {

// The dialog drawn into memory; empty when it cannot be (no font). Needs SDL_ttf started.
std::vector<std::uint32_t> draw_dialog_offscreen(const SetupDialogState& state) {
  const int w = dialog_width_px();
  const int h = dialog_height_px();
  std::vector<std::uint32_t> pixels;
  const SurfacePtr target(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGB888));
  const RendererPtr renderer(target ? SDL_CreateSoftwareRenderer(target.get()) : nullptr);
  if (!renderer) return pixels;
  DialogArt art;
  if (!make_art(renderer.get(), art)) return pixels;
  draw_dialog(renderer.get(), art, state);
  SDL_RenderPresent(renderer.get());
  pixels.resize(std::size_t(w) * h);
  const auto* rows = static_cast<const std::uint32_t*>(target->pixels);
  const std::size_t row_pixels = std::size_t(target->pitch / 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pixels[std::size_t(y) * w + x] = rows[std::size_t(y) * row_pixels + x] & 0xffffff;
  return pixels;
}

}  // namespace

std::vector<std::uint32_t> setup_dialog_snapshot(const SetupDialogState& state) {
  if (TTF_Init() != 0) return {};
  std::vector<std::uint32_t> pixels = draw_dialog_offscreen(state);
  TTF_Quit();
  return pixels;
}

bool init_visible_video() {
  // SDL falls back to drivers that draw into memory when no display can be reached; a
  // dialog there would wait for a user who cannot see it. A display server that is named
  // but slow to answer (a busy machine) gets a few more tries before that counts.
  const bool display_named = SDL_getenv("DISPLAY") || SDL_getenv("WAYLAND_DISPLAY");
  for (int attempt = 0; attempt < (display_named ? 10 : 1); ++attempt) {
    if (attempt > 0) SDL_Delay(100);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) continue;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && SDL_strcmp(driver, "offscreen") && SDL_strcmp(driver, "dummy")) return true;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  return false;
}

std::unique_ptr<WindowSystem> make_live_window_system() {
  // A click that brings the dialog to the front also presses what it lands on, as in the
  // dialogs of most desktops (SDL would drop a click that comes with the focus).
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (!init_visible_video()) return nullptr;
  if (TTF_Init() != 0) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return nullptr;
  }
  return std::make_unique<SdlWindowSystem>();
}
