// The author's run on the recording platform: saves reach the screen, a broken save keeps the
// old show and says why, keys move the song; the frame's pixels never hold the overlay.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "driver/author.h"
#include "driver/seek.h"
#include "fake_platform.h"
#include "testdata.h"
#include "tools/pcx_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr double frame_s = 0.05;  // the fake clock moves this much per frame

// A 320x200 picture of one colour (palette entry 1).
std::vector<std::uint8_t> plain_picture(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  std::vector<std::uint8_t> indices(320 * 200, 1);
  std::vector<std::uint8_t> palette(768, 0);
  palette[3] = red;
  palette[4] = green;
  palette[5] = blue;
  return pcx_encode(320, 200, indices, palette);
}

void write_text(const fs::path& path, const std::string& text) {
  write_file_bytes(path, {text.begin(), text.end()});
}

// Saves as editors do: a temporary file renamed over the old one.
void save_by_rename(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  const fs::path temporary = path.string() + ".tmp";
  write_file_bytes(temporary, {bytes.begin(), bytes.end()});
  fs::rename(temporary, path);
}

const std::string bitmap_script = "quitpat ff\npattern 0 1\n{\nbitmap 0 1 0 0 picture.pcx no no -\n}\n";
const std::string bitmap_and_blur_script =
    "quitpat ff\npattern 0 1\n{\nbitmap 0 1 0 0 picture.pcx no no -\nradialblur 0 1 0 0 - 10 10 -\n}\n";
const std::string broken_script = "quitpat ff\npattern 0 1\nbitmap 0 1 0 0 picture.pcx no no -\n}\n";

// What one frame showed.
struct Seen {
  std::string drawn;     // "0.0 0.1"
  std::uint32_t pixel = 0;  // the frame's pixel (160, 100)
  std::string overlay;
};

// Runs an author's show in `dir` for at most `frames` frames; at frame n, events[n] runs
// (after the frame is shown). Every frame's report is kept.
class AuthorRun {
 public:
  explicit AuthorRun(const fs::path& dir) : dir_(dir) {}

  std::map<int, std::function<void()>> events;
  std::vector<Seen> seen;

  int run(int frames) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    ShowOptions options;
    options.answer = SetupChoice{true, false};
    options.edit = true;
    options.after_frame = [&](const FrameReport& report) {
      Seen s;
      for (const LayerRef& ref : report.drawn)
        s.drawn += (s.drawn.empty() ? "" : " ") + std::to_string(ref.block) + "." + std::to_string(ref.layer);
      s.pixel = fake.toolkit.view.pixel;
      s.overlay = fake.toolkit.view.overlay;
      seen.push_back(s);
      const int n = int(report.frame);
      if (events.count(n)) events[n]();
      fake.clock.set(fake.clock.now_s() + frame_s);
      // Keys given now are read after the next frame.
      if (n + 2 == frames) fake.toolkit.keys_per_frame.push_back({key_escape});
    };
    Platform platform = fake.platform();
    const int code = run_show(platform, options);
    fs::current_path(previous);
    return code;
  }

  // The first frame from `from` on whose layers are `drawn`; -1 when none.
  int first_frame_drawing(int from, const std::string& drawn) const {
    for (int n = from; n < int(seen.size()); ++n)
      if (seen[std::size_t(n)].drawn == drawn) return n;
    return -1;
  }

  FakePlatform fake;

 private:
  fs::path dir_;
};

// The display's pixel of a colour (the display format is 0x00RRGGBB).
std::uint32_t rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r << 16 | g << 8 | b; }

}  // namespace

