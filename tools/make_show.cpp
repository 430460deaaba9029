// make_show.cpp: make-show writes the bundled sample show: script.txt, which teaches the
// script's syntax in its comments, and every data file it names, all generated in code.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/commands.h"
#include "tools/show_assets.h"

namespace {

const char sample_script[] =
    "// quindle sample show.\r\n"
    "// Lines starting with // are comments. Keywords are compared by their first letters,\r\n"
    "// case-sensitive; orders and rows are hexadecimal, as a tracker shows them.\r\n"
    "//\r\n"
    "// tune FILE          the tracker tune that times the show\r\n"
    "// quitpat N          the show ends when the song reaches order N\r\n"
    "// pattern FIRST LAST followed by a line with {: a block of layers drawn while the song's\r\n"
    "//                    order lies in FIRST..LAST; the block ends at a line with }\r\n"
    "//\r\n"
    "// A layer line: KEYWORD START_ORDER END_ORDER START_ROW END_ROW WORD1 WORD2 WORD3 WORD4\r\n"
    "// The layer draws from (START_ORDER, START_ROW) up to, not including, (END_ORDER, END_ROW).\r\n"
    "// Layers draw in the order they are written; later ones draw over earlier ones.\r\n"
    "//\r\n"
    "//   radialblur  -        STRENGTH  RATE      -      smear the frame outward from the centre\r\n"
    "\r\n"
    "tune tune.mod\r\n"
    "quitpat 2\r\n"
    "\r\n"
    "pattern 0 1\r\n"
    "{\r\n"
    "radialblur 0 1 0 40 - 30000 10 -\r\n"
    "}\r\n";

}  // namespace

int cmd_make_show(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: quindle-tool make-show DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[0];
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  std::ofstream script(dir / "script.txt", std::ios::binary);
  script << sample_script;
  script.close();
  if (error || !script || !write_show_tune(dir) || !write_show_pictures(dir) || !write_show_video(dir) ||
      !write_show_scene(dir)) {
    std::fprintf(stderr, "quindle-tool: cannot write the sample show into %s\n", dir.c_str());
    return 1;
  }
  std::printf("sample show written to %s\n", dir.c_str());
  return 0;
}
