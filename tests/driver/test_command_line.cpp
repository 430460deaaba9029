// The quindle program as a user runs it: options, usage errors, exit codes, and the sample
// show (as make-show writes it) captured from start to end, each frame checked against the
// checksums stored in sample_show_frames.tsv.
//
// When a change is meant to alter the sample show's frames, regenerate the table with
//   QUINDLE_UPDATE_FRAME_CHECKSUMS=1 build/tests/driver/driver_tests --gtest_filter='SampleShowCapture.*'
// and commit the new table with the change; its diff shows which frames moved.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testdata.h"

namespace fs = std::filesystem;

namespace {

struct ProgramRun {
  int code = -1;  // the exit status; -1 when the program did not exit on its own
  std::string out;  // standard output and standard error together
};

ProgramRun run_program(const std::string& program, const std::string& args) {
  ProgramRun r;
  std::FILE* p = popen((program + " " + args + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) r.out.append(buffer, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

ProgramRun quindle(const std::string& args) { return run_program(QUINDLE_PLAYER, args); }

std::string show_with(const std::string& name, const std::string& script) {
  const fs::path dir = scratch_dir("command_line_" + name);
  write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
  return dir.string();
}

}  // namespace

TEST(QuindleCommandLine, UsageErrorsExitWithTwoAndSayWhatIsWrong) {
  const struct {
    const char* args;
    const char* says;
  } cases[] = {
      {"--sparkle", "unknown option --sparkle"},
      {"-C", "-C needs a directory"},
      {"--capture", "--capture needs a folder or a video file name"},
      {"--size 640x481", "--size needs WIDTHxHEIGHT, even numbers"},
      {"--fps 0", "--fps needs a number from 1 to 1000"},
      {"--fps 1001", "--fps needs a number from 1 to 1000"},
      {"--frames 0", "--frames needs a positive number"},
      {"--start 5.", "--start needs ORDER or ORDER.ROW"},
      {"--loop 7..3", "--loop needs two orders A..B"},
      {"-C /nonexistent/show --capture out", "cannot enter /nonexistent/show"},
  };
  for (const auto& c : cases) {
    const ProgramRun r = quindle(c.args);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
  }
}

TEST(QuindleCommandLine, HelpExitsWithZero) {
  const ProgramRun help = quindle("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: quindle [options]\n", 0), 0u) << help.out;
}

TEST(QuindleCommandLine, CaptureExitCodes) {
  // Without a tune the song stays at order 0: quit order 0 is the one a show without music reaches.
  const std::string ends = show_with("ends", "quitpat 0\r\npattern 0 0\r\n{\r\nradialblur 0 1 0 0 - 10 10 -\r\n}\r\n");
  const std::string runs = show_with("runs", "quitpat 1\r\npattern 0 0\r\n{\r\nradialblur 0 1 0 0 - 10 10 -\r\n}\r\n");
  const std::string fails = show_with("fails", "pattern 0 0\r\n{\r\nbitmap 0 1 0 0 missing.pcx no no -\r\n}\r\n");
  const struct {
    std::string args;
    int code;
  } cases[] = {
      {"-C " + ends + " --capture " + ends + "/out", 0},                   // the quit order
      {"-C " + fails + " --capture " + fails + "/out --frames 2", 3},      // a start-up failure
      {"-C " + runs + " --capture " + runs + "/script.txt/x --frames 2", 2},  // output not writable
  };
  for (const auto& c : cases) EXPECT_EQ(quindle(c.args).code, c.code) << c.args;
}

namespace {

std::uint64_t fnv1a(const std::vector<unsigned char>& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char b : bytes) {
    h ^= b;
    h *= 1099511628211ull;
  }
  return h;
}

const fs::path frame_table = fs::path(QUINDLE_SOURCE_DIR) / "tests" / "driver" / "sample_show_frames.tsv";

// The table's lines that are not comments: "frame_NNNNNN.png <TAB> checksum".
std::vector<std::string> stored_lines() {
  std::ifstream in(frame_table);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

}  // namespace

TEST(SampleShowCapture, EveryCapturedFrameMatchesItsStoredChecksum) {
  const fs::path dir = scratch_dir("sample_show");
  ASSERT_EQ(run_program(QUINDLE_TOOL, "make-show " + (dir / "show").string()).code, 0);
  const fs::path out = dir / "out";
  ASSERT_EQ(quindle("-C " + (dir / "show").string() + " --capture " + out.string() + " --fps 5").code, 0);

  std::vector<std::string> actual;
  for (int frame = 0;; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.png", frame);
    if (!fs::exists(out / name)) break;
    char line[64];
    std::snprintf(line, sizeof line, "%s\t%016llx", name, static_cast<unsigned long long>(fnv1a(read_file_bytes(out / name))));
    actual.push_back(line);
  }
  ASSERT_GT(actual.size(), 100u);

  if (std::getenv("QUINDLE_UPDATE_FRAME_CHECKSUMS")) {
    std::ofstream table(frame_table, std::ios::binary);
    table << "# The sample show (quindle-tool make-show) captured at 5 frames per second: each frame's\n"
             "# PNG file and the 64-bit FNV-1a checksum of its bytes. Regenerate only for an intended\n"
             "# change, as tests/driver/test_command_line.cpp says.\n";
    for (const std::string& line : actual) table << line << "\n";
    return;
  }
  const std::vector<std::string> expected = stored_lines();
  EXPECT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) EXPECT_EQ(actual[i], expected[i]);
}
