// commands.h: the subcommands of quindle-tool. Each takes its parsed command line (see
// args.h; main.cpp's table says which operands and options each accepts) and returns the
// process exit code; each lives in its own cmd_*.cpp.
#pragma once

#include "tools/args.h"

int cmd_script_check(const ToolArgs& args);
int cmd_make_show(const ToolArgs& args);
int cmd_pcx_decode(const ToolArgs& args);
int cmd_seq_pack(const ToolArgs& args);
int cmd_seq_info(const ToolArgs& args);
int cmd_scene_info(const ToolArgs& args);
int cmd_scene_eval(const ToolArgs& args);
int cmd_scene_convert(const ToolArgs& args);
int cmd_tune_info(const ToolArgs& args);
