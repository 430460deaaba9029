// show_video.cpp: placeholder: the sample show has no video yet.
#include "tools/show_assets.h"

bool write_show_video(const std::filesystem::path&) { return true; }
