// script.h: the show's script (script.txt) and its records. load_script reads the file once
// into blocks of layers; the layers' run-time fields are filled at start-up and by the frame
// loop. A Script owns every layer's loaded resource for the life of the show.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "effects/picture.h"
#include "platform/video.h"

struct Scene;

enum LayerType : std::int32_t {
  LAYER_UNKNOWN = 0,
  LAYER_3D_MESH = 1,
  LAYER_BITMAP = 2,
  LAYER_IPOL_MESH = 4,
  LAYER_RADIALBLUR = 8,
  LAYER_AVIVIDEO = 16,
  LAYER_SEQUENCE = 32,
};

// What start-up loaded for a layer; at most one member is set, by layer type.
struct LayerResource {
  std::shared_ptr<Scene> scene;                            // 3d_mesh, shared by the layers naming its file
  std::vector<std::uint32_t> picture;                      // bitmap (320x200), ipol_mesh (256x256)
  std::unique_ptr<VideoStream> video;                      // avivideo
  std::unique_ptr<Sequence> sequence;                      // sequence
};

struct Layer {
  std::int32_t type = LAYER_UNKNOWN;
  std::int32_t start_order = 0;
  std::int32_t end_order = 0;
  std::int32_t start_row = 0;  // inclusive
  std::int32_t end_row = 0;    // exclusive
  std::string param1, param2, param3, param4;

  LayerResource resource;
  std::int32_t local_time = 0;   // bitmap layers: the fade level
  std::int32_t start_mark = -1;  // -1 not started; -2 a finished fade
  std::unique_ptr<FrameDecoder> video_decoder;
  VideoStreamInfo video_info;
  std::uint32_t frame_count = 0;  // sequence layers
  float scene_loaded_frame = 0;   // 3d_mesh layers: the scene's frame after loading
  float scene_frame = 0;          // 3d_mesh layers: the frame this layer last set its scene to

  std::string keyword;  // the layer line's first word, for messages
  int line = 0;         // line of the script where the layer stands, for messages
  // How many of its four numbers and four words the line itself gave (0..8); a word it lacks
  // is the one that stood in its place on the layer line before.
  int fields_given = 8;
};

struct PatternBlock {
  std::int32_t first_order = 0;
  std::int32_t last_order = 0;  // inclusive
  std::vector<Layer> layers;
  std::int32_t layer_count = 0;

  int line = 0;          // line of the "pattern" line
  bool unclosed = false;  // the end of the file came before the block's "}"
};

// A line's first word and where it stands, for messages about lines the reader took otherwise
// than their author may have meant.
struct ScriptWord {
  int line = 0;
  std::string word;
};

struct Script {
  std::vector<PatternBlock> blocks;
  std::int32_t block_count = 0;
  std::string tune;  // empty when the script names none
  std::int32_t quit_order = 255;

  int tune_line = 0;  // the line the tune's name comes from; 0 when none
  int quit_line = 0;  // the line the quit order comes from; 0 when none
  // Lines outside every block that begin with no keyword: the reader passes over them.
  std::vector<ScriptWord> stray_lines;
  // "tune", "quitpat" and "pattern" lines whose first word only begins with the keyword.
  std::vector<ScriptWord> long_keywords;
};

// Reads a script; none when the file cannot be opened, a "pattern" line is not followed by a
// line that begins with "{", or the script is past one of the limits in base/limits.h. On
// failure, *failed_line (if given) receives the offending line, or 0 when the file could not
// be opened or read; *why (if given) a sentence saying what is wrong, empty when the file
// could not be opened.
std::optional<Script> load_script(const std::string& path, int* failed_line = nullptr, std::string* why = nullptr);

// A word "begins with" a keyword when the keyword's characters stand at its start.
bool begins_with(const std::string& word, const char* keyword);

// Decimal parameter words as the layers read them: leading blanks, a sign, digits; anything
// else gives 0. Values beyond 32 bits are clamped.
std::int32_t decimal_param(const std::string& word);

// The layer type a line's first word names, as the reader matches it (by the keyword's first
// letters); LAYER_UNKNOWN for none.
std::int32_t layer_keyword_type(const std::string& word);

const char* layer_type_name(std::int32_t type);
