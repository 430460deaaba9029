// overlay_sdl.h: text laid over the scaled picture of the live console (the author's overlay):
// lines of text on a dark box at the top left of the window. It is drawn after the picture is
// scaled, so the 320x200 frame and its captures never contain it. The text is rendered into
// a texture only when it changes.
#pragma once

#include <string>
#include <string_view>

struct SDL_Renderer;
struct SDL_Texture;
typedef struct _TTF_Font TTF_Font;

struct TextOverlay {
  TTF_Font* font = nullptr;
  bool ttf = false;          // holds a reference on SDL_ttf
  bool font_missing = false;  // no font could be opened: the overlay stays empty
  std::string text;           // what the texture shows
  SDL_Texture* texture = nullptr;
  int width = 0, height = 0;
};

// Sets the text, one line per '\n'; empty hides the overlay. Opens the font on first use.
void overlay_set_text(TextOverlay& overlay, SDL_Renderer* renderer, std::string_view text);
// Draws the overlay over what the renderer holds; nothing when the text is empty.
void overlay_draw(TextOverlay& overlay, SDL_Renderer* renderer);
// Frees the texture and the font; the overlay can be used again afterwards.
void overlay_close(TextOverlay& overlay);
