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

std::uint32_t colour(std::uint32_t v) { return v << 16 | (v ^ 0x55) << 8 | (255 - v); }

// Entry v is (v, v ^ 0x55, 255 - v): every index gives a different pixel, colour(v).
Bytes test_palette() {
  Bytes palette;
  for (int v = 0; v < 256; ++v) palette.insert(palette.end(), {std::uint8_t(v), std::uint8_t(v ^ 0x55), std::uint8_t(255 - v)});
  return palette;
}

// A picture written byte by byte: header fields as given, the stream, the marker and palette.
Bytes hand_picture(unsigned x_min, unsigned x_max, unsigned y_max, unsigned bytes_per_line, std::uint8_t planes,
                   const Bytes& stream, const Bytes& palette = test_palette()) {
  Bytes out(128, 0);
  out[0] = 10, out[1] = 5, out[2] = 1, out[3] = 8;
  auto put16 = [&](std::size_t at, unsigned v) { out[at] = std::uint8_t(v), out[at + 1] = std::uint8_t(v >> 8); };
  put16(4, x_min);
  put16(8, x_max);
  put16(10, y_max);
  out[65] = planes;
  put16(66, bytes_per_line);
  out.insert(out.end(), stream.begin(), stream.end());
  out.push_back(12);
  out.insert(out.end(), palette.begin(), palette.end());
  return out;
}

// Runs of several lengths, single pixels of high indices and a random stripe.
Bytes pattern_indices(int width, int height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes indices(std::size_t(width) * std::size_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      indices[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
          (y % 3 == 2) ? std::uint8_t(rng()) : std::uint8_t((x / (1 + y % 70)) * 37 + y * 11);
  return indices;
}

Pixels expected_pixels(const Bytes& indices) {
  Pixels pixels(indices.size());
  std::transform(indices.begin(), indices.end(), pixels.begin(), colour);
  return pixels;
}

Pixels pixels_from_bgr0(const Bytes& bytes) {
  Pixels pixels(bytes.size() / 4);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = std::uint32_t(bytes[4 * i]) | std::uint32_t(bytes[4 * i + 1]) << 8 |
                std::uint32_t(bytes[4 * i + 2]) << 16 | std::uint32_t(bytes[4 * i + 3]) << 24;
  return pixels;
}

std::uint32_t read_u32(const Bytes& b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
}

std::string write_scratch(const std::string& dir, const std::string& name, const Bytes& bytes) {
  const std::filesystem::path path = scratch_dir(dir) / name;
  write_file_bytes(path, bytes);
  return path.string();
}

}  // namespace

TEST(PcxEncode, SingleHighIndexIsC1PairLongRunsSplitAndLinesPadded) {
  const Bytes palette = test_palette();
  Bytes pic = pcx_encode(4, 1, Bytes{5, 200, 7, 7}, palette);
  EXPECT_EQ(Bytes(pic.begin() + 128, pic.end() - 769), (Bytes{0x05, 0xC1, 0xC8, 0xC2, 0x07}));
  pic = pcx_encode(100, 1, Bytes(100, 9), palette);
  EXPECT_EQ(Bytes(pic.begin() + 128, pic.end() - 769), (Bytes{0xFF, 0x09, 0xE5, 0x09}));
  pic = pcx_encode(3, 1, Bytes{1, 2, 3}, palette);
  EXPECT_EQ(Bytes(pic.begin() + 128, pic.end() - 769), (Bytes{1, 2, 3, 0}));
  EXPECT_EQ(pic[66] | pic[67] << 8, 4) << "bytes per line padded to even";
  EXPECT_EQ(pic[pic.size() - 769], 12);
}

TEST(PcxEncode, RoundTripsThroughDecoderAtOddAndFullSizes) {
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {321, 10}, {320, 200}, {256, 256}}) {
    const Bytes indices = pattern_indices(w, h, std::uint32_t(w));
    const Bytes pic = pcx_encode(w, h, indices, test_palette());
    Pixels out(indices.size(), untouched);
    ASSERT_EQ(decode_picture(pic, out), PICTURE_OK) << w << "x" << h;
    EXPECT_EQ(out, expected_pixels(indices)) << w << "x" << h;
  }
}

TEST(DecodePicture, RunCutAtLineEndAndCountZeroWritesNothing) {
  // Row 0: six literals, then a run of 63 starting 10 before the end; row 1: 0xC0 9, then 16 x 8.
  const Bytes stream = {1, 2, 3, 4, 5, 6, 0xFF, 7, 0xC0, 9, 0xD0, 8};
  Pixels out(32, untouched);
  ASSERT_EQ(decode_picture(hand_picture(0, 15, 1, 16, 1, stream), out), PICTURE_OK);
  Bytes indices = {1, 2, 3, 4, 5, 6};
  indices.resize(16, 7);
  indices.resize(32, 8);
  EXPECT_EQ(out, expected_pixels(indices));
}

