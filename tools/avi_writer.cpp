// avi_writer.cpp: RIFF 'AVI ' with a header list, the frame data ('movi') and an idx1 index.
#include "tools/avi_writer.h"

#include <algorithm>
#include <string>

namespace {

constexpr int largest_side = 16384;
constexpr std::uint32_t index_keyframe_flag = 0x10;  // AVIIF_KEYFRAME
constexpr std::uint32_t header_has_index = 0x10;     // AVIF_HASINDEX
constexpr std::uint32_t audio_rate = 8000;           // the silent stream: 8-bit mono PCM
constexpr std::uint8_t audio_silence = 0x80;

struct Bytes {
  std::vector<std::uint8_t> out;

  void u16(std::uint32_t v) { for (int s = 0; s < 16; s += 8) out.push_back(std::uint8_t(v >> s)); }
  void u32(std::uint32_t v) { for (int s = 0; s < 32; s += 8) out.push_back(std::uint8_t(v >> s)); }
  void id(const char* fourcc) { out.insert(out.end(), fourcc, fourcc + 4); }
  void set_u32(std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) out[at + i] = std::uint8_t(v >> (8 * i)); }

  // Opens a chunk (or, with a type, a list) and returns where its size goes.
  std::size_t open(const char* fourcc, const char* type = nullptr) {
    id(fourcc);
    const std::size_t size_at = out.size();
    u32(0);
    if (type) id(type);
    return size_at;
  }
  // Writes the size and pads the data to an even length.
  void close(std::size_t size_at) {
    set_u32(size_at, std::uint32_t(out.size() - size_at - 4));
    if (out.size() & 1) out.push_back(0);
  }
};

struct IndexEntry {
  std::string id;
  std::uint32_t flags = 0;
  std::uint32_t offset = 0;  // of the chunk header, from the 'movi' type word or the file start
  std::uint32_t size = 0;
};

struct Layout {
  int width = 0, height = 0, frames = 0;
  std::size_t row = 0, stride = 0, frame_bytes = 0;
  std::uint32_t audio_per_frame = 0;  // bytes of the silent stream stored with each frame
  std::string video_id;               // "00db", or "01db" after the audio stream
};

void write_stream_header(Bytes& b, const char* type, std::uint32_t scale, std::uint32_t rate, std::uint32_t start,
                         std::uint32_t length, std::uint32_t buffer, std::uint32_t sample_size, int width, int height) {
  const std::size_t strh = b.open("strh");
  b.id(type);
  b.u32(0);  // handler: none, the data are uncompressed
  b.u32(0);  // flags
  b.u16(0);  // priority
  b.u16(0);  // language
  b.u32(0);  // initial frames
  b.u32(scale);
  b.u32(rate);
  b.u32(start);
  b.u32(length);
  b.u32(buffer);
  b.u32(0xffffffff);  // quality: default
  b.u32(sample_size);
  b.u16(0), b.u16(0), b.u16(std::uint32_t(width)), b.u16(std::uint32_t(height));  // frame rectangle
  b.close(strh);
}

void write_video_stream(Bytes& b, const Layout& l, const AviWriterOptions& o) {
  const std::size_t strl = b.open("LIST", "strl");
  write_stream_header(b, "vids", o.scale, o.rate, o.start, std::uint32_t(l.frames), std::uint32_t(l.frame_bytes), 0,
                      l.width, l.height);
  const std::size_t strf = b.open("strf");
  b.u32(40);
  b.u32(std::uint32_t(l.width));
  b.u32(std::uint32_t(o.top_down ? -l.height : l.height));
  b.u16(1);  // planes
  b.u16(std::uint32_t(o.bits));
  b.u32(0);  // no compression
  b.u32(std::uint32_t(l.frame_bytes));
  b.u32(0), b.u32(0), b.u32(0), b.u32(0);  // resolution, colours used and important
  b.close(strf);
  b.close(strl);
}

void write_audio_stream(Bytes& b, const Layout& l) {
  const std::size_t strl = b.open("LIST", "strl");
  write_stream_header(b, "auds", 1, audio_rate, 0, l.audio_per_frame * std::uint32_t(l.frames), l.audio_per_frame, 1, 0, 0);
  const std::size_t strf = b.open("strf");
  b.u16(1);  // PCM
  b.u16(1);  // mono
  b.u32(audio_rate);
  b.u32(audio_rate);  // bytes per second
  b.u16(1);           // block align
  b.u16(8);           // bits per sample
  b.u16(0);           // no extra bytes
  b.close(strf);
  b.close(strl);
}

