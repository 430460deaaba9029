// The music calls over the real sound library: error texts, the recorded set-up, every way a
// tune can fail to load (real files, and file callbacks that fail on request), the song
// position in capture mode and from the stamps of what is heard, the interop tunes, a whole
// capture, and live output through SDL's disk driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <thread>
#include <tuple>
#include <type_traits>

#include "driver/capture.h"
#include "driver/music.h"
#include "platform/sound_openmpt.h"
#include "platform/sound_session.h"
#include "platform/sound_stamps.h"
#include "base/limits.h"
#include "scoped_env.h"
#include "stderr_pipe.h"
#include "testdata.h"
#include "tools/mod_writer.h"
#include "tools/show_assets.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

fs::path write_tune(const std::string& test_name) {
  const fs::path dir = scratch_dir("sound_" + test_name);
  write_show_tune(dir);
  return dir / "tune.mod";
}

Bytes cut(const Bytes& bytes, std::size_t n) { return {bytes.begin(), bytes.begin() + std::ptrdiff_t(n)}; }

class RecordingWindow final : public WindowSystem {
 public:
  std::vector<std::pair<std::string, std::string>> boxes;  // text, caption
  SetupChoice run_setup_dialog() override { return {true, false}; }
  void message_box(std::string_view text, std::string_view caption) override { boxes.emplace_back(text, caption); }
  void screen_size(int* w, int* h) override {
    *w = 1024;
    *h = 768;
  }
};

struct TunePosition {
  int order = 0, row = 0;
  auto operator<=>(const TunePosition&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TunePosition& p) { return out << "(" << p.order << ", " << p.row << ")"; }

// The generated tune's position at sample index `sample` (44100 Hz), from its play plan.
TunePosition show_tune_position_at(std::int64_t sample) {
  std::int64_t row_index = sample / show_tune_samples_per_row;
  for (std::size_t i = 0;; ++i) {
    if (i == show_tune_plan.size()) i = show_tune_loop_index;
    const TuneStretch& s = show_tune_plan[i];
    if (row_index < s.end_row - s.first_row) return {s.order, s.first_row + int(row_index)};
    row_index -= s.end_row - s.first_row;
  }
}

// The position reported after mixing `mixed` samples: that of the last sample mixed.
TunePosition show_tune_position_after(std::int64_t mixed) {
  return mixed == 0 ? TunePosition{} : show_tune_position_at(mixed - 1);
}

// A tune handed to music_start, and played when that succeeded.
template <class Sound>
struct Started {
  std::unique_ptr<Sound> sound;
  RecordingWindow window;
  Music music;
  int code = 0;  // music_start's result
  TunePosition position() {
    SongPosition p{7, 7};
    music_position(music, &p);
    return {p.order, p.row};
  }
};

template <class Sound>
Started<Sound> start(std::unique_ptr<Sound> sound, const fs::path& tune) {
  Started<Sound> s;
  s.sound = std::move(sound);
  s.code = music_start(s.music, *s.sound, s.window, tune.string());
  if (s.code == 1) music_play(s.music);
  return s;
}

// After a failed start: one message box with `text`, then a silent show that stays at (0, 0)
// (an offline library mixes five seconds first).
template <class Sound>
void expect_silent_show(Started<Sound>& s, const std::string& text) {
  EXPECT_EQ(s.code, 0);
  ASSERT_EQ(s.window.boxes.size(), 1u);
  EXPECT_EQ(s.window.boxes[0], (std::pair<std::string, std::string>{text, "fmod player init failed"}));
  EXPECT_EQ(music_play(s.music), 1);
  if constexpr (std::is_same_v<Sound, OfflineSound>) s.sound->render_until(5.0);
  EXPECT_EQ(s.position(), TunePosition{});
  EXPECT_EQ(music_stop(s.music), 1);
}

// File callbacks over one in-memory file; the armed fault fires at the n-th call (from 0)
// of its kind, and a read fault either returns -1 or throws std::bad_alloc.
enum Fault { no_fault, read_error, read_alloc, seek_error, tell_error };
struct FaultyFile {
  Bytes bytes;
  long position = 0;
  int open_errno = 0, opens = 0, closes = 0, reads = 0, seeks = 0, tells = 0;
  Fault fault = no_fault;
  int fault_call = 0;
  bool fired = false;
};
FaultyFile faulty;

bool fires(int call, Fault kind, Fault other_kind = no_fault) {
  const bool fire = faulty.fault != no_fault && (faulty.fault == kind || faulty.fault == other_kind) && call == faulty.fault_call;
  if (fire) faulty.fired = true;
  return fire;
}

TuneFileCallbacks faulty_callbacks() {
  TuneFileCallbacks c;
  c.open = [](const char*) -> void* {
    if (faulty.open_errno) {
      errno = faulty.open_errno;
      return nullptr;
    }
    ++faulty.opens;
    faulty.position = 0;
    return &faulty;
  };
  c.close = [](void*) { ++faulty.closes; };
  c.read = [](void* buffer, int size, void*) -> int {
    if (fires(faulty.reads++, read_error, read_alloc)) {
      if (faulty.fault == read_alloc) throw std::bad_alloc();
      return -1;
    }
    const long n = std::clamp<long>(long(faulty.bytes.size()) - faulty.position, 0, size);
    if (n > 0) std::memcpy(buffer, faulty.bytes.data() + faulty.position, std::size_t(n));
    faulty.position += n;
    return int(n);
  };
  c.seek = [](void*, int position, signed char mode) -> int {
    const long base = mode == 0 ? 0 : mode == 1 ? faulty.position : long(faulty.bytes.size());
    if (fires(faulty.seeks++, seek_error) || base + position < 0) return -1;
    faulty.position = base + position;
    return 0;
  };
  c.tell = [](void*) { return fires(faulty.tells++, tell_error) ? -1 : int(faulty.position); };
  return c;
}

// Loads `bytes` through the faulty callbacks, the fault armed; the error code, and in `damage`
// (when given) how much of the tune is missing.
int load_faulty(Bytes bytes, Fault fault = no_fault, int fault_call = 0, int open_errno = 0,
                TuneDamage* damage = nullptr) {
  faulty = FaultyFile{std::move(bytes)};
  faulty.fault = fault;
  faulty.fault_call = fault_call;
  faulty.open_errno = open_errno;
  int error = SOUND_OK;
  Song owner;  // frees the module
  owner.module = tune_load(faulty_callbacks(), "tune.mod", &error, damage);
  EXPECT_EQ(owner.module != nullptr, error == SOUND_OK);
  EXPECT_EQ(faulty.closes, open_errno ? 0 : 1) << "the file is closed exactly once";
  return error;
}

// A capture of the radialblur show over `tune` up to order 2 into dir/out.
int capture(const fs::path& dir, const fs::path& tune, const char* out, int fps, std::int64_t max_frames = 0) {
  const std::string script = "tune " + tune.string() + "\nquitpat 2\npattern 0 1\n{\nradialblur 0 1 0 40 - 10 10 -\n}\n";
  write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
  CaptureOptions options;
  options.fps = fps;
  options.max_frames = max_frames;
  options.script_path = (dir / "script.txt").string();
  options.out = (dir / out).string();
  return run_capture(options);
}

}  // namespace

