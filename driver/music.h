// music.h: the show's clock: the tracker tune played by the sound library, read back as the
// song position (order, row) once per frame. Only music_start checks results; after a
// failure it shows the error and the show goes on silently.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sound.h"
#include "platform/window.h"

struct SongPosition {
  std::int32_t order = 0;
  std::int32_t row = 0;
};

struct Music {
  SoundLibrary* sound = nullptr;
  Song* song = nullptr;  // none until loaded, and none when loading failed
};

// Sets the library up, hands it the program's file functions and loads the tune.
// 1 on success; 0 after a message box captioned "fmod player init failed".
int music_start(Music& music, SoundLibrary& sound, WindowSystem& window, const std::string& tune);
int music_play(Music& music);
void music_position(Music& music, SongPosition* position);
int music_stop(Music& music);

// The fixed message for a sound-library error code; "Unknown error" outside 0..18.
const char* error_text(int code);

// The program's file functions over the C library, as handed to the sound library.
TuneFileCallbacks tune_file_callbacks();
