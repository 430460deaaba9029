// cmd_script_check.cpp: script-check reads a script exactly as the show does, loads every
// layer's data as start-up would, and lists what it found and what would go wrong.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/data_files.h"
#include "driver/layers.h"
#include "driver/script.h"
#include "driver/startup_problems.h"
#include "driver/music.h"
#include "platform/tune_table.h"
#include "platform/video_ffmpeg.h"
#include "scene/reader_3ds.h"
#include "tools/check_words.h"
#include "tools/commands.h"
#include "tools/json.h"

namespace {

struct Problem {
  int line = 0;
  bool error = false;  // the show would not start
  std::string message;
  bool note = false;  // worth knowing, nothing goes wrong
};

const char* severity(const Problem& p) { return p.error ? "error" : p.note ? "note" : "warning"; }

void add_word_problems(const Layer& layer, const std::vector<WordProblem>& found, std::vector<Problem>& problems) {
  const std::string where = std::string(layer_type_name(layer.type)) + ": ";
  for (const WordProblem& w : found) problems.push_back({layer.line, false, where + w.message, w.note});
}


// A window that closes at row 0 of the order after the block's last ends with the block.
bool reaches_past(const Layer& layer, const PatternBlock& block) {
  if (layer.end_order <= block.last_order) return false;
  return !(std::int64_t(layer.end_order) == std::int64_t(block.last_order) + 1 && layer.end_row <= 0);
}

// Lines the reader passes over or takes by a keyword's first letters. A line outside the
// blocks that begins with no keyword is skipped, and so is a "{" ... "}" body right after it:
// one warning covers them all.
void check_lines(const Script& script, std::vector<Problem>& problems) {
  for (const ScriptWord& w : script.long_keywords) {
    const char* keyword = w.word.rfind("tune", 0) == 0 ? "tune" : w.word.rfind("quitpat", 0) == 0 ? "quitpat" : "pattern";
    problems.push_back({w.line, false, "'" + w.word + "' is read as the keyword " + keyword, true});
  }
  const std::vector<ScriptWord>& strays = script.stray_lines;
  for (std::size_t i = 0; i < strays.size(); ++i) {
    const ScriptWord& stray = strays[i];
    std::string message = "'" + stray.word + "' is no keyword (tune, quitpat, pattern) and the line stands in no block";
    if (layer_keyword_type(stray.word) != LAYER_UNKNOWN) message = std::string("a ") + layer_type_name(layer_keyword_type(stray.word)) + " line outside every block";
    if (stray.word.rfind("{", 0) == 0) message = "a \"{\" that no \"pattern\" line opens";
    if (stray.word.rfind("}", 0) == 0) message = "a \"}\" that closes no block";
    message += ": the show skips it";
    // A body that follows is skipped with the line (or, for a bare "{", is the line's own).
    std::size_t end = i;
    const std::size_t open = stray.word.rfind("{", 0) == 0 ? i : i + 1;
    if (open < strays.size() && strays[open].word.rfind("{", 0) == 0) {
      end = open;
      while (end + 1 < strays.size() && strays[end].word.rfind("}", 0) != 0) ++end;
      const int first = strays[std::min(i + 1, end)].line, last = strays[end].line;
      if (end > i)
        message += ", and " + (first == last ? "line " + std::to_string(first)
                                             : "lines " + std::to_string(first) + ".." + std::to_string(last)) +
                   " after it, so their layers never show";
    }
    problems.push_back({stray.line, false, message});
    i = end;
  }
}

// Problems that need no data file: windows, block ranges, keywords.
void check_windows(const Script& script, std::vector<Problem>& problems) {
  for (const PatternBlock& block : script.blocks) {
    if (block.unclosed)
      problems.push_back({block.line, false, "the block's \"}\" is missing: the end of the file closes it"});
    if (block.first_order > block.last_order)
      problems.push_back({block.line, false, "the block is never visited: its first order lies after its last"});
    for (const Layer& layer : block.layers) {
      if (layer.type != LAYER_UNKNOWN) {
        std::vector<WordProblem> words;
        check_layer_words(layer, words);
        add_word_problems(layer, words, problems);
      }
      if (layer.type == LAYER_UNKNOWN) {
        problems.push_back({layer.line, true, layer_load_problem(layer, layer_load_failure(LAYER_LOAD_UNKNOWN_TYPE))});
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
    problems.push_back({0, false, tune_problem("", SOUND_OK)});
  if (script.quit_order <= 0)
    problems.push_back({script.quit_line, false, "the quit order is 0: the show ends before its first frame"});
}

std::string hex2(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X", unsigned(value));
  return text;
}

const char* const silent_show = "the show shows a message box, then runs without music at order 00 row 00, "
                                "and only Escape ends it";

// Reads the tune as the sound library plays it; false (with the problem noted) when it cannot.
bool read_tune(const Script& script, const std::string& found, TuneTable* table, std::vector<Problem>& problems) {
  if (script.tune.empty()) return false;
  const std::string name = quoted(script.tune);
  std::error_code error;
  if (!std::filesystem::exists(found, error)) {
    problems.push_back({script.tune_line, false, "the tune " + name + " does not exist: " + silent_show});
    return false;
  }
  if (std::filesystem::is_directory(found, error)) {
    problems.push_back({script.tune_line, false, "the tune " + name + " is a folder, not a tune: " + silent_show});
    return false;
  }
  if (const int code = tune_table_read(found, table)) {
    problems.push_back({script.tune_line, false, tune_problem(script.tune, code)});
    return false;
  }
  if (table->damage.missing_bytes > 0)
    problems.push_back({script.tune_line, false, "the tune " + tune_damage_text(name, table->damage) +
                                                     ": what is there plays; the parts past the cut are silent"});
  return true;
}

bool any_played(const TuneTable& table, int first, int last) {
  for (int o = std::max(first, 0); o <= last && o < int(table.orders.size()); ++o)
    if (table.orders[std::size_t(o)].played) return true;
  return false;
}

int pattern_rows(const TuneTable& table, int order) {
  if (order < 0 || order >= int(table.orders.size())) return -1;
  return table.orders[std::size_t(order)].rows;
}

// What the tune's order table says about blocks, windows and the quit order.
void check_against_tune(const Script& script, const TuneTable& table, std::vector<Problem>& problems) {
  const int last = tune_table_last_played(table);
  const std::string last_text = "the last order the tune plays is " + hex2(last);
  for (const PatternBlock& block : script.blocks) {
    if (block.first_order > block.last_order) continue;  // reported as never visited
    if (block.first_order > last) {
      problems.push_back({block.line, false, "the block starts at order " + hex2(block.first_order) + ", but " +
                                                 last_text + ": its layers never show"});
      continue;
    }
    if (!any_played(table, block.first_order, block.last_order)) {
      problems.push_back({block.line, false, "the tune never plays orders " + hex2(block.first_order) + ".." +
                                                 hex2(block.last_order) + ": the block's layers never show"});
      continue;
    }
    for (const Layer& layer : block.layers) {
      const auto already = [&](const Problem& p) { return p.line == layer.line; };
      if (layer.type == LAYER_UNKNOWN || std::any_of(problems.begin(), problems.end(), already)) continue;
      const int window_last = layer.end_row <= 0 ? layer.end_order - 1 : layer.end_order;
      if (layer.start_order > layer.end_order) continue;  // reported as an empty window
      if (layer.start_order > last) {
        problems.push_back({layer.line, false, "the window opens at order " + hex2(layer.start_order) + ", but " +
                                                   last_text + ": it never opens"});
        continue;
      }
      if (!any_played(table, layer.start_order, window_last)) {
        problems.push_back({layer.line, false, "the tune never plays orders " + hex2(layer.start_order) + ".." +
                                                   hex2(window_last) + ": the window never opens"});
        continue;
      }
      const int start_rows = pattern_rows(table, layer.start_order);
      if (start_rows >= 0 && layer.start_row >= start_rows)
        problems.push_back({layer.line, false, "row " + hex2(layer.start_row) + " is past the " + hex2(start_rows) +
                                                   " rows of order " + hex2(layer.start_order) +
                                                   "'s pattern: the window opens only at order " +
                                                   hex2(layer.start_order + 1) + " row 00"});
      const int end_rows = pattern_rows(table, layer.end_order);
      if (end_rows >= 0 && layer.end_row > end_rows)
        problems.push_back({layer.line, false, "row " + hex2(layer.end_row) + " is past the " + hex2(end_rows) +
                                                   " rows of order " + hex2(layer.end_order) +
                                                   "'s pattern: the window stays open to the order's end"});
    }
  }
  if (script.quit_order > 0 && !any_played(table, script.quit_order, std::max(script.quit_order, int(table.orders.size())))) {
    std::string message = "the tune never reaches the quit order " + hex2(script.quit_order) + " (" + last_text;
    if (table.loop_order >= 0)
      message += "; after " + std::to_string(int(table.length_s + 0.5)) + " s it goes on at order " +
                 hex2(table.loop_order);
    message += "): nothing but Escape ends the show";
    problems.push_back({script.quit_line, false, message});
  }
}

// Loads every layer's data as start-up does, from the script's directory, and words what the
// loaders report as the show does. The video library tells nothing itself.
void check_resources(Script& script, DataFiles& files, std::vector<Problem>& problems) {
  std::unique_ptr<VideoLibrary> video = make_video_library(nullptr);
  video->init();
  SceneShelf scenes;
  for (PatternBlock& block : script.blocks)
    for (Layer& layer : block.layers) {
      if (!layer_needs_file(layer)) continue;
      // The layer loads from the file as found; the record keeps the name as written.
      const std::string written = layer.param1;
      layer.param1 = data_file_path(files, layer.param1);
      const LayerLoad load = load_layer_resource(layer, *video, scenes);
      layer.param1 = written;
      if (!load) {
        problems.push_back({layer.line, true, layer_load_problem(layer, load)});
        continue;
      }
      if (const std::string warning = layer_load_warning(layer, load); !warning.empty())
        problems.push_back({layer.line, false, warning});
      std::vector<WordProblem> camera;
      check_layer_camera(layer, camera);
      add_word_problems(layer, camera, problems);
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
    json.key("severity").value(severity(p));
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
    std::printf("quit order: %02X\n", unsigned(script->quit_order));
    for (std::size_t b = 0; b < script->blocks.size(); ++b) {
      const PatternBlock& block = script->blocks[b];
      std::printf("block %zu (line %d): orders %02X..%02X, %d layer(s)\n", b, block.line,
                  unsigned(block.first_order), unsigned(block.last_order), block.layer_count);
      for (const Layer& layer : block.layers)
        std::printf("  line %d: %-10s window %02X.%02X .. %02X.%02X  %s %s %s %s\n", layer.line,
                    layer.type ? layer_type_name(layer.type) : layer.keyword.c_str(), unsigned(layer.start_order),
                    unsigned(layer.start_row), unsigned(layer.end_order), unsigned(layer.end_row), layer.param1.c_str(), layer.param2.c_str(),
                    layer.param3.c_str(), layer.param4.c_str());
    }
  }
  for (const Problem& p : problems) {
    if (p.line) std::printf("%s:%d: %s: %s\n", path.c_str(), p.line, severity(p), p.message.c_str());
    else std::printf("%s: %s: %s\n", path.c_str(), severity(p), p.message.c_str());
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
  std::string why;
  std::optional<Script> script = load_script(data_file_path(script_file, path), &failed_line, &why);
  std::vector<std::string> notes = file_notes(script_file);
  if (!script) {
    problems.push_back({failed_line, true, why.empty() ? script_load_problem(failed_line) : why});
  } else {
    check_lines(*script, problems);
    check_windows(*script, problems);
    const std::filesystem::path dir = std::filesystem::absolute(path).parent_path();
    const std::filesystem::path here = std::filesystem::current_path();
    std::error_code error;
    std::filesystem::current_path(dir, error);
    DataFiles files;  // names in the script are found from the script's folder
    TuneTable table;
    if (read_tune(*script, data_file_path(files, script->tune), &table, problems))
      check_against_tune(*script, table, problems);
    std::FILE* const light_output = read_3ds_set_output(nullptr);
    check_resources(*script, files, problems);
    read_3ds_set_output(light_output);
    std::filesystem::current_path(here, error);
    for (const std::string& note : file_notes(files)) notes.push_back(note);
  }

  std::stable_sort(problems.begin(), problems.end(), [](const Problem& a, const Problem& b) { return a.line < b.line; });
  bool would_start = script.has_value();
  for (const Problem& p : problems) would_start = would_start && !p.error;
  if (json) print_json(script, problems, notes, would_start);
  else print_text(path, script, problems, notes, would_start);
  return would_start ? 0 : 1;
}
