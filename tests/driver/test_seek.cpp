// Starting part-way and looping: a capture that starts at a position, or wraps a loop, gives
// the same frames, byte for byte, as the frames of a full capture at those positions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/capture.h"
#include "driver/seek.h"
#include "platform/headless.h"
#include "platform/sound_openmpt.h"
#include "testdata.h"

namespace fs = std::filesystem;

namespace {

constexpr int fps = 5;  // a coarse grid keeps the full reference capture short

std::vector<std::string> lines_of(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A timeline line without its first column (the frame's number in its own capture).
std::string without_frame_number(const std::string& line) { return line.substr(line.find('\t')); }

fs::path frame_file(const fs::path& dir, std::int64_t n) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(n));
  return dir / name;
}

int capture(const fs::path& out, std::int64_t frames, std::optional<SongPosition> start,
            std::optional<OrderRange> loop = std::nullopt) {
  CaptureOptions options;
  options.out = out.string();
  options.fps = fps;
  options.max_frames = frames;
  options.script_path = "script.txt";
  options.start = start;
  options.loop = loop;
  return run_capture(options);
}

// The sample show, and (made when a test first needs it) one full capture of it up to a little
// past order 7 row 08. ctest runs each test in a process of its own, side by side: each
// process has its own directory.
class SampleShow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(scratch_dir("seek_sample_show_" + std::to_string(getpid())));
    previous_ = new fs::path(fs::current_path());
    const std::string make = std::string(QUINDLE_TOOL) + " make-show " + dir_->string() + " >/dev/null 2>&1";
    show_made_ = std::system(make.c_str()) == 0;
    fs::current_path(*dir_);
  }
  static void TearDownTestSuite() {
    fs::current_path(*previous_);
    std::error_code error;
    fs::remove_all(*dir_, error);
    delete previous_;
    delete full_;
    delete dir_;
    full_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(show_made_) << "quindle-tool make-show failed"; }

  // The full capture's timeline; the capture is made on first use.
  static const std::vector<std::string>& full() {
    if (!full_) {
      EXPECT_EQ(capture(*dir_ / "full", 210, std::nullopt), 0);
      full_ = new std::vector<std::string>(lines_of(*dir_ / "full" / "timeline.tsv"));
    }
    return *full_;
  }

  // The first frame of the full capture at or past the position.
  static std::int64_t first_frame_at(const SongPosition& position) {
    for (std::size_t k = 0; k < full().size(); ++k) {
      int order = 0, row = 0;
      std::sscanf(without_frame_number(full()[k]).c_str(), "\t%*f\t%d\t%d", &order, &row);
      if (!position_before(SongPosition{order, row}, position)) return std::int64_t(k);
    }
    return -1;
  }

  // Frame i of the capture in `name` against frame expected[i] of the full capture.
  static void expect_frames(const std::string& name, const std::vector<std::int64_t>& expected) {
    const fs::path out = *dir_ / name;
    const auto lines = lines_of(out / "timeline.tsv");
    ASSERT_EQ(lines.size(), expected.size()) << name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const std::int64_t k = expected[i];
      EXPECT_EQ(read_file_bytes(frame_file(out, std::int64_t(i))), read_file_bytes(frame_file(*dir_ / "full", k)))
          << name << " frame " << i << " against full frame " << k;
      ASSERT_LT(std::size_t(k), full().size()) << name;
      EXPECT_EQ(lines[i], std::to_string(i) + without_frame_number(full()[std::size_t(k)]))
          << name << " frame " << i << " against full frame " << k;
    }
  }

  static fs::path* dir_;
  static fs::path* previous_;
  static bool show_made_;
  static std::vector<std::string>* full_;
};

bool SampleShow::show_made_ = false;
fs::path* SampleShow::dir_ = nullptr;
fs::path* SampleShow::previous_ = nullptr;
std::vector<std::string>* SampleShow::full_ = nullptr;

}  // namespace

