// fuzz_tune.cpp: any bytes as the show's tune: loaded through the program's file functions by
// the offline sound library, as capture mode loads it, played, and mixed for a few seconds
// while the song position is read back every frame.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "driver/music.h"
#include "fuzz/fuzz_support.h"
#include "platform/sound_openmpt.h"

namespace {

constexpr int rate_hz = 22050;
constexpr double mixed_s = 3.0;
constexpr double frame_s = 1.0 / 25;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file("fuzz_tune");
  file.assign(data, size);

  std::unique_ptr<OfflineSound> sound = make_offline_sound();
  sound->set_file_callbacks(tune_file_callbacks());
  if (!sound->init(rate_hz, 2, 0)) std::abort();
  Song* song = sound->load_song(file.path().c_str());
  if (!song) {
    if (sound->get_error() == SOUND_OK) std::abort();
    return 0;
  }
  if (!sound->play_song(song)) return 0;
  for (double t = frame_s; t <= mixed_s; t += frame_s) {
    sound->render_until(t);
    if (sound->get_order(song) < 0 || sound->get_row(song) < 0) std::abort();
  }
  if (!sound->free_song(song)) std::abort();
  sound->close();
  return 0;
}
