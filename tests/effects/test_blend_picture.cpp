#include "effects/blend.h"
#include "effects/picture.h"
#include "tools/pcx_writer.h"
#include "base/byte_order.h"
#include "base/limits.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixel_paths.h"
#include "testdata.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;

constexpr std::uint32_t untouched = 0xDEADBEEF;

// Palette entry v is (v, v ^ 0x55, 255 - v): every index gives a different pixel, colour(v).
std::uint32_t colour(std::uint32_t v) { return v << 16 | (v ^ 0x55) << 8 | (255 - v); }

Bytes test_palette() {
  Bytes palette;
  for (int v = 0; v < 256; ++v) palette.insert(palette.end(), {std::uint8_t(v), std::uint8_t(v ^ 0x55), std::uint8_t(255 - v)});
  return palette;
}

Pixels expected_pixels(const Bytes& indices) {
  Pixels pixels(indices.size());
  std::transform(indices.begin(), indices.end(), pixels.begin(), colour);
  return pixels;
}

// A picture written byte by byte: header fields as given, the stream, the marker and palette.
Bytes hand_picture(unsigned x_min, unsigned x_max, unsigned y_max, unsigned bytes_per_line, std::uint8_t planes,
                   const Bytes& stream, const Bytes& palette = test_palette()) {
  Bytes out(128, 0);
  const std::uint8_t signature[] = {10, 5, 1, 8};
  std::copy(std::begin(signature), std::end(signature), out.begin());
  out[65] = planes;
  store_le16(&out[4], std::uint16_t(x_min));
  store_le16(&out[8], std::uint16_t(x_max));
  store_le16(&out[10], std::uint16_t(y_max));
  store_le16(&out[66], std::uint16_t(bytes_per_line));
  out.insert(out.end(), stream.begin(), stream.end());
  out.push_back(12);
  out.insert(out.end(), palette.begin(), palette.end());
  return out;
}

// A picture of stretches of 1 to 70 indices, each one run of an index or (one in three) random
// indices, so that the encoder writes long and short runs and single indices of 192 and above.
Bytes pattern_picture(int width, int height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes indices;
  while (indices.size() < std::size_t(width * height)) {
    const bool random = rng() % 3 == 0;
    const std::uint8_t value = std::uint8_t(rng());
    for (std::size_t n = 1 + rng() % 70; n > 0 && indices.size() < std::size_t(width * height); --n) indices.push_back(random ? std::uint8_t(rng()) : value);
  }
  return pcx_encode(width, height, indices, test_palette());
}

// Files of the running test, in a folder of its own made fresh at the test's first call (ctest
// runs the tests side by side).
std::string write_scratch(const std::string& name, const Bytes& bytes) {
  static std::string test;
  static std::filesystem::path dir;
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string current = std::string(info->test_suite_name()) + "_" + info->name();
  if (current != test) {
    test = current;
    dir = scratch_dir("pictures_" + test);
  }
  write_file_bytes(dir / name, bytes);
  return (dir / name).string();
}

// The interop folder's expected pixels: blue, green, red, 0 bytes per pixel.
Pixels pixels_from_bgr0(const Bytes& b) {
  Pixels pixels(b.size() / 4);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = b[4 * i] | b[4 * i + 1] << 8 | b[4 * i + 2] << 16 | std::uint32_t(b[4 * i + 3]) << 24;
  return pixels;
}

}  // namespace

// Fades: level 255 turns white over into 254s, level 128 halves blue 255 over black, and of a
// level only the low byte counts. A zero source pixel keeps
// the destination, any other (blue 1, the top byte alone) overwrites it. Adds saturate per channel.
TEST(Blend, WorkedExamples) {
  auto fade = [](const Pixels& under, const Pixels& over, int level) { Pixels out(1); fade_blend(under, over, out, level); return out[0]; };
  EXPECT_EQ(fade({0x00123456}, {0x00FFFFFF}, 255), 0x00FEFEFEu);
  EXPECT_EQ(fade({0}, {0x000000FF}, 128), 0x0000007Fu);
  EXPECT_EQ(fade({0}, {0x00FFFFFF}, 0x1FF), 0x00FEFEFEu);
  Pixels sum(5);
  Pixels dest(7, 0x00123456);  // dest 7: a packed step and a tail
  copy_nonzero(Pixels{0, 1, 0, 0x00FFFFFF, 0, 0x01000000, 0}, dest);
  EXPECT_EQ(dest, (Pixels{0x00123456, 1, 0x00123456, 0x00FFFFFF, 0x00123456, 0x01000000, 0x00123456}));
  add_saturate(Pixels(5, 0x00C08040), Pixels(5, 0x00808080), sum);  // red 192 + 128, green 128 + 128, blue 64 + 128
  EXPECT_EQ(sum, Pixels(5, 0x00FFFFC0));
}

