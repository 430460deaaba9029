// Native format round trips: scenes converted from .3DS and read back evaluate bit for bit as
// the originals at every frame tested; damaged native files give a code, never a read outside
// the file.
#include <gtest/gtest.h>

#include <algorithm>

#include "native_scene_fixture.h"
#include "native_test_helpers.h"
#include "tools/show_assets.h"

namespace {

constexpr LibraryFlags show_flags = LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM;

std::filesystem::path write_fixture(const std::string& test) {
  const auto path = scratch_dir("native_" + test) / "scene.3ds";
  const std::vector<std::uint8_t> bytes = fixture_scene_3ds();
  write_file_bytes(path, {bytes.begin(), bytes.end()});
  return path;
}

// Converts the file, then loads both with `flags` and compares them frame by frame.
void expect_round_trip(const std::filesystem::path& original, LibraryFlags flags, const std::vector<float>& frames) {
  const std::vector<std::uint8_t> bytes = convert_file(original);
  const auto converted = std::filesystem::path(original).replace_extension(".nvf");
  write_file_bytes(converted, {bytes.begin(), bytes.end()});
  std::unique_ptr<Scene> a = load_scene_file(original, flags);
  std::unique_ptr<Scene> b = load_scene_file(converted, flags);
  expect_same_evaluation(*a, *b, frames, original.filename().string());
  lib_init(0);
}

}  // namespace

TEST(NativeRoundTrip, SceneBuiltInCodeEvaluatesBitForBit) {
  expect_round_trip(write_fixture("show_flags"), show_flags, comparison_frames);
  // Plain slerp, morphed normals and recomputed normals as well.
  expect_round_trip(write_fixture("every_flag"), 0x7F, comparison_frames);
}

// A version 1 file keeps only the whole-radian angle totals of its rotations: close, not exact.
TEST(NativeRoundTrip, Version1LosesWhatItCannotHold) {
  const auto original = write_fixture("version1");
  const std::vector<std::uint8_t> v1 = convert_file(original, native_version_1);
  const auto path = std::filesystem::path(original).replace_extension(".nvf");
  write_file_bytes(path, {v1.begin(), v1.end()});
  std::unique_ptr<Scene> a = load_scene_file(original, show_flags);
  std::unique_ptr<Scene> b = load_scene_file(path, show_flags);
  EXPECT_NE(object_bits(*a->first_object->next), object_bits(*b->first_object->next));  // "Body"
  lib_init(0);
}

TEST(NativeRoundTrip, InteropScenesEvaluateBitForBit) {
  SKIP_WITHOUT_TESTDATA(dir, "3ds");
  for (const char* name : {"cube_flat.3ds", "hierarchy.3ds", "big.3ds"}) {
    const auto copy = scratch_dir(std::string("native_interop_") + name) / name;
    std::filesystem::copy_file(dir / name, copy);
    const bool big = std::string(name) == "big.3ds";
    expect_round_trip(copy, show_flags, big ? std::vector<float>{17.5f, 99} : comparison_frames);
  }
}

TEST(NativeRoundTrip, SampleShowScenesEvaluateBitForBit) {
  const auto dir = scratch_dir("native_show");
  ASSERT_TRUE(write_show_scene(dir));
  int scenes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext != ".3ds") continue;
    expect_round_trip(entry.path(), show_flags, comparison_frames);
    ++scenes;
  }
  if (scenes == 0) GTEST_SKIP() << "the sample show writes no .3DS scene";
}

// ---- damaged files ----

namespace {

// The scene stage alone, then the motion stage over objects read from the whole file, then
// whatever was read evaluated at a few frames.
StageCodes read_damaged(const std::vector<std::uint8_t>& damaged, const std::vector<std::uint8_t>& whole) {
  lib_init(show_flags);
  StageCodes codes;
  {
    Scene scene;
    codes.scene = read_native_bytes(scene, damaged).scene;
  }
  Scene scene;
  SceneFile file;
  file.bytes = whole;
  scene_set_active(&scene);
  EXPECT_EQ(read_native_scene(file), SCENE_OK);
  file.bytes = damaged;
  codes.motion = read_native_motion(file);
  if (codes.motion == SCENE_OK)
    for (float frame : {0.0f, 33.0f, 71.5f}) evaluate_at(scene, frame);
  lib_init(0);
  return codes;
}

}  // namespace

// A file cut between two chunks is whole, only shorter; cut anywhere else it gives 3.
TEST(NativeDamaged, CutAtEveryLengthGives3UnlessCutBetweenChunks) {
  for (std::int32_t version : {native_version_1, native_version}) {
    const std::vector<std::uint8_t> whole = convert_file(write_fixture("cut"), version);
    std::vector<std::size_t> ends = {12};
    while (ends.back() + 6 <= whole.size()) {
      std::uint32_t length;
      std::memcpy(&length, whole.data() + ends.back() + 2, 4);
      ends.push_back(ends.back() + 6 + length);
    }
    ASSERT_EQ(ends.back(), whole.size());
    for (std::size_t n = 0; n < whole.size(); ++n) {
      const bool between = std::find(ends.begin(), ends.end(), n) != ends.end();
      const StageCodes codes = read_damaged({whole.begin(), whole.begin() + std::ptrdiff_t(n)}, whole);
      const int expected = between ? SCENE_OK : SCENE_READ_ERROR;
      ASSERT_TRUE(codes.scene == expected && codes.motion == expected) << "version " << version << ", cut at " << n;
    }
  }
}

TEST(NativeDamaged, EveryByteChangedGivesACodeOrAScene) {
  const std::vector<std::uint8_t> whole = convert_file(write_fixture("changed"));
  int refused = 0;
  for (std::size_t at = 0; at < whole.size(); ++at) {
    for (std::uint8_t flip : {0x01, 0x10, 0x80, 0xFF}) {
      std::vector<std::uint8_t> changed = whole;
      changed[at] ^= flip;
      const StageCodes codes = read_damaged(changed, whole);
      for (int code : {codes.scene, codes.motion}) {
        ASSERT_TRUE(code == SCENE_OK || code == SCENE_READ_ERROR || code == SCENE_NOT_SUPPORTED ||
                    code == SCENE_NOT_FOUND)
            << "byte " << at << " ^ " << int(flip) << " gave " << code;
        refused += code != SCENE_OK;
      }
    }
  }
  EXPECT_GT(refused, 0);
}
