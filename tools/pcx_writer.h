// pcx_writer.h: writes 8-bit paletted run-length pictures (version 5) and sequence files
// (records of a 4-byte length and one picture, then a 4-byte frame count) as byte arrays.
// Owns nothing beyond the returned bytes; uses only the standard library; never reads files.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Encodes width x height palette indices (row after row, no gap) with a palette of 256 entries
// of red, green, blue. Lines are padded to an even length with index 0; runs never cross a line
// end; a single index of 192 or more is written as the pair 0xC1, index. Returns empty bytes
// when width is outside 1 .. 65534, height outside 1 .. 65536, or a span is too short.
std::vector<std::uint8_t> pcx_encode(int width, int height, std::span<const std::uint8_t> indices,
                                     std::span<const std::uint8_t> palette);

// Packs pictures into a sequence file: for each, its length as 4 bytes little-endian and its
// bytes, then the number of pictures as 4 bytes little-endian.
std::vector<std::uint8_t> pcx_pack_sequence(std::span<const std::vector<std::uint8_t>> pictures);
