// sound_session.h: what the live and the offline sound library share: the recorded set-up
// calls, the last error code, the loaded songs, and the loader that reads a tune through the
// program's file callbacks into a libopenmpt module. Platform-internal.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sound.h"
#include "platform/sound_openmpt.h"

struct openmpt_module;

// A loaded tune: one module, positioned at subsong 0, repeating forever, dither off.
struct Song {
  openmpt_module* module = nullptr;
  std::int64_t skipped = 0;  // samples skip_song mixed since load or rewind
  Song() = default;
  Song(const Song&) = delete;
  Song& operator=(const Song&) = delete;
  ~Song();
};

struct SoundSession {
  SoundSetup setup;
  TuneFileCallbacks callbacks;  // all empty: the C library's file functions
  int error = SOUND_OK;         // the last failure, for get_error
  std::vector<std::unique_ptr<Song>> songs;
};

constexpr int sound_default_rate_hz = 44100;

// Set-up calls before init; after init they fail with SOUND_INIT_AFTER_INIT.
void session_set_output(SoundSession& session, int output);
void session_set_callbacks(SoundSession& session, const TuneFileCallbacks& callbacks);
void session_set_driver(SoundSession& session, int driver);
void session_set_mixer(SoundSession& session, int mixer);
// Checks and records init's values; false (with the error set) when they cannot be used.
bool session_init(SoundSession& session, int rate_hz, int channels, unsigned flags);
// Loads a tune through the session's callbacks; none on failure, with the error set.
Song* session_load(SoundSession& session, const char* name);
// Whether song is one of the session's songs (none is not).
bool session_owns(const SoundSession& session, const Song* song);
// Frees a song of the session; false for none or a song it does not own.
bool session_free(SoundSession& session, Song* song);

// Seeking, the same in both libraries. Skip refuses the song that is playing (SOUND_PARAMETER).
int session_pattern_rows(const SoundSession& session, Song* song, int order);
bool session_rewind(SoundSession& session, Song* song);
bool session_skip(SoundSession& session, Song* song, const Song* playing, int rate_hz, double t_s);

// The C library's file functions as tune file callbacks.
const TuneFileCallbacks& stdio_tune_callbacks();

// Reads the tune name through callbacks and makes a module of it. Error codes: no handle 9
// (12 when the open failed for lack of memory), not a module 10, a read, seek or tell failure,
// a file over max_tune_bytes (base/limits.h) or a failed load 11, out of memory 12; 0 on
// success. A module whose headers declare data past the file's end loads as far as it goes
// when the module player can load it; `damage` (when given) says by how much it is cut.
openmpt_module* tune_load(const TuneFileCallbacks& callbacks, const char* name, int* error,
                          TuneDamage* damage = nullptr);

// Random access to the tune for the extent check below.
struct TuneReader {
  bool (*read_at)(void* context, std::int64_t offset, void* buffer, std::size_t size) = nullptr;
  void* context = nullptr;
  std::int64_t size = 0;
};

// How far a module's headers declare patterns or sample data beyond the end of the file
// (ProTracker-style MOD with a channel tag, S3M, IT; other formats are not checked).
TuneDamage tune_damage(const TuneReader& reader);

// The error code for a failed SDL audio open, from SDL's message: a busy device is
// SOUND_OUTPUT_BUSY, anything else SOUND_OUTPUT_INIT.
int output_error_code(const char* sdl_message);
