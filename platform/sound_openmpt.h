// sound_openmpt.h: the sound-library role over libopenmpt: live output through SDL2 audio,
// and an offline mixer for capture mode that renders in step with a virtual clock. Each
// library owns the songs it loaded until free_song, close or its end; it reads tunes only
// through the file callbacks it was handed and never writes files except the capture's WAV.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/sound.h"

// The set-up calls as they were made. Output type, driver and mixer have no meaning here and
// are only recorded; rate_hz is the mixing and output rate.
struct SoundSetup {
  int output = -1;
  int driver = -1;
  int mixer = -1;
  int rate_hz = 0;
  int channels = 0;
  unsigned flags = 0;
  bool callbacks_set = false;
  bool initialised = false;
};

// In both libraries, order and row are those of the song asked about; with no song (none
// loaded, or it failed) they are (0, 0).

// Plays through the default SDL audio device (callback mode, 16-bit stereo). The position it
// reports is that of the sound leaving the speakers: the device's buffer and an assumed
// backend latency (QUINDLE_AUDIO_LATENCY_MS, default audio_latency_default_ms) are
// subtracted from what has been mixed.
class LiveSound : public SoundLibrary {
 public:
  virtual const SoundSetup& setup() const = 0;
  // The backend latency assumed beyond the device's own buffer, in milliseconds.
  virtual int latency_ms() const = 0;
};

constexpr int audio_latency_default_ms = 25;
constexpr int audio_latency_max_ms = 1000;

// Renders the playing tune without an audio device, as far as it is told to.
class OfflineSound : public SoundLibrary {
 public:
  virtual const SoundSetup& setup() const = 0;
  // Mixes up to floor(t_s x rate) samples after play_song (silence when no song plays);
  // the position reported afterwards is that of the last sample mixed. Samples go to the
  // WAV file when one was started. t_s = n / fps gives exactly the samples of n frames.
  virtual void render_until(double t_s) = 0;
  // Starts writing everything rendered from now on to a WAV file (16-bit stereo at the
  // rate given to init, 44100 Hz when init was not called).
  virtual bool start_wav(const std::string& path) = 0;
  // Completes the WAV file's header and closes it; false when a write failed.
  virtual bool finish_wav() = 0;
  // Hands every block rendered from now on, as interleaved 16-bit stereo, to sink (none: stop).
  virtual void set_sample_sink(std::function<void(std::span<const std::int16_t>)> sink) = 0;
};

// A tune file that is cut: what its headers declare against what the file holds. Both
// libraries tell it on standard error when they load such a tune, which then plays as far as
// it goes.
struct TuneDamage {
  std::int64_t file_bytes = 0;
  std::int64_t missing_bytes = 0;  // 0: complete, or a format whose extent is not checked
  bool at_least = false;           // more is missing than could be measured
};

// The author's sentence for a cut tune, without a full stop or line end ("tune.mod is
// damaged: it is cut short, 2 bytes are missing (the file has 40000 bytes)"); empty when
// nothing is missing.
std::string tune_damage_text(const std::string& name, const TuneDamage& damage);

std::unique_ptr<LiveSound> make_live_sound();

// Seconds of play from the start of the tune to the start of order `order`, read through the
// callbacks; -1 when the tune cannot be loaded or has no such order.
double tune_seconds_at_order(const TuneFileCallbacks& callbacks, const char* name, int order);
// mix_rate_hz, when not 0, replaces the rate given to init as the rate the tune is mixed and
// written at (a video format may need 48000 Hz); the set-up still records init's value.
std::unique_ptr<OfflineSound> make_offline_sound(int mix_rate_hz = 0);
