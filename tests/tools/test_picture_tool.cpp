// pcx-decode, seq-pack and seq-info end to end: exit codes, the decoded bytes, the problems
// seq-info names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testdata.h"
#include "tool_runner.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Each test has a folder of its own: ctest runs them side by side, and a folder is made fresh.
std::string scratch(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  write_file_bytes(dir / name, bytes);
  return (dir / name).string();
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// A whole picture decodes to 4 bytes a pixel and exits 0; the same picture cut short still
// writes what was decoded but exits 1; a file that is no picture writes nothing and exits 1.
TEST(PcxDecode, WholeCutAndNoPicture) {
  const std::filesystem::path dir = scratch_dir("pcx_decode_tool");
  const Bytes photo = read_file_bytes(testdata_path("pcx") / "photo320x200_pil.pcx");
  const struct {
    const char* name;
    Bytes bytes;
    int code;
    std::size_t written;
  } cases[] = {
      {"whole", photo, 0, 64000 * 4},
      {"cut", Bytes(photo.begin(), photo.begin() + 74000), 1, 64000 * 4},
      {"none", Bytes(200, 7), 1, 0},
  };
  for (const auto& c : cases) {
    const std::string out = (dir / (std::string(c.name) + ".raw")).string();
    const ToolRun r = run_tool("pcx-decode " + scratch(dir, std::string(c.name) + ".pcx", c.bytes) + " " + out);
    EXPECT_EQ(r.code, c.code) << c.name;
    const std::size_t written = std::filesystem::exists(out) ? std::filesystem::file_size(out) : 0;
    EXPECT_EQ(written, c.written) << c.name;
  }
}

// Two frames packed and listed; then the trailer changed to undercount and to overcount the
// records, and an empty file: each named as a problem, with exit 1.
TEST(SeqInfo, PackedSequenceIsCleanAndTrailerDisagreementsAndEmptyFilesAreProblems) {
  const std::filesystem::path dir = scratch_dir("seq_info_tool");
  const std::string frame = (testdata_path("pcx") / "photo320x200_pil.pcx").string();
  const std::string packed = (dir / "two.seq").string();
  ASSERT_EQ(run_tool("seq-pack " + packed + " " + frame + " " + frame).code, 0);
  const ToolRun clean = run_tool("seq-info " + packed);
  EXPECT_EQ(clean.code, 0);
  EXPECT_TRUE(contains(clean.out, "0 problem(s)")) << clean.out;

  Bytes bytes = read_file_bytes(packed);
  const struct {
    const char* name;
    unsigned char trailer;
    const char* problem;
  } trailers[] = {
      {"under.seq", 1, "the trailer says 1 frames but the file holds 2 whole records"},
      {"over.seq", 9, "the trailer promises 9 frames but the file holds 2 whole records"},
  };
  for (const auto& t : trailers) {
    bytes[bytes.size() - 4] = t.trailer;
    const ToolRun r = run_tool("seq-info " + scratch(dir, t.name, bytes));
    EXPECT_EQ(r.code, 1) << t.name;
    EXPECT_TRUE(contains(r.out, t.problem)) << r.out;
  }
  const ToolRun empty = run_tool("seq-info " + scratch(dir, "empty.seq", {}));
  EXPECT_EQ(empty.code, 1);
  EXPECT_TRUE(contains(empty.out, "the file is empty")) << empty.out;
}
