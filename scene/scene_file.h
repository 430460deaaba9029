// scene_file.h: the "open file" of the format readers and writers: the whole file in memory
// with a position, read through bounds-checked little-endian helpers and written through a
// growing byte sink. A read never touches memory outside `bytes`; a short read fails, leaves
// the position at the end and sets the sticky `error` flag, as a stream's error indicator.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/byte_order.h"

struct SceneFile {
  std::vector<std::uint8_t> bytes;  // the whole file
  std::size_t pos = 0;              // may lie past the end after a seek; reads there fail
  bool error = false;               // set by a short read, never cleared by the helpers
};

// Reads a whole file: 0, 2 when it cannot be opened, 3 on a read error, 1 when out of memory.
int scene_file_load(const char* file_name, SceneFile& file);
// Writes the bytes to a file: 0, 2 when it cannot be created, 3 when writing it fails (a short
// write, or a failed flush when the file is closed: SCENE_READ_ERROR also stands for these).
int scene_file_store(const SceneFile& file, const char* file_name);

inline std::size_t scene_file_size(const SceneFile& f) { return f.bytes.size(); }
inline std::size_t scene_file_tell(const SceneFile& f) { return f.pos; }
inline void scene_file_seek(SceneFile& f, std::size_t pos) { f.pos = pos; }
inline std::size_t scene_file_remaining(const SceneFile& f) {
  return f.pos < f.bytes.size() ? f.bytes.size() - f.pos : 0;
}

// n bytes into out, or false (short read: position to the end, error set, out untouched).
inline bool scene_file_read(SceneFile& f, void* out, std::size_t n) {
  if (scene_file_remaining(f) < n) {
    if (f.pos < f.bytes.size()) f.pos = f.bytes.size();
    f.error = true;
    return false;
  }
  if (n != 0) std::memcpy(out, f.bytes.data() + f.pos, n);
  f.pos += n;
  return true;
}

inline bool scene_file_read_u8(SceneFile& f, std::uint8_t& v) { return scene_file_read(f, &v, 1); }

inline bool scene_file_read_u16(SceneFile& f, std::uint16_t& v) {
  std::uint8_t b[2];
  if (!scene_file_read(f, b, 2)) return false;
  v = load_le16(b);
  return true;
}

inline bool scene_file_read_u32(SceneFile& f, std::uint32_t& v) {
  std::uint8_t b[4];
  if (!scene_file_read(f, b, 4)) return false;
  v = load_le32(b);
  return true;
}

inline bool scene_file_read_i16(SceneFile& f, std::int16_t& v) {
  std::uint16_t u;
  if (!scene_file_read_u16(f, u)) return false;
  v = std::int16_t(u);
  return true;
}

inline bool scene_file_read_i32(SceneFile& f, std::int32_t& v) {
  std::uint32_t u;
  if (!scene_file_read_u32(f, u)) return false;
  v = std::int32_t(u);
  return true;
}

inline bool scene_file_read_f32(SceneFile& f, float& v) {
  std::uint32_t u;
  if (!scene_file_read_u32(f, u)) return false;
  v = std::bit_cast<float>(u);
  return true;
}

// A zero-terminated string (the zero is consumed, not stored). False when the file ends first.
inline bool scene_file_read_string(SceneFile& f, std::string& out) {
  std::size_t start = f.pos;
  const void* zero = nullptr;
  if (start < f.bytes.size()) zero = std::memchr(f.bytes.data() + start, 0, f.bytes.size() - start);
  if (zero == nullptr) {
    if (f.pos < f.bytes.size()) f.pos = f.bytes.size();
    f.error = true;
    return false;
  }
  std::size_t end = std::size_t(static_cast<const std::uint8_t*>(zero) - f.bytes.data());
  out.assign(reinterpret_cast<const char*>(f.bytes.data() + start), end - start);
  f.pos = end + 1;
  return true;
}

// Writes at the position, overwriting or growing the file (a gap is filled with zeros).
// May throw std::bad_alloc; the writer's public function turns that into 1.
inline void scene_file_write(SceneFile& f, const void* data, std::size_t n) {
  if (f.pos + n > f.bytes.size()) f.bytes.resize(f.pos + n);
  if (n != 0) std::memcpy(f.bytes.data() + f.pos, data, n);
  f.pos += n;
}

inline void scene_file_write_u16(SceneFile& f, std::uint16_t v) {
  std::uint8_t b[2];
  store_le16(b, v);
  scene_file_write(f, b, 2);
}

inline void scene_file_write_u32(SceneFile& f, std::uint32_t v) {
  std::uint8_t b[4];
  store_le32(b, v);
  scene_file_write(f, b, 4);
}

inline void scene_file_write_i32(SceneFile& f, std::int32_t v) { scene_file_write_u32(f, std::uint32_t(v)); }
inline void scene_file_write_f32(SceneFile& f, float v) { scene_file_write_u32(f, std::bit_cast<std::uint32_t>(v)); }

// The string's bytes and one zero byte.
inline void scene_file_write_string(SceneFile& f, const std::string& s) {
  scene_file_write(f, s.data(), s.size());
  std::uint8_t zero = 0;
  scene_file_write(f, &zero, 1);
}
