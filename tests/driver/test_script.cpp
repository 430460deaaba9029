// Script grammar through load_script: line forms, prefixes, numbers, word reuse, the line
// length limit, and scripts that are damaged or garbage.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/limits.h"
#include "driver/script.h"
#include "testdata.h"

namespace {

std::optional<Script> parse(const std::string& text, const std::string& name = "script") {
  const auto dir = scratch_dir("script_" + name);
  write_file_bytes(dir / "script.txt", std::vector<unsigned char>(text.begin(), text.end()));
  return load_script((dir / "script.txt").string());
}

const Layer& only_layer(const Script& s) {
  EXPECT_EQ(s.block_count, 1);
  EXPECT_EQ(s.blocks.at(0).layer_count, 1);
  return s.blocks.at(0).layers.at(0);
}

}  // namespace

TEST(LoadScript, MissingFileGivesNoneAndEmptyFileNamesNothingWithQuitOrder255) {
  EXPECT_FALSE(load_script("/nonexistent/script.txt"));
  auto s = parse("", "empty");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->block_count, 0);
  EXPECT_TRUE(s->tune.empty());
  EXPECT_EQ(s->quit_order, 255);
}

TEST(LoadScript, CrLfScriptWithTabsReadsEveryField) {
  auto s = parse(
      "tune\tsong.mod\r\n"
      " \t quitpat 1A\r\n"
      "pattern 10 12\r\n"
      "{\r\n"
      "\t bitmap \t 10 11\t2 0x20 pic.pcx  no\tfade2 x\r\n"
      "}\r\n",
      "crlf");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->tune, "song.mod");
  EXPECT_EQ(s->quit_order, 26);
  EXPECT_EQ(s->blocks[0].first_order, 16);
  EXPECT_EQ(s->blocks[0].last_order, 18);
  const Layer& l = only_layer(*s);
  EXPECT_EQ(l.type, LAYER_BITMAP);
  EXPECT_EQ(l.start_order, 16);
  EXPECT_EQ(l.end_order, 17);
  EXPECT_EQ(l.start_row, 2);
  EXPECT_EQ(l.end_row, 32);
  EXPECT_EQ(l.param1, "pic.pcx");
  EXPECT_EQ(l.param2, "no");
  EXPECT_EQ(l.param3, "fade2");
  EXPECT_EQ(l.param4, "x");
  EXPECT_EQ(l.local_time, 0);
  EXPECT_EQ(l.start_mark, -1);
  EXPECT_EQ(l.line, 5);
}

TEST(LoadScript, EveryKeywordGivesItsTypeComparedOverItsOwnLength) {
  auto s = parse(
      "pattern 0 1\n{\n"
      "3d_mesh 0 0 0 0 a b c d\n"
      "bitmaps 0 0 0 0 a b c d\n"
      "ipol_mesh 0 0 0 0 a b c d\n"
      "radialblurry 0 0 0 0 a b c d\n"
      "avivideo 0 0 0 0 a b c d\n"
      "sequence 0 0 0 0 a b c d\n"
      "Bitmap 0 0 0 0 a b c d\n"
      "}\n",
      "keywords");
  ASSERT_TRUE(s);
  std::vector<int> types;
  for (const Layer& l : s->blocks[0].layers) types.push_back(l.type);
  EXPECT_EQ(types, (std::vector<int>{1, 2, 4, 8, 16, 32, 0}));
  EXPECT_EQ(s->blocks[0].layers[6].keyword, "Bitmap");
}

TEST(LoadScript, MissingWordsComeFromThePreviousLayerLineAndExtraWordsAreIgnored) {
  auto s = parse(
      "pattern 0 0\n{\n"
      "bitmap 0 0 0 0 one two three four five six\n"
      "}\n"
      "pattern 1 1\n{\n"
      "radialblur 1 1 0 0 - 100 7\n"
      "}\n",
      "reuse");
  ASSERT_TRUE(s);
  const Layer& l = s->blocks[1].layers[0];
  EXPECT_EQ(l.param1, "-");
  EXPECT_EQ(l.param2, "100");
  EXPECT_EQ(l.param3, "7");
  EXPECT_EQ(l.param4, "four");
}

TEST(LoadScript, ReadingStopsAtTheFirstItemThatDoesNotFitAndMissingNumbersAreZero) {
  auto s = parse("pattern 0 1\n{\nbitmap 5 face.pcx no no x\n}\n", "stops");
  ASSERT_TRUE(s);
  const Layer& l = only_layer(*s);
  EXPECT_EQ(l.start_order, 5);
  EXPECT_EQ(l.end_order, 0xface);  // "%x" reads the hexadecimal letters of a word
  EXPECT_EQ(l.start_row, 0);
  EXPECT_EQ(l.end_row, 0);
  EXPECT_EQ(l.param1, "");  // nothing was read after the failing number
}

TEST(LoadScript, HexNumbersTakeSignAndPrefix) {
  auto s = parse("quitpat -1\npattern 0x10 +0X1f\n{\nbitmap -2 0xff 0 0 a b c d\n}\n", "hex");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->quit_order, -1);
  EXPECT_EQ(s->blocks[0].first_order, 16);
  EXPECT_EQ(s->blocks[0].last_order, 31);
  EXPECT_EQ(s->blocks[0].layers[0].start_order, -2);
  EXPECT_EQ(s->blocks[0].layers[0].end_order, 255);
}