// A save shows within half a second of fake time (10 frames); a broken save keeps the old
// show, which goes on drawing, with the error in the overlay until a fixed save.
TEST(AuthorReload, EditedBrokenAndFixedScripts) {
  const fs::path dir = scratch_dir("author_script");
  write_file_bytes(dir / "picture.pcx", plain_picture(200, 0, 0));
  write_text(dir / "script.txt", bitmap_script);
  AuthorRun run(dir);
  run.events[5] = [&] { write_text(dir / "script.txt", bitmap_and_blur_script); };
  run.events[25] = [&] { write_text(dir / "script.txt", broken_script); };
  run.events[45] = [&] { write_text(dir / "script.txt", bitmap_script); };
  EXPECT_EQ(run.run(65), exit_escape);
  ASSERT_EQ(run.seen.size(), 65u);

  EXPECT_EQ(run.seen[0].drawn, "0.0");
  EXPECT_EQ(run.seen[0].pixel, rgb(200, 0, 0));
  const int edited = run.first_frame_drawing(6, "0.0 0.1");
  EXPECT_GT(edited, 5);
  EXPECT_LE(edited, 15);

  // The broken save: still the edited show, and the reason with file and line.
  for (int n = 26; n <= 45; ++n) EXPECT_EQ(run.seen[std::size_t(n)].drawn, "0.0 0.1") << "frame " << n;
  const std::string reason =
      "reload failed: script.txt:2: error: a \"pattern\" line must be followed by a line that begins with \"{\"";
  EXPECT_NE(run.seen[40].overlay.find(reason), std::string::npos) << run.seen[40].overlay;

  const int fixed = run.first_frame_drawing(46, "0.0");
  EXPECT_GT(fixed, 45);
  EXPECT_LE(fixed, 55);
  EXPECT_EQ(run.seen[64].overlay.find("reload failed"), std::string::npos) << run.seen[64].overlay;
}

// A save naming a tune the sound library cannot load keeps the old show and names the tune's line.
TEST(AuthorReload, TuneThatCannotBeLoadedKeepsTheShow) {
  const fs::path dir = scratch_dir("author_tune");
  write_file_bytes(dir / "picture.pcx", plain_picture(200, 0, 0));
  write_text(dir / "script.txt", bitmap_script);
  AuthorRun run(dir);
  run.events[5] = [&] {
    run.fake.sound.load_ok = false;
    run.fake.sound.error = SOUND_FILE_NOT_FOUND;
    write_text(dir / "script.txt", "// a tune\ntune other.mod\n" + bitmap_script);
  };
  EXPECT_EQ(run.run(25), exit_escape);
  ASSERT_EQ(run.seen.size(), 25u);
  EXPECT_EQ(run.seen[20].drawn, "0.0");
  const std::string reason = "reload failed: script.txt:2: error: the tune \"other.mod\" cannot be loaded";
  EXPECT_NE(run.seen[20].overlay.find(reason), std::string::npos) << run.seen[20].overlay;
}

// A data file saved anew shows its new picture; one replaced by a directory, or deleted, keeps
// the last good picture on the screen and says what is wrong.
TEST(AuthorReload, DataFileReplacedThenTurnedIntoADirectoryThenDeleted) {
  const fs::path dir = scratch_dir("author_data");
  write_file_bytes(dir / "picture.pcx", plain_picture(200, 0, 0));
  write_text(dir / "script.txt", bitmap_script);
  AuthorRun run(dir);
  run.events[5] = [&] { save_by_rename(dir / "picture.pcx", plain_picture(0, 0, 200)); };
  run.events[25] = [&] {
    fs::remove(dir / "picture.pcx");
    fs::create_directory(dir / "picture.pcx");
  };
  run.events[45] = [&] { fs::remove(dir / "picture.pcx"); };
  EXPECT_EQ(run.run(65), exit_escape);
  ASSERT_EQ(run.seen.size(), 65u);

  EXPECT_EQ(run.seen[0].pixel, rgb(200, 0, 0));
  EXPECT_EQ(run.seen[20].pixel, rgb(0, 0, 200));
  EXPECT_EQ(run.seen[40].pixel, rgb(0, 0, 200));
  EXPECT_EQ(run.seen[40].drawn, "0.0");
  const std::string directory = "script.txt:4: error: bitmap: data file \"picture.pcx\" is not a file (a directory?)";
  EXPECT_NE(run.seen[40].overlay.find(directory), std::string::npos) << run.seen[40].overlay;
  EXPECT_EQ(run.seen[60].pixel, rgb(0, 0, 200));
  const std::string missing = "script.txt:4: error: bitmap: data file \"picture.pcx\" does not exist";
  EXPECT_NE(run.seen[60].overlay.find(missing), std::string::npos) << run.seen[60].overlay;
}

