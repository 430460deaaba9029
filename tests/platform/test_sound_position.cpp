// The song position: in capture mode at frame-exact sample counts, the stamp of the sample
// being heard in live mode, the interop tunes' order lists, and a whole capture end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "driver/capture.h"
#include "driver/music.h"
#include "platform/sound_openmpt.h"
#include "platform/sound_stamps.h"
#include "sound_fixtures.h"

namespace fs = std::filesystem;

namespace {

struct Played {
  std::unique_ptr<OfflineSound> sound = make_offline_sound();
  RecordingWindow window;
  Music music;
};

std::unique_ptr<Played> play(const fs::path& tune) {
  auto p = std::make_unique<Played>();
  EXPECT_EQ(music_start(p->music, *p->sound, p->window, tune.string()), 1);
  music_play(p->music);
  return p;
}

std::set<int> orders_from(int first, int last) {
  std::set<int> orders;
  for (int order = first; order <= last; ++order) orders.insert(order);
  return orders;
}

TunePosition position_of(Played& p) {
  SongPosition position;
  music_position(p.music, &position);
  return {position.order, position.row};
}

// Plays the generated tune at fps through its end and the loop back, checking every frame.
void expect_frames_follow_the_plan(int fps) {
  auto p = play(write_tune("frames_" + std::to_string(fps)));
  const int frames = 72 * fps;  // past the loop at 67.2 s
  for (int n = 1; n <= frames; ++n) {
    p->sound->render_until(double(n) / fps);
    const std::int64_t mixed = std::int64_t(n) * 44100 / fps;
    ASSERT_EQ(position_of(*p), show_tune_position_after(mixed)) << "frame " << n << " at " << fps << " fps";
  }
}

}  // namespace

TEST(CapturePosition, EveryFrameAt30FpsThroughBreaksJumpAndLoop) { expect_frames_follow_the_plan(30); }

TEST(CapturePosition, EveryFrameAt24FpsWhereFramesSplitSamples) { expect_frames_follow_the_plan(24); }

TEST(CapturePosition, WorkedFramesAroundEachStep) {
  struct Case {
    int frame_at_30;
    TunePosition expected;
  };
  // 1470 samples a frame, 4410 a row: frame 3k has mixed exactly k rows, so it still
  // reports row k - 1; the break at 9.6 s, the jump at 41.6 s and the loop at 67.2 s.
  const Case cases[] = {{3, {0, 0}},      {4, {0, 1}},      {288, {1, 31}},  {289, {2, 0}},
                        {1008, {5, 47}},  {1009, {6, 16}},  {1248, {7, 31}}, {1249, {9, 0}},
                        {2016, {12, 63}}, {2017, {2, 0}}};
  auto p = play(write_tune("worked_frames"));
  for (const Case& c : cases) {
    p->sound->render_until(c.frame_at_30 / 30.0);
    EXPECT_EQ(position_of(*p), c.expected) << "frame " << c.frame_at_30;
  }
}

TEST(CapturePosition, OrderEightIsNeverReported) {
  auto p = play(write_tune("order_eight"));
  for (int n = 1; n <= 70 * 50; ++n) {
    p->sound->render_until(n / 50.0);
    ASSERT_NE(position_of(*p).order, 8) << n;
  }
}

TEST(StampFind, ReturnsTheStampOfTheSliceHoldingTheCursor) {
  auto ring = std::make_unique<StampRing>();
  stamp_put(*ring, {0, 0, 0});
  stamp_put(*ring, {256, 0, 1});
  stamp_put(*ring, {512, 1, 0});
  EXPECT_EQ(stamp_find(*ring, 255)->row, 0);
  EXPECT_EQ(stamp_find(*ring, 256)->row, 1);
  EXPECT_EQ(stamp_find(*ring, 511)->row, 1);
  EXPECT_EQ(stamp_find(*ring, 700)->order, 1);
  EXPECT_EQ(stamp_find(*ring, 768), nullptr);  // not mixed yet
  EXPECT_EQ(stamp_find(*ring, -1), nullptr);
  stamp_put(*ring, {std::int64_t(stamp_ring_slots) * 256, 9, 9});  // a later round takes slot 0
  EXPECT_EQ(stamp_find(*ring, 10), nullptr);
  EXPECT_EQ(stamp_find(*ring, std::int64_t(stamp_ring_slots) * 256 + 10)->order, 9);
}

