// The live output path through SDL's dummy and disk audio drivers, and a machine whose
// audio driver cannot start. Each case runs in its own process, so the environment it sets
// is its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "driver/music.h"
#include "platform/sound_openmpt.h"
#include "sound_fixtures.h"

namespace fs = std::filesystem;

namespace {

// Reads positions until order `until` is reported or `limit_s` of wall time pass, checking
// that they only ever move forward through the tune's play plan (orders 0..3 are in order).
std::vector<TunePosition> follow(Music& music, int until, double limit_s) {
  std::vector<TunePosition> seen;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit_s);
  while (std::chrono::steady_clock::now() < end) {
    SongPosition p;
    music_position(music, &p);
    const TunePosition now{p.order, p.row};
    if (!seen.empty()) {
      const TunePosition before = seen.back();
      EXPECT_TRUE(now.order > before.order || (now.order == before.order && now.row >= before.row))
          << before.order << "," << before.row << " -> " << now.order << "," << now.row;
    }
    seen.push_back(now);
    if (now.order >= until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return seen;
}

// 16-bit little-endian sample values from byte `from` on.
std::vector<std::int16_t> samples_of(const std::vector<unsigned char>& bytes, std::size_t from) {
  std::vector<std::int16_t> values;
  for (std::size_t i = from; i + 1 < bytes.size(); i += 2) values.push_back(std::int16_t(bytes[i] | bytes[i + 1] << 8));
  return values;
}

}  // namespace

TEST(LiveSound, DummyDriverPlaysAndThePositionMovesOn) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const fs::path tune = write_tune("live_dummy");
  auto sound = make_live_sound();
  RecordingWindow window;
  Music music;
  ASSERT_EQ(music_start(music, *sound, window, tune.string()), 1) << window.boxes.at(0).first;
  EXPECT_EQ(sound->latency_ms(), audio_latency_default_ms);
  music_play(music);
  const std::vector<TunePosition> seen = follow(music, 1, 1.0);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().order, 0);
  EXPECT_GE(seen.back().row, 3);  // a second of sound is ten rows; allow a slow start
  EXPECT_EQ(music_stop(music), 1);
  EXPECT_FALSE(sound->setup().initialised);
}

// With no delay the disk driver mixes as fast as it can: several orders in a moment. What
// it wrote, after the silence SDL plays while the device waits for play_song, is what
// capture mode renders for the same tune (libopenmpt rounds a few samples differently when
// it is read in other pieces: by one step at most).
TEST(LiveSound, DiskDriverRunsThroughOrdersAndWritesWhatCaptureRenders) {
  const fs::path tune = write_tune("live_disk");
  const fs::path raw = tune.parent_path() / "out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  setenv("QUINDLE_AUDIO_LATENCY_MS", "40", 1);
  auto sound = make_live_sound();
  RecordingWindow window;
  Music music;
  ASSERT_EQ(music_start(music, *sound, window, tune.string()), 1) << window.boxes.at(0).first;
  EXPECT_EQ(sound->latency_ms(), 40);
  music_play(music);
  const std::vector<TunePosition> seen = follow(music, 3, 60.0);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().order, 3);
  EXPECT_EQ(music_stop(music), 1);

  const std::vector<std::int16_t> live = samples_of(read_file_bytes(raw), 0);
  const auto first_sound = std::find_if(live.begin(), live.end(), [](std::int16_t v) { return v != 0; });
  const std::size_t lead_in = std::size_t(first_sound - live.begin());
  ASSERT_GE(live.size() - lead_in, 2u * 16u * 44100u);  // order 3 begins 16 s into the tune

  auto offline = make_offline_sound();
  ASSERT_TRUE(offline->start_wav((tune.parent_path() / "offline.wav").string()));
  Music reference;
  ASSERT_EQ(music_start(reference, *offline, window, tune.string()), 1);
  music_play(reference);
  offline->render_until(16.0);
  ASSERT_TRUE(offline->finish_wav());
  const std::vector<std::int16_t> expected = samples_of(read_file_bytes(tune.parent_path() / "offline.wav"), 44);
  ASSERT_EQ(expected.size(), 2u * 16u * 44100u);
  ASSERT_NE(expected[0], 0);
  EXPECT_EQ(lead_in % (2 * 1024), 0u);  // whole device buffers of silence before the tune
  std::size_t differing = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_LE(std::abs(live[lead_in + i] - expected[i]), 1) << "sample value " << i;
    differing += live[lead_in + i] != expected[i];
  }
  EXPECT_LT(differing, expected.size() / 100);
}

TEST(LiveSound, DriverThatCannotStartIsAnOutputDeviceError) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  const fs::path tune = write_tune("live_none");
  auto sound = make_live_sound();
  RecordingWindow window;
  Music music;
  EXPECT_EQ(music_start(music, *sound, window, tune.string()), 0);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].first, "Error initializing output device.");
  EXPECT_EQ(window.boxes[0].second, "fmod player init failed");
  EXPECT_EQ(music_play(music), 1);
  SongPosition p{5, 5};
  music_position(music, &p);
  EXPECT_EQ(p.order, 0);
  EXPECT_EQ(p.row, 0);
  EXPECT_EQ(music_stop(music), 1);
}
