// check_words.cpp: the layer words as the layers read them (begins_with and decimal_param,
// the same functions the show uses).
#include "tools/check_words.h"

#include <algorithm>
#include <string_view>

#include "render/render.h"
#include "scene/scene.h"

namespace {

std::string single_quoted(const std::string& word) { return "'" + word + "'"; }

// The first of the keywords that word begins with, or nullptr; a match that is not the whole
// word is noted.
const char* match_word(const std::string& word, std::initializer_list<const char*> keywords, const char* what,
                       std::vector<WordProblem>& problems) {
  for (const char* keyword : keywords) {
    if (!begins_with(word, keyword)) continue;
    if (word != keyword) problems.push_back({true, what + std::string(" ") + single_quoted(word) + " is read as " + keyword});
    return keyword;
  }
  return nullptr;
}

bool is_whole_number(const std::string& word) {
  std::size_t i = 0;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) ++i;
  if (i == word.size()) return false;
  for (; i < word.size(); ++i)
    if (word[i] < '0' || word[i] > '9') return false;
  return true;
}

void check_number(const std::string& word, const char* what, std::vector<WordProblem>& problems) {
  if (is_whole_number(word)) return;
  problems.push_back({false, single_quoted(word) + " is not a whole number: the " + std::string(what) + " is read as " +
                                 std::to_string(decimal_param(word))});
}

void check_draw_mode(const std::string& word, const char* thing, std::vector<WordProblem>& problems) {
  if (match_word(word, {"no", "additive"}, "the drawing mode", problems)) return;
  problems.push_back({false, single_quoted(word) + " is neither no nor additive: the " + std::string(thing) + " is not drawn"});
}

void check_fade(const std::string& word, std::vector<WordProblem>& problems) {
  if (word == "-") return;
  if (match_word(word, {"no", "fade1", "fade2", "fade3", "fade4"}, "the fade", problems)) return;
  if (begins_with(word, "fade"))
    problems.push_back({false, single_quoted(word) + " is not fade1..fade4: the fade never starts, so the picture never "
                                              "appears"});
  else
    problems.push_back({false, single_quoted(word) + " is neither a fade (fade1..fade4) nor no: the picture is drawn "
                                              "without fading"});
}

const char* const ordinals[] = {"first", "second", "third", "fourth"};

// The words a line lacks are the previous layer line's: named, since the line does not show them.
void check_reused_words(const Layer& layer, std::vector<WordProblem>& problems) {
  const int given = std::max(layer.fields_given - 4, 0);
  if (given == 4) return;
  const std::string* words[] = {&layer.param1, &layer.param2, &layer.param3, &layer.param4};
  std::string which, reused;
  for (int w = given; w < 4; ++w) {
    which += std::string(w == given ? "" : w == 3 ? " and " : ", ") + ordinals[w];
    reused += std::string(w == given ? "" : w == 3 ? " and " : ", ") + single_quoted(*words[w]);
  }
  const bool several = 4 - given > 1;
  problems.push_back({true, "the line gives " + std::to_string(given) + " of its 4 words: the " + which +
                                (several ? " are " : " is ") + reused + ", taken from the layer line before"});
}

}  // namespace

void check_layer_words(const Layer& layer, std::vector<WordProblem>& problems) {
  if (layer.keyword != layer_type_name(layer.type))
    problems.push_back({true, single_quoted(layer.keyword) + " is read as the keyword " + layer_type_name(layer.type)});
  check_reused_words(layer, problems);
  switch (layer.type) {
    case LAYER_BITMAP:
      check_draw_mode(layer.param2, "picture", problems);
      check_fade(layer.param3, problems);
      break;
    case LAYER_SEQUENCE:
      check_draw_mode(layer.param2, "sequence", problems);
      check_number(layer.param3, "frame rate", problems);
      break;
    case LAYER_IPOL_MESH:
      if (!match_word(layer.param2, {"flower", "plasma"}, "the grid", problems))
        problems.push_back({false, single_quoted(layer.param2) + " is neither plasma nor flower: the grid stays as the "
                                                          "last warp layer left it"});
      check_number(layer.param3, "rate", problems);
      break;
    case LAYER_RADIALBLUR:
      check_number(layer.param2, "strength", problems);
      check_number(layer.param3, "rate", problems);
      break;
    case LAYER_3D_MESH:
      match_word(layer.param2, {"no"}, "the camera", problems);
      check_number(layer.param3, "frame rate", problems);
      if (!match_word(layer.param4, {"wireframe", "flatshade"}, "the shading", problems))
        problems.push_back({false, single_quoted(layer.param4) + " is neither wireframe nor flatshade: the scene is drawn "
                                                          "as wireframe"});
      break;
    default: break;
  }
}

void check_layer_camera(const Layer& layer, std::vector<WordProblem>& problems) {
  const Scene* scene = layer.resource.scene.get();
  if (layer.type != LAYER_3D_MESH || scene == nullptr) return;
  const std::string name = begins_with(layer.param2, "no") ? "Camera01" : layer.param2;
  std::string cameras;
  bool found = false;
  bool fallback = false;
  for (const SceneNode* n = scene->first_object; n != nullptr; n = n->next) {
    if (n->kind != NODE_CAMERA || !n->object) continue;
    found = found || n->object->name == name;
    fallback = fallback || n->object->name == fallback_camera_name;
    cameras += (cameras.empty() ? "" : ", ") + n->object->name;
  }
  if (found) return;
  const std::string has = cameras.empty() ? "it has no camera" : "its cameras: " + cameras;
  if (fallback)
    problems.push_back({true, "the scene has no camera named " + single_quoted(name) + " (" + has + "): it is viewed through " +
                                  std::string(fallback_camera_name)});
  else
    problems.push_back({false, "the scene has no camera named " + single_quoted(name) + " (" + has + ") nor one named " +
                                   std::string(fallback_camera_name) + ": the layer draws nothing"});
}
