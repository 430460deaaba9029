// script.cpp: the script reader. The file is read in lines of at most 255 characters (a
// longer line arrives as several), each judged from its first character that is not a blank
// or tab, with keywords compared as fixed-length prefixes. Three passes over the lines: count
// the blocks, size each block's layers, then parse.
#include "driver/script.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "base/limits.h"

namespace {

// A word read with "%s" from a line fits in a buffer of the line buffer's size.
constexpr int word_capacity = int(script_line_capacity) + 1;

// One piece of the file as a line read sees it, pointing into the buffer that holds every
// piece; the record costs two words whatever the line holds.
struct ScriptLine {
  const char* text;  // as a C string sees the line buffer: up to the first zero byte
  int number;        // line of the file where this piece begins
};

// Splits the file the way a 256-byte line read does: up to and including a line feed, or
// 255 characters, whichever comes first. Each piece is copied into `buffer` with a zero byte
// after it; the lines point there, so `buffer` must outlive them and not change.
std::vector<ScriptLine> read_lines(const std::string& bytes, std::string& buffer) {
  // Room for a zero byte after every byte: the buffer never moves while lines point into it.
  buffer.clear();
  buffer.reserve(2 * bytes.size() + 1);
  std::vector<ScriptLine> lines;
  int number = 1;
  std::size_t length = 0;
  for (char c : bytes) {
    if (length == 0) lines.push_back({buffer.data() + buffer.size(), number});
    buffer.push_back(c);
    ++length;
    if (c == '\n') ++number;
    if (c == '\n' || length == script_line_capacity) {
      buffer.push_back('\0');
      length = 0;
    }
  }
  if (length) buffer.push_back('\0');
  return lines;
}

// The whole file, or false when it cannot be read or holds more than max_script_bytes.
bool read_script_bytes(std::FILE* file, std::string& bytes) {
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    if (bytes.size() + n > max_script_bytes) return false;
    bytes.append(chunk, n);
  }
  return !std::ferror(file);
}

const char* skip_blanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

const char* skip_word(const char* p) {
  while (*p && *p != ' ' && *p != '\t') ++p;
  return p;
}

bool starts(const char* text, const char* keyword) { return std::strncmp(text, keyword, std::strlen(keyword)) == 0; }

const char* line_text(const ScriptLine& line) { return skip_blanks(line.text); }

// A line with nothing on it: a carriage return, or a bare line feed as Unix editors write it.
bool is_blank(const char* text) { return *text == '\r' || *text == '\n' || *text == '\0'; }

// Inside a block every line is a layer line except comments, the closing "}", and blank lines.
bool is_layer_line(const char* text) { return !starts(text, "//") && !starts(text, "}") && !is_blank(text); }

// The word text begins with, without the line's end.
std::string first_word(const char* text) {
  std::string word(text, skip_word(text));
  while (!word.empty() && (word.back() == '\r' || word.back() == '\n')) word.pop_back();
  return word;
}

// The keyword a line outside the blocks begins with, or nullptr.
const char* header_keyword(const char* text) {
  for (const char* keyword : {"tune", "quitpat", "pattern"})
    if (starts(text, keyword)) return keyword;
  return nullptr;
}

std::int32_t layer_type_of(const char* keyword) {
  struct Entry {
    const char* word;
    std::int32_t type;
  };
  static constexpr Entry table[] = {
      {"3d_mesh", LAYER_3D_MESH},       {"bitmap", LAYER_BITMAP},     {"ipol_mesh", LAYER_IPOL_MESH},
      {"radialblur", LAYER_RADIALBLUR}, {"avivideo", LAYER_AVIVIDEO}, {"sequence", LAYER_SEQUENCE},
  };
  for (const Entry& e : table)
    if (starts(keyword, e.word)) return e.type;
  return LAYER_UNKNOWN;
}

// The four parameter words, kept from one layer line to the next: a line that lacks a word
// takes the one that stood in its place on the previous layer line.
struct WordBuffers {
  char word[4][word_capacity] = {};
};

Layer parse_layer(const char* text, WordBuffers& words, int line) {
  Layer layer;
  layer.type = layer_type_of(text);
  layer.keyword = first_word(text);
  const char* rest = skip_blanks(skip_word(text));
  unsigned numbers[4] = {0, 0, 0, 0};
  const int fields = std::sscanf(rest, "%x %x %x %x %255s %255s %255s %255s", &numbers[0], &numbers[1], &numbers[2],
                                 &numbers[3], words.word[0], words.word[1], words.word[2], words.word[3]);
  layer.start_order = std::int32_t(numbers[0]);
  layer.end_order = std::int32_t(numbers[1]);
  layer.start_row = std::int32_t(numbers[2]);
  layer.end_row = std::int32_t(numbers[3]);
  layer.param1 = words.word[0];
  layer.param2 = words.word[1];
  layer.param3 = words.word[2];
  layer.param4 = words.word[3];
  layer.local_time = 0;
  layer.start_mark = -1;
  layer.frame_count = 0;
  layer.line = line;
  layer.fields_given = fields < 0 ? 0 : fields;
  return layer;
}

struct BlockScan {
  int layer_lines = 0;
  bool closed = false;
};

