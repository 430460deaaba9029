// main.cpp: quindle-tool, the inspection and authoring commands.
#include <cstdio>
#include <cstring>

#include "tools/commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

constexpr Command commands[] = {
    {"script-check", cmd_script_check, "[--json] [FILE]    parse a script as the show does and list its problems"},
    {"make-show", cmd_make_show, "DIR                 write the bundled sample show into DIR"},
    {"pcx-decode", cmd_pcx_decode, "FILE OUT           decode a picture to raw 0x00RRGGBB pixels"},
    {"seq-pack", cmd_seq_pack, "OUT PICTURES...      pack pictures into a sequence file"},
    {"seq-info", cmd_seq_info, "FILE                 list a sequence file's records and problems"},
    {"scene-info", cmd_scene_info, "[--json] FILE      objects, nodes and tracks of a scene file"},
    {"scene-eval", cmd_scene_eval, "[--json] FILE --frames LIST [--camera NAME]   evaluate a scene at frames"},
    {"scene-convert", cmd_scene_convert, "IN OUT         convert a scene file to the native format"},
};

void print_usage(std::FILE* out) {
  std::fprintf(out, "usage: quindle-tool COMMAND [ARGS]\n\ncommands:\n");
  for (const Command& c : commands) std::fprintf(out, "  %s %s\n", c.name, c.summary);
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
  for (const Command& c : commands)
    if (!std::strcmp(argv[1], c.name)) return c.run(argc - 2, argv + 2);
  std::fprintf(stderr, "quindle-tool: unknown command '%s'\n", argv[1]);
  print_usage(stderr);
  return 2;
}
