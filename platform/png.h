// png.h: writes a frame of 0x00RRGGBB pixels as an 8-bit RGB PNG file. The output holds
// no time stamp, so the same pixels always give the same bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

bool write_png(const std::string& path, std::span<const std::uint32_t> pixels, int width, int height);
