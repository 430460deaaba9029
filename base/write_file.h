// write_file.h: writing a whole file in one call. The stream is flushed and closed before the
// result is known, so a failed final write (a full disk) is reported, not lost.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

// Writes the bytes to path, replacing the file. Empty on success, else a sentence that names the
// file and the reason ("cannot write out/x.png: No space left on device").
std::string write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
std::string write_file(const std::filesystem::path& path, std::string_view text);
