// byte_order.h: little-endian loads and stores, the byte order of every file the engine reads
// or writes. Pointers must have room for the bytes named; nothing here checks bounds.
#pragma once

#include <cstdint>

inline std::uint16_t load_le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

inline std::uint32_t load_le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

inline std::int16_t load_le16s(const std::uint8_t* p) { return std::int16_t(load_le16(p)); }
inline std::int32_t load_le32s(const std::uint8_t* p) { return std::int32_t(load_le32(p)); }

inline void store_le16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

inline void store_le32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}
