// sound_extent.cpp: finds modules whose headers declare more data than the file holds, and
// how much more. libopenmpt plays such files with patterns or samples cut short; the loader
// tells the author that the file is damaged and by how much.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "base/byte_order.h"
#include "platform/sound_session.h"

namespace {

// Reads fixed-size little- or big-endian fields out of one header read into a buffer.
template <std::size_t N>
struct Header {
  std::array<unsigned char, N> bytes{};
  bool read(const TuneReader& r, std::int64_t offset) {
    return offset >= 0 && offset + std::int64_t(N) <= r.size && r.read_at(r.context, offset, bytes.data(), N);
  }
  unsigned u8(std::size_t at) const { return bytes[at]; }
  unsigned u16le(std::size_t at) const { return load_le16(&bytes[at]); }
  unsigned u16be(std::size_t at) const { return bytes[at] << 8 | bytes[at + 1]; }
  std::uint32_t u32le(std::size_t at) const { return load_le32(&bytes[at]); }
  bool tag(std::size_t at, const char* text) const { return std::memcmp(&bytes[at], text, std::strlen(text)) == 0; }
};

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// Channels a ProTracker-style tag at offset 1080 announces; 0 for no known tag.
int mod_tag_channels(const unsigned char* t) {
  for (const char* four : {"M.K.", "M!K!", "M&K!", "FLT4", "4CHN", "N.T."})
    if (std::memcmp(t, four, 4) == 0) return 4;
  for (const char* eight : {"FLT8", "OKTA", "OCTA", "CD81"})
    if (std::memcmp(t, eight, 4) == 0) return 8;
  if (is_digit(t[0]) && std::memcmp(t + 1, "CHN", 3) == 0) return t[0] - '0';
  if (is_digit(t[0]) && is_digit(t[1]) && (std::memcmp(t + 2, "CH", 2) == 0 || std::memcmp(t + 2, "CN", 2) == 0))
    return (t[0] - '0') * 10 + t[1] - '0';
  if (std::memcmp(t, "TDZ", 3) == 0 && is_digit(t[3])) return t[3] - '0';
  return 0;
}

// How far a module's headers reach: the end of the furthest part they declare. `open` when a
// part could not be measured because its own header lies past the end of the file: the true
// end lies further still.
struct Reach {
  std::int64_t end = 0;
  bool open = false;
  void need(std::int64_t byte_end) { end = std::max(end, byte_end); }
  void need_unknown(std::int64_t header_end) {
    need(header_end);
    open = true;
  }
};

std::optional<Reach> mod_reach(const TuneReader& r) {
  Header<1084> h;
  if (!h.read(r, 0)) return std::nullopt;
  const int channels = mod_tag_channels(&h.bytes[1080]);
  if (channels == 0) return std::nullopt;
  // Patterns counted over the song's own orders only: some writers leave stale entries behind.
  const unsigned song_length = std::min(h.u8(950), 128u);
  unsigned patterns = 0;
  for (unsigned i = 0; i < song_length; ++i) patterns = std::max(patterns, h.u8(952 + i) + 1);
  std::int64_t end = 1084 + std::int64_t(patterns) * 64 * channels * 4;
  for (int s = 0; s < 31; ++s) end += 2 * std::int64_t(h.u16be(20 + 30 * std::size_t(s) + 22));
  Reach reach;
  reach.need(end);
  return reach;
}

std::optional<Reach> s3m_reach(const TuneReader& r) {
  Header<96> h;
  if (!h.read(r, 0) || !h.tag(44, "SCRM")) return std::nullopt;
  const unsigned orders = h.u16le(32), instruments = h.u16le(34), patterns = h.u16le(36);
  const std::int64_t pointers = 96 + std::int64_t(orders);
  Reach reach;
  reach.need(pointers + 2 * std::int64_t(instruments + patterns));
  for (unsigned i = 0; i < instruments + patterns; ++i) {
    Header<2> p;
    if (!p.read(r, pointers + 2 * std::int64_t(i))) {
      reach.open = true;  // where the part lies is past the end
      continue;
    }
    const std::int64_t at = std::int64_t(p.u16le(0)) * 16;
    if (at == 0) continue;
    if (i < instruments) {
      Header<80> s;
      if (!s.read(r, at)) {
        reach.need_unknown(at + 80);
        continue;
      }
      reach.need(at + 80);
      if (s.u8(0) != 1) continue;  // not a sampled instrument
      const std::int64_t data = std::int64_t(s.u8(13) << 16 | s.u16le(14)) * 16;
      const std::int64_t bytes = std::int64_t(s.u32le(16)) * (s.u8(31) & 4 ? 2 : 1) * (s.u8(31) & 2 ? 2 : 1);
      if (bytes > 0) reach.need(data + bytes);
    } else {
      Header<2> length;  // packed pattern length, its own two bytes included
      if (!length.read(r, at)) {
        reach.need_unknown(at + 2);
        continue;
      }
      reach.need(at + length.u16le(0));
    }
  }
  return reach;
}

// The end of an IT sample's compressed data: per channel, blocks of a 2-byte size and
// that many bytes, each unpacking to 0x8000 (8-bit) or 0x4000 (16-bit) samples.
void it_compressed_reach(const TuneReader& r, std::int64_t at, std::int64_t length, bool wide, bool stereo,
                         Reach* reach) {
  const std::int64_t per_block = wide ? 0x4000 : 0x8000;
  for (int channel = 0; channel < (stereo ? 2 : 1); ++channel)
    for (std::int64_t left = length; left > 0; left -= per_block) {
      Header<2> size;
      if (!size.read(r, at)) {
        reach->need_unknown(at + 2);
        return;
      }
      at += 2 + size.u16le(0);
    }
  reach->need(at);
}

std::optional<Reach> it_reach(const TuneReader& r) {
  Header<192> h;
  if (!h.read(r, 0) || !h.tag(0, "IMPM")) return std::nullopt;
  const unsigned orders = h.u16le(32), instruments = h.u16le(34), samples = h.u16le(36), patterns = h.u16le(38);
  const std::int64_t offsets = 192 + std::int64_t(orders) + 4 * std::int64_t(instruments);
  Reach reach;
  reach.need(offsets + 4 * std::int64_t(samples + patterns));
  for (unsigned i = 0; i < samples + patterns; ++i) {
    Header<4> p;
    if (!p.read(r, offsets + 4 * std::int64_t(i))) {
      reach.open = true;
      continue;
    }
    const std::int64_t at = p.u32le(0);
    if (at == 0) continue;
    if (i < samples) {
      Header<80> s;
      if (!s.read(r, at)) {
        reach.need_unknown(at + 80);
        continue;
      }
      reach.need(at + 80);
      const unsigned flags = s.u8(0x12);
      const std::int64_t length = s.u32le(0x30), data = s.u32le(0x48);
      if (!(flags & 1) || length == 0) continue;
      const bool wide = flags & 2, stereo = flags & 4;
      if (flags & 8)
        it_compressed_reach(r, data, length, wide, stereo, &reach);
      else
        reach.need(data + length * (wide ? 2 : 1) * (stereo ? 2 : 1));
    } else {
      Header<8> pattern;  // packed length, rows, 4 reserved bytes, then the packed rows
      if (!pattern.read(r, at)) {
        reach.need_unknown(at + 8);
        continue;
      }
      reach.need(at + 8 + pattern.u16le(0));
    }
  }
  return reach;
}

}  // namespace

TuneDamage tune_damage(const TuneReader& reader) {
  TuneDamage damage;
  damage.file_bytes = reader.size;
  for (std::optional<Reach> (*measure)(const TuneReader&) : {it_reach, s3m_reach, mod_reach}) {
    const std::optional<Reach> reach = measure(reader);
    if (!reach) continue;
    if (reach->end > reader.size) {
      damage.missing_bytes = reach->end - reader.size;
      damage.at_least = reach->open;
    }
    break;
  }
  return damage;
}
