// cmd_script_check.cpp: script-check reads a script exactly as the show does, loads every
// layer's data as start-up would, and lists what it found and what would go wrong.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/data_files.h"
#include "driver/layers.h"
#include "driver/script.h"
#include "platform/video_ffmpeg.h"
#include "tools/commands.h"
#include "tools/json.h"

namespace {

struct Problem {
  int line = 0;
  bool error = false;  // the show would not start
  std::string message;
};

std::string in_quotes(const std::string& s) { return "\"" + s + "\""; }

bool layer_needs_file(const Layer& layer) {
  return layer.type != LAYER_RADIALBLUR && layer.type != LAYER_UNKNOWN;
}

// A window that closes at row 0 of the order after the block's last ends with the block.
bool reaches_past(const Layer& layer, const PatternBlock& block) {
  if (layer.end_order <= block.last_order) return false;
  return !(std::int64_t(layer.end_order) == std::int64_t(block.last_order) + 1 && layer.end_row <= 0);
}

// Problems that need no data file: windows, block ranges, keywords.
void check_windows(const Script& script, std::vector<Problem>& problems) {
  for (const PatternBlock& block : script.blocks) {
    if (block.unclosed)
      problems.push_back({block.line, false, "the block's \"}\" is missing: the end of the file closes it"});
    if (block.first_order > block.last_order)
      problems.push_back({block.line, false, "the block is never visited: its first order lies after its last"});
    for (const Layer& layer : block.layers) {
      if (layer.type == LAYER_UNKNOWN) {
        std::string message = "unknown layer keyword " + in_quotes(layer.keyword);
        if (layer.keyword.rfind("pattern", 0) == 0) message += " (a \"pattern\" line inside a block)";
        problems.push_back({layer.line, true, message});
        continue;
      }
      const bool empty_window = layer.start_order > layer.end_order ||
                                (layer.start_order == layer.end_order && layer.start_row >= layer.end_row);
      const bool outside_block = layer.end_order < block.first_order || layer.start_order > block.last_order ||
                                 (layer.end_order == block.first_order && layer.end_row <= 0);
      if (empty_window)
        problems.push_back({layer.line, false, "the window never opens: it closes before or where it opens"});
      else if (outside_block || block.first_order > block.last_order)
        problems.push_back({layer.line, false, "the window never opens: it lies outside its block's orders"});
      else if (layer.start_order < block.first_order || reaches_past(layer, block))
        problems.push_back({layer.line, false, "the window reaches beyond its block's orders and is cut there"});
    }
  }
  if (script.tune.empty())
    problems.push_back({0, false, "no \"tune\" line: the show plays without music and only Escape ends it"});
  if (script.quit_order <= 0)
    problems.push_back({0, false, "the quit order is 0: the show ends before its first frame"});
}

// Runs f with standard output sent to /dev/null, so that loaders' own output cannot mix
// with the report.
template <typename F>
void quietly(F f) {
  std::fflush(stdout);
  int saved = dup(STDOUT_FILENO);
  int null_fd = open("/dev/null", O_WRONLY);
  if (saved >= 0 && null_fd >= 0) dup2(null_fd, STDOUT_FILENO);
  f();
  std::fflush(stdout);
  if (saved >= 0) {
    dup2(saved, STDOUT_FILENO);
    close(saved);
  }
  if (null_fd >= 0) close(null_fd);
}

// Loads every layer's data as start-up does, from the script's directory.
void check_resources(Script& script, DataFiles& files, std::vector<Problem>& problems) {
  const std::string tune = data_file_path(files, script.tune);
  if (!script.tune.empty() && !std::filesystem::is_regular_file(tune))
    problems.push_back({0, false, "the tune " + in_quotes(script.tune) + " does not exist: the show runs silently"});
  std::unique_ptr<VideoLibrary> video = make_video_library();
  video->init();
  for (PatternBlock& block : script.blocks)
    for (Layer& layer : block.layers) {
      if (!layer_needs_file(layer)) continue;
      const std::string type = layer_type_name(layer.type);
      const std::string file = data_file_path(files, layer.param1);
      if (!std::filesystem::is_regular_file(file)) {
        problems.push_back({layer.line, true, type + ": data file " + in_quotes(layer.param1) + " does not exist"});
        continue;
      }
      bool loaded = false;
      // The layer loads from the file as found; the record keeps the name as written.
      const std::string written = layer.param1;
      layer.param1 = file;
      quietly([&] { loaded = load_layer_resource(layer, *video); });
      layer.param1 = written;
      if (!loaded) {
        std::string why = layer.type == LAYER_BITMAP      ? " (a 320x200 picture is needed)"
                          : layer.type == LAYER_IPOL_MESH ? " (a 256x256 picture is needed)"
                                                          : "";
        problems.push_back({layer.line, true, type + ": " + in_quotes(layer.param1) + " cannot be loaded" + why});
      }
    }
}

// Each name found other than as written ("DATA\TITLE.PCX is data/Title.pcx"), then each choice
// among several matches and each folder that could not be read.
std::vector<std::string> file_notes(const DataFiles& files) {
  std::vector<std::string> notes;
  for (const DataFileMatch& match : files.matches) notes.push_back(match.written + " is " + match.found);
  for (const DataFileMatch& match : files.matches)
    if (const std::string line = data_file_ambiguity(match); !line.empty()) notes.push_back(line);
  for (const std::string& problem : files.problems) notes.push_back(problem);
  return notes;
}

void print_json(const std::optional<Script>& script, const std::vector<Problem>& problems,
                const std::vector<std::string>& notes, bool would_start) {
  JsonWriter json(stdout);
  json.begin_object();
  if (script) {
    json.key("tune");
    if (script->tune.empty()) json.null();
    else json.value(script->tune);
    json.key("quit_order").value(script->quit_order);
    json.key("blocks").begin_array();
    for (const PatternBlock& block : script->blocks) {
      json.begin_object();
      json.key("first_order").value(block.first_order);
      json.key("last_order").value(block.last_order);
      json.key("line").value(block.line);
      json.key("layers").begin_array();
      for (const Layer& layer : block.layers) {
        json.begin_object();
        json.key("type").value(layer.type);
        json.key("keyword").value(layer.keyword);
        json.key("start_order").value(layer.start_order);
        json.key("end_order").value(layer.end_order);
        json.key("start_row").value(layer.start_row);
        json.key("end_row").value(layer.end_row);
        json.key("params").begin_array();
        for (const std::string* p : {&layer.param1, &layer.param2, &layer.param3, &layer.param4}) json.value(*p);
        json.end_array();
        json.key("line").value(layer.line);
        json.end_object();
      }
      json.end_array();
      json.end_object();
    }
    json.end_array();
  }
  json.key("problems").begin_array();
  for (const Problem& p : problems) {
    json.begin_object();
    json.key("line").value(p.line);
    json.key("severity").value(p.error ? "error" : "warning");
    json.key("message").value(p.message);
    json.end_object();
  }
  json.end_array();
  json.key("notes").begin_array();
  for (const std::string& note : notes) json.value(note);
  json.end_array();
  json.key("would_start").value(would_start);
  json.end_object();
  json.newline();
}

void print_text(const std::string& path, const std::optional<Script>& script, const std::vector<Problem>& problems,
                const std::vector<std::string>& notes, bool would_start) {
  if (script) {
    std::printf("tune: %s\n", script->tune.empty() ? "(none)" : script->tune.c_str());
    std::printf("quit order: %d (0x%x)\n", script->quit_order, unsigned(script->quit_order));
    for (std::size_t b = 0; b < script->blocks.size(); ++b) {
      const PatternBlock& block = script->blocks[b];
      std::printf("block %zu (line %d): orders %d..%d, %d layer(s)\n", b, block.line, block.first_order,
                  block.last_order, block.layer_count);
      for (const Layer& layer : block.layers)
        std::printf("  line %d: %-10s window %d.%d .. %d.%d  %s %s %s %s\n", layer.line,
                    layer.type ? layer_type_name(layer.type) : layer.keyword.c_str(), layer.start_order,
                    layer.start_row, layer.end_order, layer.end_row, layer.param1.c_str(), layer.param2.c_str(),
                    layer.param3.c_str(), layer.param4.c_str());
    }
  }
  for (const Problem& p : problems) {
    if (p.line) std::printf("%s:%d: %s: %s\n", path.c_str(), p.line, p.error ? "error" : "warning", p.message.c_str());
    else std::printf("%s: %s: %s\n", path.c_str(), p.error ? "error" : "warning", p.message.c_str());
  }
  for (const std::string& note : notes) std::printf("%s: note: %s\n", path.c_str(), note.c_str());
  std::printf("%s\n", would_start ? "the show would start" : "the show would not start");
}

}  // namespace

