// The in-memory scene file: reads within bounds, strings, the sticky error flag, and moving
// whole files to and from disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "scene/scene.h"
#include "scene/scene_file.h"
#include "testdata.h"

TEST(SceneFileRead, ShortReadFailsAtEveryCutWithoutTouchingTheOutput) {
  for (std::size_t size = 0; size < 4; ++size) {
    SceneFile cut;
    cut.bytes.assign(size, 0xaa);
    std::uint32_t v = 7;
    EXPECT_FALSE(scene_file_read_u32(cut, v)) << size;
    EXPECT_EQ(v, 7u);
    EXPECT_TRUE(cut.error);
    EXPECT_EQ(scene_file_tell(cut), size);
  }
}

TEST(SceneFileReadString, ReadsThroughTheZeroAndFailsWithoutOne) {
  SceneFile f;
  f.bytes = {'B', 'o', 'x', 0, 0, 'a', 'b'};
  std::string s;
  ASSERT_TRUE(scene_file_read_string(f, s));
  EXPECT_EQ(s, "Box");
  ASSERT_TRUE(scene_file_read_string(f, s));
  EXPECT_EQ(s, "");
  EXPECT_FALSE(scene_file_read_string(f, s));
  EXPECT_TRUE(f.error);
  EXPECT_EQ(scene_file_tell(f), 7u);
  SceneFile empty;
  EXPECT_FALSE(scene_file_read_string(empty, s));
}

TEST(SceneFileLoad, RoundTripThroughDiskAndTheCodesOfWhatCannotBeRead) {
  SceneFile out, in;
  for (int i = 0; i < 70000; ++i) scene_file_write_u16(out, std::uint16_t(i));
  const std::filesystem::path dir = scratch_dir("SceneFileLoad");
  ASSERT_EQ(scene_file_store(out, (dir / "file.bin").c_str()), SCENE_OK);
  ASSERT_EQ(scene_file_load((dir / "file.bin").c_str(), in), SCENE_OK);
  EXPECT_EQ(in.bytes, out.bytes);
  EXPECT_EQ(scene_file_tell(in), 0u);
  EXPECT_EQ(scene_file_store(out, "/nonexistent/dir/file.bin"), SCENE_CANNOT_OPEN);
  EXPECT_EQ(scene_file_load("/nonexistent/file.3ds", in), SCENE_CANNOT_OPEN);
  EXPECT_EQ(scene_file_load(dir.c_str(), in), SCENE_READ_ERROR);  // a directory
}
