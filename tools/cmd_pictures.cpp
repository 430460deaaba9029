// cmd_pictures.cpp: placeholder for the picture and sequence commands.
#include <cstdio>

#include "tools/commands.h"

int cmd_pcx_decode(int, char**) { std::fprintf(stderr, "quindle-tool: pcx-decode is not available yet\n"); return 2; }
int cmd_seq_pack(int, char**) { std::fprintf(stderr, "quindle-tool: seq-pack is not available yet\n"); return 2; }
int cmd_seq_info(int, char**) { std::fprintf(stderr, "quindle-tool: seq-info is not available yet\n"); return 2; }
