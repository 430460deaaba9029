// Capture mode: the files of each frame and the timeline lines. Exit codes and repeatable bytes
// are checked through the command line (test_command_line.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/capture.h"
#include "testdata.h"

namespace fs = std::filesystem;

namespace {

int capture(const fs::path& show, const fs::path& out, std::int64_t frames, int fps = 25, bool force = false,
            int threads = 0) {
  CaptureOptions options;
  options.out = out.string();
  options.fps = fps;
  options.max_frames = frames;
  options.script_path = (show / "script.txt").string();
  options.force = force;
  options.encoder_threads = threads;
  return run_capture(options);
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

fs::path write_show(const std::string& name, const std::string& script) {
  const fs::path dir = scratch_dir("capture_" + name);
  write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
  return dir;
}

int count_files(const fs::path& dir, const std::string& prefix) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(dir)) n += entry.path().filename().string().rfind(prefix, 0) == 0;
  return n;
}

std::vector<std::string> lines_of(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const std::string radialblur_show = "quitpat 2\npattern 0 1\n{\nradialblur 0 1 0 0 - 10 10 -\n}\n";

}  // namespace

TEST(Capture, FrameLimitWritesOnePngAndOneTimelineLinePerFrameAndEndsWithZero) {
  const fs::path show = write_show("limit", radialblur_show);
  const fs::path out = show / "out";
  EXPECT_EQ(capture(show, out, 4), 0);
  EXPECT_EQ(count_files(out, "frame_"), 4);
  EXPECT_TRUE(fs::exists(out / "frame_000003.png"));
  const auto lines = lines_of(out / "timeline.tsv");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "0\t0.000000\t0\t0\t0.0");
  EXPECT_EQ(lines[3], "3\t0.120000\t0\t0\t0.0");
}

TEST(Capture, StartUpFailureEndsWithThreeAndLeavesNoFiles) {
  const fs::path show = write_show("fail", "pattern 0 1\nnot a brace\n");
  EXPECT_EQ(capture(show, show / "out", 10), 3);
  EXPECT_EQ(names_in(show / "out"), std::vector<std::string>{});
}

// One PNG writer and several give the same files, byte for byte, and leave no temporary files.
TEST(Capture, SameShowGivesIdenticalBytesWithOneAndSeveralWriters) {
  const fs::path show = write_show("repeat", radialblur_show);
  ASSERT_EQ(capture(show, show / "a", 12, 25, false, 1), 0);
  ASSERT_EQ(capture(show, show / "b", 12, 25, false, 3), 0);
  const std::vector<std::string> names = names_in(show / "a");
  EXPECT_EQ(names.size(), 14u);
  EXPECT_EQ(names_in(show / "b"), names);
  for (const std::string& name : names)
    EXPECT_EQ(read_file_bytes(show / "a" / name), read_file_bytes(show / "b" / name)) << name;
}

// A folder holding frames is refused and left as it was; with --force only the files capture
// writes go, so an author's other files (even one named like a frame) stay.
TEST(Capture, FolderWithFramesIsRefusedUnlessForced) {
  const fs::path show = write_show("folder_rules", radialblur_show);
  const fs::path out = show / "out";
  ASSERT_EQ(capture(show, out, 5), 0);
  write_file_bytes(out / "notes.txt", {1});
  write_file_bytes(out / "frame_title.png", {2});
  const std::vector<std::string> before = names_in(out);

  EXPECT_EQ(capture(show, out, 2), 2);
  EXPECT_EQ(names_in(out), before);

  EXPECT_EQ(capture(show, out, 2, 25, true), 0);
  const std::vector<std::string> after = {"audio.wav", "frame_000000.png", "frame_000001.png", "frame_title.png",
                                          "notes.txt", "timeline.tsv"};
  EXPECT_EQ(names_in(out), after);
  EXPECT_EQ(read_file_bytes(out / "notes.txt"), std::vector<unsigned char>{1});
}

// Frame 2 cannot be written (its temporary name is taken by a folder): the capture stops with
// 2, frames 0 and 1 are whole files, and nothing else carries a final name.
TEST(Capture, FailedFrameLeavesNoFileUnderItsName) {
  const fs::path show = write_show("failed_frame", radialblur_show);
  const fs::path out = show / "out";
  fs::create_directories(out / ".frame_000002.png.part" / "x");
  EXPECT_EQ(capture(show, out, 6, 25, false, 1), 2);
  EXPECT_TRUE(fs::exists(out / "frame_000001.png"));
  EXPECT_FALSE(fs::exists(out / "frame_000002.png"));
  EXPECT_FALSE(fs::exists(out / "audio.wav"));
  EXPECT_FALSE(fs::exists(out / "timeline.tsv"));
  for (const std::string& name : names_in(out))
    EXPECT_TRUE(name == ".frame_000002.png.part" || name.rfind("frame_", 0) == 0) << name;
}

TEST(Capture, CaptureFileNames) {
  const std::pair<const char*, bool> names[] = {
      {"frame_000000.png", true},      {"frame_123456.png", true},        {"audio.wav", true},
      {"timeline.tsv", true},          {".frame_000007.png.part", true},  {".audio.wav.part", true},
      {"frame_1.png", false},          {"frame_title.png", false},        {"frame_0000000.png", false},
      {"notes.txt", false},            {".part", false},                  {"audio.wav.part", false}};
  for (const auto& [name, ours] : names) EXPECT_EQ(is_capture_file(name), ours) << name;
}

TEST(Capture, UnwritableOutputIsReported) {
  const fs::path show = write_show("unwritable", radialblur_show);
  write_file_bytes(show / "file", {1});
  EXPECT_EQ(capture(show, show / "file" / "sub", 2), 2);
  EXPECT_EQ(capture(show, show / "file" / "show.mp4", 2), 2);
  EXPECT_EQ(capture(show, show / "show.avi", 2), 2);
  EXPECT_FALSE(fs::exists(show / "show.avi"));
}
