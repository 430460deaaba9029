// tds_writer.cpp: the .3DS chunk writer.
#include "tools/tds_writer.h"

#include <bit>
#include <cassert>

#include "scene/reader_3ds.h"

namespace {

constexpr std::size_t header_bytes = 6;

}  // namespace

void TdsWriter::begin(std::uint16_t id) {
  open_.push_back(bytes_.size());
  header(id, 0);
}

void TdsWriter::end() {
  assert(!open_.empty() && "end() without begin()");
  const std::size_t start = open_.back();
  open_.pop_back();
  patch_u32(start + 2, std::uint32_t(bytes_.size() - start));
}

void TdsWriter::u8(std::uint8_t v) { bytes_.push_back(v); }

void TdsWriter::u16(std::uint16_t v) {
  bytes_.push_back(std::uint8_t(v));
  bytes_.push_back(std::uint8_t(v >> 8));
}

void TdsWriter::u32(std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(std::uint8_t(v >> shift));
}

void TdsWriter::f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }

void TdsWriter::floats(std::initializer_list<float> values) {
  for (float v : values) f32(v);
}

void TdsWriter::string(std::string_view s) {
  bytes_.insert(bytes_.end(), s.begin(), s.end());
  bytes_.push_back(0);
}

void TdsWriter::raw(std::span<const std::uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }

void TdsWriter::header(std::uint16_t id, std::uint32_t length) {
  u16(id);
  u32(length);
}

void TdsWriter::patch_u8(std::size_t offset, std::uint8_t v) {
  assert(offset < bytes_.size());
  bytes_[offset] = v;
}

void TdsWriter::patch_u32(std::size_t offset, std::uint32_t v) {
  assert(offset + 4 <= bytes_.size());
  for (int i = 0; i < 4; ++i) bytes_[offset + i] = std::uint8_t(v >> (8 * i));
}

// ---- whole chunks ----

void TdsWriter::chunk_u16(std::uint16_t id, std::uint16_t v) {
  header(id, header_bytes + 2);
  u16(v);
}

void TdsWriter::chunk_u32(std::uint16_t id, std::uint32_t v) {
  header(id, header_bytes + 4);
  u32(v);
}

void TdsWriter::chunk_string(std::uint16_t id, std::string_view s) {
  header(id, std::uint32_t(header_bytes + s.size() + 1));
  string(s);
}

void TdsWriter::chunk_floats(std::uint16_t id, std::initializer_list<float> values) {
  header(id, std::uint32_t(header_bytes + 4 * values.size()));
  floats(values);
}

void TdsWriter::empty_chunk(std::uint16_t id) { header(id, header_bytes); }
void TdsWriter::version(std::uint32_t v) { chunk_u32(TDS_VERSION, v); }
void TdsWriter::mesh_version(std::uint32_t v) { chunk_u32(TDS_MESH_VERSION, v); }
void TdsWriter::color_float(float r, float g, float b) { chunk_floats(TDS_COLOR_F, {r, g, b}); }

void TdsWriter::color_bytes(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  header(TDS_COLOR_24, header_bytes + 3);
  u8(r);
  u8(g);
  u8(b);
}

void TdsWriter::percent(std::uint16_t v) { chunk_u16(TDS_PERCENT, v); }

void TdsWriter::color_chunk_float(std::uint16_t id, float r, float g, float b) {
  begin(id);
  color_float(r, g, b);
  end();
}

void TdsWriter::color_chunk_bytes(std::uint16_t id, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  begin(id);
  color_bytes(r, g, b);
  end();
}

void TdsWriter::percent_chunk(std::uint16_t id, std::uint16_t v) {
  begin(id);
  percent(v);
  end();
}

// ---- editor objects ----

void TdsWriter::begin_named_object(std::string_view name) {
  begin(TDS_NAMED_OBJECT);
  string(name);
}

void TdsWriter::points(std::span<const TdsVec> vertices) {
  begin(TDS_POINTS);
  u16(std::uint16_t(vertices.size()));
  for (const TdsVec& v : vertices) vec(v);
  end();
}

void TdsWriter::texels(std::span<const TdsTexel> uv) {
  begin(TDS_TEXELS);
  u16(std::uint16_t(uv.size()));
  for (const TdsTexel& t : uv) floats({t.u, t.v});
  end();
}

void TdsWriter::begin_faces(std::span<const TdsFace> faces) {
  begin(TDS_FACES);
  u16(std::uint16_t(faces.size()));
  for (const TdsFace& f : faces) {
    u16(f.a);
    u16(f.b);
    u16(f.c);
    u16(f.flags);
  }
}

