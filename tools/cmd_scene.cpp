// cmd_scene.cpp: placeholder for the scene commands.
#include <cstdio>

#include "tools/commands.h"

int cmd_scene_info(int, char**) { std::fprintf(stderr, "quindle-tool: scene-info is not available yet\n"); return 2; }
int cmd_scene_eval(int, char**) { std::fprintf(stderr, "quindle-tool: scene-eval is not available yet\n"); return 2; }
int cmd_scene_convert(int, char**) { std::fprintf(stderr, "quindle-tool: scene-convert is not available yet\n"); return 2; }
