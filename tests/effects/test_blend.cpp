#include "effects/blend.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Pixels = std::vector<std::uint32_t>;

std::uint32_t rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r << 16 | g << 8 | b; }

// Random pixels with all four bytes random, and about one in eight pixels 0.
Pixels random_pixels(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Pixels pixels(count);
  for (std::uint32_t& p : pixels) p = (rng() % 8 == 0) ? 0 : std::uint32_t(rng());
  return pixels;
}

// Every (first, second) byte pair once: pixel i holds byte i & 0xFF in all four lanes of the
// first array and i >> 8 in all four lanes of the second.
void all_byte_pairs(Pixels& first, Pixels& second) {
  first.resize(65536);
  second.resize(65536);
  for (std::uint32_t i = 0; i < 65536; ++i) {
    first[i] = (i & 0xFF) * 0x01010101u;
    second[i] = (i >> 8) * 0x01010101u;
  }
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
  EXPECT_EQ(out[0], rgb(254, 254, 254)) << "level 255, white over";
  fade_blend(Pixels{0x00FFFFFF}, Pixels{0x00ABCDEF}, out, 0);
  EXPECT_EQ(out[0], rgb(254, 254, 254)) << "level 0, white under";
  fade_blend(Pixels{0}, Pixels{0x000000FF}, out, 128);
  EXPECT_EQ(out[0], 0x0000007Fu) << "level 128, blue 255 over black";
  fade_blend(Pixels{0}, Pixels{0x00FFFFFF}, out, 0x1FF);
  EXPECT_EQ(out[0], rgb(254, 254, 254)) << "level 0x1FF uses 255";
}

TEST(AddSaturate, RedGreenBlue192_128_64Plus128Gives255_255_192) {
  Pixels out(5);
  add_saturate(Pixels(5, rgb(192, 128, 64)), Pixels(5, rgb(128, 128, 128)), out);
  EXPECT_EQ(out, Pixels(5, rgb(255, 255, 192)));
}

// The packed path against the rule written out per byte, for every byte pair at every level.
TEST(FadeBlend, PackedMatchesPerByteRuleForEveryLevelAndBytePair) {
  Pixels under, over;
  all_byte_pairs(under, over);
  Pixels out(under.size());
  for (int level = 0; level < 256; ++level) {
    fade_blend(under, over, out, level);
    for (std::uint32_t i = 0; i < 65536; ++i) {
      const std::uint32_t u = i & 0xFF, o = i >> 8;
      const std::uint32_t expected = ((o * level + u * (255 - level)) >> 8) * 0x01010101u;
      ASSERT_EQ(out[i], expected) << "level " << level << " under " << u << " over " << o;
    }
  }
}

TEST(AddSaturate, PackedMatchesPerByteRuleForEveryBytePair) {
  Pixels a, b;
  all_byte_pairs(a, b);
  Pixels out(a.size());
  add_saturate(a, b, out);
  for (std::uint32_t i = 0; i < 65536; ++i)
    ASSERT_EQ(out[i], std::min<std::uint32_t>((i & 0xFF) + (i >> 8), 255) * 0x01010101u) << i;
}

// Random pixels, counts around the packed step, and destinations that are an input.
TEST(Blend, PackedMatchesReferenceOnRandomPixelsAnyCountAndAliasing) {
  const std::size_t counts[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 17, 64000, 64001, 64003};
  for (std::size_t count : counts) {
    const Pixels a = random_pixels(count, 1), b = random_pixels(count, 2);
    for (int level : {0, 1, 77, 128, 254, 255, 256 + 33, -1}) {
      Pixels packed(count), reference(count);
      fade_blend(a, b, packed, level);
      fade_blend_reference(a, b, reference, level);
      ASSERT_EQ(packed, reference) << "fade count " << count << " level " << level;
      Pixels in_place = a;
      fade_blend(in_place, b, in_place, level);
      ASSERT_EQ(in_place, reference) << "fade into under, count " << count;
      in_place = b;
      fade_blend(a, in_place, in_place, level);
      ASSERT_EQ(in_place, reference) << "fade into over, count " << count;
    }
    Pixels packed(count), reference(count);
    add_saturate(a, b, packed);
    add_saturate_reference(a, b, reference);
    ASSERT_EQ(packed, reference) << "add count " << count;
    Pixels in_place = b;
    add_saturate(a, in_place, in_place);
    ASSERT_EQ(in_place, reference) << "add into b, count " << count;

    packed = b;
    reference = b;
    copy_nonzero(a, packed);
    copy_nonzero_reference(a, reference);
    ASSERT_EQ(packed, reference) << "copy count " << count;
  }
}
