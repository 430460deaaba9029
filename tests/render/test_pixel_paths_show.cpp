// The kernels' path chosen by QUINDLE_SIMD end to end: the sample show captured once on every
// path the processor runs gives the same frames, byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "pixel_paths.h"
#include "testdata.h"

namespace fs = std::filesystem;

namespace {

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

}  // namespace

// Two frames a second up to the quit order: every layer of the sample show is drawn.
TEST(PixelPaths, SampleShowFramesAreIdenticalOnEveryPath) {
  const fs::path dir = scratch_dir("pixel_paths_show_" + std::to_string(getpid()));
  ASSERT_EQ(run(std::string(QUINDLE_TOOL) + " make-show " + (dir / "show").string()), 0);
  const std::vector<int> paths = supported_pixel_paths();
  for (int path : paths) {
    const std::string out = (dir / pixel_path_name(path)).string();
    run("QUINDLE_SIMD=" + std::string(pixel_path_name(path)) + " " + QUINDLE_PLAYER + " -C " + (dir / "show").string() +
        " --capture " + out + " --fps 2");
  }
  const fs::path first = dir / pixel_path_name(paths.front());
  int frames = 0;
  for (const auto& entry : fs::directory_iterator(first)) {
    if (entry.path().extension() != ".png") continue;
    ++frames;
    const std::vector<unsigned char> expected = read_file_bytes(entry.path());
    for (int path : paths)
      EXPECT_EQ(read_file_bytes(dir / pixel_path_name(path) / entry.path().filename()), expected)
          << pixel_path_name(path) << " " << entry.path().filename();
  }
  EXPECT_GT(frames, 100);
}