TEST(DecodePicture, PaletteEntryRed255Green128Blue0) {
  Bytes palette = test_palette();
  palette[3 * 201] = 255, palette[3 * 201 + 1] = 128, palette[3 * 201 + 2] = 0;
  Pixels out(1);
  ASSERT_EQ(decode_picture(hand_picture(0, 0, 0, 2, 1, {0xC1, 201, 0}, palette), out), PICTURE_OK);
  EXPECT_EQ(out[0], 0x00FF8000u);
}

TEST(DecodePicture, WidthAndHeightFromMaximaAlone) {
  // x min 10, x max 329, 320 indices a line: 330 wide, the last 10 columns black.
  Bytes row = {0xFF, 5, 0xFF, 5, 0xFF, 5, 0xFF, 5, 0xFF, 5, 0xC5, 5};
  Bytes stream = row;
  stream.insert(stream.end(), row.begin(), row.end());
  Pixels out(660, untouched);
  ASSERT_EQ(decode_picture(hand_picture(10, 329, 1, 320, 1, stream), out), PICTURE_OK);
  for (std::size_t i = 0; i < 660; ++i) ASSERT_EQ(out[i], i % 330 < 320 ? colour(5) : 0u) << i;

  // x max below x min: x min is ignored, 4 wide.
  out.assign(4, untouched);
  ASSERT_EQ(decode_picture(hand_picture(500, 3, 0, 4, 1, {1, 2, 3, 4}), out), PICTURE_OK);
  EXPECT_EQ(out, expected_pixels({1, 2, 3, 4}));
}

TEST(DecodePicture, LineLengthIsBytesPerLineTimesPlanes) {
  const Bytes stream = {1, 2, 3, 9, 4, 5, 6, 9};  // 3 wide, 4 indices a line: the 9s are not shown
  for (auto [bytes_per_line, planes] : {std::pair{4u, 1}, {2u, 2}}) {
    Pixels out(6, untouched);
    ASSERT_EQ(decode_picture(hand_picture(0, 2, 1, bytes_per_line, std::uint8_t(planes), stream), out), PICTURE_OK);
    EXPECT_EQ(out, expected_pixels({1, 2, 3, 4, 5, 6})) << bytes_per_line << " x " << planes;
  }
  Pixels out(6, untouched);  // bytes per line 0: nothing is read, the picture stays black
  ASSERT_EQ(decode_picture(hand_picture(0, 2, 1, 0, 1, stream), out), PICTURE_OK);
  EXPECT_EQ(out, Pixels(6, 0));
}

TEST(DecodePicture, RefusalsLeaveDestinationUntouched) {
  const Bytes good = hand_picture(0, 319, 199, 320, 1, {});
  Pixels out(64000, untouched);
  for (int at = 0; at < 4; ++at) {
    Bytes bad = good;
    bad[std::size_t(at)] ^= 1;
    EXPECT_EQ(decode_picture(bad, out), PICTURE_NOT_PICTURE) << "byte " << at;
  }
  EXPECT_EQ(decode_picture(std::span(good.data(), 3), out), PICTURE_NOT_PICTURE);
  EXPECT_EQ(decode_picture(std::span(good.data(), 127), out), PICTURE_SHORT_HEADER);
  EXPECT_EQ(decode_picture(hand_picture(0, 320, 199, 320, 1, {}), out), PICTURE_TOO_LARGE);
  EXPECT_EQ(decode_picture(hand_picture(0, 0xFFFF, 0xFFFF, 0xFFFF, 255, {}), out), PICTURE_TOO_LARGE);
  EXPECT_EQ(out, Pixels(64000, untouched));
}

TEST(DecodePicture, StreamEndingEarlyLeavesRestBlack) {
  // A grey palette holds no run bytes, so the stream reads on through it as 768 literals and stops.
  Bytes grey;
  for (int v = 0; v < 256; ++v) grey.insert(grey.end(), 3, std::uint8_t(v / 2));
  const Bytes pic = hand_picture(0, 319, 199, 320, 1, {7, 7, 7}, grey);
  Pixels out(64000, untouched);
  ASSERT_EQ(decode_picture(pic, out), PICTURE_TRUNCATED);
  // 3 stream bytes, the marker 12 and 768 palette bytes were read as 772 literals.
  EXPECT_EQ(out[0], 0x00030303u);
  EXPECT_EQ(out[3], 0x00060606u);
  EXPECT_EQ(out[771], 0x003F3F3Fu);
  EXPECT_EQ(std::count(out.begin() + 772, out.end(), 0u), 64000 - 772);
}

