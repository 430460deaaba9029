// video_avi.cpp: the RIFF walk over an AVI file's headers, its idx1 index and its frame data.
#include "platform/video_avi.h"

#include <sys/types.h>

#include <algorithm>

#include "base/byte_order.h"
#include "base/limits.h"

namespace {

constexpr std::uint32_t fourcc(const char (&s)[5]) {
  return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
         std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

constexpr std::uint32_t index_keyframe_flag = 0x10;  // AVIIF_KEYFRAME
constexpr std::size_t index_entry_size = 16;         // id, flags, offset, size
constexpr std::size_t stream_header_used = 36;       // 'strh' up to and including dwLength
constexpr std::size_t bitmap_header_size = 40;
constexpr std::size_t palette_capacity = 256;

struct FileView {
  std::FILE* file = nullptr;
  std::uint64_t size = 0;
};

bool read_at(const FileView& f, std::uint64_t offset, void* dst, std::size_t n) {
  if (offset > f.size || n > f.size - offset) return false;
  if (fseeko(f.file, off_t(offset), SEEK_SET) != 0) return false;
  return std::fread(dst, 1, n, f.file) == n;
}

// A chunk header; `end` is where the data claims to end and may lie past the file.
struct Chunk {
  std::uint32_t id = 0;
  std::uint32_t size = 0;
  std::uint64_t data = 0;
  std::uint64_t end = 0;
  std::uint64_t next = 0;  // the following chunk: data are padded to an even length
};

// False when no whole chunk header fits before `limit`.
bool read_chunk(const FileView& f, std::uint64_t at, std::uint64_t limit, Chunk* c) {
  std::uint8_t h[8];
  if (at > limit || limit - at < 8 || !read_at(f, at, h, 8)) return false;
  c->id = load_le32(h);
  c->size = load_le32(h + 4);
  c->data = at + 8;
  c->end = c->data + c->size;
  c->next = c->end + (c->size & 1);
  return true;
}

// Records that the file's structure reaches up to `end`, which may lie past the file's end.
void note_missing(const FileView& f, std::uint64_t end, AviVideoLayout* layout) {
  if (end > f.size) layout->missing_bytes = std::max(layout->missing_bytes, end - f.size);
}

// The type word of a RIFF or LIST chunk, 0 when it cannot be read.
std::uint32_t list_type(const FileView& f, const Chunk& c) {
  std::uint8_t t[4];
  if (c.size < 4 || !read_at(f, c.data, t, 4)) return 0;
  return load_le32(t);
}

// Chunk ids of the stream's frames: two decimal digits, then "dc" (compressed) or "db".
bool is_frame_chunk(std::uint32_t id, int stream_number) {
  if (stream_number < 0 || stream_number > 99) return false;
  const std::uint32_t digits = std::uint32_t('0' + stream_number / 10) | std::uint32_t('0' + stream_number % 10) << 8;
  const std::uint32_t kind = id >> 16;
  return (id & 0xffff) == digits && (kind == (fourcc("00dc") >> 16) || kind == (fourcc("00db") >> 16));
}

void read_palette(const FileView& f, const Chunk& strf, const std::uint8_t* bitmap, AviVideoLayout* layout) {
  if (layout->bit_count == 0 || layout->bit_count > 8) return;
  const std::uint32_t header_size = std::max<std::uint32_t>(load_le32(bitmap), bitmap_header_size);
  const std::uint32_t used = load_le32(bitmap + 32);
  std::size_t count = used ? used : std::size_t(1) << layout->bit_count;
  if (strf.size <= header_size) return;
  count = std::min({count, palette_capacity, std::size_t(strf.size - header_size) / 4});
  std::uint8_t entries[palette_capacity * 4];
  if (!read_at(f, strf.data + header_size, entries, count * 4)) return;
  for (std::size_t i = 0; i < count; ++i) layout->palette.push_back(load_le32(entries + 4 * i) & 0xffffff);
}

// One 'strl' list; true when it describes a video stream, whose fields then fill the layout.
bool read_stream_list(const FileView& f, std::uint64_t begin, std::uint64_t end, AviVideoLayout* layout) {
  Chunk strh, strf, c;
  bool have_strh = false, have_strf = false;
  for (std::uint64_t at = begin; read_chunk(f, at, end, &c); at = c.next) {
    if (c.id == fourcc("strh") && !have_strh) strh = c, have_strh = true;
    if (c.id == fourcc("strf") && !have_strf) strf = c, have_strf = true;
  }
  std::uint8_t h[stream_header_used];
  if (!have_strh || strh.size < stream_header_used || !read_at(f, strh.data, h, sizeof h)) return false;
  if (load_le32(h) != fourcc("vids")) return false;
  layout->scale = load_le32(h + 20);
  layout->rate = load_le32(h + 24);
  layout->start = load_le32(h + 28);
  layout->length = load_le32(h + 32);

  std::uint8_t b[bitmap_header_size];
  if (have_strf && strf.size >= bitmap_header_size && read_at(f, strf.data, b, sizeof b)) {
    layout->width = std::int32_t(load_le32(b + 4));
    layout->height = std::int32_t(load_le32(b + 8));
    layout->bit_count = load_le16(b + 14);
    read_palette(f, strf, b, layout);
  }
  return true;
}

// The 'hdrl' list: the first 'strl' that describes video is the stream, whatever its place.
void read_header_list(const FileView& f, std::uint64_t begin, std::uint64_t end, AviVideoLayout* layout) {
  Chunk c;
  int stream = 0;
  for (std::uint64_t at = begin; read_chunk(f, at, end, &c); at = c.next) {
    if (c.id != fourcc("LIST") || list_type(f, c) != fourcc("strl")) continue;
    if (read_stream_list(f, c.data + 4, std::min(c.end, end), layout)) {
      layout->stream_number = stream;
      return;
    }
    ++stream;
  }
}

struct Range {
  std::uint64_t begin = 0, end = 0;
};

// What the top-level walk found besides the headers.
struct FileParts {
  std::vector<Range> movi;        // frame data of each RIFF, without the list type
  std::uint64_t movi_origin = 0;  // where idx1 offsets count from: the first 'movi' type word
  bool have_index = false;
  Chunk index;
};

void read_riff(const FileView& f, const Chunk& riff, AviVideoLayout* layout, FileParts* parts) {
  note_missing(f, riff.end, layout);
  const std::uint64_t end = std::min(riff.end, f.size);
  Chunk c;
  for (std::uint64_t at = riff.data + 4; read_chunk(f, at, end, &c); at = c.next) {
    if (c.id == fourcc("idx1") && !parts->have_index) {
      parts->index = c;
      parts->have_index = true;
    }
    if (c.id != fourcc("LIST")) continue;
    const std::uint32_t type = list_type(f, c);
    if (type == fourcc("hdrl") && layout && layout->stream_number < 0) read_header_list(f, c.data + 4, std::min(c.end, end), layout);
    if (type == fourcc("movi")) {
      if (parts->movi.empty()) parts->movi_origin = c.data;
      parts->movi.push_back({c.data + 4, std::min(c.end, end)});
    }
  }
}

// The base that idx1 offsets are counted from: the 'movi' type word as the format says, or
// the start of the file as some writers have it. The first entry's chunk id decides.
std::uint64_t index_base(const FileView& f, const std::uint8_t* entry, std::uint64_t movi_origin) {
  const std::uint32_t id = load_le32(entry), offset = load_le32(entry + 8);
  std::uint8_t seen[4];
  for (std::uint64_t base : {movi_origin, std::uint64_t(0)})
    if (read_at(f, base + offset, seen, 4) && load_le32(seen) == id) return base;
  return offset < movi_origin ? movi_origin : 0;
}

// False, with the layout marked, once the stream has more chunks than a video may have.
bool add_chunk(AviVideoLayout* layout, const AviChunk& chunk) {
  if (layout->chunks.size() >= std::size_t(max_video_frames)) {
    layout->too_many_chunks = true;
    return false;
  }
  layout->chunks.push_back(chunk);
  return true;
}

bool read_index(const FileView& f, const FileParts& parts, AviVideoLayout* layout) {
  const Chunk& idx = parts.index;
  if (idx.data > f.size) return false;
  const std::size_t count = std::size_t(std::min<std::uint64_t>(idx.size, f.size - idx.data) / index_entry_size);
  std::vector<std::uint8_t> bytes(count * index_entry_size);
  if (!read_at(f, idx.data, bytes.data(), bytes.size())) return false;

  bool have_base = false;
  std::uint64_t base = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = &bytes[i * index_entry_size];
    if (!is_frame_chunk(load_le32(e), layout->stream_number)) continue;
    if (!have_base) base = index_base(f, e, parts.movi_origin), have_base = true;
    AviChunk chunk;
    chunk.offset = base + load_le32(e + 8) + 8;
    chunk.size = load_le32(e + 12);
    chunk.key = (load_le32(e + 4) & index_keyframe_flag) != 0;
    // A chunk outside the file cannot be read: it counts as dropped, keeping the numbering.
    if (chunk.offset > f.size || chunk.size > f.size - chunk.offset) {
      note_missing(f, chunk.offset + chunk.size, layout);
      chunk.size = 0;
      ++layout->chunks_outside_file;
    }
    if (!add_chunk(layout, chunk)) break;
  }
  layout->keyframes_known = true;
  return !layout->chunks.empty();
}

void scan_frames(const FileView& f, Range range, AviVideoLayout* layout, bool inside_rec) {
  Chunk c;
  for (std::uint64_t at = range.begin; !layout->too_many_chunks && read_chunk(f, at, range.end, &c); at = c.next) {
    if (c.id == fourcc("LIST")) {
      if (!inside_rec && list_type(f, c) == fourcc("rec ")) scan_frames(f, {c.data + 4, std::min(c.end, range.end)}, layout, true);
      continue;
    }
    if (!is_frame_chunk(c.id, layout->stream_number)) continue;
    if (c.end > f.size) {  // a cut-off chunk ends the frames
      note_missing(f, c.end, layout);
      ++layout->chunks_outside_file;
      return;
    }
    if (!add_chunk(layout, {c.data, c.size, false})) return;
  }
}

}  // namespace

