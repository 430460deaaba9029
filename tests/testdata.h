// testdata.h: where the tests find the independent interop files (tests/data) and scratch space.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

inline std::filesystem::path testdata_dir() { return QUINDLE_TESTDATA_DIR; }

inline std::filesystem::path testdata_path(const std::string& relative) { return testdata_dir() / relative; }

inline std::vector<unsigned char> read_file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void write_file_bytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A fresh, empty directory under the build tree for one test.
inline std::filesystem::path scratch_dir(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(QUINDLE_BINARY_DIR) / "scratch" / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}