// Every path the processor runs against the per-byte rules on random pixels, at every fade level
// (and levels outside 0 .. 255, of which the low byte counts), with counts around both vector
// steps (the tails done per pixel) and destinations that are an input.
TEST(Blend, EveryPathMatchesPerByteRuleForEveryLevelCountAndAliasing) {
  std::mt19937 rng(1);
  // All four bytes random, and about one in eight pixels 0.
  auto random_pixels = [&](std::size_t count) {
    Pixels p(count);
    for (auto& x : p) x = rng() % 8 ? std::uint32_t(rng()) : 0u;
    return p;
  };
  for (int path : supported_pixel_paths()) {
    const char* name = pixel_path_name(path);
    for (std::size_t count : {0, 1, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 23, 64003}) {
      const Pixels a = random_pixels(count);
      const Pixels b = random_pixels(count);
      Pixels packed(count);
      Pixels reference(count);
      for (int level = -1; level <= 256 + 33; level += level < 256 ? 1 : 33) {
        Pixels into_a = a;
        Pixels into_b = b;
        fade_blend_on(path, a, b, packed, level);
        fade_blend_reference(a, b, reference, level);
        fade_blend_on(path, into_a, b, into_a, level);
        fade_blend_on(path, a, into_b, into_b, level);
        ASSERT_EQ(packed, reference) << name << ", " << count << " pixels, level " << level;
        ASSERT_EQ(into_a, reference) << name << ", " << count << " pixels, level " << level << ", into under";
        ASSERT_EQ(into_b, reference) << name << ", " << count << " pixels, level " << level << ", into over";
      }
      Pixels into_b = b;
      add_saturate_on(path, a, b, packed);
      add_saturate_reference(a, b, reference);
      add_saturate_on(path, a, into_b, into_b);
      ASSERT_EQ(packed, reference) << name << ", add, count " << count;
      ASSERT_EQ(into_b, reference) << name << ", add into b, count " << count;
      packed = b;
      reference = b;
      copy_nonzero_on(path, a, packed);
      copy_nonzero_reference(a, reference);
      ASSERT_EQ(packed, reference) << name << ", copy, count " << count;
    }
  }
}

// Row 0: six literals, then a run of 63 starting 10 before the end; row 1: 0xC0 9, then 16 x 8.
// Then x min 10, x max 329, 320 indices a line: 330 wide (x min is ignored), the last 10 columns
// black. Then 3 wide with 4 indices a line (the 9s are not
// shown), as 4 bytes in 1 plane or 2 in 2; bytes per line 0 reads nothing: all black.
TEST(DecodePicture, RunCutAtLineEndCountZeroWritesNothingSizeFromMaximaLineFromBytesPerLineAndPlanes) {
  Pixels out(32, untouched);
  ASSERT_EQ(decode_picture(hand_picture(0, 15, 1, 16, 1, {1, 2, 3, 4, 5, 6, 0xFF, 7, 0xC0, 9, 0xD0, 8}), out), PICTURE_OK);
  Bytes indices = {1, 2, 3, 4, 5, 6};
  indices.resize(16, 7);
  indices.resize(32, 8);
  EXPECT_EQ(out, expected_pixels(indices));
  Bytes stream;
  for (int row = 0; row < 2; ++row) stream.insert(stream.end(), {0xFF, 5, 0xFF, 5, 0xFF, 5, 0xFF, 5, 0xFF, 5, 0xC5, 5});
  out.assign(660, untouched);
  ASSERT_EQ(decode_picture(hand_picture(10, 329, 1, 320, 1, stream), out), PICTURE_OK);
  for (std::size_t i = 0; i < 660; ++i) ASSERT_EQ(out[i], i % 330 < 320 ? colour(5) : 0u) << i;
  const Bytes shown = {1, 2, 3, 4, 5, 6};
  for (auto [bytes_per_line, planes, expected] : {std::tuple{4u, 1, shown}, {2u, 2, shown}, {0u, 1, Bytes{}}}) {
    out.assign(6, untouched);
    ASSERT_EQ(decode_picture(hand_picture(0, 2, 1, bytes_per_line, std::uint8_t(planes), {1, 2, 3, 9, 4, 5, 6, 9}), out), PICTURE_OK);
    EXPECT_EQ(out, expected.empty() ? Pixels(6, 0) : expected_pixels(expected)) << bytes_per_line << " x " << planes;
  }
}

