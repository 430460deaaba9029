// show_assets.h: the data files of the bundled sample show, each generated in code. Every
// writer puts its files into dir under the names the sample script uses, and returns false
// when a file cannot be written.
#pragma once

#include <filesystem>

bool write_show_tune(const std::filesystem::path& dir);      // tune.mod
bool write_show_pictures(const std::filesystem::path& dir);  // pictures and the sequence
bool write_show_video(const std::filesystem::path& dir);     // the video
bool write_show_scene(const std::filesystem::path& dir);     // the 3D scene