// Codes outside the table, negative ones included, read as "Unknown error".
TEST(ErrorText, CodesOutOfRangeAreUnknown) {
  for (int code : {19, 256, INT_MAX, -1, INT_MIN}) EXPECT_STREQ(error_text(code), "Unknown error") << code;
}

TEST(MusicStart, RecordsTheSetUpCallsAndLoadsTheTune) {
  auto s = start(make_offline_sound(), write_tune("setup"));
  ASSERT_EQ(s.code, 1);
  const SoundSetup& set = s.sound->setup();
  EXPECT_EQ((std::array{set.output, set.driver, set.mixer, set.rate_hz, set.channels, int(set.flags)}),
            (std::array{2, 0, 4, 44100, 64, 0}));
  EXPECT_TRUE(set.callbacks_set);
  EXPECT_EQ(music_stop(s.music), 1);
}

// A missing file, an odd name, a directory, an empty or text file, a header alone: the
// message of their code, then a silent show.
TEST(MusicStart, BadFilesShowTheirMessages) {
  const fs::path dir = scratch_dir("sound_bad_files");
  const std::string text = "tune tune.mod\nquitpat 2\nThis is a script, not a module.\n";
  const Bytes bytes = mod_encode(show_tune());
  fs::create_directories(dir / "folder.mod");
  write_file_bytes(dir / "empty.mod", {});
  const std::tuple<const char*, Bytes, int> files[] = {  // files with no bytes are not written
      {"missing.mod", {}, SOUND_FILE_NOT_FOUND},
      {"t\xc3\xbc ne *?<>|\"\t.mod", {}, SOUND_FILE_NOT_FOUND},
      {"folder.mod", {}, SOUND_FILE_LOAD},
      {"empty.mod", {}, SOUND_FILE_FORMAT},
      {"text.mod", {text.begin(), text.end()}, SOUND_FILE_FORMAT},
      {"header_only.mod", cut(bytes, 1000), SOUND_FILE_FORMAT},
  };
  for (const auto& [name, content, code] : files) {
    if (!content.empty()) write_file_bytes(dir / name, content);
    SCOPED_TRACE(name);
    auto s = start(make_offline_sound(), dir / name);
    expect_silent_show(s, error_text(code));
  }
}