TEST(DecodePicture, CutAtEveryLengthAndFlippedBytesStayInBounds) {
  const Bytes pic = pcx_encode(64, 40, pattern_indices(64, 40, 7), test_palette());
  for (std::size_t n = 0; n <= pic.size(); ++n) {
    const Bytes cut(pic.begin(), pic.begin() + std::ptrdiff_t(n));  // exact size: ASan sees any overread
    Pixels out(64 * 40, untouched);
    const int rc = decode_picture(cut, out);
    if (n < 128) {
      ASSERT_EQ(out, Pixels(64 * 40, untouched)) << n;
    }
    ASSERT_EQ(rc, n < 4 ? PICTURE_NOT_PICTURE : n < 128 ? PICTURE_SHORT_HEADER : n < pic.size() - 769 ? PICTURE_TRUNCATED : PICTURE_OK) << n;
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
  const Bytes indices = pattern_indices(320, 200, 3);
  Bytes pic = pcx_encode(320, 200, indices, test_palette());
  int rc = -1;
  Picture loaded = load_picture(write_scratch("load_picture", "ok.pcx", pic), &rc);
  EXPECT_EQ(rc, PICTURE_OK);
  EXPECT_EQ(loaded.width, 320);
  EXPECT_EQ(loaded.height, 200);
  EXPECT_EQ(loaded.pixels, expected_pixels(indices));

  pic[0] = 11;
  EXPECT_TRUE(load_picture(write_scratch("load_picture", "bad.pcx", pic), &rc).pixels.empty());
  EXPECT_EQ(rc, PICTURE_NOT_PICTURE);
  EXPECT_TRUE(load_picture(write_scratch("load_picture", "none.pcx", {}) + ".missing", &rc).pixels.empty());
  EXPECT_EQ(rc, PICTURE_READ_FAILED);
  // 65536 x 65536 claimed by a 900-byte file: refused before anything is allocated.
  EXPECT_TRUE(load_picture(write_scratch("load_picture", "huge.pcx", hand_picture(0, 0xFFFF, 0xFFFF, 2, 1, {})), &rc).pixels.empty());
  EXPECT_EQ(rc, PICTURE_TOO_LARGE);
}

TEST(Sequence, ThreeFramesTrailerThreeAndFrameTwoAfterTheFirstTwo) {
  std::vector<Bytes> pictures;
  std::vector<Bytes> indices;
  for (int k = 0; k < 3; ++k) {
    indices.push_back(pattern_indices(320, 200, std::uint32_t(10 + k)));
    pictures.push_back(pcx_encode(320, 200, indices.back(), test_palette()));
  }
  auto seq = open_sequence(write_scratch("sequence_three", "three.seq", pcx_pack_sequence(pictures)));
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->frame_count, 3u);
  ASSERT_EQ(seq->records.size(), 3u);
  EXPECT_EQ(seq->records[2].offset, 4 + pictures[0].size() + 4 + pictures[1].size() + 4);
  Pixels work(64000, untouched);
  for (std::uint32_t k : {2u, 0u, 1u}) {
    ASSERT_EQ(decode_sequence_frame(*seq, k, work), PICTURE_OK);
    EXPECT_EQ(work, expected_pixels(indices[k])) << k;
  }
}

TEST(Sequence, MissingTooLargeAndOverlongRecordsDrawNothing) {
  const Bytes small = pcx_encode(8, 2, Bytes(16, 4), test_palette());
  const Bytes wide = pcx_encode(321, 200, Bytes(321 * 200, 4), test_palette());
  Bytes file = pcx_pack_sequence(std::vector<Bytes>{small, wide});
  file.erase(file.end() - 4, file.end());  // the trailer goes to the end again below
  file.insert(file.end(), {0x00, 0x00, 0x10, 0x00, 1, 2, 3});  // a record claiming 1 MiB, 3 bytes left
  file.insert(file.end(), {9, 0, 0, 0});                       // trailer promising 9 frames
  auto seq = open_sequence(write_scratch("sequence_bad", "bad.seq", file));
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->frame_count, 9u);
  EXPECT_EQ(seq->records.size(), 2u);
  Pixels work(64000, untouched);
  EXPECT_EQ(decode_sequence_frame(*seq, 1, work), PICTURE_TOO_LARGE);
  EXPECT_EQ(decode_sequence_frame(*seq, 2, work), PICTURE_NO_FRAME);
  EXPECT_EQ(decode_sequence_frame(*seq, 8, work), PICTURE_NO_FRAME);
  EXPECT_EQ(work, Pixels(64000, untouched));
  EXPECT_EQ(decode_sequence_frame(*seq, 0, work), PICTURE_OK);
  EXPECT_EQ(work[15], colour(4));

  EXPECT_FALSE(open_sequence(write_scratch("sequence_bad", "x.seq", {}) + ".missing"));
  for (const Bytes& tiny : {Bytes{}, Bytes{3, 0, 0}, Bytes{0, 0, 0, 0}}) {
    auto empty = open_sequence(write_scratch("sequence_bad", "tiny.seq", tiny));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->frame_count, 0u);
    EXPECT_EQ(decode_sequence_frame(*empty, 0, work), PICTURE_NO_FRAME);
  }
  auto zero_length = open_sequence(write_scratch("sequence_bad", "zero.seq", {0, 0, 0, 0, 1, 0, 0, 0}));
  ASSERT_TRUE(zero_length);
  EXPECT_EQ(zero_length->records.size(), 1u);
  EXPECT_EQ(decode_sequence_frame(*zero_length, 0, work), PICTURE_NOT_PICTURE);
}

