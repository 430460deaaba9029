#include "effects/picture.h"
#include "tools/pcx_writer.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
  auto put16 = [&](std::size_t at, unsigned v) { out[at] = std::uint8_t(v), out[at + 1] = std::uint8_t(v >> 8); };
  out[0] = 10, out[1] = 5, out[2] = 1, out[3] = 8, out[65] = planes;
  put16(4, x_min), put16(8, x_max), put16(10, y_max), put16(66, bytes_per_line);
  out.insert(out.end(), stream.begin(), stream.end());
  out.push_back(12);
  out.insert(out.end(), palette.begin(), palette.end());
  return out;
}

// Stretches of 1 to 70 indices, each one run of an index or (one in three) random indices, so
// that the show's own encoder writes long and short runs and single indices of 192 and above.
Bytes pattern_indices(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes indices;
  while (indices.size() < count) {
    const bool random = rng() % 3 == 0;
    const std::uint8_t value = std::uint8_t(rng());
    for (std::size_t n = 1 + rng() % 70; n > 0 && indices.size() < count; --n) indices.push_back(random ? std::uint8_t(rng()) : value);
  }
  return indices;
}

Bytes pattern_picture(int width, int height, std::uint32_t seed) {
  return pcx_encode(width, height, pattern_indices(std::size_t(width * height), seed), test_palette());
}

std::string write_scratch(const std::string& dir, const std::string& name, const Bytes& bytes) {
  const std::filesystem::path path = scratch_dir(dir) / name;
  write_file_bytes(path, bytes);
  return path.string();
}

// The interop folder's expected pixels: blue, green, red, 0 bytes per pixel.
Pixels pixels_from_bgr0(const Bytes& bytes) {
  Pixels pixels(bytes.size() / 4);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = std::uint32_t(bytes[4 * i]) | std::uint32_t(bytes[4 * i + 1]) << 8 | std::uint32_t(bytes[4 * i + 2]) << 16 |
                std::uint32_t(bytes[4 * i + 3]) << 24;
  return pixels;
}

}  // namespace

TEST(PcxEncode, SingleHighIndexIsC1PairLongRunsSplitAndLinesPadded) {
  auto stream = [](int width, const Bytes& indices) {
    const Bytes pic = pcx_encode(width, 1, indices, test_palette());
    EXPECT_EQ(pic[pic.size() - 769], 12);
    return Bytes(pic.begin() + 128, pic.end() - 769);
  };
  EXPECT_EQ(stream(4, {5, 200, 7, 7}), (Bytes{0x05, 0xC1, 0xC8, 0xC2, 0x07}));
  EXPECT_EQ(stream(100, Bytes(100, 9)), (Bytes{0xFF, 0x09, 0xE5, 0x09}));
  EXPECT_EQ(stream(3, {1, 2, 3}), (Bytes{1, 2, 3, 0})) << "bytes per line padded to even";
}

// Row 0: six literals, then a run of 63 starting 10 before the end; row 1: 0xC0 9, then 16 x 8.
TEST(DecodePicture, RunCutAtLineEndAndCountZeroWritesNothing) {
  Pixels out(32, untouched);
  ASSERT_EQ(decode_picture(hand_picture(0, 15, 1, 16, 1, {1, 2, 3, 4, 5, 6, 0xFF, 7, 0xC0, 9, 0xD0, 8}), out), PICTURE_OK);
  Bytes indices = {1, 2, 3, 4, 5, 6};
  indices.resize(16, 7);
  indices.resize(32, 8);
  EXPECT_EQ(out, expected_pixels(indices));
}

