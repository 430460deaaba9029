// tds_writer.h: builds 3D Studio .3DS chunk files byte by byte in memory: nested chunks whose
// lengths are patched when they close, little-endian numbers, strings, colour and percentage
// chunks, mesh arrays, node headers, track headers and keys. Owns only its byte array; values
// are written in the file's own axes exactly as given (nothing is swapped); never touches files.
// Chunk ids are the TDS_* names of scene/reader_3ds.h.
//
//   TdsWriter w;
//   w.begin(TDS_MAIN);
//   w.version(3);
//   w.begin(TDS_EDITOR);
//   w.mesh_version(3);  // puts the version byte at offset 28
//   ...
//   w.end();
//   w.end();
//   write(w.bytes());
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "scene/reader_3ds.h"

struct TdsVec {
  float x = 0, y = 0, z = 0;
};

struct TdsFace {
  std::uint16_t a = 0, b = 0, c = 0;
  std::uint16_t flags = 0;  // 0x8 u-wrap, 0x10 v-wrap, edge bits
};

struct TdsTexel {
  float u = 0, v = 0;
};

// Spline parameters of a key; the key header carries a float (and a flag bit) for each that is
// not zero, in the order tension, continuity, bias, ease to, ease from.
struct TdsKeyParams {
  float tension = 0, continuity = 0, bias = 0, ease_to = 0, ease_from = 0;
};

struct TdsVectorKey {  // position, scale (x, y, z) and colour (r, g, b) tracks
  std::uint32_t frame = 0;
  TdsVec value;
  TdsKeyParams params = {};
};

struct TdsFloatKey {  // fov and roll tracks, degrees
  std::uint32_t frame = 0;
  float value = 0;
  TdsKeyParams params = {};
};

struct TdsRotationKey {  // angle in radians about the axis, relative to the previous key
  std::uint32_t frame = 0;
  float angle = 0;
  TdsVec axis;
  TdsKeyParams params = {};
};

struct TdsMorphKey {
  std::uint32_t frame = 0;
  std::string_view target;  // the morph target's object name
  TdsKeyParams params = {};
};

class TdsWriter {
 public:
  // Opens a chunk: its header now, its length when the matching end() closes it.
  void begin(std::uint16_t id);
  void end();
  // Open chunks; 0 when every begin() has its end().
  std::size_t depth() const { return open_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

  // ---- raw data at the end of the file ----
  void u8(std::uint8_t v);
  void u16(std::uint16_t v);
  void u32(std::uint32_t v);
  void i16(std::int16_t v) { u16(std::uint16_t(v)); }
  void f32(float v);
  void floats(std::initializer_list<float> values);
  void vec(const TdsVec& v) { floats({v.x, v.y, v.z}); }
  void string(std::string_view s);  // the bytes and a zero
  void raw(std::span<const std::uint8_t> data);
  // A chunk header with a length of your choosing (0 .. 5 for broken files); not patched.
  void header(std::uint16_t id, std::uint32_t length);
  // Overwrites bytes already written (a version byte, a length).
  void patch_u8(std::size_t offset, std::uint8_t v);
  void patch_u32(std::size_t offset, std::uint32_t v);

  // ---- whole chunks ----
  void chunk_u16(std::uint16_t id, std::uint16_t v);
  void chunk_u32(std::uint16_t id, std::uint32_t v);
  void chunk_string(std::uint16_t id, std::string_view s);
  void chunk_floats(std::uint16_t id, std::initializer_list<float> values);
  void empty_chunk(std::uint16_t id);
  void version(std::uint32_t v);       // 0x0002
  void mesh_version(std::uint32_t v);  // 0x3D3E
  void color_float(float r, float g, float b);                   // 0x0010
  void color_bytes(std::uint8_t r, std::uint8_t g, std::uint8_t b);  // 0x0011
  void percent(std::uint16_t v);                                 // 0x0030
  // A colour container (0xA010 ...) holding one float or byte colour chunk.
  void color_chunk_float(std::uint16_t id, float r, float g, float b);
  void color_chunk_bytes(std::uint16_t id, std::uint8_t r, std::uint8_t g, std::uint8_t b);
  // A percentage container (0xA040 ...) holding one percentage chunk.
  void percent_chunk(std::uint16_t id, std::uint16_t v);

  // ---- editor objects ----
  void begin_named_object(std::string_view name);  // 0x4000 and its name; end() it
  void points(std::span<const TdsVec> vertices);   // 0x4110
  void texels(std::span<const TdsTexel> uv);       // 0x4140
  // 0x4120 with the faces; face-material groups may follow before end().
  void begin_faces(std::span<const TdsFace> faces);
  void face_material(std::string_view material, std::span<const std::uint16_t> faces);  // 0x4130
  // 0x4160: the object's x, y and z axes and its origin, in the file's world space.
  void mesh_matrix(const TdsVec& x_axis, const TdsVec& y_axis, const TdsVec& z_axis, const TdsVec& origin);
  void begin_light(const TdsVec& position);  // 0x4600; colour and spot chunks may follow; end() it
  void spotlight(const TdsVec& target, float hotspot, float falloff);  // 0x4610
  void camera(const TdsVec& position, const TdsVec& target, float roll, float lens);  // 0x4700

  // ---- keyframer ----
  void frames(std::uint32_t start, std::uint32_t end);  // 0xB008
  void node_id(std::uint16_t id);                       // 0xB030
  // 0xB010: name, the two flag words (0x800 in the first: hidden) and the parent node number.
  void node_header(std::string_view name, std::uint16_t flags1, std::uint16_t flags2, std::int16_t parent);
  void pivot(const TdsVec& p);                      // 0xB013
  void instance_name(std::string_view name);        // 0xB011
  // Track header: flags (2 repeat, 3 loop), 8 unused bytes, the key count as a 32-bit number.
  void track_header(std::uint16_t flags, std::uint32_t key_count);
  // Key header with the floats of the parameters that are not zero.
  void key_header(std::uint32_t frame, const TdsKeyParams& params);
  // Key header with exactly these flags and these floats, for keys the helpers cannot make.
  void key_header(std::uint32_t frame, std::uint16_t flags, std::initializer_list<float> values);

  // Whole tracks (chunk, header and keys); flags as in track_header.
  void vector_track(std::uint16_t id, std::span<const TdsVectorKey> keys, std::uint16_t flags = 0);
  void float_track(std::uint16_t id, std::span<const TdsFloatKey> keys, std::uint16_t flags = 0);
  void rotation_track(std::span<const TdsRotationKey> keys, std::uint16_t flags = 0);
  void morph_track(std::span<const TdsMorphKey> keys, std::uint16_t flags = 0);
  void hide_track(std::span<const std::uint32_t> frames, std::uint16_t flags = 0);

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<std::size_t> open_;  // header offsets of the open chunks
};
