#include "effects/picture.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <new>

#include "base/byte_order.h"
#include "base/limits.h"

namespace {

constexpr std::size_t header_size = 128;   // the run-length stream starts right after it
constexpr std::size_t palette_size = 768;  // 256 entries of red, green, blue; the last bytes

using ColourTable = std::array<std::uint32_t, 256>;

// Palette entry v (red, green, blue) becomes the pixel 0x00RRGGBB.
ColourTable colours_from_palette(const std::uint8_t* palette) {
  ColourTable colours;
  for (std::size_t v = 0; v < 256; ++v) {
    const std::uint8_t* entry = palette + 3 * v;
    colours[v] = std::uint32_t(entry[0]) << 16 | std::uint32_t(entry[1]) << 8 | entry[2];
  }
  return colours;
}

// Decodes the run-length stream [pos, end) into rows of `width` pixels. Each row consumes exactly
// line_length indices: a run reaching past the line's end is cut there (its rest is dropped), and
// indices at or beyond the width are consumed but not shown. Returns false when the stream ends
// before the last row is complete; the pixels not reached keep their value.
bool decode_rows(const std::uint8_t* pos, const std::uint8_t* end, const ColourTable& colours,
                 std::size_t width, std::size_t height, std::size_t line_length, std::uint32_t* pixels) {
  const std::size_t shown = std::min(width, line_length);
  for (std::size_t y = 0; y < height; ++y) {
    std::uint32_t* row = pixels + y * width;
    std::size_t p = 0;
    while (p < line_length) {
      if (pos == end) return false;
      const std::uint8_t b = *pos++;
      if ((b & 0xC0) != 0xC0) {
        if (p < shown) row[p] = colours[b];
        ++p;
        continue;
      }
      // A count of 0 (0xC0) still consumes its value byte and writes nothing.
      if (pos == end) return false;
      const std::uint8_t v = *pos++;
      const std::size_t run_end = std::min(p + (b & 0x3F), line_length);
      if (p < shown) std::fill(row + p, row + std::min(run_end, shown), colours[v]);
      p = run_end;
    }
  }
  return true;
}

// Reads the whole file into bytes; false when it cannot be opened or read.
bool read_whole_file(const std::string& path, std::vector<std::uint8_t>* bytes) {
  std::unique_ptr<std::FILE, SequenceFileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(file.get());
  if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return false;
  bytes->resize(std::size_t(size));
  return std::fread(bytes->data(), 1, bytes->size(), file.get()) == bytes->size();
}

bool read_at(std::FILE* file, std::uint64_t offset, std::uint8_t* bytes, std::size_t count) {
  return std::fseek(file, long(offset), SEEK_SET) == 0 && std::fread(bytes, 1, count, file) == count;
}

// Walks the records from offset 0 as the length fields chain them and stops at the first record
// that runs past the end of the file or past the limits. The file is read front to back through
// one buffer: a length field already in the buffer costs no read, and the buffer is refilled
// from the next length field on once the walk leaves it.
bool find_records(Sequence& sequence) {
  const std::uint64_t file_size = sequence.file_size;
  std::vector<std::uint8_t> buffer(std::size_t(std::min<std::uint64_t>(file_size, std::uint64_t(1) << 20)));
  std::uint64_t buffer_start = 0;
  std::uint64_t buffer_end = 0;
  std::uint64_t offset = 0;
  while (file_size - offset >= 4) {
    if (offset + 4 > buffer_end) {
      const std::size_t count = std::size_t(std::min<std::uint64_t>(buffer.size(), file_size - offset));
      if (!read_at(sequence.file.get(), offset, buffer.data(), count)) return false;
      buffer_start = offset;
      buffer_end = offset + count;
    }
    // The last 4 bytes are the trailer, not a record.
    if (offset + 4 == file_size) return true;
    const std::uint32_t length = load_le32(buffer.data() + (offset - buffer_start));
    if (length > file_size - offset - 4 || length > max_sequence_record_bytes ||
        sequence.records.size() == max_sequence_frames) {
      sequence.walk_stopped_early = true;
      return true;
    }
    sequence.records.push_back({offset + 4, length});
    offset += 4 + std::uint64_t(length);
  }
  return true;
}

}  // namespace

const char* picture_result_text(int result) {
  switch (result) {
    case PICTURE_OK: return "ok";
    case PICTURE_NOT_PICTURE: return "not a picture (bytes 0-3 must be 10, 5, 1, 8)";
    case PICTURE_SHORT_HEADER: return "shorter than its 128-byte header";
    case PICTURE_TOO_LARGE: return "too large";
    case PICTURE_TRUNCATED: return "cut short: decoded as far as the data goes, the rest black";
    case PICTURE_NO_FRAME: return "no whole record";
    case PICTURE_READ_FAILED: return "cannot be read";
    case PICTURE_NO_MEMORY: return "out of memory";
    default: return "unknown result";
  }
}

