// quindle-tool's command lines: --help everywhere, options never taken as file names,
// operand counts, make-show's refusal to overwrite a show; and the picture commands end to
// end: the decoded bytes, exit codes, and the problems seq-info names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "effects/picture.h"
#include "testdata.h"
#include "tool_runner.h"

namespace {

using Bytes = std::vector<unsigned char>;

const char* const command_names[] = {"script-check", "make-show",  "pcx-decode", "seq-pack",
                                     "seq-info",     "scene-info", "scene-eval", "scene-convert"};

bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The sample show, written once per test into its own folder.
std::filesystem::path sample_show(const std::string& name) {
  const std::filesystem::path dir = scratch_dir("tool_commands_" + name) / "show";
  run_tool("make-show " + dir.string());
  return dir;
}

}  // namespace

TEST(ToolCommands, EveryCommandAnswersHelp) {
  for (const std::string name : command_names) {
    const ToolRun r = run_tool(name + " --help");
    EXPECT_EQ(r.code, 0) << name;
    EXPECT_TRUE(starts_with(r.out, "usage: quindle-tool " + name)) << r.out;
    EXPECT_EQ(r.err, "") << name;
  }
}

// --help wins wherever it stands, and nothing is read or written.
TEST(ToolCommands, HelpAmongOperandsIsNeverAFileName) {
  const std::filesystem::path dir = scratch_dir("tool_commands_help_operand");
  const ToolRun show = run_tool("make-show " + (dir / "show").string() + " --help");
  EXPECT_EQ(show.code, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "show"));
  const ToolRun decode = run_tool("pcx-decode --help " + (dir / "out.raw").string());
  EXPECT_EQ(decode.code, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.raw"));
}

TEST(ToolCommands, CommandLineMistakesExitWithTwo) {
  struct Case {
    const char* args;
    const char* err;  // a part of the first line on standard error
  };
  const Case cases[] = {
      {"script-check --jsn", "unknown option --jsn"},
      {"script-check -", "\"-\" is not a file name here"},
      {"script-check --json=yes", "--json takes no value"},
      {"script-check --json --json", "--json is given twice"},
      {"script-check a.txt b.txt", "too many operands (\"b.txt\""},
      {"make-show", "no operands given"},
      {"pcx-decode in.pcx", "too few operands"},
      {"pcx-decode -in.pcx out.raw", "unknown option -in.pcx"},
      {"scene-eval scene.3ds", "--frames is required"},
      {"scene-eval scene.3ds --frames", "--frames needs a value (LIST)"},
      {"scene-convert in.3ds --out", "unknown option --out"},
  };
  for (const Case& c : cases) {
    const ToolRun r = run_tool(c.args);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_TRUE(contains(r.err, c.err)) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << c.args;
  }
}

// After "--" a word that begins with "-" is a file name.
TEST(ToolCommands, DoubleDashEndsTheOptions) {
  const ToolRun r = run_tool("seq-info -- -missing.seq");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "quindle-tool: cannot read -missing.seq\n");
}

TEST(ToolCommands, OptionValuesAfterEqualsOrApart) {
  const std::filesystem::path show = sample_show("option_values");
  const std::string scene = (show / "scene.3ds").string();
  const ToolRun apart = run_tool("scene-eval " + scene + " --frames 0,1");
  const ToolRun joined = run_tool("scene-eval --frames=0,1 " + scene);
  EXPECT_EQ(apart.code, 0);
  EXPECT_EQ(joined.code, 0);
  EXPECT_EQ(joined.out, apart.out);
}

TEST(ToolCommands, MakeShowKeepsAnExistingScriptUnlessForced) {
  const std::filesystem::path dir = sample_show("make_show");
  EXPECT_TRUE(std::filesystem::exists(dir / "tune.mod"));
  write_file_bytes(dir / "script.txt", {'m', 'i', 'n', 'e'});
  std::filesystem::remove(dir / "tune.mod");

  const ToolRun refused = run_tool("make-show " + dir.string());
  EXPECT_EQ(refused.code, 1);
  EXPECT_TRUE(contains(refused.err, "already holds a script.txt; nothing written")) << refused.err;
  EXPECT_EQ(read_file_bytes(dir / "script.txt").size(), 4u);
  EXPECT_FALSE(std::filesystem::exists(dir / "tune.mod"));

  const ToolRun forced = run_tool("make-show --force " + dir.string());
  EXPECT_EQ(forced.code, 0);
  EXPECT_GT(read_file_bytes(dir / "script.txt").size(), 4u);
  EXPECT_TRUE(std::filesystem::exists(dir / "tune.mod"));
}

TEST(ToolCommands, MakeShowIntoAFileFails) {
  const std::filesystem::path dir = scratch_dir("tool_commands_make_show_file");
  write_file_bytes(dir / "plain", {'x'});
  const ToolRun r = run_tool("make-show " + (dir / "plain").string());
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "cannot write the sample show")) << r.err;
}

