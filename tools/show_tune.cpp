// show_tune.cpp: placeholder: the sample show has no tune yet.
#include "tools/show_assets.h"

bool write_show_tune(const std::filesystem::path&) { return true; }