TEST(DecodePicture, WidthAndHeightFromMaximaAlone) {
  // x min 10, x max 329, 320 indices a line: 330 wide, the last 10 columns black.
  Bytes stream;
  for (int row = 0; row < 2; ++row) stream.insert(stream.end(), {0xFF, 5, 0xFF, 5, 0xFF, 5, 0xFF, 5, 0xFF, 5, 0xC5, 5});
  Pixels out(660, untouched);
  ASSERT_EQ(decode_picture(hand_picture(10, 329, 1, 320, 1, stream), out), PICTURE_OK);
  for (std::size_t i = 0; i < 660; ++i) ASSERT_EQ(out[i], i % 330 < 320 ? colour(5) : 0u) << i;
  out.assign(4, untouched);  // x max below x min: x min is ignored, 4 wide
  ASSERT_EQ(decode_picture(hand_picture(500, 3, 0, 4, 1, {1, 2, 3, 4}), out), PICTURE_OK);
  EXPECT_EQ(out, expected_pixels({1, 2, 3, 4}));
}

// 3 wide, 4 indices a line (the 9s are not shown); bytes per line 0 reads nothing: all black.
TEST(DecodePicture, LineLengthIsBytesPerLineTimesPlanes) {
  const Bytes shown = {1, 2, 3, 4, 5, 6};
  for (auto [bytes_per_line, planes, expected] : {std::tuple{4u, 1, shown}, {2u, 2, shown}, {0u, 1, Bytes{}}}) {
    Pixels out(6, untouched);
    ASSERT_EQ(decode_picture(hand_picture(0, 2, 1, bytes_per_line, std::uint8_t(planes), {1, 2, 3, 9, 4, 5, 6, 9}), out), PICTURE_OK);
    EXPECT_EQ(out, expected.empty() ? Pixels(6, 0) : expected_pixels(expected)) << bytes_per_line << " x " << planes;
  }
}

TEST(DecodePicture, RefusalsLeaveDestinationUntouched) {
  const Bytes good = hand_picture(0, 319, 199, 320, 1, {});
  Pixels out(64000, untouched);
  for (std::size_t at = 0; at < 4; ++at) {
    Bytes bad = good;
    bad[at] ^= 1;
    EXPECT_EQ(decode_picture(bad, out), PICTURE_NOT_PICTURE) << "byte " << at;
  }
  EXPECT_EQ(decode_picture(hand_picture(0, 320, 199, 320, 1, {}), out), PICTURE_TOO_LARGE);
  EXPECT_EQ(decode_picture(hand_picture(0, 0xFFFF, 0xFFFF, 0xFFFF, 255, {}), out), PICTURE_TOO_LARGE);
  EXPECT_EQ(out, Pixels(64000, untouched));
}

// A grey palette holds no run bytes, so the stream reads on through the marker and the palette as
// 772 literals and stops there; the rest of the picture is black.
TEST(DecodePicture, StreamEndingEarlyLeavesRestBlack) {
  Bytes grey;
  for (int v = 0; v < 256; ++v) grey.insert(grey.end(), 3, std::uint8_t(v / 2));
  Pixels out(64000, untouched);
  ASSERT_EQ(decode_picture(hand_picture(0, 319, 199, 320, 1, {7, 7, 7}, grey), out), PICTURE_TRUNCATED);
  EXPECT_EQ(out[0], 0x00030303u);
  EXPECT_EQ(out[3], 0x00060606u);
  EXPECT_EQ(out[771], 0x003F3F3Fu);
  EXPECT_EQ(std::count(out.begin() + 772, out.end(), 0u), 64000 - 772);
}