// Sizes whose product overflows 32 bits are too large all the same. With one plane the stream
// ends at the palette's marker: three literals and the rest of the picture black, reported cut.
// Without the marker (an 8-bit picture cut anywhere before its end) the picture is cut too, even
// when its stream is whole; what the bytes hold is decoded, the last 768 bytes as the palette.
TEST(DecodePicture, TooLargeIsUntouchedAndStreamEndingEarlyOrNoPaletteMarkerIsCut) {
  Pixels out(64000, untouched);
  EXPECT_EQ(decode_picture(hand_picture(0, 0xFFFF, 0xFFFF, 0xFFFF, 255, {}), out), PICTURE_TOO_LARGE);
  EXPECT_EQ(out, Pixels(64000, untouched));
  Bytes grey;
  for (int v = 0; v < 256; ++v) grey.insert(grey.end(), 3, std::uint8_t(v / 2));
  ASSERT_EQ(decode_picture(hand_picture(0, 319, 199, 320, 1, {7, 7, 7}, grey), out), PICTURE_TRUNCATED);
  EXPECT_EQ(out[2], 0x00030303u);
  EXPECT_EQ(std::count(out.begin() + 3, out.end(), 0u), 64000 - 3);

  Bytes unmarked = hand_picture(0, 3, 0, 4, 1, {1, 2, 3, 4});
  unmarked[unmarked.size() - 769] = 11;
  out.assign(4, untouched);
  EXPECT_EQ(decode_picture(unmarked, out), PICTURE_TRUNCATED);
  EXPECT_EQ(out, expected_pixels({1, 2, 3, 4}));
}

// Cut copies are exactly as long as the cut, so the sanitizer build sees any read past them;
// every cut from the header on is reported cut. 63 wide: the encoder pads its lines to 64
// indices. (Changed bytes are the picture fuzz harness's work.)
TEST(DecodePicture, CutAtEveryLengthStaysInBoundsAndIsReportedCut) {
  const Bytes pic = pattern_picture(63, 40, 7);
  for (std::size_t n = 0; n <= pic.size(); ++n) {
    Pixels out(63 * 40, untouched);
    const int rc = decode_picture(Bytes(pic.begin(), pic.begin() + std::ptrdiff_t(n)), out);
    if (n < 128) {
      ASSERT_EQ(out, Pixels(63 * 40, untouched)) << n;
    }
    int code = PICTURE_OK;
    if (n < 4)
      code = PICTURE_NOT_PICTURE;
    else if (n < 128)
      code = PICTURE_SHORT_HEADER;
    else if (n < pic.size())
      code = PICTURE_TRUNCATED;
    ASSERT_EQ(rc, code) << n;
  }
}

// Each side up to max_picture_side loads (the tiny stream makes it a cut picture, black past its
// four pixels); one more on either side is refused before anything is allocated.
TEST(LoadPicture, SideLimitHoldsOnBothSides) {
  const struct {
    unsigned width, height;
    int code;
  } cases[] = {
      {max_picture_side, 1, PICTURE_TRUNCATED},
      {1, max_picture_side, PICTURE_TRUNCATED},
      {max_picture_side + 1, 1, PICTURE_TOO_LARGE},
      {1, max_picture_side + 1, PICTURE_TOO_LARGE},
  };
  for (const auto& c : cases) {
    const std::string path = write_scratch("side.pcx", hand_picture(0, c.width - 1, c.height - 1, c.width, 1, {1, 2, 3, 4}));
    int rc = -1;
    const Picture picture = load_picture(path, &rc);
    EXPECT_EQ(rc, c.code) << c.width << " x " << c.height;
    const std::size_t pixels = c.code == PICTURE_TOO_LARGE ? 0 : std::size_t(c.width) * c.height;
    EXPECT_EQ(picture.pixels.size(), pixels) << c.width << " x " << c.height;
  }
}

