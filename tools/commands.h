// commands.h: the subcommands of quindle-tool. Each takes the arguments after its name and
// returns the process exit code; each lives in its own cmd_*.cpp.
#pragma once

int cmd_script_check(int argc, char** argv);
int cmd_make_show(int argc, char** argv);
int cmd_pcx_decode(int argc, char** argv);
int cmd_seq_pack(int argc, char** argv);
int cmd_seq_info(int argc, char** argv);
int cmd_scene_info(int argc, char** argv);
int cmd_scene_eval(int argc, char** argv);
int cmd_scene_convert(int argc, char** argv);
