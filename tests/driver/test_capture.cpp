// Capture mode: the files of each frame and the timeline lines. Exit codes and repeatable bytes
// are checked through the command line (test_command_line.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "driver/capture.h"
#include "testdata.h"

namespace fs = std::filesystem;

namespace {

int capture(const fs::path& show, const fs::path& out, std::int64_t frames, int fps = 25) {
  CaptureOptions options;
  options.out_dir = out.string();
  options.fps = fps;
  options.max_frames = frames;
  options.script_path = (show / "script.txt").string();
  return run_capture(options);
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

TEST(Capture, QuitOrderZeroDrawsNoFrameAndEndsWithOne) {
  const fs::path show = write_show("quit0", "quitpat 0\n");
  const fs::path out = show / "out";
  EXPECT_EQ(capture(show, out, 10), 1);
  EXPECT_EQ(count_files(out, "frame_"), 0);
  EXPECT_TRUE(lines_of(out / "timeline.tsv").empty());
}