// One full capture serves every comparison (it is the slow part), so they share one test.
// Starts: inside a fading bitmap's window (the title fades in from 00.08), a 3D layer's (02.20:
// the wireframe scene under a radial blur) and a video's (07.08). The loop: from 06.30 the song
// leaves order 6 within a few frames and the show goes back to 05.00.
TEST_F(SampleShow, StartAndLoopCapturesAreTheFullCapturesFramesByteForByte) {
  const SongPosition positions[] = {{0, 0x10}, {2, 0x20}, {7, 0x08}};
  for (const SongPosition& position : positions) {
    const std::string name = "start_" + format_song_position(position);
    const std::int64_t k0 = first_frame_at(position);
    ASSERT_GE(k0, 1) << name;
    ASSERT_EQ(capture(*dir_ / name, 6, position), 0) << name;
    expect_frames(name, {k0, k0 + 1, k0 + 2, k0 + 3, k0 + 4, k0 + 5});
  }

  // The sound from the first frame on is the full capture's from that frame's first sample.
  const std::int64_t k0 = first_frame_at({2, 0x20});
  const auto full_sound = read_file_bytes(*dir_ / "full" / "audio.wav");
  const auto part = read_file_bytes(*dir_ / "start_02.20" / "audio.wav");
  ASSERT_GT(part.size(), 44u);
  const std::size_t from = 44 + std::size_t(k0 * 44100 / fps) * 4;
  ASSERT_LE(from + part.size() - 44, full_sound.size());
  const std::vector<unsigned char> expected_sound(full_sound.begin() + std::ptrdiff_t(from),
                                                  full_sound.begin() + std::ptrdiff_t(from + part.size() - 44));
  const std::vector<unsigned char> sound(part.begin() + 44, part.end());
  EXPECT_EQ(sound, expected_sound);

  const std::int64_t loop_k0 = first_frame_at({6, 0x30});
  const std::int64_t past = first_frame_at({7, 0});
  const std::int64_t wrap = first_frame_at({5, 0});
  ASSERT_LT(loop_k0, past);
  std::vector<std::int64_t> expected;
  for (std::int64_t k = loop_k0; k < past; ++k) expected.push_back(k);
  for (std::int64_t k = wrap; expected.size() < 20; ++k) expected.push_back(k);
  ASSERT_EQ(capture(*dir_ / "loop", 20, SongPosition{6, 0x30}, OrderRange{5, 6}), 0);
  expect_frames("loop", expected);

  // Without --start, a loop starts at its first order.
  ASSERT_EQ(capture(*dir_ / "loop_only", 3, std::nullopt, OrderRange{5, 6}), 0);
  expect_frames("loop_only", {wrap, wrap + 1, wrap + 2});
}

// Positions the song does not hold end the run before any frame, with exit code 2 (the start
// positions the song lacks are told apart in the next test).
TEST_F(SampleShow, PlacesTheSongDoesNotHoldAreRefused) {
  struct Case {
    const char* name;
    std::optional<SongPosition> start;
    std::optional<OrderRange> loop;
  };
  const Case cases[] = {
      {"loop_past_song", std::nullopt, OrderRange{5, 0x20}},
      {"start_outside_loop", SongPosition{2, 0}, OrderRange{5, 6}},
      {"loop_never_played", std::nullopt, OrderRange{8, 8}},
  };
  for (const Case& c : cases) {
    const fs::path out = *dir_ / c.name;
    EXPECT_EQ(capture(out, 3, c.start, c.loop), exit_bad_position) << c.name;
    EXPECT_FALSE(fs::exists(frame_file(out, 0))) << c.name;
  }
}

TEST_F(SampleShow, RefusalsSayWhatTheSongHolds) {
  std::unique_ptr<OfflineSound> sound = make_offline_sound();
  HeadlessWindowSystem window;
  Show show;
  show.script.quit_order = 0x0C;
  ASSERT_EQ(music_start(show.music, *sound, window, "tune.mod"), 1);
  struct Case {
    SongPosition start;
    const char* message;
  };
  const Case cases[] = {
      {{0x20, 0}, "--start 20.00: the song has no order 20; its orders run from 00 to 0C"},
      {{5, 0x40}, "--start 05.40: order 05 has rows 00 to 3F only"},
      {{0x0C, 0}, "--start 0C.00: the show ends at its quit order 0C, before 0C.00"},
  };
  for (const Case& c : cases) {
    ShowOptions options;
    options.start = c.start;
    std::string message;
    EXPECT_NE(check_authoring_options(show, options, &message), SEEK_OK) << c.message;
    EXPECT_EQ(message, c.message);
  }
  music_stop(show.music);
}
