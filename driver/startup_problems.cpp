// startup_problems.cpp: start-up failures worded for the author.
#include "driver/startup_problems.h"

#include <filesystem>

#include "driver/layers.h"

std::string script_load_problem(int failed_line) {
  if (failed_line) return "a \"pattern\" line must be followed by a line that begins with \"{\"";
  return "cannot open the script";
}

std::string layer_load_problem(const Layer& layer, const std::string& found_path) {
  const std::string name = "\"" + layer.param1 + "\"";
  if (layer.type == LAYER_UNKNOWN) {
    std::string message = "unknown layer keyword \"" + layer.keyword + "\"";
    if (layer.keyword.rfind("pattern", 0) == 0) message += " (a \"pattern\" line inside a block)";
    return message;
  }
  const std::string type = layer_type_name(layer.type);
  std::error_code error;
  if (!std::filesystem::is_regular_file(found_path, error)) return type + ": data file " + name + " does not exist";
  const char* why = layer.type == LAYER_BITMAP      ? " (a 320x200 picture is needed)"
                    : layer.type == LAYER_IPOL_MESH ? " (a 256x256 picture is needed)"
                                                    : "";
  return type + ": " + name + " cannot be loaded" + why;
}

std::string problem_line(const std::string& script_path, int line, const std::string& problem) {
  std::string text = script_path;
  if (line) text += ":" + std::to_string(line);
  return text + ": error: " + problem + "\n";
}
