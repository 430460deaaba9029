// sound_offline.cpp: the offline sound library for capture mode: the playing song is mixed
// exactly as far as the virtual clock has come, and every sample is streamed to a WAV file.
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

#include "base/byte_order.h"
#include "platform/sound_session.h"

namespace {

constexpr std::int64_t block_frames = 4096;
constexpr std::int64_t wav_header_bytes = 44;
constexpr std::int64_t wav_max_data_bytes = 0xFFFFFFFFll - 36;

// A canonical 44-byte header: RIFF/WAVE, a 16-byte PCM "fmt " chunk, then "data".
void wav_header(unsigned char* h, int rate_hz, std::int64_t data_bytes) {
  const auto data = std::uint32_t(std::min(data_bytes, wav_max_data_bytes));
  std::copy_n("RIFF", 4, h);
  store_le32(h + 4, 36 + data);
  std::copy_n("WAVEfmt ", 8, h + 8);
  store_le32(h + 16, 16);
  store_le16(h + 20, 1);  // PCM
  store_le16(h + 22, 2);  // stereo
  store_le32(h + 24, std::uint32_t(rate_hz));
  store_le32(h + 28, std::uint32_t(rate_hz) * 4);
  store_le16(h + 32, 4);   // bytes a frame
  store_le16(h + 34, 16);  // bits a sample
  std::copy_n("data", 4, h + 36);
  store_le32(h + 40, data);
}

class MixdownSound final : public OfflineSound {
 public:
  explicit MixdownSound(int mix_rate_hz) : mix_rate_hz_(mix_rate_hz) {
    if (mix_rate_hz_ > 0) rate_hz_ = mix_rate_hz_;
  }
  ~MixdownSound() override {
    if (wav_) finish_wav();
  }

  void set_output(int output) override { session_set_output(session_, output); }
  void set_file_callbacks(const TuneFileCallbacks& callbacks) override { session_set_callbacks(session_, callbacks); }
  void set_driver(int driver) override { session_set_driver(session_, driver); }
  void set_mixer(int mixer) override { session_set_mixer(session_, mixer); }
  bool init(int rate_hz, int channels, unsigned flags) override {
    if (!session_init(session_, rate_hz, channels, flags)) return false;
    rate_hz_ = mix_rate_hz_ > 0 ? mix_rate_hz_ : rate_hz;
    return true;
  }
  int get_error() override { return session_.error; }
  Song* load_song(const char* name) override { return session_load(session_, name); }
  bool play_song(Song* song) override;
  int get_order(Song* song) override {
    return session_owns(session_, song) ? openmpt_module_get_current_order(song->module) : 0;
  }
  int get_row(Song* song) override {
    return session_owns(session_, song) ? openmpt_module_get_current_row(song->module) : 0;
  }
  bool free_song(Song* song) override;
  void close() override;
  int get_pattern_rows(Song* song, int order) override { return session_pattern_rows(session_, song, order); }
  bool rewind_song(Song* song) override {
    if (song && song == playing_) playing_ = nullptr;
    return session_rewind(session_, song);
  }
  bool skip_song(Song* song, double t_s) override { return session_skip(session_, song, playing_, rate_hz_, t_s); }
  // Capture mode follows its virtual clock and has no keys: nothing pauses it.
  bool pause_song(Song*, bool) override {
    session_.error = SOUND_PARAMETER;
    return false;
  }
  const SoundSetup& setup() const override { return session_.setup; }
  void render_until(double t_s) override;
  bool start_wav(const std::string& path) override;
  bool finish_wav() override;
  void set_sample_sink(std::function<void(std::span<const std::int16_t>)> sink) override {
    sink_ = std::move(sink);
  }

 private:
  void write_block(std::int64_t frames);

  SoundSession session_;
  int mix_rate_hz_ = 0;
  std::function<void(std::span<const std::int16_t>)> sink_;
  int rate_hz_ = sound_default_rate_hz;  // the last init's rate, kept after close for the WAV
  Song* playing_ = nullptr;
  std::int64_t rendered_ = 0;  // samples mixed since the library was made
  std::int64_t origin_ = 0;    // rendered_ when play_song was called: time 0
  std::vector<std::int16_t> block_ = std::vector<std::int16_t>(2 * block_frames);
  std::FILE* wav_ = nullptr;
  std::int64_t wav_frames_ = 0;
  bool wav_failed_ = false;
};

bool MixdownSound::play_song(Song* song) {
  if (!session_.setup.initialised) {
    session_.error = SOUND_NOT_INITIALISED;
    return false;
  }
  if (!session_owns(session_, song)) {
    session_.error = SOUND_PARAMETER;
    return false;
  }
  playing_ = song;
  // A skipped song goes on from where the skip left it: render_until counts from its beginning.
  origin_ = rendered_ - song->skipped;
  return true;
}

bool MixdownSound::free_song(Song* song) {
  if (song && song == playing_) playing_ = nullptr;
  return session_free(session_, song);
}

void MixdownSound::close() {
  playing_ = nullptr;
  session_.songs.clear();
  session_.setup.initialised = false;
}

// t_s arrives as frame / fps; the tiny allowance keeps a product such as 7 / 30 x 44100,
// which is 10290 exactly but may come out as 10289.999..., from losing a sample.
void MixdownSound::render_until(double t_s) {
  const std::int64_t target = origin_ + std::int64_t(std::floor(t_s * rate_hz_ + 1e-6));
  while (rendered_ < target) {
    const std::int64_t frames = std::min(block_frames, target - rendered_);
    std::size_t got = 0;
    if (playing_)
      got = openmpt_module_read_interleaved_stereo(playing_->module, rate_hz_, std::size_t(frames), block_.data());
    std::fill(block_.begin() + 2 * std::ptrdiff_t(got), block_.begin() + 2 * frames, std::int16_t(0));
    if (sink_) sink_(std::span<const std::int16_t>(block_.data(), std::size_t(2 * frames)));
    write_block(frames);
    rendered_ += frames;
  }
}

void MixdownSound::write_block(std::int64_t frames) {
  if (!wav_) return;
  if constexpr (std::endian::native == std::endian::big)
    for (std::int64_t i = 0; i < 2 * frames; ++i) {
      const auto v = std::uint16_t(block_[std::size_t(i)]);
      block_[std::size_t(i)] = std::int16_t(std::uint16_t(v << 8 | v >> 8));
    }
  if (std::fwrite(block_.data(), 4, std::size_t(frames), wav_) != std::size_t(frames)) wav_failed_ = true;
  wav_frames_ += frames;
}

bool MixdownSound::start_wav(const std::string& path) {
  if (wav_) finish_wav();
  wav_ = std::fopen(path.c_str(), "wb");
  if (!wav_) return false;
  unsigned char header[wav_header_bytes];
  wav_header(header, rate_hz_, 0);
  wav_frames_ = 0;
  wav_failed_ = std::fwrite(header, 1, sizeof header, wav_) != sizeof header;
  return !wav_failed_;
}

bool MixdownSound::finish_wav() {
  if (!wav_) return false;
  unsigned char header[wav_header_bytes];
  wav_header(header, rate_hz_, wav_frames_ * 4);
  if (std::fseek(wav_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, wav_) != sizeof header)
    wav_failed_ = true;
  if (std::fclose(wav_) != 0) wav_failed_ = true;
  wav_ = nullptr;
  return !wav_failed_;
}

}  // namespace

std::unique_ptr<OfflineSound> make_offline_sound(int mix_rate_hz) { return std::make_unique<MixdownSound>(mix_rate_hz); }