// A picture written by an independent tool decodes to the pixels the show draws, 4 bytes each.
TEST(ToolCommands, PcxDecodeWritesThePixelsTheShowDecodes) {
  const std::filesystem::path photo = testdata_path("pcx") / "photo320x200_pil.pcx";
  const std::filesystem::path raw = scratch_dir("tool_commands_pcx_decode") / "photo.raw";
  const ToolRun r = run_tool("pcx-decode " + photo.string() + " " + raw.string());
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "320 x 200\n");
  int result = 0;
  const Picture picture = load_picture(photo.c_str(), &result);
  const std::vector<unsigned char> bytes = read_file_bytes(raw);
  ASSERT_EQ(bytes.size(), picture.pixels.size() * 4);
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
    const std::uint32_t word = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | bytes[4 * i + 3] << 24;
    ASSERT_EQ(word, picture.pixels[i]) << "pixel " << i;
  }
}

// A picture cut short still writes what was decoded; a missing file, one that is no picture
// or one too short for a header writes nothing. Each exits 1 and says why.
TEST(ToolCommands, PcxDecodeFailures) {
  const std::filesystem::path dir = scratch_dir("tool_commands_pcx_failures");
  const Bytes photo = read_file_bytes(testdata_path("pcx") / "photo320x200_pil.pcx");
  write_file_bytes(dir / "cut.pcx", Bytes(photo.begin(), photo.begin() + 74000));
  write_file_bytes(dir / "text.pcx", {'h', 'e', 'l', 'l', 'o'});
  write_file_bytes(dir / "short.pcx", {10, 5, 1, 8, 0, 0});
  const struct {
    const char* name;
    const char* err;  // a part of standard error
    std::uintmax_t written;
  } cases[] = {
      {"missing.pcx", "missing.pcx: cannot be read", 0},
      {"text.pcx", "not a picture (bytes 0-3 must be 10, 5, 1, 8)", 0},
      {"short.pcx", "shorter than its 128-byte header", 0},
      {"cut.pcx", "cut short: decoded as far as the data goes", 64000 * 4},
  };
  for (const auto& c : cases) {
    const std::filesystem::path out = dir / (std::string(c.name) + ".raw");
    const ToolRun r = run_tool("pcx-decode " + (dir / c.name).string() + " " + out.string());
    EXPECT_EQ(r.code, 1) << c.name;
    EXPECT_TRUE(contains(r.err, c.err)) << c.name << "\n" << r.err;
    const std::uintmax_t written = std::filesystem::exists(out) ? std::filesystem::file_size(out) : 0;
    EXPECT_EQ(written, c.written) << c.name;
  }
  const ToolRun unwritable = run_tool("pcx-decode " + (dir / "cut.pcx").string() + " /nonexistent/out.raw");
  EXPECT_EQ(unwritable.code, 1);
  EXPECT_TRUE(starts_with(unwritable.err, "quindle-tool: cannot create /nonexistent/out.raw: ")) << unwritable.err;
}

// Two pictures packed and listed clean; then the trailer changed to undercount and to
// overcount the records, a sequence cut in half, and an empty file: each a problem, exit 1.
TEST(ToolCommands, SeqPackThenSeqInfoNamesEachProblem) {
  const std::filesystem::path show = sample_show("seq");
  const std::filesystem::path dir = show.parent_path();
  const std::string seq = (dir / "two.seq").string();
  const ToolRun pack =
      run_tool("seq-pack " + seq + " " + (show / "title.pcx").string() + " " + (show / "thanks.pcx").string());
  EXPECT_EQ(pack.code, 0);
  EXPECT_EQ(pack.out, "2 frames, " + std::to_string(std::filesystem::file_size(seq)) + " bytes\n");
  const ToolRun info = run_tool("seq-info " + seq);
  EXPECT_EQ(info.code, 0);
  EXPECT_TRUE(starts_with(info.out, "frame count: 2\nframe 0: offset 4, ")) << info.out;
  EXPECT_TRUE(contains(info.out, "\nframe 1: offset ")) << info.out;
  EXPECT_TRUE(contains(info.out, "320 x 200\n0 problem(s)\n")) << info.out;

  Bytes under = read_file_bytes(seq);
  under[under.size() - 4] = 1;
  Bytes over = read_file_bytes(seq);
  over[over.size() - 4] = 9;
  Bytes half = read_file_bytes(show / "rings.seq");
  half.resize(half.size() / 2);
  const struct {
    const char* name;
    Bytes bytes;
    const char* problem;
  } damaged[] = {
      {"under.seq", under, "the trailer says 1 frames but the file holds 2 whole records"},
      {"over.seq", over, "the trailer promises 9 frames but the file holds 2 whole records"},
      {"half.seq", half, "is cut short"},
      {"empty.seq", {}, "the file is empty"},
  };
  for (const auto& d : damaged) {
    write_file_bytes(dir / d.name, d.bytes);
    const ToolRun r = run_tool("seq-info " + (dir / d.name).string());
    EXPECT_EQ(r.code, 1) << d.name;
    EXPECT_TRUE(contains(r.out, d.problem)) << d.name << "\n" << r.out;
  }
}

TEST(ToolCommands, SeqPackRefusesANonPictureAndWritesNothing) {
  const std::filesystem::path dir = scratch_dir("tool_commands_seq_refuse");
  write_file_bytes(dir / "notes.txt", {'h', 'i'});
  const ToolRun r = run_tool("seq-pack " + (dir / "out.seq").string() + " " + (dir / "notes.txt").string());
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "notes.txt is not a picture")) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out.seq"));
}