// Cut copies are exactly as long as the cut, so the sanitizer build sees any read past them.
TEST(DecodePicture, CutAtEveryLengthAndFlippedBytesStayInBounds) {
  const Bytes pic = pattern_picture(64, 40, 7);
  for (std::size_t n = 0; n <= pic.size(); ++n) {
    Pixels out(64 * 40, untouched);
    const int rc = decode_picture(Bytes(pic.begin(), pic.begin() + std::ptrdiff_t(n)), out);
    if (n < 128) {
      ASSERT_EQ(out, Pixels(64 * 40, untouched)) << n;
    }
    const int expected = n < 4 ? PICTURE_NOT_PICTURE : n < 128 ? PICTURE_SHORT_HEADER : n < pic.size() - 769 ? PICTURE_TRUNCATED : PICTURE_OK;
    ASSERT_EQ(rc, expected) << n;
  }
  std::mt19937 rng(5);
  for (std::size_t at = 0; at < pic.size(); ++at) {
    for (std::uint8_t flip : {std::uint8_t(0xFF), std::uint8_t(1u << (rng() % 8))}) {
      Bytes bad = pic;
      bad[at] ^= flip;
      Pixels out(64000);
      const int rc = decode_picture(bad, out);
      ASSERT_TRUE(rc == PICTURE_OK || rc == PICTURE_TRUNCATED || rc == PICTURE_NOT_PICTURE || rc == PICTURE_TOO_LARGE) << at;
    }
  }
}

TEST(LoadPicture, LoadsOrRefusesWithCode) {
  Bytes pic = pattern_picture(320, 200, 3);
  int rc = -1;
  const Picture loaded = load_picture(write_scratch("load_picture", "ok.pcx", pic), &rc);
  EXPECT_EQ(rc, PICTURE_OK);
  EXPECT_EQ(loaded.width, 320);
  EXPECT_EQ(loaded.height, 200);
  EXPECT_EQ(loaded.pixels, expected_pixels(pattern_indices(320 * 200, 3)));
  pic[0] = 11;
  EXPECT_TRUE(load_picture(write_scratch("load_picture", "bad.pcx", pic), &rc).pixels.empty());
  EXPECT_EQ(rc, PICTURE_NOT_PICTURE);
  EXPECT_TRUE(load_picture(write_scratch("load_picture", "none.pcx", {}) + ".missing", &rc).pixels.empty());
  EXPECT_EQ(rc, PICTURE_READ_FAILED);
  // 65536 x 65536 claimed by a 900-byte file: refused before anything is allocated.
  EXPECT_TRUE(load_picture(write_scratch("load_picture", "huge.pcx", hand_picture(0, 0xFFFF, 0xFFFF, 2, 1, {})), &rc).pixels.empty());
  EXPECT_EQ(rc, PICTURE_TOO_LARGE);
}

// Records: an 8 x 2 picture, a 321 x 200 one (larger than the frame), one of length 0, one
// claiming 1 MiB with 3 bytes left; then a trailer promising 9 frames.
TEST(Sequence, MissingTooLargeEmptyAndOverlongRecordsDrawNothing) {
  Bytes file = pcx_pack_sequence(std::vector<Bytes>{pcx_encode(8, 2, Bytes(16, 4), test_palette()),
                                                    pcx_encode(321, 200, Bytes(321 * 200, 4), test_palette()), Bytes{}});
  file.resize(file.size() - 4);
  file.insert(file.end(), {0x00, 0x00, 0x10, 0x00, 1, 2, 3, 9, 0, 0, 0});
  auto seq = open_sequence(write_scratch("sequence_bad", "bad.seq", file));
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->frame_count, 9u);
  EXPECT_EQ(seq->records.size(), 3u);
  Pixels work(64000, untouched);
  EXPECT_EQ(decode_sequence_frame(*seq, 1, work), PICTURE_TOO_LARGE);
  EXPECT_EQ(decode_sequence_frame(*seq, 2, work), PICTURE_NOT_PICTURE);
  EXPECT_EQ(decode_sequence_frame(*seq, 3, work), PICTURE_NO_FRAME);
  EXPECT_EQ(decode_sequence_frame(*seq, 8, work), PICTURE_NO_FRAME);
  EXPECT_EQ(work, Pixels(64000, untouched));
  EXPECT_EQ(decode_sequence_frame(*seq, 0, work), PICTURE_OK);
  EXPECT_EQ(work[15], colour(4));
  EXPECT_FALSE(open_sequence(write_scratch("sequence_bad", "x.seq", {}) + ".missing"));
}

