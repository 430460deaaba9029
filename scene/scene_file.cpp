// scene_file.cpp: moving whole scene files between disk and memory.
#include "scene/scene_file.h"

#include <cstdio>
#include <exception>
#include <memory>

#include "scene/scene.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

int scene_file_load(const char* file_name, SceneFile& file) {
  file.bytes.clear();
  file.pos = 0;
  file.error = false;
  if (file_name == nullptr) return SCENE_CANNOT_OPEN;
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(file_name, "rb"));
  if (f == nullptr) return SCENE_CANNOT_OPEN;
  try {
    // Read in blocks rather than trusting a size from seeking: works for any kind of file.
    // The size from seeking only reserves room, so that a large file is not copied as it grows.
    if (std::fseek(f.get(), 0, SEEK_END) == 0) {
      long size = std::ftell(f.get());
      try {
        if (size > 0) file.bytes.reserve(std::size_t(size));
      } catch (const std::exception&) {
        // Not a plain file (a directory reports a huge size): read without the room.
      }
      std::rewind(f.get());
    }
    std::uint8_t block[65536];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f.get())) > 0) file.bytes.insert(file.bytes.end(), block, block + n);
  } catch (const std::exception&) {
    file.bytes.clear();
    return SCENE_NO_MEMORY;
  }
  if (std::ferror(f.get())) {
    file.bytes.clear();
    return SCENE_READ_ERROR;
  }
  return SCENE_OK;
}

int scene_file_store(const SceneFile& file, const char* file_name) {
  if (file_name == nullptr) return SCENE_CANNOT_OPEN;
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(file_name, "wb"));
  if (f == nullptr) return SCENE_CANNOT_OPEN;
  if (!file.bytes.empty() && std::fwrite(file.bytes.data(), 1, file.bytes.size(), f.get()) != file.bytes.size())
    return SCENE_READ_ERROR;
  if (std::fclose(f.release()) != 0) return SCENE_READ_ERROR;
  return SCENE_OK;
}
