// scene_file.cpp: moving whole scene files between disk and memory.
#include "scene/scene_file.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "scene/scene.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Scene files are a few megabytes; a size beyond this is read without reserving room first.
constexpr std::uint64_t max_reserved_bytes = std::uint64_t(1) << 30;

}  // namespace

int scene_file_load(const char* file_name, SceneFile& file) {
  file.bytes.clear();
  file.pos = 0;
  file.error = false;
  if (file_name == nullptr) return SCENE_CANNOT_OPEN;
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(file_name, "rb"));
  if (f == nullptr) return SCENE_CANNOT_OPEN;
  // Read in blocks rather than trusting a size from seeking: works for any kind of file.
  // The size of a regular file only reserves room, so that a large file is not copied as it
  // grows; other kinds (a directory reports a huge size) are read without it.
  const int rc = scene_run_guarded(
      [&] {
        std::error_code error;
        if (std::filesystem::is_regular_file(file_name, error)) {
          const std::uintmax_t size = std::filesystem::file_size(file_name, error);
          if (!error && size <= max_reserved_bytes) file.bytes.reserve(std::size_t(size));
        }
        std::uint8_t block[65536];
        std::size_t n;
        while ((n = std::fread(block, 1, sizeof block, f.get())) > 0) file.bytes.insert(file.bytes.end(), block, block + n);
        return SCENE_OK;
      },
      SCENE_READ_ERROR);
  if (rc != SCENE_OK) {
    file.bytes.clear();
    return rc;
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
