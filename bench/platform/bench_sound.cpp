// Sound benchmarks: the cost of mixing one second of the sample show's tune, and of one
// position read while SDL's audio thread mixes beside it (the frame loop reads it every frame).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "driver/music.h"
#include "platform/headless.h"
#include "platform/sound_openmpt.h"
#include "tools/show_assets.h"

namespace {

std::string bench_tune() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quindle_bench_sound";
  std::filesystem::create_directories(dir);
  write_show_tune(dir);
  return (dir / "tune.mod").string();
}

void BM_mix_one_second(benchmark::State& state) {
  auto sound = make_offline_sound();
  HeadlessWindowSystem window;
  Music music;
  if (!music_start(music, *sound, window, bench_tune())) return state.SkipWithError("tune did not load");
  music_play(music);
  double t_s = 0;
  for (auto _ : state) {
    t_s += 1.0;  // the tune loops forever, so every second is real music
    sound->render_until(t_s);
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * 44100);
  music_stop(music);
}
BENCHMARK(BM_mix_one_second)->Unit(benchmark::kMillisecond);

void BM_music_position(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  auto sound = make_live_sound();
  HeadlessWindowSystem window;
  Music music;
  if (!music_start(music, *sound, window, bench_tune())) return state.SkipWithError("no audio output");
  music_play(music);
  SongPosition position;
  for (auto _ : state) {
    music_position(music, &position);
    benchmark::DoNotOptimize(position);
  }
  music_stop(music);
}
BENCHMARK(BM_music_position);

}  // namespace