// Mixes the tune slice by slice as the live callback does and checks that the stamp found
// for any cursor is the row of its slice's last sample: the row heard, at most one slice early.
TEST(StampFind, GivesTheRowBeingHeardInTheGeneratedTune) {
  auto p = play(write_tune("stamps"));
  auto ring = std::make_unique<StampRing>();
  const std::int64_t slices = 12 * 44100 / stamp_slice_frames;
  for (std::int64_t k = 0; k < slices; ++k) {
    p->sound->render_until(double((k + 1) * stamp_slice_frames) / 44100);
    const TunePosition at = position_of(*p);
    stamp_put(*ring, {k * stamp_slice_frames, at.order, at.row});
  }
  for (std::int64_t cursor : {0, 255, 4409, 4410, 4480, 4607, 4608, 282239, 282240, 423359, 423360, 500000}) {
    const PositionStamp* stamp = stamp_find(*ring, cursor);
    ASSERT_NE(stamp, nullptr) << cursor;
    const std::int64_t slice_end = cursor - cursor % stamp_slice_frames + stamp_slice_frames - 1;
    EXPECT_EQ((TunePosition{stamp->order, stamp->row}), show_tune_position_at(slice_end)) << cursor;
  }
  // Row 1 begins at sample 4410, inside the slice 4352..4607: that slice already says row 1.
  EXPECT_EQ(stamp_find(*ring, 4400)->row, 1);
  EXPECT_EQ(stamp_find(*ring, 4351)->row, 0);
}

TEST(PlaybackCursor, SubtractsTheQueuedBufferAndTheBackendLatency) {
  const MixAnchor anchor{102400, 1024, 50.0};
  EXPECT_EQ(playback_cursor(anchor, 50.0, 44100, 1102), 102400 - 1024 - 1102);
  EXPECT_EQ(playback_cursor(anchor, 50.0625, 44100, 1102), 102400 - 1024 - 1102 + 2756);  // 2756.25 frames later
  EXPECT_EQ(playback_cursor(anchor, 49.0, 44100, 0), 102400 - 1024);  // a clock read before the callback
  EXPECT_EQ(playback_cursor(anchor, 60.0, 44100, 0), 102400 + 1023);  // never past what was mixed
  EXPECT_EQ(playback_cursor(MixAnchor{}, 60.0, 44100, 0), -1);
  EXPECT_LT(playback_cursor(MixAnchor{0, 1024, 1.0}, 1.0, 44100, 1102), 0);
}

TEST(AudioLatency, EnvironmentValueOrDefault) {
  EXPECT_EQ(audio_latency_from_env(nullptr, 25, 1000), 25);
  EXPECT_EQ(audio_latency_from_env("", 25, 1000), 25);
  EXPECT_EQ(audio_latency_from_env("0", 25, 1000), 0);
  EXPECT_EQ(audio_latency_from_env("80", 25, 1000), 80);
  EXPECT_EQ(audio_latency_from_env("1000", 25, 1000), 1000);
  for (const char* bad : {"-5", "1001", "12ms", "abc", "99999999999999999999"})
    EXPECT_EQ(audio_latency_from_env(bad, 25, 1000), 25) << bad;
}