void write_headers(Bytes& b, const Layout& l, const AviWriterOptions& o) {
  const std::size_t hdrl = b.open("LIST", "hdrl");
  const std::size_t avih = b.open("avih");
  b.u32(o.rate ? std::uint32_t(1000000.0 * o.scale / o.rate) : 0);  // microseconds per frame
  b.u32(0);                                                          // maximum bytes per second
  b.u32(0);                                                          // padding granularity
  b.u32(o.write_index ? header_has_index : 0);
  b.u32(std::uint32_t(l.frames));
  b.u32(0);  // initial frames
  b.u32(o.audio_stream_first ? 2 : 1);
  b.u32(std::uint32_t(l.frame_bytes));
  b.u32(std::uint32_t(l.width));
  b.u32(std::uint32_t(l.height));
  for (int i = 0; i < 4; ++i) b.u32(0);
  b.close(avih);
  if (o.audio_stream_first) write_audio_stream(b, l);
  write_video_stream(b, l, o);
  b.close(hdrl);
}

// One frame's pixels as stored: bottom row first unless top-down, rows padded to 4 bytes.
void store_frame(std::span<const std::uint32_t> pixels, const Layout& l, const AviWriterOptions& o, Bytes& b) {
  const std::size_t at = b.out.size();
  b.out.resize(at + l.frame_bytes, 0);
  for (int y = 0; y < l.height; ++y) {
    const int source_row = o.top_down ? y : l.height - 1 - y;
    std::uint8_t* p = &b.out[at + std::size_t(y) * l.stride];
    for (int x = 0; x < l.width; ++x) {
      const std::uint32_t c = pixels[std::size_t(source_row) * std::size_t(l.width) + std::size_t(x)];
      const std::uint32_t r = c >> 16 & 0xff, g = c >> 8 & 0xff, bl = c & 0xff;
      if (o.bits == 16) {
        const std::uint32_t v = (r >> 3) << 10 | (g >> 3) << 5 | bl >> 3;
        *p++ = std::uint8_t(v), *p++ = std::uint8_t(v >> 8);
      } else {
        *p++ = std::uint8_t(bl), *p++ = std::uint8_t(g), *p++ = std::uint8_t(r);
      }
    }
  }
}

void write_frames(Bytes& b, const Layout& l, const AviDrawFrame& draw, const AviWriterOptions& o,
                  std::vector<IndexEntry>& index) {
  const std::size_t movi = b.open("LIST", "movi");
  const std::size_t origin = o.absolute_index ? 0 : movi + 4;
  std::vector<std::uint32_t> pixels(std::size_t(l.width) * std::size_t(l.height));
  for (int f = 0; f < l.frames; ++f) {
    if (o.audio_stream_first) {
      const std::size_t at = b.out.size();
      const std::size_t chunk = b.open("00wb");
      b.out.resize(b.out.size() + l.audio_per_frame, audio_silence);
      b.close(chunk);
      index.push_back({"00wb", index_keyframe_flag, std::uint32_t(at - origin), l.audio_per_frame});
    }
    const bool dropped = std::find(o.dropped.begin(), o.dropped.end(), f) != o.dropped.end();
    const std::size_t at = b.out.size();
    const std::size_t chunk = b.open(l.video_id.c_str());
    if (!dropped) {
      std::fill(pixels.begin(), pixels.end(), 0);
      draw(f, pixels);
      store_frame(pixels, l, o, b);
    }
    b.close(chunk);
    index.push_back({l.video_id, dropped ? 0 : index_keyframe_flag, std::uint32_t(at - origin),
                     dropped ? 0 : std::uint32_t(l.frame_bytes)});
  }
  b.close(movi);
}

}  // namespace

std::vector<std::uint8_t> avi_encode(int width, int height, int frame_count, const AviDrawFrame& draw,
                                     const AviWriterOptions& options) {
  if (width < 1 || width > largest_side || height < 1 || height > largest_side || frame_count < 0) return {};
  if ((options.bits != 16 && options.bits != 24) || !draw) return {};
  Layout l;
  l.width = width, l.height = height, l.frames = frame_count;
  l.row = std::size_t(width) * std::size_t(options.bits / 8);
  l.stride = (l.row + 3) & ~std::size_t(3);
  l.frame_bytes = l.stride * std::size_t(height);
  l.audio_per_frame = options.rate ? std::uint32_t(std::uint64_t(audio_rate) * options.scale / options.rate) & ~1u : 0;
  l.video_id = options.audio_stream_first ? "01db" : "00db";
  const std::uint64_t estimate = std::uint64_t(frame_count) * (l.frame_bytes + l.audio_per_frame + 64) + 4096;
  if (estimate > 0xffffffffu) return {};

  Bytes b;
  b.out.reserve(std::size_t(estimate));
  const std::size_t riff = b.open("RIFF", "AVI ");
  write_headers(b, l, options);
  std::vector<IndexEntry> index;
  write_frames(b, l, draw, options, index);
  if (options.write_index) {
    const std::size_t idx1 = b.open("idx1");
    for (const IndexEntry& e : index) {
      b.id(e.id.c_str());
      b.u32(e.flags);
      b.u32(e.offset);
      b.u32(e.size);
    }
    b.close(idx1);
  }
  b.close(riff);
  return std::move(b.out);
}
