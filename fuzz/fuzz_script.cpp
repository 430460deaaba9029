// fuzz_script.cpp: any bytes as script.txt, read and then started as the show starts it: every
// layer's resource loaded in order until the first that fails, and each loaded layer drawn at
// two show times. The files a script may name are the sample show's, written once into a
// directory of their own, and every name is looked up there: a name with a '/' or one that
// begins with '.' is blanked, so an input never opens devices or files elsewhere on the machine.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "driver/layers.h"
#include "driver/script.h"
#include "fuzz/fuzz_support.h"
#include "tools/show_assets.h"

namespace {

// The records must agree with themselves: counts with their vectors, rows and orders as read.
void check_script(const Script& script) {
  if (std::size_t(script.block_count) != script.blocks.size()) std::abort();
  for (const PatternBlock& block : script.blocks)
    if (std::size_t(block.layer_count) != block.layers.size()) std::abort();
}

// The folder that holds the sample show's files (its pictures, sequence, video and scene),
// removed when the harness exits.
struct ShowFolder {
  std::filesystem::path path;
  ShowFolder() {
    char name[] = "/tmp/quindle_fuzz_script_XXXXXX";
    if (!mkdtemp(name)) std::abort();
    path = name;
    if (!write_show_pictures(path) || !write_show_video(path) || !write_show_scene(path)) std::abort();
  }
  ~ShowFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

const std::filesystem::path& show_dir() {
  static const ShowFolder folder;
  return folder.path;
}

// The file a layer names, looked up in the show's folder; nothing for names that leave it.
std::string show_file(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name.starts_with('.')) return {};
  return (show_dir() / name).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file("fuzz_script");
  VideoLibrary& video = fuzz_video_library();
  static FuzzFrame target;
  file.assign(data, size);

  std::optional<Script> script = load_script(file.path());
  if (!script) return 0;
  check_script(*script);

  // Start-up: the layers' resources in script order, stopping at the first that fails.
  SceneShelf scenes;
  for (PatternBlock& block : script->blocks) {
    for (Layer& layer : block.layers) {
      layer.param1 = show_file(layer.param1);
      if (!load_layer_resource(layer, video, scenes) && layer.type != LAYER_RADIALBLUR) return 0;
    }
  }
  for (double t : {1.5, 4.0})
    for (PatternBlock& block : script->blocks)
      for (Layer& layer : block.layers) draw_layer(layer, target.at(t));
  return 0;
}
