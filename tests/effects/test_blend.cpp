#include "effects/blend.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Pixels = std::vector<std::uint32_t>;

// Random pixels with all four bytes random, and about one in eight pixels 0.
Pixels random_pixels(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Pixels pixels(count);
  for (std::uint32_t& p : pixels) p = (rng() % 8 == 0) ? 0 : std::uint32_t(rng());
  return pixels;
}

}  // namespace

TEST(CopyNonzero, ZeroKeepsDestinationAndBlueOneOverwrites) {
  const Pixels source = {0, 1, 0, 0x00FFFFFF, 0, 0x01000000, 0};  // 7: a packed step and a tail
  Pixels dest(7, 0x00123456);
  copy_nonzero(source, dest);
  EXPECT_EQ(dest, (Pixels{0x00123456, 1, 0x00123456, 0x00FFFFFF, 0x00123456, 0x01000000, 0x00123456}));
}

TEST(FadeBlend, WorkedExamples) {
  Pixels out(1);
  fade_blend(Pixels{0x00123456}, Pixels{0x00FFFFFF}, out, 255);
  EXPECT_EQ(out[0], 0x00FEFEFEu) << "level 255, white over";
  fade_blend(Pixels{0x00FFFFFF}, Pixels{0x00ABCDEF}, out, 0);
  EXPECT_EQ(out[0], 0x00FEFEFEu) << "level 0, white under";
  fade_blend(Pixels{0}, Pixels{0x000000FF}, out, 128);
  EXPECT_EQ(out[0], 0x0000007Fu) << "level 128, blue 255 over black";
  fade_blend(Pixels{0}, Pixels{0x00FFFFFF}, out, 0x1FF);
  EXPECT_EQ(out[0], 0x00FEFEFEu) << "level 0x1FF uses 255";
}

TEST(AddSaturate, RedGreenBlue192And128And64Plus128Gives255And255And192) {
  Pixels out(5);
  add_saturate(Pixels(5, 0x00C08040), Pixels(5, 0x00808080), out);
  EXPECT_EQ(out, Pixels(5, 0x00FFFFC0));
}

// The packed paths against the per-byte rules on random pixels, at every fade level (and levels
// outside 0 .. 255, of which the low byte counts), with counts around the packed step (the tail
// done per pixel) and destinations that are an input.
TEST(Blend, PackedMatchesPerByteRuleForEveryLevelCountAndAliasing) {
  for (std::size_t count : {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 17, 64003}) {
    SCOPED_TRACE(testing::Message() << "count " << count);
    const Pixels a = random_pixels(count, 1), b = random_pixels(count, 2);
    Pixels packed(count), reference(count), into_a, into_b;
    for (int level = -1; level <= 256 + 33; level += level < 256 ? 1 : 33) {
      fade_blend(a, b, packed, level);
      fade_blend_reference(a, b, reference, level);
      into_a = a, into_b = b;
      fade_blend(into_a, b, into_a, level);
      fade_blend(a, into_b, into_b, level);
      ASSERT_EQ(packed, reference) << "fade level " << level;
      ASSERT_EQ(into_a, reference) << "fade into under, level " << level;
      ASSERT_EQ(into_b, reference) << "fade into over, level " << level;
    }
    into_b = b;
    add_saturate(a, b, packed);
    add_saturate_reference(a, b, reference);
    add_saturate(a, into_b, into_b);
    ASSERT_EQ(packed, reference) << "add";
    ASSERT_EQ(into_b, reference) << "add into b";
    packed = reference = b;
    copy_nonzero(a, packed);
    copy_nonzero_reference(a, reference);
    ASSERT_EQ(packed, reference) << "copy";
  }
}