// A script deleted while watched (an editor's save half done) keeps the show; its return loads.
TEST(AuthorReload, DeletedScriptKeepsTheShowUntilItComesBack) {
  const fs::path dir = scratch_dir("author_deleted");
  write_file_bytes(dir / "picture.pcx", plain_picture(200, 0, 0));
  write_text(dir / "script.txt", bitmap_script);
  AuthorRun run(dir);
  run.events[5] = [&] { fs::remove(dir / "script.txt"); };
  run.events[25] = [&] { write_text(dir / "script.txt", bitmap_and_blur_script); };
  EXPECT_EQ(run.run(45), exit_escape);
  ASSERT_EQ(run.seen.size(), 45u);
  EXPECT_EQ(run.seen[20].drawn, "0.0");
  EXPECT_NE(run.seen[20].overlay.find("script.txt: error: cannot open the script"), std::string::npos)
      << run.seen[20].overlay;
  EXPECT_EQ(run.seen[44].drawn, "0.0 0.1");
}

// The overlay is the console's, never the frame's: the frame's pixels are those of the
// picture whether the overlay is shown or not (Tab).
TEST(AuthorOverlay, TabHidesItAndTheFrameNeverHoldsIt) {
  const fs::path dir = scratch_dir("author_overlay");
  write_file_bytes(dir / "picture.pcx", plain_picture(0, 200, 0));
  write_text(dir / "script.txt", bitmap_script);
  AuthorRun run(dir);
  run.events[3] = [&] { run.fake.toolkit.keys_per_frame.push_back({key_tab}); };
  EXPECT_EQ(run.run(8), exit_escape);
  ASSERT_EQ(run.seen.size(), 8u);
  EXPECT_EQ(run.seen[2].overlay.rfind("00.00  0.10 s", 0), 0u) << run.seen[2].overlay;
  EXPECT_NE(run.seen[2].overlay.find("\n0.0 bitmap picture.pcx"), std::string::npos) << run.seen[2].overlay;
  EXPECT_EQ(run.seen[6].overlay, "");
  for (const Seen& s : run.seen) EXPECT_EQ(s.pixel, rgb(0, 200, 0));
}

// Space stops the show's clock and the song; again, both go on. A key given after frame n is
// read after frame n + 1, when the clock has moved on to frame n + 2's time.
TEST(AuthorKeys, SpacePausesTheShowClock) {
  const fs::path dir = scratch_dir("author_pause");
  write_file_bytes(dir / "picture.pcx", plain_picture(0, 200, 0));
  write_text(dir / "script.txt", bitmap_script);
  AuthorRun run(dir);
  run.events[3] = [&] { run.fake.toolkit.keys_per_frame.push_back({key_space}); };
  run.events[8] = [&] { run.fake.toolkit.keys_per_frame.push_back({key_space}); };
  EXPECT_EQ(run.run(12), exit_escape);
  ASSERT_EQ(run.seen.size(), 12u);
  const struct {
    int frame;
    const char* begins;
  } expected[] = {
      {4, "00.00  0.20 s"},          {5, "00.00  0.25 s"}, {9, "00.00  0.25 s"},
      {10, "00.00  0.25 s"},         {11, "00.00  0.30 s"},
  };
  for (const auto& e : expected)
    EXPECT_EQ(run.seen[std::size_t(e.frame)].overlay.rfind(e.begins, 0), 0u) << run.seen[std::size_t(e.frame)].overlay;
  EXPECT_NE(run.seen[5].overlay.find("paused"), std::string::npos) << run.seen[5].overlay;
  EXPECT_EQ(run.seen[10].overlay.find("paused"), std::string::npos) << run.seen[10].overlay;
  EXPECT_TRUE(run.fake.log.contains("pause_song 1"));
  EXPECT_TRUE(run.fake.log.contains("pause_song 0"));
}