TEST(LoadScript, CommentsCarriageReturnsAndBlankLinesInsideABlockAreNoLayers) {
  auto s = parse(
      "pattern 0 1\r\n{\r\n"
      "//bitmap 0 1 0 0 a.pcx no no x\r\n"
      "\r\n"
      "\n"
      "   \t\n"
      "  // indented comment\r\n"
      "radialblur 0 1 0 0 - 5 5 -\r\n"
      "}\r\n",
      "comments");
  ASSERT_TRUE(s);
  EXPECT_EQ(only_layer(*s).type, LAYER_RADIALBLUR);
}

TEST(LoadScript, LongLineIsReadAsPiecesOf255Characters) {
  // 300 characters: the first 255 are one line (a comment), the remaining 45 another,
  // which here is a quit line of its own.
  std::string first = "//" + std::string(253, 'x');
  std::string second = "quitpat 3" + std::string(36, ' ');
  ASSERT_EQ(first.size() + second.size(), 300u);
  auto s = parse(first + second + "\n", "long");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->quit_order, 3);
}

TEST(LoadScript, LaterTuneAndQuitLinesWin) {
  auto s = parse("tune a.mod\nquitpat 4\ntune b.mod\nquitpat 5\ntune\r\nquitpat\r\n", "later");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->tune, "b.mod");  // a tune line without a word leaves the tune as it was
  EXPECT_EQ(s->quit_order, 5);
}

TEST(LoadScript, PatternWithoutOpeningBraceFails) {
  int line = -1;
  const auto dir = scratch_dir("script_nobrace");
  const std::string text = "tune a.mod\npattern 0 1\n// comment\n{\n}\n";
  write_file_bytes(dir / "script.txt", {text.begin(), text.end()});
  EXPECT_FALSE(load_script((dir / "script.txt").string(), &line));
  EXPECT_EQ(line, 2);
  EXPECT_FALSE(parse("pattern 0 1", "nobrace_eof"));
}

TEST(LoadScript, BlockCutOffByTheEndOfTheFileKeepsItsLayers) {
  auto s = parse("pattern 0 1\n{\nradialblur 0 1 0 0 - 5 5 -\nbitmap 0 1 0 0 a b c d", "cutoff");
  ASSERT_TRUE(s);
  ASSERT_EQ(s->block_count, 1);
  EXPECT_TRUE(s->blocks[0].unclosed);
  ASSERT_EQ(s->blocks[0].layer_count, 2);
  EXPECT_EQ(s->blocks[0].layers[1].type, LAYER_BITMAP);
}

TEST(LoadScript, PatternLineInsideABlockIsAnUnknownLayerAndLeavesAnEmptyBlock) {
  auto s = parse("pattern 0 1\n{\npattern 2 3\n{\nradialblur 0 1 0 0 - 5 5 -\n}\n", "nested");
  ASSERT_TRUE(s);
  ASSERT_EQ(s->block_count, 2);  // every "pattern" line counts a block
  ASSERT_EQ(s->blocks[0].layer_count, 3);
  EXPECT_EQ(s->blocks[0].layers[0].type, LAYER_UNKNOWN);
  EXPECT_EQ(s->blocks[0].layers[1].type, LAYER_UNKNOWN);
  EXPECT_EQ(s->blocks[0].layers[2].type, LAYER_RADIALBLUR);
  EXPECT_EQ(s->blocks[1].layer_count, 0);
}

TEST(DecimalParam, ReadsLikeAtoiAndClamps) {
  EXPECT_EQ(decimal_param("30"), 30);
  EXPECT_EQ(decimal_param("-12abc"), -12);
  EXPECT_EQ(decimal_param("abc"), 0);
  EXPECT_EQ(decimal_param("+7"), 7);
  EXPECT_EQ(decimal_param("99999999999"), 2147483647);
  EXPECT_EQ(decimal_param("-99999999999"), -2147483647 - 1);
}

namespace {

// A script of `blocks` empty blocks followed by one block of `layers` layer lines.
std::string script_of(int blocks, int layers) {
  std::string text;
  for (int b = 0; b < blocks; ++b) text += "pattern 0 0\n{\n}\n";
  text += "pattern 0 0\n{\n";
  for (int l = 0; l < layers; ++l) text += "x\n";
  return text + "}\n";
}

}  // namespace

TEST(LoadScript, LimitsAreAcceptedAtTheLimitAndRefusedPastIt) {
  const std::string comment_line = "//" + std::string(61, '-') + "\n";  // 64 bytes
  std::string at_bytes;
  while (at_bytes.size() < max_script_bytes) at_bytes += comment_line;
  at_bytes.resize(max_script_bytes);
  const struct {
    const char* name;
    std::string text;
    bool loads;
    int failed_line;
    const char* why;
  } cases[] = {
      {"layers_at", script_of(0, max_script_layers), true, 0, ""},
      {"layers_past", script_of(0, max_script_layers + 1), false, max_script_layers + 3, "more than 10000 layer lines"},
      {"blocks_at", script_of(max_script_blocks - 1, 0), true, 0, ""},
      {"blocks_past", script_of(max_script_blocks, 0), false, 3 * max_script_blocks + 1,
       "more than 10000 \"pattern\" blocks"},
      {"bytes_at", at_bytes, true, 0, ""},
      {"bytes_past", at_bytes + "\n", false, 0, "the script is longer than 4194304 bytes"},
  };
  for (const auto& c : cases) {
    const auto dir = scratch_dir(std::string("script_limit_") + c.name);
    write_file_bytes(dir / "script.txt", {c.text.begin(), c.text.end()});
    int line = -1;
    std::string why;
    EXPECT_EQ(load_script((dir / "script.txt").string(), &line, &why).has_value(), c.loads) << c.name;
    EXPECT_EQ(line, c.failed_line) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
  }
}
