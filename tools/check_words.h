// check_words.h: each word of a layer line against what the layer does with it. A word the
// layer reads and matches to nothing it knows is a warning that says what the show does
// instead; a word matched only by its first letters ("fade3x" read as fade3) is a note.
#pragma once

#include <string>
#include <vector>

#include "driver/script.h"

struct WordProblem {
  bool note = false;  // else a warning
  std::string message;
};

// The words the layer reads (its mode, fade, grid, shading and number words).
void check_layer_words(const Layer& layer, std::vector<WordProblem>& problems);

// The 3d_mesh camera word against the cameras of the scene the layer loaded.
void check_layer_camera(const Layer& layer, std::vector<WordProblem>& problems);
