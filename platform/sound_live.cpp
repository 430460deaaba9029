// sound_live.cpp: the live sound library: libopenmpt mixing inside SDL2's audio callback,
// in slices of at most 256 frames stamped with the song position, and a position read-back
// that looks up the stamp of the sample being heard.
#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "platform/sound_session.h"
#include "platform/sound_stamps.h"

namespace {

constexpr int device_buffer_frames = 1024;  // 23 ms at 44100 Hz

double steady_now_s() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class SdlSound final : public LiveSound {
 public:
  ~SdlSound() override { close(); }

  void set_output(int output) override { session_set_output(session_, output); }
  void set_file_callbacks(const TuneFileCallbacks& callbacks) override { session_set_callbacks(session_, callbacks); }
  void set_driver(int driver) override { session_set_driver(session_, driver); }
  void set_mixer(int mixer) override { session_set_mixer(session_, mixer); }
  bool init(int rate_hz, int channels, unsigned flags) override;
  int get_error() override { return session_.error; }
  Song* load_song(const char* name) override { return session_load(session_, name); }
  bool play_song(Song* song) override;
  int get_order(Song* song) override;
  int get_row(Song* song) override;
  bool free_song(Song* song) override;
  void close() override;
  int get_pattern_rows(Song* song, int order) override { return session_pattern_rows(session_, song, order); }
  bool rewind_song(Song* song) override {
    if (song && song == playing_) stop_playing();
    return session_rewind(session_, song);
  }
  bool skip_song(Song* song, double t_s) override { return session_skip(session_, song, playing_, rate_hz_, t_s); }
  bool pause_song(Song* song, bool paused) override {
    if (!song || song != playing_ || !device_) {
      session_.error = SOUND_PARAMETER;
      return false;
    }
    SDL_PauseAudioDevice(device_, paused ? 1 : 0);
    return true;
  }
  const SoundSetup& setup() const override { return session_.setup; }
  int latency_ms() const override { return latency_ms_; }

 private:
  static void SDLCALL audio_callback(void* self, Uint8* stream, int bytes);
  void mix(std::int16_t* out, int frames);
  PositionStamp heard_stamp();
  void stop_playing();
  bool fail_init(int code);

  SoundSession session_;
  SDL_AudioDeviceID device_ = 0;
  bool subsystem_ = false;
  int rate_hz_ = sound_default_rate_hz;
  int latency_ms_ = audio_latency_default_ms;
  std::int64_t latency_frames_ = 0;

  // Shared with the callback under SDL's device lock, which SDL holds around each callback.
  openmpt_module* module_ = nullptr;
  std::int64_t mixed_ = 0;  // samples handed to the device since init

  // Shared with the callback under stamps_lock_, held only to copy one stamp or the anchor.
  std::mutex stamps_lock_;
  StampRing ring_;
  MixAnchor anchor_;

  // Main thread only.
  Song* playing_ = nullptr;
  PositionStamp start_;         // where the song stood when play_song was called
  PositionStamp last_;          // the stamp last reported
  std::int64_t play_from_ = 0;  // the first sample mixed for this play_song
  std::int64_t last_cursor_ = -1;
  bool row_pending_ = false;    // get_order chose last_; get_row reports its row
};

bool SdlSound::fail_init(int code) {
  if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  subsystem_ = false;
  session_.setup.initialised = false;
  session_.error = code;
  return false;
}

bool SdlSound::init(int rate_hz, int channels, unsigned flags) {
  if (!session_init(session_, rate_hz, channels, flags)) return false;
  rate_hz_ = rate_hz;
  latency_ms_ = audio_latency_from_env(std::getenv("QUINDLE_AUDIO_LATENCY_MS"), audio_latency_default_ms,
                                       audio_latency_max_ms);
  latency_frames_ = std::int64_t(latency_ms_) * rate_hz / 1000;
  mixed_ = 0;
  ring_ = StampRing{};
  anchor_ = MixAnchor{};
  last_cursor_ = -1;

  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail_init(SOUND_OUTPUT_INIT);
  subsystem_ = true;
  SDL_AudioSpec want{};
  want.freq = rate_hz;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = device_buffer_frames;
  want.callback = audio_callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // SDL converts to whatever the device takes
  if (!device_) return fail_init(output_error_code(SDL_GetError()));
  return true;
}

void SDLCALL SdlSound::audio_callback(void* self, Uint8* stream, int bytes) {
  static_cast<SdlSound*>(self)->mix(reinterpret_cast<std::int16_t*>(stream), bytes / 4);
}

// Slices follow a fixed grid of stamp_slice_frames samples, so a slice cut by the end of a
// device buffer is finished in the next callback and its stamp then updated.
void SdlSound::mix(std::int16_t* out, int frames) {
  const double now_s = steady_now_s();
  const std::int64_t first = mixed_;
  for (int done = 0; done < frames;) {
    const int piece = int(std::min<std::int64_t>(frames - done, stamp_slice_frames - mixed_ % stamp_slice_frames));
    PositionStamp stamp{mixed_ - mixed_ % stamp_slice_frames, 0, 0};
    std::size_t got = 0;
    if (module_) {
      got = openmpt_module_read_interleaved_stereo(module_, rate_hz_, std::size_t(piece), out + 2 * done);
      stamp.order = openmpt_module_get_current_order(module_);
      stamp.row = openmpt_module_get_current_row(module_);
    }
    std::fill(out + 2 * (done + std::int64_t(got)), out + 2 * (done + piece), std::int16_t(0));
    {
      std::lock_guard<std::mutex> lock(stamps_lock_);
      stamp_put(ring_, stamp);
    }
    mixed_ += piece;
    done += piece;
  }
  std::lock_guard<std::mutex> lock(stamps_lock_);
  anchor_ = MixAnchor{first, frames, now_s};
}

PositionStamp SdlSound::heard_stamp() {
  const double now_s = steady_now_s();
  MixAnchor anchor;
  {
    std::lock_guard<std::mutex> lock(stamps_lock_);
    anchor = anchor_;
  }
  // Callbacks come with some jitter; the cursor is kept from running backwards.
  const std::int64_t cursor = std::max(playback_cursor(anchor, now_s, rate_hz_, latency_frames_), last_cursor_);
  // Sound from before the last play_song (a song played before a seek) is still queued.
  if (cursor < 0 || cursor < play_from_) return start_;
  PositionStamp found = last_;
  {
    std::lock_guard<std::mutex> lock(stamps_lock_);
    if (const PositionStamp* stamp = stamp_find(ring_, cursor)) found = *stamp;
  }
  last_cursor_ = cursor;
  return found;
}

bool SdlSound::play_song(Song* song) {
  if (!device_) {
    session_.error = SOUND_NOT_INITIALISED;
    return false;
  }
  if (!session_owns(session_, song)) {
    session_.error = SOUND_PARAMETER;
    return false;
  }
  start_ = PositionStamp{-1, openmpt_module_get_current_order(song->module),
                         openmpt_module_get_current_row(song->module)};
  last_ = start_;
  row_pending_ = false;
  SDL_LockAudioDevice(device_);
  module_ = song->module;
  play_from_ = mixed_;
  SDL_UnlockAudioDevice(device_);
  playing_ = song;
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

// A song that is not playing is read directly: the callback only touches the playing one.
int SdlSound::get_order(Song* song) {
  if (!song || !session_owns(session_, song)) return 0;
  if (song != playing_) return openmpt_module_get_current_order(song->module);
  last_ = heard_stamp();
  row_pending_ = true;
  return last_.order;
}

int SdlSound::get_row(Song* song) {
  if (!song || !session_owns(session_, song)) return 0;
  if (song != playing_) return openmpt_module_get_current_row(song->module);
  if (!row_pending_) last_ = heard_stamp();
  row_pending_ = false;
  return last_.row;
}

void SdlSound::stop_playing() {
  if (device_) {
    SDL_PauseAudioDevice(device_, 1);
    SDL_LockAudioDevice(device_);
    module_ = nullptr;
    SDL_UnlockAudioDevice(device_);
  }
  module_ = nullptr;
  playing_ = nullptr;
}

bool SdlSound::free_song(Song* song) {
  if (song && song == playing_) stop_playing();
  return session_free(session_, song);
}

void SdlSound::close() {
  stop_playing();
  if (device_) SDL_CloseAudioDevice(device_);  // waits for the callback thread to end
  device_ = 0;
  session_.songs.clear();
  if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  subsystem_ = false;
  session_.setup.initialised = false;
}

}  // namespace

std::unique_ptr<LiveSound> make_live_sound() { return std::make_unique<SdlSound>(); }