// The interop tunes: each listed step comes at its time (within 10 ms), every other order
// change is to the next order, and skip markers are never reported.
TEST(InteropTunes, PositionsFollowTheOrderLists) {
  SKIP_WITHOUT_TESTDATA(dir, "tunes");
  struct Step {
    std::int64_t frame;
    int order;
  };
  struct Tune {
    const char* file;
    double seconds;
    std::vector<Step> steps;
    std::set<int> never;
  };
  const Tune tunes[] = {
      {"tecnoballz.mod", 194, {{1158948, 3}, {5251428, 18}, {8492778, 0}}, {}},
      {"area1-game.mod", 86, {{3725568, 2}}, orders_from(11, 30)},
      {"menu.s3m", 340, {{508032, 1}, {1693440, 4}, {2370816, 7}, {5105016, 16}, {14434812, 42}, {14942844, 0}},
       {3, 6, 15}},
      {"the_big_march_in_space.it", 136, {{5952960, 5}}, {}},
  };
  constexpr std::int64_t step_samples = 441;  // 10 ms frames
  for (const Tune& tune : tunes) {
    auto p = play(dir / tune.file);
    TunePosition last;
    std::size_t next_step = 0;
    for (std::int64_t n = 1; n * step_samples < std::int64_t(tune.seconds * 44100); ++n) {
      p->sound->render_until(double(n * step_samples) / 44100);
      const TunePosition now = position_of(*p);
      ASSERT_EQ(tune.never.count(now.order), 0u) << tune.file << " reported order " << now.order;
      if (now.order != last.order) {
        const std::int64_t mixed = n * step_samples;
        if (next_step < tune.steps.size() && now.order == tune.steps[next_step].order &&
            std::llabs(mixed - tune.steps[next_step].frame) <= step_samples + 441) {
          EXPECT_EQ(now.row, 0) << tune.file;
          ++next_step;
        } else {
          EXPECT_EQ(now.order, last.order + 1) << tune.file << " at sample " << mixed;
        }
      }
      last = now;
    }
    EXPECT_EQ(next_step, tune.steps.size()) << tune.file;
    EXPECT_EQ(music_stop(p->music), 1);
  }
}

// The show's capture mode with the generated tune: timeline.tsv carries the tune's real
// positions, frame n those after n / fps seconds, and two runs give the same audio.wav.
TEST(CaptureRun, TimelineFollowsTheTuneAndAudioRepeatsByteForByte) {
  const fs::path dir = scratch_dir("sound_capture_run");
  write_show_tune(dir);
  const std::string script = "tune " + (dir / "tune.mod").string() +
                             "\nquitpat 2\npattern 0 1\n{\nradialblur 0 1 0 40 - 10 10 -\n}\n";
  write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
  CaptureOptions options;
  options.fps = 10;
  options.script_path = (dir / "script.txt").string();
  for (const char* out : {"a", "b"}) {
    options.out_dir = (dir / out).string();
    ASSERT_EQ(run_capture(options), 1);  // order 2 comes at 9.6 s
  }

  std::ifstream timeline(dir / "a" / "timeline.tsv");
  std::int64_t frames = 0;
  for (std::string line; std::getline(timeline, line); ++frames) {
    std::istringstream fields(line);
    std::int64_t frame = 0;
    double seconds = 0;
    TunePosition reported;
    fields >> frame >> seconds >> reported.order >> reported.row;
    ASSERT_EQ(frame, frames);
    EXPECT_EQ(reported, show_tune_position_after(frame * 4410)) << line;
  }
  EXPECT_EQ(frames, 98);  // frame 97 is the first to report order 2; it is still drawn

  const std::vector<unsigned char> a = read_file_bytes(dir / "a" / "audio.wav");
  EXPECT_EQ(a.size(), 44u + 98u * 4410u * 4u);  // sound up to the end of the last frame
  EXPECT_EQ(a, read_file_bytes(dir / "b" / "audio.wav"));
  const std::string header(a.begin(), a.begin() + 16);
  EXPECT_EQ(header, std::string("RIFF\xf4\x60\x1a\x00WAVEfmt ", 16));  // 36 + 1728720 data bytes
}

TEST(CaptureRun, FailedTuneGivesSilenceForTheShowsLength) {
  const fs::path dir = scratch_dir("sound_capture_silent");
  const std::string script = "tune " + (dir / "missing.mod").string() +
                             "\nquitpat 2\npattern 0 1\n{\nradialblur 0 1 0 40 - 10 10 -\n}\n";
  write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
  CaptureOptions options;
  options.fps = 20;
  options.max_frames = 30;
  options.script_path = (dir / "script.txt").string();
  options.out_dir = (dir / "out").string();
  ASSERT_EQ(run_capture(options), 0);
  const std::vector<unsigned char> wav = read_file_bytes(dir / "out" / "audio.wav");
  ASSERT_EQ(wav.size(), 44u + 30u * 2205u * 4u);
  EXPECT_TRUE(std::all_of(wav.begin() + 44, wav.end(), [](unsigned char b) { return b == 0; }));
}
