// script-check end to end: the JSON record fields, problems with line numbers, exit codes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

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
            "\"problems\":[{\"line\":1,\"severity\":\"warning\",\"message\":\"the tune \\\"song.mod\\\" does not exist: "
            "the show shows a message box, then runs without music at order 00 row 00, and only Escape ends it\"}],"
            "\"notes\":[],\"would_start\":true}\n");
}

namespace {

// The problem lines of script-check's text output, each without the script's path.
std::vector<std::string> problem_lines(const std::string& out, const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(path, 0) == 0) lines.push_back(line.substr(path.size()));
  return lines;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Names and sizes of the files in dir, to show that nothing was written there.
std::vector<std::string> listing(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.is_regular_file() && entry.path().filename() != "script.txt")
      names.push_back(entry.path().filename().string() + " " + std::to_string(entry.file_size()));
  std::sort(names.begin(), names.end());
  return names;
}

// The largest resident size, in KiB, that any finished child process of the test reached.
long largest_child_kib() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss;
}

}  // namespace

// The sample show from make-show, then variants of its script: each with every problem line
// it must produce, and exit code 1 exactly when one of them is an error. The tune plays orders
// 00..0C, skips 08 (a jump), and goes on at 02. Beside the sample's files lie a folder, a PCX
// of three planes, a cut PCX, a cut tune and a 100 MB file of nothing: none hangs the check, is written,
// or makes a check grow by more than a picture's worth over the check of the sample.
TEST(ScriptCheck, VariantsOfTheSampleShow) {
  const std::filesystem::path dir = scratch_dir("script_check_variants") / "show";
  ASSERT_EQ(run_tool("make-show " + dir.string()).code, 0);
  std::filesystem::create_directory(dir / "songs");
  std::vector<unsigned char> title = read_file_bytes(dir / "title.pcx");
  ASSERT_GT(title.size(), 3000u);
  title[65] = 3;
  write_file_bytes(dir / "planes3.pcx", title);
  title[65] = 1;
  title.resize(3000);
  write_file_bytes(dir / "cut.pcx", title);
  std::vector<unsigned char> tune = read_file_bytes(dir / "tune.mod");
  tune.resize(tune.size() - 100);
  write_file_bytes(dir / "cut.mod", tune);
  write_file_bytes(dir / "huge.pcx", {});
  std::filesystem::resize_file(dir / "huge.pcx", 100 << 20);
  const std::vector<std::string> files_before = listing(dir);
  const std::filesystem::path script_path = dir / "script.txt";
  const std::vector<unsigned char> base_bytes = read_file_bytes(script_path);
  const std::string base(base_bytes.begin(), base_bytes.end());
  struct Variant {
    const char* name;
    std::string from;
    std::string to;
    std::vector<std::string> problems;
  };
  const Variant variants[] = {
      {"the sample as written", "", "", {}},
      {"quit order never reached",
       "quitpat 0C",
       "quitpat 0D",
       {":26: warning: the tune never reaches the quit order 0D (the last order the tune plays is 0C; after 67 s it "
        "goes on at order 02): nothing but Escape ends the show"}},
      {"block past the last played order",
       "pattern 0B 0B",
       "pattern 40 41",
       {":67: warning: the block starts at order 40, but the last order the tune plays is 0C: its layers never show",
        ":69: warning: the window never opens: it lies outside its block's orders",
        ":70: warning: the window never opens: it lies outside its block's orders"}},
      {"window past the last played order",
       "bitmap     0B 0B 08 40",
       "bitmap     0B 30 08 40",
       {":70: warning: the window reaches beyond its block's orders and is cut there"}},
      {"window only in the skipped order",
       "sequence   7 7 00 20",
       "sequence   8 8 00 20",
       {":54: warning: the window never opens: it lies outside its block's orders"}},
      {"block only over the skipped order",
       "pattern 7 7",
       "pattern 8 8",
       {":52: warning: the tune never plays orders 08..08: the block's layers never show",
        ":54: warning: the window never opens: it lies outside its block's orders",
        ":55: warning: the window never opens: it lies outside its block's orders"}},
      {"rows past the pattern's rows",
       "bitmap     0B 0B 08 40",
       "bitmap     0B 0B 48 50",
       {":70: warning: row 48 is past the 40 rows of order 0B's pattern: the window opens only at order 0C row 00",
        ":70: warning: row 50 is past the 40 rows of order 0B's pattern: the window stays open to the order's end"}},
      {"shading word misspelt",
       "scene.3ds Camera01 25 wireframe",
       "scene.3ds Camera01 25 wirefame",
       {":39: warning: 3d_mesh: 'wirefame' is neither wireframe nor flatshade: the scene is drawn as wireframe"}},
      {"shading word with a tail",
       "scene.3ds Camera01 25 wireframe",
       "scene.3ds Camera01 25 wireframes",
       {":39: note: 3d_mesh: the shading 'wireframes' is read as wireframe"}},
      {"camera the scene lacks",
       "scene.3ds Camera01 25 wireframe",
       "scene.3ds Camera02 25 wireframe",
       {":39: warning: 3d_mesh: the scene has no camera named 'Camera02' (its cameras: Camera01) nor one named "
        "rolli: the layer draws nothing"}},
      {"fade that never starts",
       "title.pcx no fade2",
       "title.pcx no fade9",
       {":33: warning: bitmap: 'fade9' is not fade1..fade4: the fade never starts, so the picture never appears"}},
      {"drawing mode misspelt",
       "title.pcx no fade2",
       "title.pcx addtive fade2",
       {":33: warning: bitmap: 'addtive' is neither no nor additive: the picture is not drawn"}},
      {"blur strength not a number",
       "- 9000 10 -",
       "- abc 10 -",
       {":40: warning: radialblur: 'abc' is not a whole number: the strength is read as 0"}},
      {"grid word with a tail",
       "texture.pcx plasma 10",
       "texture.pcx plasmaa 10",
       {":31: note: ipol_mesh: the grid 'plasmaa' is read as plasma"}},
      {"grid word unknown",
       "texture.pcx plasma 10",
       "texture.pcx plsma 10",
       {":31: warning: ipol_mesh: 'plsma' is neither plasma nor flower: the grid stays as the last warp layer left it"}},
      {"a picture named as the tune",
       "tune tune.mod",
       "tune thanks.pcx",
       {":25: warning: the tune \"thanks.pcx\" cannot be played (Unknown file format): the show shows a message box, "
        "then runs without music at order 00 row 00, and only Escape ends it"}},
      {"a cut tune plays with a warning",
       "tune tune.mod",
       "tune cut.mod",
       {":25: warning: the tune \"cut.mod\" is damaged: it is cut short, 100 bytes are missing (the file has 102704 "
        "bytes): what is there plays; the parts past the cut are silent"}},
      {"a folder named as the tune",
       "tune tune.mod",
       "tune songs",
       {":25: warning: the tune \"songs\" is a folder, not a tune: the show shows a message box, then runs without "
        "music at order 00 row 00, and only Escape ends it"}},
      {"a line that is no keyword, outside every block",
       "pattern 9 0A",
       "patern 9 0A",
       {":59: warning: 'patern' is no keyword (tune, quitpat, pattern) and the line stands in no block: the show "
        "skips it, and lines 60..64 after it, so their layers never show"}},
      {"a layer keyword read by its first letters",
       "bitmap     0B 0B 08 40",
       "bitmaps    0B 0B 08 40",
       {":70: note: bitmap: 'bitmaps' is read as the keyword bitmap"}},
      {"a header keyword read by its first letters",
       "quitpat 0C",
       "quitpats 0C",
       {":26: note: 'quitpats' is read as the keyword quitpat"}},
      {"a fourth word taken from the line before",
       "scene.3ds no 20 flatshade",
       "scene.3ds no 20",
       {":41: note: 3d_mesh: the line gives 3 of its 4 words: the fourth is '-', taken from the layer line before",
        ":41: warning: 3d_mesh: '-' is neither wireframe nor flatshade: the scene is drawn as wireframe"}},
      {"a layer keyword the show does not know",
       "radialblur 6 6 10 40",
       "sparkle    6 6 10 40",
       {":48: error: unknown layer keyword \"sparkle\""}},
      {"a window that closes where it opens",
       "radialblur 6 6 10 40",
       "radialblur 6 6 40 40",
       {":48: warning: the window never opens: it closes before or where it opens"}},
      {"a pattern line without its brace",
       "pattern 0B 0B",
       "pattern 0B 0B\n// no brace",
       {":67: error: a \"pattern\" line must be followed by a line that begins with \"{\""}},
      {"a missing picture",
       "title.pcx no fade2",
       "missing.pcx no fade2",
       {":33: error: bitmap: data file \"missing.pcx\" does not exist"}},
      {"a PCX of three planes",
       "title.pcx no fade2",
       "planes3.pcx no fade2",
       {":33: error: bitmap: \"planes3.pcx\" is a PCX of 8 bits per pixel in 3 planes (24-bit colour); the show reads "
        "PCX files of 8 bits per pixel in one plane with a 256-colour palette; quindle-tool picture-convert IN "
        "OUT.pcx makes a picture the show reads"}},
      {"a picture of the wrong size",
       "texture.pcx plasma 10",
       "title.pcx plasma 10",
       {":31: error: ipol_mesh: \"title.pcx\" is 320x200 pixels; ipol_mesh layers need 256x256"}},
      {"a cut picture loads with a warning",
       "thanks.pcx no fade3",
       "cut.pcx no fade3",
       {":70: warning: bitmap: \"cut.pcx\" is cut short: decoded as far as the data goes, the rest black"}},
      {"a 100 MB file named as a picture",
       "title.pcx no fade2",
       "huge.pcx no fade2",
       {":33: error: bitmap: \"huge.pcx\" is larger than 64 MiB, more than any picture needs"}},
      {"a folder named as a picture",
       "title.pcx no fade2",
       "songs no fade2",
       {":33: error: bitmap: data file \"songs\" is not a file (a directory?)"}},
      {"a picture named as the scene",
       "scene.3ds Camera01 25 wireframe",
       "title.pcx Camera01 25 wireframe",
       {":39: error: 3d_mesh: \"title.pcx\" cannot be loaded: scene code 4, not a supported file or version"}},
      {"a picture named as the video",
       "video.avi - - -",
       "title.pcx - - -",
       {":55: error: avivideo: \"title.pcx\" cannot be played: not an AVI file (it does not begin with RIFF ... AVI); "
        "save the video as AVI"}},
  };
  long sample_kib = 0;
  for (const Variant& v : variants) {
    const std::string text = v.from.empty() ? base : replaced(base, v.from, v.to);
    write_file_bytes(script_path, {text.begin(), text.end()});
    const auto started = std::chrono::steady_clock::now();
    const ToolRun r = run_tool("script-check " + script_path.string());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << v.name;
    const std::vector<std::string> lines = problem_lines(r.out, script_path.string());
    EXPECT_EQ(lines, v.problems) << v.name << "\n" << r.out;
    const auto is_error = [](const std::string& line) { return line.find(": error: ") != std::string::npos; };
    const bool error = std::any_of(lines.begin(), lines.end(), is_error);
    EXPECT_EQ(r.code, error ? 1 : 0) << v.name;
    if (v.from.empty()) sample_kib = largest_child_kib();
  }
  EXPECT_LT(largest_child_kib(), sample_kib + 16 * 1024);
  EXPECT_EQ(listing(dir), files_before);
  EXPECT_EQ(run_tool("script-check " + (dir / "none.txt").string()).code, 1);
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
