// display_sdl.h: the live console over SDL2: a window or the full screen showing the
// 320x200 picture at 4:3 with nearest-neighbour scaling, and a keyboard queue fed from SDL
// key events. make_live_toolkit (platform/live.h) hands it out; these are its pure rules.
#pragma once

struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// The largest 4:3 rectangle centred in an output of that size; the rest stays black.
ScreenRect letterbox_4_3(int output_width, int output_height);

// The console's code of a key from its SDL key symbol and scan code: the symbol for the
// ASCII keys (Escape 27, Enter 13, letters and digits as written), 256 + scan code for all
// others, so no other key ever reads as Escape.
int console_key_code(int sdl_symbol, int sdl_scancode);

// Keys waiting in the console, oldest first. Nothing is allocated: when it is full, a new
// key is dropped, except Escape, which replaces the newest key.
struct KeyQueue {
  static constexpr int capacity = 64;
  int codes[capacity] = {};
  int head = 0;  // next key to read
  int count = 0;
};

void key_queue_push(KeyQueue& queue, int code);
bool key_queue_empty(const KeyQueue& queue);
int key_queue_pop(KeyQueue& queue);  // 0 when empty