TEST(Sequence, CutAtEveryLengthDecodesWholeRecordsOnly) {
  std::vector<Bytes> pictures, indices;
  for (int k = 0; k < 3; ++k) {
    indices.push_back(pattern_indices(20, 6, std::uint32_t(k)));
    pictures.push_back(pcx_encode(20, 6, indices.back(), test_palette()));
  }
  const Bytes whole = pcx_pack_sequence(pictures);
  const std::string dir = scratch_dir("sequence_cut").string();
  Pixels work(64000);
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(n));
    const std::string path = dir + "/cut.seq";
    write_file_bytes(path, cut);
    auto seq = open_sequence(path);
    ASSERT_TRUE(seq) << n;
    ASSERT_LE(seq->records.size(), 3u);
    for (std::uint32_t k = 0; k < 4; ++k) {
      std::fill(work.begin(), work.end(), untouched);
      const int rc = decode_sequence_frame(*seq, k, work);
      if (k >= seq->records.size()) {
        ASSERT_EQ(rc, PICTURE_NO_FRAME) << n << " frame " << k;
        continue;
      }
      ASSERT_EQ(rc, PICTURE_OK) << n << " frame " << k;  // a record is only listed when whole
      ASSERT_TRUE(std::equal(indices[k].begin(), indices[k].end(), work.begin(),
                             [](std::uint8_t v, std::uint32_t p) { return colour(v) == p; })) << n << " frame " << k;
    }
  }
}

TEST(InteropPictures, EveryPictureDecodesToExpectedPixels) {
  SKIP_WITHOUT_TESTDATA(dir, "pcx");
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".pcx") continue;
    std::filesystem::path expected_path = entry.path();
    expected_path.replace_extension(".bgr0");
    int rc = -1;
    const Picture pic = load_picture(entry.path().string(), &rc);
    EXPECT_EQ(rc, PICTURE_OK) << entry.path();
    EXPECT_EQ(pic.pixels, pixels_from_bgr0(read_file_bytes(expected_path))) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 7);
}

TEST(InteropSequences, TenFramesDecodeExactly) {
  SKIP_WITHOUT_TESTDATA(dir, "pcx");
  auto seq = open_sequence((dir / "seq10.seq").string());
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->frame_count, 10u);
  const Pixels expected = pixels_from_bgr0(read_file_bytes(dir / "seq10.bgr0"));
  ASSERT_EQ(expected.size(), 640000u);
  Pixels work(64000);
  for (std::uint32_t k = 0; k < 10; ++k) {
    ASSERT_EQ(decode_sequence_frame(*seq, k, work), PICTURE_OK) << k;
    EXPECT_TRUE(std::equal(work.begin(), work.end(), expected.begin() + std::ptrdiff_t(k) * 64000)) << k;
  }
}

TEST(InteropSequences, TruncatedFileDecodesWholeFramesAndDrawsNothingAfter) {
  SKIP_WITHOUT_TESTDATA(dir, "pcx");
  const Bytes file = read_file_bytes(dir / "seq10_truncated.seq");
  auto seq = open_sequence((dir / "seq10_truncated.seq").string());
  ASSERT_TRUE(seq);
  EXPECT_EQ(seq->frame_count, read_u32(file, file.size() - 4));
  EXPECT_EQ(seq->records.size(), 9u);
  const Pixels expected = pixels_from_bgr0(read_file_bytes(dir / "seq10.bgr0"));
  Pixels work(64000, untouched);
  EXPECT_EQ(decode_sequence_frame(*seq, 9, work), PICTURE_NO_FRAME);
  EXPECT_EQ(decode_sequence_frame(*seq, 1000, work), PICTURE_NO_FRAME);
  EXPECT_EQ(work, Pixels(64000, untouched));
  for (std::uint32_t k = 0; k < 9; ++k) {
    ASSERT_EQ(decode_sequence_frame(*seq, k, work), PICTURE_OK) << k;
    EXPECT_TRUE(std::equal(work.begin(), work.end(), expected.begin() + std::ptrdiff_t(k) * 64000)) << k;
  }
}