// Records: an 8 x 2 picture, a 321 x 200 one (larger than the frame), one of length 0, one
// claiming 1 MiB with 3 bytes left; then a trailer promising 9 frames.
TEST(Sequence, MissingTooLargeEmptyAndOverlongRecordsDrawNothing) {
  Bytes file = pcx_pack_sequence(std::vector<Bytes>{pcx_encode(8, 2, Bytes(16, 4), test_palette()),
                                                    pcx_encode(321, 200, Bytes(321 * 200, 4), test_palette()), Bytes{}});
  file.resize(file.size() - 4);
  file.insert(file.end(), {0x00, 0x00, 0x10, 0x00, 1, 2, 3, 9, 0, 0, 0});
  auto seq = open_sequence(write_scratch("bad.seq", file));
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->frame_count, 9u);
  EXPECT_EQ(seq->records.size(), 3u);
  EXPECT_TRUE(seq->walk_stopped_early);
  Pixels work(64000, untouched);
  for (auto [k, code] : {std::pair{1u, PICTURE_TOO_LARGE}, {2u, PICTURE_NOT_PICTURE}, {3u, PICTURE_NO_FRAME}, {8u, PICTURE_NO_FRAME}})
    EXPECT_EQ(decode_sequence_frame(*seq, k, work), code) << "frame " << k;
  EXPECT_EQ(work, Pixels(64000, untouched));
  EXPECT_EQ(decode_sequence_frame(*seq, 0, work), PICTURE_OK);
  EXPECT_EQ(work[15], colour(4));
  EXPECT_FALSE(open_sequence(write_scratch("x.seq", {}) + ".missing"));
}

// Records of length 0 up to max_sequence_frames are indexed, one more stops the walk early; a
// record of max_sequence_record_bytes is indexed, one byte longer stops the walk.
TEST(Sequence, FrameAndRecordLimitsHoldOnBothSides) {
  for (std::uint32_t records : {max_sequence_frames, max_sequence_frames + 1}) {
    Bytes file(4 * std::size_t(records) + 4, 0);
    store_le32(&file[file.size() - 4], records);
    auto seq = open_sequence(write_scratch("many.seq", file));
    ASSERT_TRUE(seq) << records;
    EXPECT_EQ(seq->records.size(), max_sequence_frames) << records;
    EXPECT_EQ(seq->walk_stopped_early, records > max_sequence_frames) << records;
  }
  for (std::uint32_t length : {max_sequence_record_bytes, max_sequence_record_bytes + 1}) {
    Bytes file(4 + std::size_t(length) + 4, 0);
    store_le32(&file[0], length);
    store_le32(&file[file.size() - 4], 1);
    auto seq = open_sequence(write_scratch("long.seq", file));
    ASSERT_TRUE(seq) << length;
    EXPECT_EQ(seq->records.size(), length <= max_sequence_record_bytes ? 1u : 0u) << length;
    EXPECT_EQ(seq->walk_stopped_early, length > max_sequence_record_bytes) << length;
  }
}

// The truncated sequence is seq10 cut inside record 9, without its trailer: frames 0-8 still
// decode exactly, and frame 9 draws nothing.
TEST(InteropPictures, EveryPictureAndWholeFrameOfWholeAndTruncatedSequenceDecodesExactly) {
  const std::filesystem::path dir = testdata_path("pcx");
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".pcx") continue;
    int rc = -1;
    const Picture pic = load_picture(entry.path().string(), &rc);
    EXPECT_EQ(rc, PICTURE_OK) << entry.path();
    EXPECT_EQ(pic.pixels, pixels_from_bgr0(read_file_bytes(std::filesystem::path(entry).replace_extension(".bgr0")))) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 7);
  const Pixels expected = pixels_from_bgr0(read_file_bytes(dir / "seq10.bgr0"));
  ASSERT_EQ(expected.size(), 640000u);
  for (auto [name, frame_count, records] : {std::tuple{"seq10.seq", 10u, 10u}, {"seq10_truncated.seq", 589439778u, 9u}}) {
    auto seq = open_sequence((dir / name).string());
    ASSERT_TRUE(seq) << name;
    EXPECT_EQ(seq->frame_count, frame_count) << name;
    EXPECT_EQ(seq->records.size(), records) << name;
    Pixels work(64000, untouched);
    for (std::uint32_t k : {records, 1000u}) EXPECT_EQ(decode_sequence_frame(*seq, k, work), PICTURE_NO_FRAME) << name << " " << k;
    EXPECT_EQ(work, Pixels(64000, untouched)) << name;
    for (std::uint32_t k = 0; k < records; ++k) {
      ASSERT_EQ(decode_sequence_frame(*seq, k, work), PICTURE_OK) << name << " " << k;
      const Pixels expected_frame(expected.begin() + std::ptrdiff_t(k) * 64000, expected.begin() + std::ptrdiff_t(k + 1) * 64000);
      EXPECT_EQ(work, expected_frame) << name << " " << k;
    }
  }
}
