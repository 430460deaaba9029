// args.cpp: the subcommands' shared command-line parser.
#include "tools/args.h"

#include <cstdio>

namespace {

const ToolOption* find_option(const ToolCommand& command, std::string_view name) {
  for (const ToolOption& option : command.options)
    if (name == option.name) return &option;
  return nullptr;
}

int usage_error(const ToolCommand& command, const std::string& problem) {
  std::fprintf(stderr, "quindle-tool %s: %s\n%s\n(quindle-tool %s --help says more)\n", command.name,
               problem.c_str(), args_usage(command).c_str(), command.name);
  return 2;
}

}  // namespace

std::string args_usage(const ToolCommand& command) {
  std::string text = std::string("usage: quindle-tool ") + command.name;
  for (const ToolOption& option : command.options) {
    text += option.required ? " " : " [";
    text += option.name;
    if (option.value) text += std::string(" ") + option.value;
    if (!option.required) text += "]";
  }
  if (*command.operands) text += std::string(" ") + command.operands;
  return text;
}

void args_print_help(const ToolCommand& command, std::FILE* out) {
  std::fprintf(out, "%s\n\n%s\n", args_usage(command).c_str(), command.description);
  if (command.options.empty()) return;
  std::fprintf(out, "\noptions:\n");
  for (const ToolOption& option : command.options) {
    std::string left = option.name;
    if (option.value) left += std::string(" ") + option.value;
    std::fprintf(out, "  %-16s %s\n", left.c_str(), option.help);
  }
}

int args_parse(const ToolCommand& command, int argc, char** argv, ToolArgs* args) {
  *args = ToolArgs{};
  bool options_end = false;
  for (int i = 0; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (options_end || word.empty() || word[0] != '-') {
      args->operands.emplace_back(word);
      continue;
    }
    if (word == "--") {
      options_end = true;
      continue;
    }
    if (word == "--help" || word == "-h") {
      args_print_help(command, stdout);
      return 0;
    }
    const std::size_t equals = word.find('=');
    const std::string_view name = word.substr(0, equals);
    const ToolOption* option = find_option(command, name);
    if (option == nullptr) {
      if (word == "-") return usage_error(command, "\"-\" is not a file name here (write ./- for a file named -)");
      return usage_error(command, "unknown option " + std::string(word));
    }
    std::string value;
    if (option->value == nullptr) {
      if (equals != std::string_view::npos)
        return usage_error(command, std::string(name) + " takes no value");
    } else if (equals != std::string_view::npos) {
      value = std::string(word.substr(equals + 1));
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return usage_error(command, std::string(name) + " needs a value (" + option->value + ")");
    }
    if (args_flag(*args, name))
      return usage_error(command, std::string(name) + " is given twice");
    args->options.emplace_back(std::string(name), value);
  }
  for (const ToolOption& option : command.options)
    if (option.required && !args_flag(*args, option.name))
      return usage_error(command, std::string(option.name) + " is required");
  const int count = int(args->operands.size());
  if (count < command.min_operands)
    return usage_error(command, count == 0 ? "no operands given" : "too few operands");
  if (command.max_operands >= 0 && count > command.max_operands)
    return usage_error(command, "too many operands (\"" + args->operands[std::size_t(command.max_operands)] +
                                    "\" is one more than it takes)");
  return -1;
}

bool args_flag(const ToolArgs& args, std::string_view name) {
  for (const auto& [option, value] : args.options)
    if (option == name) return true;
  return false;
}

const std::string* args_value(const ToolArgs& args, std::string_view name) {
  for (const auto& [option, value] : args.options)
    if (option == name) return &value;
  return nullptr;
}