int read_picture_header(std::span<const std::uint8_t> bytes, PictureHeader* header) {
  if (bytes.size() < 4 || bytes[0] != 10 || bytes[1] != 5 || bytes[2] != 1 || bytes[3] != 8)
    return PICTURE_NOT_PICTURE;
  if (bytes.size() < header_size) return PICTURE_SHORT_HEADER;
  const std::uint8_t* h = bytes.data();
  header->width = int(load_le16(h + 8)) + 1;
  header->height = int(load_le16(h + 10)) + 1;
  header->line_length = int(load_le16(h + 66)) * int(h[65]);
  header->planes = h[65];
  return PICTURE_OK;
}

int decode_picture(std::span<const std::uint8_t> bytes, std::span<std::uint32_t> destination) {
  PictureHeader header;
  if (int rc = read_picture_header(bytes, &header); rc != PICTURE_OK) return rc;
  const std::size_t width = std::size_t(header.width);
  const std::size_t height = std::size_t(header.height);
  // At most 65536 x 65536: the product fits in 64 bits.
  if (std::uint64_t(width) * height > destination.size()) return PICTURE_TOO_LARGE;

  std::fill_n(destination.data(), width * height, 0u);
  if (bytes.size() < palette_size) return PICTURE_TRUNCATED;
  const ColourTable colours = colours_from_palette(bytes.data() + bytes.size() - palette_size);
  // With one plane the stream ends at the palette's marker. Without the marker the picture was
  // cut somewhere: what the bytes hold is decoded, up to their end.
  const bool needs_marker = header.planes == 1;
  const bool marked = bytes.size() >= header_size + palette_size + 1 && bytes[bytes.size() - palette_size - 1] == 0x0C;
  const std::uint8_t* stream_end = bytes.data() + bytes.size() - (needs_marker && marked ? palette_size + 1 : 0);
  const bool whole = decode_rows(bytes.data() + header_size, stream_end, colours, width, height,
                                 std::size_t(header.line_length), destination.data());
  return whole && (marked || !needs_marker) ? PICTURE_OK : PICTURE_TRUNCATED;
}

Picture load_picture(const std::string& path, int* result) {
  int ignored = 0;
  int& rc = result ? *result : ignored;
  Picture picture;
  try {
    std::vector<std::uint8_t> bytes;
    if (!read_whole_file(path, &bytes)) {
      rc = PICTURE_READ_FAILED;
      return picture;
    }
    PictureHeader header;
    if (rc = read_picture_header(bytes, &header); rc != PICTURE_OK) return picture;
    if (header.width > max_picture_side || header.height > max_picture_side) {
      rc = PICTURE_TOO_LARGE;
      return picture;
    }
    std::vector<std::uint32_t> pixels(std::size_t(header.width) * std::size_t(header.height));
    rc = decode_picture(bytes, pixels);
    picture.width = header.width;
    picture.height = header.height;
    picture.pixels = std::move(pixels);
  } catch (const std::bad_alloc&) {
    rc = PICTURE_NO_MEMORY;
    picture = Picture{};
  }
  return picture;
}

std::unique_ptr<Sequence> open_sequence(const std::string& path) {
  std::unique_ptr<std::FILE, SequenceFileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return nullptr;
  const long end = std::ftell(file.get());
  if (end < 0) return nullptr;
  try {
    auto sequence = std::make_unique<Sequence>();
    sequence->file = std::move(file);
    sequence->file_size = std::uint64_t(end);
    std::uint8_t trailer[4];
    if (sequence->file_size >= 4) {
      if (!read_at(sequence->file.get(), sequence->file_size - 4, trailer, 4)) return nullptr;
      sequence->frame_count = load_le32(trailer);
    }
    if (!find_records(*sequence)) return nullptr;
    std::uint32_t largest = 0;
    for (const SequenceRecord& record : sequence->records) largest = std::max(largest, record.size);
    sequence->frame_bytes.resize(largest);
    std::fseek(sequence->file.get(), 0, SEEK_SET);
    return sequence;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int decode_sequence_frame(Sequence& sequence, std::uint32_t index, std::span<std::uint32_t> destination) {
  if (index >= sequence.records.size()) return PICTURE_NO_FRAME;
  const SequenceRecord& record = sequence.records[index];
  std::FILE* file = sequence.file.get();
  const bool read = record.size == 0 || (std::fseek(file, long(record.offset), SEEK_SET) == 0 &&
                                         std::fread(sequence.frame_bytes.data(), 1, record.size, file) == record.size);
  if (!read) return PICTURE_READ_FAILED;
  return decode_picture(std::span(sequence.frame_bytes.data(), record.size), destination);
}