// Three records and a trailer of 3, cut at every length: a record is listed only when whole,
// frames are found in any order, and the uncut file holds all three. Below 4 bytes there is no
// trailer: no frames.
TEST(Sequence, CutAtEveryLengthDecodesWholeRecordsOnly) {
  std::vector<Bytes> pictures;
  for (std::uint32_t k = 0; k < 3; ++k) pictures.push_back(pattern_picture(20, 6, k));
  const Bytes whole = pcx_pack_sequence(pictures);
  const std::string path = (scratch_dir("sequence_cut") / "cut.seq").string();
  Pixels work(20 * 6);  // exactly one frame: the sanitizer build sees any write past it
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    std::filesystem::remove(path);  // a new file each time: rewriting one in place waits for the disk
    write_file_bytes(path, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(n)));
    auto seq = open_sequence(path);
    ASSERT_TRUE(seq) << n;
    ASSERT_LE(seq->records.size(), 3u) << n;
    ASSERT_TRUE(n >= 4 || seq->frame_count == 0) << n;
    if (n == whole.size()) {
      ASSERT_TRUE(seq->frame_count == 3 && seq->records.size() == 3);
    }
    for (std::uint32_t k : {2u, 0u, 3u, 1u}) {
      std::fill(work.begin(), work.end(), untouched);
      const bool listed = k < seq->records.size();
      ASSERT_EQ(decode_sequence_frame(*seq, k, work), listed ? PICTURE_OK : PICTURE_NO_FRAME) << n << " frame " << k;
      ASSERT_EQ(work, listed ? expected_pixels(pattern_indices(20 * 6, k)) : Pixels(20 * 6, untouched)) << n << " frame " << k;
    }
  }
}

TEST(InteropPictures, EveryPictureDecodesToExpectedPixels) {
  SKIP_WITHOUT_TESTDATA(dir, "pcx");
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".pcx") continue;
    int rc = -1;
    const Picture pic = load_picture(entry.path().string(), &rc);
    EXPECT_EQ(rc, PICTURE_OK) << entry.path();
    const Bytes expected = read_file_bytes(std::filesystem::path(entry.path()).replace_extension(".bgr0"));
    EXPECT_EQ(pic.pixels, pixels_from_bgr0(expected)) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 7);
}

// The truncated file is seq10 cut inside record 9, without its trailer: frames 0-8 still decode
// exactly, and frame 9 draws nothing.
TEST(InteropSequences, WholeAndTruncatedFilesDecodeEveryWholeFrameExactly) {
  SKIP_WITHOUT_TESTDATA(dir, "pcx");
  const Pixels expected = pixels_from_bgr0(read_file_bytes(dir / "seq10.bgr0"));
  ASSERT_EQ(expected.size(), 640000u);
  for (auto [name, frame_count, records] : {std::tuple{"seq10.seq", 10u, 10u}, {"seq10_truncated.seq", 589439778u, 9u}}) {
    auto seq = open_sequence((dir / name).string());
    ASSERT_TRUE(seq) << name;
    EXPECT_EQ(seq->frame_count, frame_count) << name;
    EXPECT_EQ(seq->records.size(), records) << name;
    Pixels work(64000, untouched);
    EXPECT_EQ(decode_sequence_frame(*seq, records, work), PICTURE_NO_FRAME) << name;
    EXPECT_EQ(decode_sequence_frame(*seq, 1000, work), PICTURE_NO_FRAME) << name;
    EXPECT_EQ(work, Pixels(64000, untouched)) << name;
    for (std::uint32_t k = 0; k < records; ++k) {
      ASSERT_EQ(decode_sequence_frame(*seq, k, work), PICTURE_OK) << name << " " << k;
      EXPECT_TRUE(std::equal(work.begin(), work.end(), expected.begin() + std::ptrdiff_t(k) * 64000)) << name << " " << k;
    }
  }
}
