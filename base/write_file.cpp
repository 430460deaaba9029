// write_file.cpp: whole-file writes through stdio, with every step's error kept.
#include "base/write_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "cannot create " + path.string() + ": " + std::strerror(errno);
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  int error = written ? 0 : errno;
  if (std::fflush(f) != 0 && error == 0) error = errno;
  if (std::fclose(f) != 0 && error == 0) error = errno;
  if (!written && error == 0) error = EIO;
  if (error == 0) return {};
  return "cannot write " + path.string() + ": " + std::strerror(error);
}

std::string write_file(const std::filesystem::path& path, std::string_view text) {
  return write_file(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}
