// show_scene.cpp: placeholder: the sample show has no scene yet.
#include "tools/show_assets.h"

bool write_show_scene(const std::filesystem::path&) { return true; }
