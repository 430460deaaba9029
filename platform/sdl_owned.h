// sdl_owned.h: owners for the SDL objects the window system and the console make. A renderer
// must go before its window and a texture before its renderer: declare owners in that order.
// Platform-internal.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

#include <memory>

struct SdlWindowDestroy {
  void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
};
using WindowPtr = std::unique_ptr<SDL_Window, SdlWindowDestroy>;

struct SdlRendererDestroy {
  void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
};
using RendererPtr = std::unique_ptr<SDL_Renderer, SdlRendererDestroy>;

struct SdlTextureDestroy {
  void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
};
using TexturePtr = std::unique_ptr<SDL_Texture, SdlTextureDestroy>;

struct SdlSurfaceFree {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SdlSurfaceFree>;

struct TtfFontClose {
  void operator()(TTF_Font* f) const { TTF_CloseFont(f); }
};
using FontPtr = std::unique_ptr<TTF_Font, TtfFontClose>;