int cmd_script_check(const ToolArgs& args) {
  const bool json = args_flag(args, "--json");
  const std::string path = args.operands.empty() ? "script.txt" : args.operands[0];

  std::vector<Problem> problems;
  int failed_line = 0;
  DataFiles script_file;
  std::optional<Script> script = load_script(data_file_path(script_file, path), &failed_line);
  std::vector<std::string> notes = file_notes(script_file);
  if (!script) {
    if (failed_line)
      problems.push_back({failed_line, true, "a \"pattern\" line must be followed by a line that begins with \"{\""});
    else
      problems.push_back({0, true, "cannot open the script"});
  } else {
    check_windows(*script, problems);
    const std::filesystem::path dir = std::filesystem::absolute(path).parent_path();
    const std::filesystem::path here = std::filesystem::current_path();
    std::error_code error;
    std::filesystem::current_path(dir, error);
    DataFiles files;  // names in the script are found from the script's folder
    check_resources(*script, files, problems);
    std::filesystem::current_path(here, error);
    for (const std::string& note : file_notes(files)) notes.push_back(note);
  }

  bool would_start = script.has_value();
  for (const Problem& p : problems) would_start = would_start && !p.error;
  if (json) print_json(script, problems, notes, would_start);
  else print_text(path, script, problems, notes, would_start);
  return would_start ? 0 : 1;
}
