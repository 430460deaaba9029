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
    "//\r\n"
    "// Lines starting with // are comments. Keywords are compared by their first letters,\r\n"
    "// case-sensitive; orders and rows are hexadecimal, as a tracker shows them.\r\n"
    "//\r\n"
    "// tune FILE           the tracker tune that times the show\r\n"
    "// quitpat N           the show ends when the song reaches order N\r\n"
    "// pattern FIRST LAST  then a line with {: a block of layers drawn while the song's order\r\n"
    "//                     lies in FIRST..LAST; the block ends at a line with }\r\n"
    "//\r\n"
    "// Layer lines: KEYWORD START_ORDER END_ORDER START_ROW END_ROW WORD1 WORD2 WORD3 WORD4\r\n"
    "// A layer draws from (START_ORDER, START_ROW) up to, not including, (END_ORDER, END_ROW).\r\n"
    "// Layers draw in the order written, later ones over earlier ones. Every layer takes four\r\n"
    "// words; write - for a word the layer does not use.\r\n"
    "//\r\n"
    "//   3d_mesh    FILE.3DS  CAMERA|no  FRAMES_PER_SECOND  wireframe|flatshade\r\n"
    "//   bitmap     FILE.PCX  no|additive  fade1..fade4|no  -     320x200; black is see-through\r\n"
    "//   ipol_mesh  FILE.PCX  plasma|flower  RATE  -            256x256 texture, warped\r\n"
    "//   radialblur -         STRENGTH  RATE  -                 smears the frame outward\r\n"
    "//   avivideo   FILE.AVI  -  -  -                           centred, looping\r\n"
    "//   sequence   FILE.SEQ  no|additive  FRAMES_PER_SECOND  -\r\n"
    "//\r\n"
    "// quindle-tool script-check checks a script and its files before you play it.\r\n"
    "\r\n"
    "tune tune.mod\r\n"
    "quitpat 0C\r\n"
    "\r\n"
    "// Intro: a plasma-warped texture, the title fading in, rings from the second order.\r\n"
    "pattern 0 1\r\n"
    "{\r\n"
    "ipol_mesh  0 1 00 20  texture.pcx plasma 10 -\r\n"
    "sequence   1 1 00 20  rings.seq additive 12 -\r\n"
    "bitmap     0 1 08 20  title.pcx no fade2 -\r\n"
    "}\r\n"
    "\r\n"
    "// Verse: the keyframed scene, first in wireframe smeared by a radial blur, then flat-shaded.\r\n"
    "pattern 2 4\r\n"
    "{\r\n"
    "3d_mesh    2 3 00 00  scene.3ds Camera01 25 wireframe\r\n"
    "radialblur 2 3 00 00  - 9000 10 -\r\n"
    "3d_mesh    3 5 00 00  scene.3ds no 20 flatshade\r\n"
    "}\r\n"
    "\r\n"
    "// Bridge and chorus: the flower grid, smeared by a pulsing radial blur.\r\n"
    "pattern 5 6\r\n"
    "{\r\n"
    "ipol_mesh  5 6 00 40  texture.pcx flower 10 -\r\n"
    "radialblur 6 6 10 40  - 20000 10 -\r\n"
    "}\r\n"
    "\r\n"
    "// Chorus 2: the video over rings.\r\n"
    "pattern 7 7\r\n"
    "{\r\n"
    "sequence   7 7 00 20  rings.seq no 16 -\r\n"
    "avivideo   7 7 00 20  video.avi - - -\r\n"
    "}\r\n"
    "\r\n"
    "// Order 8 is never played: the tune jumps from order 7 to order 9.\r\n"
    "pattern 9 0A\r\n"
    "{\r\n"
    "3d_mesh    9 0B 00 00  scene.3ds Camera01 25 flatshade\r\n"
    "sequence   0A 0A 00 40  rings.seq additive 10 -\r\n"
    "radialblur 0A 0A 30 40  - 15000 10 -\r\n"
    "}\r\n"
    "\r\n"
    "// Outro: the plasma again and a closing line that fades in.\r\n"
    "pattern 0B 0B\r\n"
    "{\r\n"
    "ipol_mesh  0B 0B 00 40  texture.pcx plasma 6 -\r\n"
    "bitmap     0B 0B 08 40  thanks.pcx no fade3 -\r\n"
    "}\r\n";

}  // namespace

int cmd_make_show(const ToolArgs& args) {
  const std::filesystem::path dir = args.operands[0];
  std::error_code error;
  if (std::filesystem::exists(dir / "script.txt", error) && !args_flag(args, "--force")) {
    std::fprintf(stderr,
                 "quindle-tool: %s already holds a script.txt; nothing written. Choose another folder, or add "
                 "--force to replace the script and the sample's files there.\n",
                 dir.c_str());
    return 1;
  }
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
