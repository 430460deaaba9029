// The in-memory scene file: little-endian reads within bounds, strings, the sticky error flag,
// writing with length patching, and moving whole files to and from disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "scene/scene.h"
#include "scene/scene_file.h"
#include "testdata.h"

TEST(SceneFileRead, LittleEndianFieldsAndAShortReadAtEveryCut) {
  SceneFile f;
  f.bytes = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xfe, 0xff, 0x00, 0x00, 0x80, 0x3f};
  std::uint16_t u16;
  std::uint32_t u32;
  std::int16_t i16;
  float f32;
  ASSERT_TRUE(scene_file_read_u16(f, u16) && scene_file_read_u32(f, u32) && scene_file_read_i16(f, i16) &&
              scene_file_read_f32(f, f32));
  EXPECT_EQ(u16, 0x1234);
  EXPECT_EQ(u32, 0x12345678u);
  EXPECT_EQ(i16, -2);
  EXPECT_EQ(f32, 1.0f);
  EXPECT_FALSE(f.error);
  EXPECT_EQ(scene_file_tell(f), 12u);
  for (std::size_t size = 0; size < 4; ++size) {  // the output is left alone
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

TEST(SceneFileWrite, PatchesALengthBySeekingBack) {
  SceneFile f;
  scene_file_write_u16(f, 0x300);
  const std::size_t length_at = scene_file_tell(f);
  scene_file_write_u32(f, 0);
  const std::size_t data_at = scene_file_tell(f);
  scene_file_write_string(f, "Camera01");
  scene_file_write_f32(f, -2.5f);
  scene_file_write_i32(f, -1);
  const std::size_t end = scene_file_tell(f);
  scene_file_seek(f, length_at);
  scene_file_write_u32(f, std::uint32_t(end - data_at));
  scene_file_seek(f, end);
  EXPECT_EQ(scene_file_size(f), 6u + 9 + 4 + 4);
  scene_file_seek(f, 0);
  std::uint16_t id;
  std::uint32_t length;
  std::string name;
  float x;
  std::int32_t minus_one;
  ASSERT_TRUE(scene_file_read_u16(f, id) && scene_file_read_u32(f, length) && scene_file_read_string(f, name) &&
              scene_file_read_f32(f, x) && scene_file_read_i32(f, minus_one));
  EXPECT_EQ(id, 0x300);
  EXPECT_EQ(length, 17u);
  EXPECT_EQ(name, "Camera01");
  EXPECT_EQ(x, -2.5f);
  EXPECT_EQ(minus_one, -1);
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
