// script-check end to end: the JSON record fields, problems with line numbers, exit codes.
#include <gtest/gtest.h>

#include "testdata.h"
#include "tool_runner.h"

namespace {

std::string write_script(const std::string& name, const std::string& text) {
  const auto path = scratch_dir("script_check_" + name) / "script.txt";
  write_file_bytes(path, {text.begin(), text.end()});
  return path.string();
}

}  // namespace

// CR LF line ends, hexadecimal numbers with and without 0x, a missing tune as a warning.
TEST(ScriptCheck, JsonReproducesTheRecordFields) {
  const ToolRun r = run_tool("script-check --json " + write_script("fields", "tune song.mod\r\nquitpat 1A\r\npattern 10 12\r\n"
                                                                             "{\r\nradialblur 10 11 2 0x20 - 300 -5 x\r\n}\r\n"));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "{\"tune\":\"song.mod\",\"quit_order\":26,\"blocks\":[{\"first_order\":16,\"last_order\":18,\"line\":3,"
            "\"layers\":[{\"type\":8,\"keyword\":\"radialblur\",\"start_order\":16,\"end_order\":17,\"start_row\":2,"
            "\"end_row\":32,\"params\":[\"-\",\"300\",\"-5\",\"x\"],\"line\":5}]}],"
            "\"problems\":[{\"line\":0,\"severity\":\"warning\",\"message\":\"the tune \\\"song.mod\\\" does not exist: "
            "the show runs silently\"}],\"notes\":[],\"would_start\":true}\n");
}

TEST(ScriptCheck, ProblemsWithLineNumbersAndLoadFailuresExitWithOne) {
  const std::string path = write_script("problems", "tune song.mod\npattern 2 3\n{\nsparkle 2 3 0 0 a b c d\n"
                                                    "bitmap 2 3 0 0 missing.pcx no no x\nradialblur 3 3 8 8 - 1 1 x\n"
                                                    "radialblur 5 6 0 0 - 1 1 x\nradialblur 1 3 0 0 - 1 1 x\n}\n");
  const ToolRun r = run_tool("script-check " + path);
  EXPECT_EQ(r.code, 1);
  for (const std::string problem : {":4: error: unknown layer keyword \"sparkle\"",
                                    ":5: error: bitmap: data file \"missing.pcx\" does not exist",
                                    ":6: warning: the window never opens: it closes before or where it opens",
                                    ":7: warning: the window never opens: it lies outside its block's orders",
                                    ":8: warning: the window reaches beyond its block's orders"})
    EXPECT_NE(r.out.find(path + problem), std::string::npos) << problem << "\n" << r.out;
  EXPECT_NE(r.out.find("the show would not start"), std::string::npos);
  // A "pattern" line not followed by "{" fails the load at its line; so does a missing file.
  const ToolRun brace = run_tool("script-check --json " + write_script("brace", "pattern 0 1\n// no brace\n{\n}\n"));
  EXPECT_EQ(brace.code, 1);
  EXPECT_NE(brace.out.find("{\"line\":1,\"severity\":\"error\""), std::string::npos) << brace.out;
  EXPECT_EQ(run_tool("script-check /nonexistent/script.txt").code, 1);
}

// Names written for a case-insensitive file system with '\' between folders are found, and
// each is noted so the author can fix the script.
TEST(ScriptCheck, NamesFoundInAnotherCaseAreNoted) {
  const auto dir = scratch_dir("script_check_case");
  std::filesystem::create_directories(dir / "data");
  std::filesystem::copy_file(testdata_path("pcx/photo320x200_pil.pcx"), dir / "data" / "Title.pcx");
  const std::string text = "tune TUNE.MOD\r\npattern 0 1\r\n{\r\nbitmap 0 1 0 0 DATA\\TITLE.PCX no no -\r\n}\r\n";
  write_file_bytes(dir / "Script.txt", {text.begin(), text.end()});
  const std::string path = (dir / "script.txt").string();
  const ToolRun r = run_tool("script-check " + path);
  EXPECT_EQ(r.code, 0) << r.out;
  const std::string notes[] = {
      path + ": note: " + path + " is " + (dir / "Script.txt").string(),
      path + ": note: DATA\\TITLE.PCX is data/Title.pcx",
  };
  for (const std::string& note : notes) EXPECT_NE(r.out.find(note), std::string::npos) << note << "\n" << r.out;
}
