// main.cpp: quindle-tool, the inspection and authoring commands.
#include <cstdio>
#include <cstring>

#include "tools/commands.h"

namespace {

const ToolOption json_option = {"--json", nullptr, "print one JSON object instead of text"};

const ToolCommand commands[] = {
    {"script-check", "[FILE]", 0, 1, {json_option}, "parse a script as the show does and list its problems",
     "Reads FILE (script.txt in the current folder when none is given) exactly as the show does,\n"
     "loads every file it names from the script's folder, and lists each problem with its line.\n"
     "Exits 0 when the show would start, 1 when it would not. Writes nothing.",
     cmd_script_check},
    {"make-show", "DIR", 1, 1, {{"--force", nullptr, "write even if DIR already holds a script.txt"}},
     "write the bundled sample show into DIR",
     "Writes the sample show (script.txt, its tune, pictures, video and scene) into DIR, creating\n"
     "the folder when needed. A folder that already holds a script.txt is left alone unless\n"
     "--force is given; the sample's files then replace those of the same name.",
     cmd_make_show},
    {"pcx-decode", "FILE OUT", 2, 2, {}, "decode a picture to raw 0x00RRGGBB pixels",
     "Decodes the picture FILE as the show does and writes its pixels to OUT as little-endian\n"
     "0x00RRGGBB words, width x height x 4 bytes. Prints the size.",
     cmd_pcx_decode},
    {"seq-pack", "OUT PICTURES...", 2, -1, {}, "pack pictures into a sequence file",
     "Packs the PICTURES, in the order given, into the sequence file OUT.", cmd_seq_pack},
    {"seq-info", "FILE", 1, 1, {}, "list a sequence file's records and problems",
     "Lists each record of the sequence file FILE as the sequence layer finds it, and what\n"
     "would not show. Exits 1 when there are problems.",
     cmd_seq_info},
    {"scene-info", "FILE", 1, 1, {json_option}, "objects, nodes and tracks of a scene file",
     "Loads the scene file FILE (.3ds or the native format) as the show does and lists its\n"
     "objects, animation nodes and tracks.",
     cmd_scene_info},
    {"scene-eval",
     "FILE",
     1,
     1,
     {json_option,
      {"--frames", "LIST", "the frames to evaluate, separated by commas (0,12.5,100)", true},
      {"--camera", "NAME", "view through the camera NAME"}},
     "evaluate a scene at frames",
     "Loads the scene file FILE and prints its state at each frame of --frames.",
     cmd_scene_eval},
    {"scene-convert", "IN OUT", 2, 2, {}, "convert a scene file to the native format",
     "Loads the scene file IN and writes it to OUT in the native format.", cmd_scene_convert},
    {"tune-info", "FILE", 1, 1, {json_option}, "the order table of a tune as the show plays it",
     "Reads the tune FILE through the sound library (no sound is played) and prints each order:\n"
     "its pattern and rows (hexadecimal, as a script writes them), and the song time at which\n"
     "the show first reaches it, or \"not played\" for an order the song never reaches (skip and\n"
     "end markers, position jumps and pattern breaks followed). Also the length of one pass and\n"
     "where the song goes on after its end.",
     cmd_tune_info},
};

void print_usage(std::FILE* out) {
  std::fprintf(out, "usage: quindle-tool COMMAND [ARGS]\n\ncommands:\n");
  for (const ToolCommand& c : commands) std::fprintf(out, "  %-14s %s\n", c.name, c.summary);
  std::fprintf(out, "\nquindle-tool COMMAND --help describes one command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    print_usage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("quindle-tool %s\n", QUINDLE_VERSION);
    return 0;
  }
  for (const ToolCommand& c : commands) {
    if (std::strcmp(argv[1], c.name)) continue;
    ToolArgs args;
    const int parsed = args_parse(c, argc - 2, argv + 2, &args);
    return parsed >= 0 ? parsed : c.run(args);
  }
  std::fprintf(stderr, "quindle-tool: unknown command '%s'\n", argv[1]);
  print_usage(stderr);
  return 2;
}