bool avi_read_layout(std::FILE* file, AviVideoLayout* layout) {
  *layout = AviVideoLayout{};
  if (!file || fseeko(file, 0, SEEK_END) != 0) return false;
  const off_t size = ftello(file);
  if (size < 0) return false;
  const FileView f{file, std::uint64_t(size)};

  Chunk riff;
  if (!read_chunk(f, 0, f.size, &riff) || riff.id != fourcc("RIFF") || list_type(f, riff) != fourcc("AVI ")) return false;
  FileParts parts;
  read_riff(f, riff, layout, &parts);
  if (layout->stream_number < 0) return false;

  // Files past the first RIFF's size limit go on in 'AVIX' RIFFs of frame data only.
  Chunk c;
  for (std::uint64_t at = riff.next; read_chunk(f, at, f.size, &c); at = c.next)
    if (c.id == fourcc("RIFF") && list_type(f, c) == fourcc("AVIX")) read_riff(f, c, layout, &parts);

  // idx1 covers the first RIFF only; frames of later RIFFs are found by walking them.
  std::size_t walked = 0;
  if (!parts.have_index || !read_index(f, parts, layout)) {
    layout->chunks.clear();
    layout->keyframes_known = false;
  } else {
    walked = 1;
  }
  for (std::size_t m = walked; m < parts.movi.size() && !layout->too_many_chunks; ++m)
    scan_frames(f, parts.movi[m], layout, false);
  if (!layout->keyframes_known) {
    auto first = std::find_if(layout->chunks.begin(), layout->chunks.end(), [](const AviChunk& k) { return k.size > 0; });
    if (first != layout->chunks.end()) first->key = true;
  }
  return true;
}

bool avi_is_riff_avi(std::FILE* file) {
  std::uint8_t head[12];
  if (!file || fseeko(file, 0, SEEK_SET) != 0 || std::fread(head, 1, sizeof head, file) != sizeof head) return false;
  return load_le32(head) == fourcc("RIFF") && load_le32(head + 8) == fourcc("AVI ");
}

std::string avi_limits_problem(const AviVideoLayout& layout) {
  const std::string limits = "videos of up to " + std::to_string(max_video_side) + " pixels a side and " +
                             std::to_string(max_video_pixels) + " pixels in all are played";
  const std::int64_t width = layout.width;
  const std::int64_t height = layout.height < 0 ? -std::int64_t(layout.height) : layout.height;
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  if (width <= 0 || height <= 0) return "the frame size " + size + " in its header is not a picture size";
  if (width > max_video_side || height > max_video_side || width * height > max_video_pixels)
    return "the frames are " + size + " pixels; " + limits;
  if (layout.too_many_chunks)
    return "it has more than " + std::to_string(max_video_frames) + " frames, the most a video may have";
  return "";
}
