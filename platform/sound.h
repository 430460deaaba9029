// sound.h: the sound-library role: set-up, tune loading through the program's own file
// callbacks, play, song position, free. Failures are reported as the error codes 0..18
// that error_text (driver/music.h) turns into messages.
#pragma once

#include <cstddef>

// The program's file functions, through which the library reads the tune. A handle is
// an open file, 0 for none.
struct TuneFileCallbacks {
  void* (*open)(const char* name) = nullptr;
  void (*close)(void* handle) = nullptr;
  int (*read)(void* buffer, int size, void* handle) = nullptr;  // bytes read, -1 on a read error
  int (*seek)(void* handle, int position, signed char mode) = nullptr;  // 0 on success
  int (*tell)(void* handle) = nullptr;
};

enum SoundError : int {
  SOUND_OK = 0,
  SOUND_INIT_AFTER_INIT = 1,
  SOUND_NOT_INITIALISED = 2,
  SOUND_OUTPUT_INIT = 3,
  SOUND_OUTPUT_BUSY = 4,
  SOUND_PLAY = 5,
  SOUND_OUTPUT_FORMAT = 6,
  SOUND_COOPERATIVE_LEVEL = 7,
  SOUND_CREATE_BUFFER = 8,
  SOUND_FILE_NOT_FOUND = 9,
  SOUND_FILE_FORMAT = 10,
  SOUND_FILE_LOAD = 11,
  SOUND_NO_MEMORY = 12,
  SOUND_FILE_VERSION = 13,
  SOUND_MIXER = 14,
  SOUND_PARAMETER = 15,
  SOUND_NO_A3D = 16,
  SOUND_NO_EAX = 17,
  SOUND_NO_CHANNEL = 18,
};

struct Song;  // a loaded tune, owned by the library until free_song

class SoundLibrary {
 public:
  virtual ~SoundLibrary() = default;
  virtual void set_output(int output) = 0;
  virtual void set_file_callbacks(const TuneFileCallbacks& callbacks) = 0;
  virtual void set_driver(int driver) = 0;
  virtual void set_mixer(int mixer) = 0;
  virtual bool init(int rate_hz, int channels, unsigned flags) = 0;
  virtual int get_error() = 0;
  virtual Song* load_song(const char* name) = 0;  // none on failure
  virtual bool play_song(Song* song) = 0;
  // Order and row of what is being heard now; song may be none.
  virtual int get_order(Song* song) = 0;
  virtual int get_row(Song* song) = 0;
  virtual bool free_song(Song* song) = 0;
  virtual void close() = 0;

  // Seeking, for starting a show part-way and for its author's keys.
  // Rows of the pattern at `order` of the song's order list; 0 past the list's end, for an
  // entry that names no pattern, or with no song.
  virtual int get_pattern_rows(Song* song, int order) = 0;
  // Stops the song when it plays and puts it back at its beginning, as loaded.
  virtual bool rewind_song(Song* song) = 0;
  // Mixes a song that is not playing and throws the sound away, up to floor(t_s x rate)
  // samples after its beginning (counting what earlier calls mixed since load or rewind).
  // Its position is then that of the last sample mixed, and play_song goes on from there.
  virtual bool skip_song(Song* song, double t_s) = 0;
  // Holds a playing song where it is (true) and lets it go on (false); its position stays.
  virtual bool pause_song(Song* song, bool paused) = 0;
};
