// sound_openmpt.cpp: placeholder sound library that plays nothing and reports (0, 0).
#include "platform/sound_openmpt.h"

namespace {

struct Song {};

class SilentSound final : public OfflineSound {
 public:
  void set_output(int) override {}
  void set_file_callbacks(const TuneFileCallbacks&) override {}
  void set_driver(int) override {}
  void set_mixer(int) override {}
  bool init(int, int, unsigned) override { return true; }
  int get_error() override { return SOUND_OK; }
  ::Song* load_song(const char*) override { return reinterpret_cast<::Song*>(&song_); }
  bool play_song(::Song*) override { return true; }
  int get_order(::Song*) override { return 0; }
  int get_row(::Song*) override { return 0; }
  bool free_song(::Song*) override { return true; }
  void close() override {}
  void render_until(double) override {}
  bool start_wav(const std::string&) override { return true; }
  void finish_wav() override {}

 private:
  Song song_;
};

}  // namespace

std::unique_ptr<SoundLibrary> make_live_sound() { return std::make_unique<SilentSound>(); }
std::unique_ptr<OfflineSound> make_offline_sound() { return std::make_unique<SilentSound>(); }
