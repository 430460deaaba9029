// overlay_sdl.cpp: the author's overlay over SDL2_ttf.
#include "platform/overlay_sdl.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdio>

#include "platform/window_sdl.h"

namespace {

constexpr int overlay_font_px = 14;
constexpr int overlay_margin = 6;
constexpr int overlay_wrap_px = 1200;  // longer lines (a long error) are wrapped

bool open_font(TextOverlay& overlay) {
  if (overlay.font) return true;
  if (overlay.font_missing) return false;
  if (!overlay.ttf) {
    if (TTF_Init() != 0) {
      overlay.font_missing = true;
      return false;
    }
    overlay.ttf = true;
  }
  overlay.font = TTF_OpenFont(find_sans_font().c_str(), overlay_font_px);
  if (!overlay.font) {
    std::fprintf(stderr, "quindle: no font for the overlay: %s\n", TTF_GetError());
    overlay.font_missing = true;
  }
  return overlay.font != nullptr;
}

}  // namespace

void overlay_set_text(TextOverlay& overlay, SDL_Renderer* renderer, std::string_view text) {
  if (text == overlay.text) return;
  overlay.text = text;
  if (overlay.texture) SDL_DestroyTexture(overlay.texture);
  overlay.texture = nullptr;
  overlay.width = overlay.height = 0;
  if (text.empty() || !renderer || !open_font(overlay)) return;
  const SDL_Color white{255, 255, 255, 255};
  SDL_Surface* lines = TTF_RenderUTF8_Blended_Wrapped(overlay.font, overlay.text.c_str(), white, overlay_wrap_px);
  if (!lines) return;
  overlay.texture = SDL_CreateTextureFromSurface(renderer, lines);
  overlay.width = lines->w;
  overlay.height = lines->h;
  SDL_FreeSurface(lines);
}

void overlay_draw(TextOverlay& overlay, SDL_Renderer* renderer) {
  if (!overlay.texture || !renderer) return;
  const SDL_Rect box{0, 0, overlay.width + 2 * overlay_margin, overlay.height + 2 * overlay_margin};
  const SDL_Rect text{overlay_margin, overlay_margin, overlay.width, overlay.height};
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 170);
  SDL_RenderFillRect(renderer, &box);
  SDL_RenderCopy(renderer, overlay.texture, nullptr, &text);
}

void overlay_close(TextOverlay& overlay) {
  if (overlay.texture) SDL_DestroyTexture(overlay.texture);
  if (overlay.font) TTF_CloseFont(overlay.font);
  if (overlay.ttf) TTF_Quit();
  overlay = TextOverlay{};
}
