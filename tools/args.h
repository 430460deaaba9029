// args.h: the one command-line parser of quindle-tool. Each subcommand is a row of a table:
// its operands, its options and its help text. Words that begin with "-" are options and
// never operands ("--" ends the options, for a file whose name begins with "-"); every
// subcommand answers --help.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct ToolOption {
  const char* name;   // "--json"
  const char* value;  // the value's placeholder ("NAME"), or nullptr for a flag
  const char* help;
  bool required = false;  // the command does not run without it
};

struct ToolArgs {
  std::vector<std::string> operands;
  std::vector<std::pair<std::string, std::string>> options;  // name, value ("" for a flag)
};

struct ToolCommand {
  const char* name;
  const char* operands;  // the operands as the usage line shows them: "FILE OUT"
  int min_operands;
  int max_operands;  // -1: no limit
  std::vector<ToolOption> options;
  const char* summary;      // one line for the command list
  const char* description;  // what --help prints below the usage line
  int (*run)(const ToolArgs& args);
};

// Reads argv (the words after the command's name) into args. Returns -1 when the command
// should run; otherwise the exit status: 0 after printing --help on standard output, 2 after
// printing the problem and the usage line on standard error.
int args_parse(const ToolCommand& command, int argc, char** argv, ToolArgs* args);

bool args_flag(const ToolArgs& args, std::string_view name);
// The option's value, or nullptr when it was not given.
const std::string* args_value(const ToolArgs& args, std::string_view name);

// "usage: quindle-tool NAME [OPTIONS] OPERANDS"
std::string args_usage(const ToolCommand& command);
void args_print_help(const ToolCommand& command, std::FILE* out);