// Below the tag at 1080 nothing tells a module; past it a cut module loads, and what its
// headers declare past the cut is counted.
TEST(LoadSong, CutAtAnyLengthLoadsAndCountsWhatIsMissing) {
  const Bytes bytes = mod_encode(show_tune());
  for (std::size_t n = 0; n < bytes.size(); n += n < 1200 ? 7 : 1531) {
    TuneDamage damage;
    const int error = load_faulty(cut(bytes, n), no_fault, 0, 0, &damage);
    EXPECT_EQ(error, n < 1084 ? SOUND_FILE_FORMAT : SOUND_OK) << n;
    if (n < 1084) continue;
    EXPECT_EQ(damage.missing_bytes, std::int64_t(bytes.size() - n)) << n;
    EXPECT_FALSE(damage.at_least) << n;
    EXPECT_EQ(damage.file_bytes, std::int64_t(n));
  }
}

// An open that fails is "File not found", or out of memory when errno says so. Each other
// fault kind at the first 64 calls of its kind that a load makes, then at every 97th (the
// loader makes thousands of small reads): the load fails with the fault's code.
TEST(LoadSong, EachFailingCallbackGivesItsCode) {
  const Bytes bytes = mod_encode(show_tune());
  EXPECT_EQ(load_faulty(bytes, no_fault, 0, ENOENT), SOUND_FILE_NOT_FOUND);
  EXPECT_EQ(load_faulty(bytes, no_fault, 0, ENOMEM), SOUND_NO_MEMORY);
  for (auto [fault, code] : {std::pair{read_error, SOUND_FILE_LOAD}, {read_alloc, SOUND_NO_MEMORY},
                             {seek_error, SOUND_FILE_LOAD}, {tell_error, SOUND_FILE_LOAD}}) {
    int call = 0;
    for (;; call += call < 64 ? 1 : 97) {
      const int error = load_faulty(bytes, fault, call);
      if (!faulty.fired) {
        EXPECT_EQ(error, SOUND_OK) << fault;
        break;
      }
      EXPECT_EQ(error, code) << "fault " << fault << " at call " << call;
    }
    EXPECT_GT(call, 1) << fault;
  }
}

// The library opens the tune through the program's callbacks whatever its name, frees a song
// once only, and refuses a set without tell.
TEST(LoadSong, ReadsOnlyThroughACompleteCallbackSet) {
  faulty = FaultyFile{mod_encode(show_tune())};
  auto sound = make_offline_sound();
  sound->set_file_callbacks(faulty_callbacks());
  sound->init(44100, 64, 0);
  Song* song = sound->load_song("any name at all");
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(faulty.opens, 1);
  EXPECT_TRUE(sound->free_song(song));
  EXPECT_FALSE(sound->free_song(song));
  TuneFileCallbacks partial = tune_file_callbacks();
  partial.tell = nullptr;
  sound = make_offline_sound();
  sound->set_file_callbacks(partial);
  EXPECT_EQ(sound->get_error(), SOUND_PARAMETER);
  EXPECT_FALSE(sound->setup().callbacks_set);
}

