// startup_problems.cpp: start-up failures worded for the author.
#include "driver/startup_problems.h"

#include "driver/music.h"
#include "scene/scene.h"

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

namespace {

std::string size_text(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

std::string script_load_problem(int failed_line) {
  if (failed_line) return "a \"pattern\" line must be followed by a line that begins with \"{\"";
  return "cannot open the script";
}

std::string layer_load_problem(const Layer& layer, const LayerLoad& load) {
  if (load.failure == LAYER_LOAD_UNKNOWN_TYPE) {
    std::string message = "unknown layer keyword " + quoted(layer.keyword);
    if (layer.keyword.rfind("pattern", 0) == 0) message += " (a \"pattern\" line inside a block)";
    return message;
  }
  const std::string type = layer_type_name(layer.type);
  const std::string file = type + ": " + quoted(layer.param1);
  switch (load.failure) {
    case LAYER_LOAD_OK: return "";
    case LAYER_LOAD_MISSING: return type + ": data file " + quoted(layer.param1) + " does not exist";
    case LAYER_LOAD_NOT_A_FILE: return type + ": data file " + quoted(layer.param1) + " is not a file (a directory?)";
    case LAYER_LOAD_SCENE:
      return file + " cannot be loaded: scene code " + std::to_string(load.code) + ", " + scene_code_text(load.code);
    case LAYER_LOAD_PICTURE: return file + " " + load.detail;
    case LAYER_LOAD_PICTURE_SIZE:
      return file + " is " + size_text(load.width, load.height) + " pixels; " + type + " layers need " +
             size_text(load.needed_width, load.needed_height);
    case LAYER_LOAD_VIDEO:
      return file + " cannot be played" + (load.detail.empty() ? std::string() : ": " + load.detail);
    case LAYER_LOAD_SEQUENCE: return file + " cannot be opened or read";
    default: return file + " cannot be loaded";
  }
}

std::string layer_load_warning(const Layer& layer, const LayerLoad& load) {
  if (load.warning.empty()) return "";
  return std::string(layer_type_name(layer.type)) + ": " + quoted(layer.param1) + " " + load.warning;
}

std::string tune_problem(const std::string& tune, int sound_error) {
  if (tune.empty()) return "no \"tune\" line: the show plays without music and only Escape ends it";
  return "the tune " + quoted(tune) + " cannot be played (" + error_text(sound_error) +
         "): the show shows a message box, then runs without music at order 00 row 00, and only Escape ends it";
}

std::string problem_line(const std::string& script_path, int line, const std::string& problem, const char* severity) {
  std::string text = script_path;
  if (line) text += ":" + std::to_string(line);
  return text + ": " + severity + ": " + problem + "\n";
}
