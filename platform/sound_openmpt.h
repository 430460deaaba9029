// sound_openmpt.h: the sound-library role over libopenmpt: live output through SDL2
// audio, and an offline mixer for capture mode that renders in step with a virtual clock.
#pragma once

#include <memory>
#include <string>

#include "platform/sound.h"

// Renders the playing tune without an audio device, as far as it is told to.
class OfflineSound : public SoundLibrary {
 public:
  // Mixes the song up to t_s seconds after play_song; the position reported afterwards is
  // that of the last sample mixed. Samples go to the WAV file when one was started.
  virtual void render_until(double t_s) = 0;
  // Starts writing everything rendered from now on to a WAV file (44100 Hz, 16-bit stereo).
  virtual bool start_wav(const std::string& path) = 0;
  // Completes the WAV file's header and closes it.
  virtual void finish_wav() = 0;
};

std::unique_ptr<SoundLibrary> make_live_sound();
std::unique_ptr<OfflineSound> make_offline_sound();
