// script-check end to end: the JSON record fields, problems with line numbers, exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "testdata.h"

namespace {

struct ToolRun {
  int code = -1;
  std::string out;
};

ToolRun run_tool(const std::string& args) {
  ToolRun r;
  std::FILE* p = popen((std::string(QUINDLE_TOOL) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::filesystem::path write_script(const std::string& name, const std::string& text) {
  const auto dir = scratch_dir("script_check_" + name);
  write_file_bytes(dir / "script.txt", {text.begin(), text.end()});
  return dir / "script.txt";
}

}  // namespace

TEST(ScriptCheck, JsonReproducesTheRecordFields) {
  const auto path = write_script("fields",
                                 "tune song.mod\r\nquitpat 1A\r\npattern 10 12\r\n{\r\n"
                                 "radialblur 10 11 2 0x20 - 300 -5 x\r\n}\r\n");
  const ToolRun r = run_tool("script-check --json " + path.string());
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "{\"tune\":\"song.mod\",\"quit_order\":26,\"blocks\":[{\"first_order\":16,\"last_order\":18,\"line\":3,"
            "\"layers\":[{\"type\":8,\"keyword\":\"radialblur\",\"start_order\":16,\"end_order\":17,\"start_row\":2,"
            "\"end_row\":32,\"params\":[\"-\",\"300\",\"-5\",\"x\"],\"line\":5}]}],"
            "\"problems\":[{\"line\":0,\"severity\":\"warning\",\"message\":\"the tune \\\"song.mod\\\" does not exist: "
            "the show runs silently\"}],\"would_start\":true}\n");
}

TEST(ScriptCheck, ReportsProblemsWithLineNumbersAndExitsWithOne) {
  const auto path = write_script("problems",
                                 "tune song.mod\n"
                                 "pattern 2 3\n{\n"
                                 "sparkle 2 3 0 0 a b c d\n"
                                 "bitmap 2 3 0 0 missing.pcx no no x\n"
                                 "radialblur 3 3 8 8 - 1 1 x\n"
                                 "radialblur 5 6 0 0 - 1 1 x\n"
                                 "radialblur 1 3 0 0 - 1 1 x\n"
                                 "}\n");
  const ToolRun r = run_tool("script-check " + path.string());
  EXPECT_EQ(r.code, 1);
  const std::string p = path.string();
  EXPECT_NE(r.out.find(p + ":4: error: unknown layer keyword \"sparkle\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(p + ":5: error: bitmap: data file \"missing.pcx\" does not exist"), std::string::npos);
  EXPECT_NE(r.out.find(p + ":6: warning: the window never opens: it closes before or where it opens"),
            std::string::npos);
  EXPECT_NE(r.out.find(p + ":7: warning: the window never opens: it lies outside its block's orders"),
            std::string::npos);
  EXPECT_NE(r.out.find(p + ":8: warning: the window reaches beyond its block's orders"), std::string::npos);
  EXPECT_NE(r.out.find("the show would not start"), std::string::npos);
}

TEST(ScriptCheck, FailingBraceAndMissingFileExitWithOne) {
  const auto path = write_script("brace", "pattern 0 1\n// no brace\n{\n}\n");
  const ToolRun r = run_tool("script-check --json " + path.string());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("{\"line\":1,\"severity\":\"error\""), std::string::npos) << r.out;
  EXPECT_EQ(run_tool("script-check /nonexistent/script.txt").code, 1);
}