// Each interop tune cut to n/8 of its length loads and is missing the rest (the files end
// where their headers say); where a header of a part lies past the cut, at least what could be
// measured. Cut to 40 bytes, none is a module.
TEST(LoadSong, CutInteropTunesLoadAndCountWhatIsMissing) {
  const std::filesystem::path dir = testdata_path("tunes");
  for (const char* file : {"tecnoballz.mod", "area1-game.mod", "menu.s3m", "the_big_march_in_space.it"}) {
    const Bytes bytes = read_file_bytes(dir / file);
    TuneDamage whole;
    EXPECT_EQ(load_faulty(bytes, no_fault, 0, 0, &whole), SOUND_OK) << file;
    EXPECT_EQ(whole.missing_bytes, 0) << file;
    for (std::size_t n = 1; n < 8; ++n) {
      const std::size_t kept = bytes.size() * n / 8;
      const std::int64_t missing = std::int64_t(bytes.size() - kept);
      TuneDamage damage;
      EXPECT_EQ(load_faulty(cut(bytes, kept), no_fault, 0, 0, &damage), SOUND_OK) << file << " cut to " << n << "/8";
      if (damage.at_least) {
        EXPECT_GT(damage.missing_bytes, 0) << file << " cut to " << n << "/8";
        EXPECT_LE(damage.missing_bytes, missing) << file << " cut to " << n << "/8";
      } else {
        EXPECT_EQ(damage.missing_bytes, missing) << file << " cut to " << n << "/8";
      }
    }
    EXPECT_EQ(load_faulty(cut(bytes, 40)), SOUND_FILE_FORMAT) << file;
  }
}

// A tune of max_tune_bytes loads (a module followed by zeros); one byte more is refused with
// "Error loading file" before it is read, and standard error gives its size.
TEST(LoadSong, TuneSizeOnBothSidesOfTheLimit) {
  Bytes bytes = mod_encode(show_tune());
  bytes.resize(std::size_t(max_tune_bytes));
  EXPECT_EQ(load_faulty(bytes), SOUND_OK);
  bytes.push_back(0);
  faulty = FaultyFile{std::move(bytes)};
  auto sound = make_offline_sound();
  sound->set_file_callbacks(faulty_callbacks());
  sound->init(44100, 64, 0);
  const std::string told = stderr_of([&] { EXPECT_EQ(sound->load_song("big.mod"), nullptr); });
  EXPECT_EQ(sound->get_error(), SOUND_FILE_LOAD);
  EXPECT_EQ(faulty.reads, 0);
  EXPECT_EQ(told, "quindle: big.mod is " + std::to_string(max_tune_bytes + 1) + " bytes; tunes of up to " +
                      std::to_string(max_tune_bytes) + " bytes are played\n");
}

// Frame n at fps reports the position after n * 44100 / fps samples (the last sample mixed),
// through the break at 9.6 s, the jump over order 8 at 41.6 s and the loop back to order 2
// at 67.2 s; at 24 fps frames split samples. At 30 fps, 1470 samples a frame and 4410 a row,
// frame 288 reports (1, 31), 289 (2, 0), 1248 (7, 31), 1249 (9, 0) and 2017 (2, 0) again.
TEST(CapturePosition, EveryFrameAt30And24FpsFollowsThePlayPlan) {
  for (int fps : {30, 24}) {
    auto s = start(make_offline_sound(), write_tune("frames"));
    for (int n = 1; n <= 72 * fps; ++n) {
      s.sound->render_until(double(n) / fps);
      ASSERT_EQ(s.position(), show_tune_position_after(std::int64_t(n) * 44100 / fps)) << "frame " << n << " at " << fps;
    }
  }
}