// Walks a block body from index i (the line after "{") through its "}" line, or to the end
// of the file when the "}" never comes. Both sizing and parsing use it, so they agree.
template <typename OnLayerLine>
BlockScan scan_body(const std::vector<ScriptLine>& lines, std::size_t& i, OnLayerLine on_layer_line) {
  BlockScan scan;
  while (i < lines.size()) {
    const ScriptLine& line = lines[i++];
    const char* text = line_text(line);
    if (starts(text, "}")) {
      scan.closed = true;
      break;
    }
    if (!is_layer_line(text)) continue;
    on_layer_line(text, line.number, scan.layer_lines);
    ++scan.layer_lines;
  }
  return scan;
}

bool opens_block(const std::vector<ScriptLine>& lines, std::size_t i) {
  return i < lines.size() && starts(line_text(lines[i]), "{");
}

}  // namespace

bool begins_with(const std::string& word, const char* keyword) { return starts(word.c_str(), keyword); }

std::int32_t layer_keyword_type(const std::string& word) { return layer_type_of(word.c_str()); }

std::int32_t decimal_param(const std::string& word) {
  const char* p = word.c_str();
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  std::int64_t value = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    value = value * 10 + (*p - '0');
    if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) break;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return std::int32_t(value);
}

const char* layer_type_name(std::int32_t type) {
  switch (type) {
    case LAYER_3D_MESH: return "3d_mesh";
    case LAYER_BITMAP: return "bitmap";
    case LAYER_IPOL_MESH: return "ipol_mesh";
    case LAYER_RADIALBLUR: return "radialblur";
    case LAYER_AVIVIDEO: return "avivideo";
    case LAYER_SEQUENCE: return "sequence";
    default: return "unknown";
  }
}

std::optional<Script> load_script(const std::string& path, int* failed_line, std::string* why) {
  if (failed_line) *failed_line = 0;
  if (why) why->clear();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return std::nullopt;
  std::string bytes, buffer;
  if (!read_script_bytes(file.get(), bytes)) {
    if (why) *why = "the script is longer than " + std::to_string(max_script_bytes) + " bytes";
    return std::nullopt;
  }
  file.reset();
  const std::vector<ScriptLine> lines = read_lines(bytes, buffer);
  bytes = std::string();
  auto fail = [&](int line, const std::string& reason) -> std::optional<Script> {
    if (failed_line) *failed_line = line;
    if (why) *why = reason;
    return std::nullopt;
  };
  const std::string no_brace = "a \"pattern\" line must be followed by a line that begins with \"{\"";

  // Pass 1: one block per line that begins with "pattern", wherever it stands.
  Script script;
  for (const ScriptLine& line : lines) {
    if (!starts(line_text(line), "pattern")) continue;
    if (++script.block_count > max_script_blocks)
      return fail(line.number, "more than " + std::to_string(max_script_blocks) + " \"pattern\" blocks");
  }
  script.blocks.resize(std::size_t(script.block_count));

  // Pass 2: count each block's layer lines; blocks are numbered as their bodies end.
  std::size_t block = 0;
  int layer_total = 0, past_limit_line = 0;
  for (std::size_t i = 0; i < lines.size();) {
    const ScriptLine& line = lines[i++];
    if (!starts(line_text(line), "pattern")) continue;
    if (!opens_block(lines, i)) return fail(line.number, no_brace);
    ++i;
    BlockScan scan = scan_body(lines, i, [&](const char*, int number, int) {
      if (++layer_total == max_script_layers + 1) past_limit_line = number;
    });
    if (past_limit_line)
      return fail(past_limit_line, "more than " + std::to_string(max_script_layers) + " layer lines");
    if (block < script.blocks.size()) {
      PatternBlock& b = script.blocks[block];
      b.layer_count = scan.layer_lines;
      b.layers.resize(std::size_t(scan.layer_lines));
      b.unclosed = !scan.closed;
    }
    ++block;
  }

  // Pass 3: tune, quit order, block headers and their layers.
  WordBuffers words;
  script.quit_order = 255;
  block = 0;
  for (std::size_t i = 0; i < lines.size();) {
    const ScriptLine& line = lines[i++];
    const char* text = line_text(line);
    if (starts(text, "//")) continue;
    const char* header = header_keyword(text);
    if (header || !is_blank(text)) {
      const std::string word = first_word(text);
      if (!header) script.stray_lines.push_back({line.number, word});
      else if (word != header) script.long_keywords.push_back({line.number, word});
    }
    if (starts(text, "tune")) {
      char word[word_capacity];
      if (std::sscanf(skip_blanks(skip_word(text)), "%255s", word) == 1) {
        script.tune = word;
        script.tune_line = line.number;
      }
    } else if (starts(text, "quitpat")) {
      unsigned quit = 0;
      if (std::sscanf(skip_blanks(skip_word(text)), "%x", &quit) == 1) {
        script.quit_order = std::int32_t(quit);
        script.quit_line = line.number;
      }
    } else if (starts(text, "pattern")) {
      char keyword[word_capacity];
      unsigned first = 0, last = 0;
      std::sscanf(text, "%255s %x %x", keyword, &first, &last);
      if (!opens_block(lines, i)) return fail(line.number, no_brace);
      ++i;
      PatternBlock* b = block < script.blocks.size() ? &script.blocks[block] : nullptr;
      ++block;
      if (b) {
        b->first_order = std::int32_t(first);
        b->last_order = std::int32_t(last);
        b->line = line.number;
      }
      scan_body(lines, i, [&](const char* layer_text, int number, int index) {
        Layer layer = parse_layer(layer_text, words, number);
        if (b && index < b->layer_count) b->layers[std::size_t(index)] = std::move(layer);
      });
    }
  }
  return script;
}
