// scene-convert end to end: a converted scene reads back, through scene-info and scene-eval,
// exactly as the original; native files convert to themselves; failures exit with 1 or 2.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "scene/native_scene_fixture.h"
#include "testdata.h"

namespace {

struct ToolRun {
  int code = -1;
  std::string out;
};

ToolRun run_tool(const std::string& args) {
  ToolRun r;
  std::FILE* p = popen((std::string(QUINDLE_TOOL) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// The JSON output without the reader's printed lines, which only the .3DS reader writes.
std::string without_printed(std::string json) {
  const std::size_t start = json.find("\"printed\":[");
  if (start != std::string::npos) json.erase(start, json.find("],", start) + 2 - start);
  return json;
}

// scene-info and scene-eval (at frames forward, backward and outside the range, through the
// camera) give the same text for both files.
void expect_same_output(const std::filesystem::path& original, const std::filesystem::path& converted) {
  for (const std::string& command :
       {std::string("scene-info --json "), std::string("scene-eval --json --camera Camera01 --frames "
                                                       "0,0.5,10,12.75,31,30,61,75,99.5,100,-1,3 ")}) {
    const ToolRun a = run_tool(command + original.string());
    const ToolRun b = run_tool(command + converted.string());
    EXPECT_EQ(a.code, 0) << command << original;
    EXPECT_EQ(b.code, 0) << command << converted;
    EXPECT_EQ(without_printed(a.out), without_printed(b.out)) << command << original;
  }
}

std::filesystem::path write_fixture(const std::filesystem::path& dir) {
  const std::vector<std::uint8_t> bytes = fixture_scene_3ds();
  write_file_bytes(dir / "scene.3ds", {bytes.begin(), bytes.end()});
  return dir / "scene.3ds";
}

}  // namespace

// The built scene, and the interop scenes when they are there; a native file converts to
// the same bytes.
TEST(SceneConvert, ConvertedScenesReadBackAsTheOriginals) {
  const auto dir = scratch_dir("scene_convert");
  std::vector<std::filesystem::path> scenes = {write_fixture(dir)};
  if (const auto interop = testdata_path("3ds"); !interop.empty())
    scenes.insert(scenes.end(), {interop / "cube_flat.3ds", interop / "hierarchy.3ds"});
  for (const auto& original : scenes) {
    const auto converted = dir / original.filename().replace_extension(".nvf");
    ASSERT_EQ(run_tool("scene-convert " + original.string() + " " + converted.string()).code, 0) << original;
    const std::vector<unsigned char> bytes = read_file_bytes(converted);
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), std::string("QZ\0\0\2\0\0\0", 8));
    expect_same_output(original, converted);
    ASSERT_EQ(run_tool("scene-convert " + converted.string() + " " + (dir / "again.nvf").string()).code, 0);
    EXPECT_EQ(read_file_bytes(dir / "again.nvf"), bytes) << original;
  }
}

TEST(SceneConvert, FailuresExitWithOneAndUsageWithTwo) {
  const auto dir = scratch_dir("scene_convert_failures");
  const auto original = write_fixture(dir);
  EXPECT_EQ(run_tool("scene-convert " + original.string()).code, 2);
  EXPECT_EQ(run_tool("scene-convert").code, 2);
  EXPECT_EQ(run_tool("scene-convert " + (dir / "missing.3ds").string() + " " + (dir / "x.nvf").string()).code, 1);
  EXPECT_EQ(run_tool("scene-convert " + original.string() + " " + (dir / "no" / "x.nvf").string()).code, 1);
  // A cut scene loads with a read error and is not converted.
  std::vector<unsigned char> bytes = read_file_bytes(original);
  bytes.resize(bytes.size() / 2);
  write_file_bytes(dir / "cut.3ds", bytes);
  EXPECT_EQ(run_tool("scene-convert " + (dir / "cut.3ds").string() + " " + (dir / "cut.nvf").string()).code, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "cut.nvf"));
}