TEST(StampFind, ReturnsTheStampOfTheSliceHoldingTheCursor) {
  auto ring = std::make_unique<StampRing>();
  for (const PositionStamp& s : {PositionStamp{0, 0, 0}, {256, 0, 1}, {512, 1, 0}}) stamp_put(*ring, s);
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

TEST(PlaybackCursor, SubtractsTheQueuedBufferAndTheBackendLatency) {
  const MixAnchor anchor{102400, 1024, 50.0};
  EXPECT_EQ(playback_cursor(anchor, 50.0, 44100, 1102), 102400 - 1024 - 1102);
  EXPECT_EQ(playback_cursor(anchor, 50.0625, 44100, 1102), 102400 - 1024 - 1102 + 2756);  // 2756.25 frames later
  EXPECT_EQ(playback_cursor(anchor, 49.0, 44100, 0), 102400 - 1024);  // a clock read before the callback
  EXPECT_EQ(playback_cursor(anchor, 60.0, 44100, 0), 102400 + 1023);  // never past what was mixed
  EXPECT_EQ(playback_cursor(MixAnchor{}, 60.0, 44100, 0), -1);
  EXPECT_LT(playback_cursor(MixAnchor{0, 1024, 1.0}, 1.0, 44100, 1102), 0);
}

TEST(AudioLatency, WholeMillisecondsUpToTheLimitElseTheDefault) {
  for (auto [value, ms] : {std::pair<const char*, int>{nullptr, 25}, {"", 25}, {"0", 0}, {"80", 80}, {"1000", 1000}})
    EXPECT_EQ(audio_latency_from_env(value, 25, 1000), ms) << (value ? value : "none");
  for (const char* bad : {"-5", "1001", "12ms", "abc", "99999999999999999999"})
    EXPECT_EQ(audio_latency_from_env(bad, 25, 1000), 25) << bad;
}

// The interop tunes: each listed step (sample, order) comes at its time (within 10 ms), every
// other order change is to the next order, and skip markers are never reported.
TEST(InteropTunes, PositionsFollowTheOrderLists) {
  const std::filesystem::path dir = testdata_path("tunes");
  const std::tuple<const char*, double, std::vector<std::pair<std::int64_t, int>>, std::set<int>> tunes[] = {
      {"tecnoballz.mod", 194, {{1158948, 3}, {5251428, 18}, {8492778, 0}}, {}},
      {"area1-game.mod", 86, {{3725568, 2}}, {11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}},
      {"menu.s3m", 340, {{508032, 1}, {1693440, 4}, {2370816, 7}, {5105016, 16}, {14434812, 42}, {14942844, 0}}, {3, 6, 15}},
      {"the_big_march_in_space.it", 136, {{5952960, 5}}, {}}};
  constexpr std::int64_t step_samples = 441;  // 10 ms frames
  for (const auto& [file, seconds, steps, never] : tunes) {
    auto s = start(make_offline_sound(), dir / file);
    TunePosition last;
    std::size_t next_step = 0;
    for (std::int64_t mixed = step_samples; mixed < std::int64_t(seconds * 44100); mixed += step_samples) {
      s.sound->render_until(double(mixed) / 44100);
      const TunePosition now = s.position();
      ASSERT_EQ(never.count(now.order), 0u) << file << " reported order " << now.order;
      if (now.order != last.order) {
        if (next_step < steps.size() && now.order == steps[next_step].second &&
            std::llabs(mixed - steps[next_step].first) <= step_samples + 441) {
          EXPECT_EQ(now.row, 0) << file;
          ++next_step;
        } else {
          EXPECT_EQ(now.order, last.order + 1) << file << " at sample " << mixed;
        }
      }
      last = now;
    }
    EXPECT_EQ(next_step, steps.size()) << file;
    EXPECT_EQ(music_stop(s.music), 1);
  }
}

// The show's capture mode with the generated tune at 10 fps up to order 2 (it comes at 9.6 s;
// frame 97, the first to report it, is still drawn): two runs give the same audio.wav, with
// sound up to the end of the last frame. The tune cut by two bytes plays: its timeline is the
// whole tune's, the sound is not silent, and standard error says once that the tune is damaged
// and by how much.
TEST(CaptureRun, AudioRepeatsByteForByteAndACutTuneFollowsTheSamePositions) {
  const fs::path dir = scratch_dir("sound_capture_run");
  write_show_tune(dir);
  const Bytes bytes = mod_encode(show_tune());
  write_file_bytes(dir / "cut.mod", cut(bytes, bytes.size() - 2));
  ASSERT_EQ(capture(dir, dir / "tune.mod", "a", 10), 0);
  ASSERT_EQ(capture(dir, dir / "tune.mod", "b", 10), 0);
  int code = 0;
  const std::string told = stderr_of([&] { code = capture(dir, dir / "cut.mod", "cut", 10); });
  EXPECT_EQ(code, 0);  // complete: the quit order was reached
  const Bytes a = read_file_bytes(dir / "a" / "audio.wav");
  EXPECT_EQ(a.size(), 44u + 98u * 4410u * 4u);
  EXPECT_EQ(a, read_file_bytes(dir / "b" / "audio.wav"));
  EXPECT_EQ(std::string(a.begin(), a.begin() + 16), std::string("RIFF\xf4\x60\x1a\x00WAVEfmt ", 16));  // 36 + 1728720
  EXPECT_EQ(read_file_bytes(dir / "cut" / "timeline.tsv"), read_file_bytes(dir / "a" / "timeline.tsv"));
  const Bytes wav = read_file_bytes(dir / "cut" / "audio.wav");
  ASSERT_GT(wav.size(), 44u);
  EXPECT_TRUE(std::any_of(wav.begin() + 44, wav.end(), [](unsigned char b) { return b != 0; }));
  const std::string line = "cut.mod is damaged: it is cut short, 2 bytes are missing";
  const std::size_t first = told.find(line);
  EXPECT_NE(first, std::string::npos) << told;
  EXPECT_EQ(told.find(line, first + 1), std::string::npos) << told;
}

TEST(CaptureRun, FailedTuneGivesSilenceForTheShowsLength) {
  const fs::path dir = scratch_dir("sound_capture_silent");
  ASSERT_EQ(capture(dir, dir / "missing.mod", "out", 20, 30), 0);
  const Bytes wav = read_file_bytes(dir / "out" / "audio.wav");
  ASSERT_EQ(wav.size(), 44u + 30u * 2205u * 4u);
  EXPECT_TRUE(std::all_of(wav.begin() + 44, wav.end(), [](unsigned char b) { return b == 0; }));
}

namespace {

// Reads positions until `target` or a later one is reported or `limit_s` of wall time pass,
// checking that they only ever move forward through the tune's play plan (orders 0..3 are in
// order). The limit is only there to end a test whose sound never moves: a machine under load
// may start the device late, so it is far longer than the sound needs.
TunePosition follow(Started<LiveSound>& s, TunePosition target, double limit_s) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit_s);
  TunePosition last = s.position();
  TunePosition now = last;
  while (now < target && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    now = s.position();
    EXPECT_GE(now, last);
    last = now;
  }
  return now;
}

