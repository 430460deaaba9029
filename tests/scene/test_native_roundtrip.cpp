// Native format round trips: scenes converted from .3DS and read back evaluate bit for bit as
// the originals at every frame tested; and damaged native files give a code, never a read
// outside the file.
#include <gtest/gtest.h>

#include <algorithm>

#include "native_scene_fixture.h"
#include "native_test_helpers.h"
#include "tools/show_assets.h"

namespace {

constexpr LibraryFlags show_flags = LIB_HIERARCHY | LIB_NORMALS | LIB_MORPH | LIB_TRANSFORM;
constexpr LibraryFlags every_flag = 0x7F;

std::filesystem::path write_fixture(const std::string& test) {
  const auto path = scratch_dir("native_" + test) / "scene.3ds";
  const std::vector<std::uint8_t> bytes = fixture_scene_3ds();
  write_file_bytes(path, {bytes.begin(), bytes.end()});
  return path;
}

// Converts the .3DS file, then loads both with `flags` and compares them frame by frame.
void expect_round_trip(const std::filesystem::path& original, LibraryFlags flags, const std::vector<float>& frames) {
  const std::vector<std::uint8_t> bytes = convert_3ds(original);
  const auto converted = std::filesystem::path(original).replace_extension(".nvf");
  write_file_bytes(converted, {bytes.begin(), bytes.end()});
  std::unique_ptr<Scene> a = load_3ds_scene(original, flags);
  std::unique_ptr<Scene> b = load_native_scene(converted, flags);
  expect_same_evaluation(*a, *b, frames, original.filename().string());
  lib_init(0);
}

}  // namespace

TEST(NativeRoundTrip, SceneBuiltInCodeEvaluatesBitForBitWithTheShowFlags) {
  expect_round_trip(write_fixture("show_flags"), show_flags, comparison_frames());
}

TEST(NativeRoundTrip, SceneBuiltInCodeEvaluatesBitForBitWithEveryFlag) {
  expect_round_trip(write_fixture("every_flag"), every_flag, comparison_frames());
}

TEST(NativeRoundTrip, RewritingAReadSceneGivesTheSameBytes) {
  const std::vector<std::uint8_t> first = convert_3ds(write_fixture("rewrite"));
  lib_init(LIB_NORMALS);
  std::unique_ptr<Scene> scene;
  scene_new(scene);
  const auto path = scratch_dir("native_rewrite_nvf") / "scene.nvf";
  write_file_bytes(path, {first.begin(), first.end()});
  ASSERT_EQ(native_load_scene(path.c_str(), scene.get()), SCENE_OK);
  ASSERT_EQ(native_load_motion(path.c_str(), scene.get()), SCENE_OK);
  scene_set_active(scene.get());
  EXPECT_EQ(write_native_bytes(), first);
  lib_init(0);
}

// A version 1 file keeps only the angle totals: its rotations come back close, not exact.
TEST(NativeRoundTrip, Version1LosesOnlyWhatItCannotHold) {
  const auto original = write_fixture("version1");
  const std::vector<std::uint8_t> v1 = convert_3ds(original, native_version_1);
  const std::vector<std::uint8_t> v2 = convert_3ds(original);
  EXPECT_LT(v1.size(), v2.size());
  const auto path = std::filesystem::path(original).replace_extension(".nvf");
  write_file_bytes(path, {v1.begin(), v1.end()});
  std::unique_ptr<Scene> a = load_3ds_scene(original, show_flags);
  std::unique_ptr<Scene> b = load_native_scene(path, show_flags);
  EXPECT_EQ(scene_state(*a).bits.size(), scene_state(*b).bits.size());
  EXPECT_NE(scene_state(*a).bits, scene_state(*b).bits);
  lib_init(0);
}

TEST(NativeRoundTrip, InteropScenesEvaluateBitForBit) {
  SKIP_WITHOUT_TESTDATA(dir, "3ds");
  for (const char* name : {"cube_flat.3ds", "hierarchy.3ds"}) {
    const auto copy = scratch_dir(std::string("native_interop_") + name) / name;
    std::filesystem::copy_file(dir / name, copy);
    expect_round_trip(copy, show_flags, comparison_frames());
  }
}

TEST(NativeRoundTrip, BigInteropSceneEvaluatesBitForBit) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/big.3ds");
  const auto copy = scratch_dir("native_interop_big") / "big.3ds";
  std::filesystem::copy_file(path, copy);
  expect_round_trip(copy, show_flags, {0, 17.5f, 50, 99});
}

TEST(NativeRoundTrip, SampleShowScenesEvaluateBitForBit) {
  const auto dir = scratch_dir("native_show");
  ASSERT_TRUE(write_show_scene(dir));
  int scenes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext != ".3ds") continue;
    expect_round_trip(entry.path(), show_flags, comparison_frames());
    ++scenes;
  }
  if (scenes == 0) GTEST_SKIP() << "the sample show writes no .3DS scene yet";
}

// ---- damaged files ----

namespace {

std::vector<std::uint8_t> fixture_native(std::int32_t version) { return convert_3ds(write_fixture("damaged"), version); }

// Offsets where a chunk ends: a file cut there is whole, only shorter.
std::vector<std::size_t> chunk_ends(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::size_t> ends = {12};
  for (std::size_t at = 12; at + 6 <= bytes.size();) {
    const std::size_t length = bytes[at + 2] | bytes[at + 3] << 8 | bytes[at + 4] << 16 | std::size_t(bytes[at + 5]) << 24;
    at += 6 + length;
    ends.push_back(at);
  }
  return ends;
}

// The scene stage alone, then the motion stage over objects read from the whole file.
StageCodes read_damaged(const std::vector<std::uint8_t>& damaged, const std::vector<std::uint8_t>& whole) {
  lib_init(show_flags);
  StageCodes codes;
  {
    Scene scene;
    scene_set_active(&scene);
    SceneFile file;
    file.bytes = damaged;
    codes.scene = read_native_scene(file);
  }
  Scene scene;
  scene_set_active(&scene);
  SceneFile file;
  file.bytes = whole;
  EXPECT_EQ(read_native_scene(file), SCENE_OK);
  file.bytes = damaged;
  codes.motion = read_native_motion(file);
  // Whatever was read must also survive being evaluated.
  if (codes.motion == SCENE_OK)
    for (float frame : {0.0f, 33.0f, 71.5f}) evaluate_at(scene, frame);
  return codes;
}

}  // namespace

TEST(NativeDamaged, CutAtEveryLengthGives3UnlessCutBetweenChunks) {
  for (std::int32_t version : {native_version_1, native_version}) {
    const std::vector<std::uint8_t> whole = fixture_native(version);
    const std::vector<std::size_t> ends = chunk_ends(whole);
    ASSERT_EQ(ends.back(), whole.size());
    for (std::size_t n = 0; n < whole.size(); ++n) {
      const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(n));
      const bool whole_chunks = std::find(ends.begin(), ends.end(), n) != ends.end();
      const int expected = whole_chunks ? SCENE_OK : SCENE_READ_ERROR;
      const StageCodes codes = read_damaged(cut, whole);
      ASSERT_EQ(codes.scene, expected) << "version " << version << ", cut at " << n;
      ASSERT_EQ(codes.motion, expected) << "version " << version << ", cut at " << n;
    }
  }
  lib_init(0);
}

TEST(NativeDamaged, EveryByteChangedGivesACodeOrAScene) {
  const std::vector<std::uint8_t> whole = fixture_native(native_version);
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
  lib_init(0);
}