void TdsWriter::face_material(std::string_view material, std::span<const std::uint16_t> faces) {
  begin(TDS_FACE_MATERIAL);
  string(material);
  u16(std::uint16_t(faces.size()));
  for (std::uint16_t f : faces) u16(f);
  end();
}

void TdsWriter::mesh_matrix(const TdsVec& x_axis, const TdsVec& y_axis, const TdsVec& z_axis, const TdsVec& origin) {
  begin(TDS_MESH_MATRIX);
  vec(x_axis);
  vec(y_axis);
  vec(z_axis);
  vec(origin);
  end();
}

void TdsWriter::begin_light(const TdsVec& position) {
  begin(TDS_LIGHT);
  vec(position);
}

void TdsWriter::spotlight(const TdsVec& target, float hotspot, float falloff) {
  chunk_floats(TDS_SPOTLIGHT, {target.x, target.y, target.z, hotspot, falloff});
}

void TdsWriter::camera(const TdsVec& position, const TdsVec& target, float roll, float lens) {
  chunk_floats(TDS_CAMERA, {position.x, position.y, position.z, target.x, target.y, target.z, roll, lens});
}

// ---- keyframer ----

void TdsWriter::frames(std::uint32_t start, std::uint32_t end_frame) {
  header(TDS_FRAMES, header_bytes + 8);
  u32(start);
  u32(end_frame);
}

void TdsWriter::node_id(std::uint16_t id) { chunk_u16(TDS_NODE_ID, id); }

void TdsWriter::node_header(std::string_view name, std::uint16_t flags1, std::uint16_t flags2, std::int16_t parent) {
  begin(TDS_NODE_HEADER);
  string(name);
  u16(flags1);
  u16(flags2);
  i16(parent);
  end();
}

void TdsWriter::pivot(const TdsVec& p) { chunk_floats(TDS_PIVOT, {p.x, p.y, p.z}); }
void TdsWriter::instance_name(std::string_view name) { chunk_string(TDS_INSTANCE_NAME, name); }

void TdsWriter::track_header(std::uint16_t flags, std::uint32_t key_count) {
  u16(flags);
  u32(0);
  u32(0);
  u32(key_count);
}

void TdsWriter::key_header(std::uint32_t frame, const TdsKeyParams& params) {
  const float values[5] = {params.tension, params.continuity, params.bias, params.ease_to, params.ease_from};
  std::uint16_t flags = 0;
  for (int bit = 0; bit < 5; ++bit)
    if (values[bit] != 0) flags = std::uint16_t(flags | 1u << bit);
  u32(frame);
  u16(flags);
  for (int bit = 0; bit < 5; ++bit)
    if (values[bit] != 0) f32(values[bit]);
}

void TdsWriter::key_header(std::uint32_t frame, std::uint16_t flags, std::initializer_list<float> values) {
  u32(frame);
  u16(flags);
  floats(values);
}

void TdsWriter::vector_track(std::uint16_t id, std::span<const TdsVectorKey> keys, std::uint16_t flags) {
  begin(id);
  track_header(flags, std::uint32_t(keys.size()));
  for (const TdsVectorKey& k : keys) {
    key_header(k.frame, k.params);
    vec(k.value);
  }
  end();
}

void TdsWriter::float_track(std::uint16_t id, std::span<const TdsFloatKey> keys, std::uint16_t flags) {
  begin(id);
  track_header(flags, std::uint32_t(keys.size()));
  for (const TdsFloatKey& k : keys) {
    key_header(k.frame, k.params);
    f32(k.value);
  }
  end();
}

void TdsWriter::rotation_track(std::span<const TdsRotationKey> keys, std::uint16_t flags) {
  begin(TDS_ROT_TRACK);
  track_header(flags, std::uint32_t(keys.size()));
  for (const TdsRotationKey& k : keys) {
    key_header(k.frame, k.params);
    floats({k.angle, k.axis.x, k.axis.y, k.axis.z});
  }
  end();
}

void TdsWriter::morph_track(std::span<const TdsMorphKey> keys, std::uint16_t flags) {
  begin(TDS_MORPH_TRACK);
  track_header(flags, std::uint32_t(keys.size()));
  for (const TdsMorphKey& k : keys) {
    key_header(k.frame, k.params);
    string(k.target);
  }
  end();
}

// Hide keys have no key header: a 32-bit frame and two unused bytes each.
void TdsWriter::hide_track(std::span<const std::uint32_t> frames_list, std::uint16_t flags) {
  begin(TDS_HIDE_TRACK);
  track_header(flags, std::uint32_t(frames_list.size()));
  for (std::uint32_t frame : frames_list) {
    u32(frame);
    u16(0);
  }
  end();
}