// 16-bit little-endian sample values from byte `from` on.
std::vector<std::int16_t> samples_of(const Bytes& bytes, std::size_t from) {
  std::vector<std::int16_t> values;
  for (std::size_t i = from; i + 1 < bytes.size(); i += 2) values.push_back(std::int16_t(bytes[i] | bytes[i + 1] << 8));
  return values;
}

}  // namespace

// With no delay the disk driver mixes as fast as it can: several orders in a moment. What
// it wrote, after whole device buffers of silence while the device waits for play_song, is
// what capture mode renders (libopenmpt rounds a few samples differently when it is read in
// other pieces: by one step at most).
TEST(LiveSound, DiskDriverRunsThroughOrdersAndWritesWhatCaptureRenders) {
  const fs::path tune = write_tune("live_disk"), raw = tune.parent_path() / "out.raw";
  const ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  const ScopedEnv delay("SDL_DISKAUDIODELAY", "0");
  const ScopedEnv file("SDL_DISKAUDIOFILE", raw.c_str());
  const ScopedEnv latency("QUINDLE_AUDIO_LATENCY_MS", "40");
  auto s = start(make_live_sound(), tune);
  ASSERT_EQ(s.code, 1) << s.window.boxes.at(0).first;
  EXPECT_EQ(s.sound->latency_ms(), 40);
  // The disk driver mixes as fast as it can, so a poll may first see a later order.
  EXPECT_GE(follow(s, {3, 0}, 60.0).order, 3);
  EXPECT_EQ(music_stop(s.music), 1);
  EXPECT_FALSE(s.sound->setup().initialised);

  auto offline = make_offline_sound();
  ASSERT_TRUE(offline->start_wav((tune.parent_path() / "offline.wav").string()));
  auto reference = start(std::move(offline), tune);
  reference.sound->render_until(16.0);  // order 3 begins 16 s into the tune
  ASSERT_TRUE(reference.sound->finish_wav());
  const std::vector<std::int16_t> expected = samples_of(read_file_bytes(tune.parent_path() / "offline.wav"), 44);
  const std::vector<std::int16_t> live = samples_of(read_file_bytes(raw), 0);
  const std::size_t lead_in = std::size_t(std::find_if(live.begin(), live.end(), [](std::int16_t v) { return v != 0; }) - live.begin());
  ASSERT_EQ(expected.size(), 2u * 16u * 44100u);
  ASSERT_NE(expected[0], 0);
  ASSERT_GE(live.size() - lead_in, expected.size());
  EXPECT_EQ(lead_in % (2 * 1024), 0u);
  std::size_t differing = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_LE(std::abs(live[lead_in + i] - expected[i]), 1) << "sample value " << i;
    differing += live[lead_in + i] != expected[i];
  }
  EXPECT_LT(differing, expected.size() / 100);
}

TEST(LiveSound, DriverThatCannotStartIsAnOutputDeviceError) {
  const ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
  auto s = start(make_live_sound(), write_tune("live_none"));
  expect_silent_show(s, "Error initializing output device.");
}

