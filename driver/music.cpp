// music.cpp: set-up, tune loading, position and shutdown of the sound library.
#include "driver/music.h"

#include <climits>
#include <cstdio>

namespace {

void* tune_open(const char* name) { return std::fopen(name, "rb"); }

void tune_close(void* handle) {
  if (handle) std::fclose(static_cast<std::FILE*>(handle));
}

// -1 tells a read error from the end of the file, which the library reports differently.
int tune_read(void* buffer, int size, void* handle) {
  if (!handle || size <= 0) return 0;
  auto* file = static_cast<std::FILE*>(handle);
  const std::size_t got = std::fread(buffer, 1, std::size_t(size), file);
  return got == 0 && std::ferror(file) ? -1 : int(got);
}

int tune_seek(void* handle, int position, signed char mode) {
  if (!handle) return -1;
  return std::fseek(static_cast<std::FILE*>(handle), position, mode);
}

// Positions past 2 GiB do not fit the callback's int: a failure rather than a wrapped value.
int tune_tell(void* handle) {
  if (!handle) return -1;
  const long position = std::ftell(static_cast<std::FILE*>(handle));
  return position > INT_MAX ? -1 : int(position);
}

int music_failed(Music& music, WindowSystem& window) {
  char text[256];
  std::snprintf(text, sizeof text, "%s", error_text(music.sound->get_error()));
  window.message_box(text, "fmod player init failed");
  return 0;
}

}  // namespace

TuneFileCallbacks tune_file_callbacks() {
  TuneFileCallbacks callbacks;
  callbacks.open = tune_open;
  callbacks.close = tune_close;
  callbacks.read = tune_read;
  callbacks.seek = tune_seek;
  callbacks.tell = tune_tell;
  return callbacks;
}

int music_start(Music& music, SoundLibrary& sound, WindowSystem& window, const std::string& tune) {
  music.sound = &sound;
  sound.set_output(2);
  sound.set_file_callbacks(tune_file_callbacks());
  sound.set_driver(0);
  sound.set_mixer(4);
  if (!sound.init(44100, 64, 0)) return music_failed(music, window);
  music.song = sound.load_song(tune.c_str());
  if (!music.song) return music_failed(music, window);
  return 1;
}

int music_play(Music& music) {
  if (music.sound) music.sound->play_song(music.song);
  return 1;
}

void music_position(Music& music, SongPosition* position) {
  if (!music.sound) return;
  position->order = music.sound->get_order(music.song);
  position->row = music.sound->get_row(music.song);
}

int music_stop(Music& music) {
  if (!music.sound) return 1;
  music.sound->free_song(music.song);
  music.song = nullptr;
  music.sound->close();
  return 1;
}

const char* error_text(int code) {
  static const char* const texts[] = {
      "No errors",
      "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
      "This command failed because FSOUND_Init was not called",
      "Error initializing output device.",
      "The output device is already in use and cannot be reused.",
      "Playing the sound failed.",
      "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
      "Error setting cooperative level for hardware.",
      "Error creating hardware sound buffer.",
      "File not found",
      "Unknown file format",
      "Error loading file",
      "Not enough memory ",
      "The version number of this file format is not supported",
      "Incorrect mixer selected",
      "An invalid parameter was passed to this function",
      "Tried to use A3D and not an A3D hardware card, or dll didnt exist, try another output type.",
      "Tried to use an EAX command on a non EAX enabled channel or output.",
      "Failed to allocate a new channel",
  };
  if (code < 0 || code >= int(sizeof texts / sizeof texts[0])) return "Unknown error";
  return texts[code];
}
