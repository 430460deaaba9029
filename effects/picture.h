// picture.h: 8-bit run-length paletted pictures (version 5) decoded to 0x00RRGGBB pixels,
// and sequence files (records of a 4-byte length and one picture, then a 4-byte frame count).
// Loaded pictures and open sequences own their pixels, file and read buffer. Decoding never
// reads outside the given bytes nor writes outside the destination span; it allocates nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Result of the picture and sequence functions; 0 = a whole picture was decoded.
enum : int {
  PICTURE_OK = 0,
  PICTURE_NOT_PICTURE = 1,   // bytes 0-3 are not 10, 5, 1, 8; the destination is untouched
  PICTURE_SHORT_HEADER = 2,  // fewer than 128 bytes; the destination is untouched
  PICTURE_TOO_LARGE = 3,     // width x height exceeds the destination (or the load limit); untouched
  PICTURE_TRUNCATED = 4,     // cut: the stream ends before the last line, or the 256-colour
                             // palette or its 0x0C marker is missing; width x height pixels
                             // were cleared, what was decoded is kept
  PICTURE_NO_FRAME = 5,      // the sequence holds no whole record for that frame; untouched
  PICTURE_READ_FAILED = 6,   // the file could not be opened or read
  PICTURE_NO_MEMORY = 7,     // the pixel array could not be allocated
};

// The header fields the decoder uses. Width and height come from x max and y max alone.
struct PictureHeader {
  int width = 0;                 // x max + 1, 1 .. 65536
  int height = 0;                // y max + 1, 1 .. 65536
  int line_length = 0;           // bytes per line x planes: palette indices stored per row
  int planes = 0;                // 1: one index per pixel and the 256-colour palette at the end
};

// A sentence for a result code, for messages ("cut short: ...").
const char* picture_result_text(int result);

// A loaded picture: width x height pixels, row after row with no gap. Empty pixels = none.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// Checks bytes 0-3 and reads the size fields: PICTURE_OK, PICTURE_NOT_PICTURE or PICTURE_SHORT_HEADER.
int read_picture_header(std::span<const std::uint8_t> bytes, PictureHeader* header);

// Decodes one picture into the first width x height pixels of destination (row stride = width).
// Runs are cut at the end of each line; a 0xC0 byte and its value write nothing; the palette is
// the last 768 bytes. With one plane the palette must follow a 0x0C marker, and the stream ends
// at the marker; a picture without it is cut (PICTURE_TRUNCATED), decoded as far as its bytes go
// with the last 768 bytes as the palette. Where the stream ends early the rest stays black
// (PICTURE_TRUNCATED).
// A picture larger than the destination is refused whole (PICTURE_TOO_LARGE), nothing written.
int decode_picture(std::span<const std::uint8_t> bytes, std::span<std::uint32_t> destination);

// Reads a picture file whole and decodes it into a new array. Pixels are empty when the file
// cannot be read, is no picture, or is wider or taller than max_picture_side (base/limits.h);
// `result` gets the code. A cut picture still loads (black where the data ended) with
// PICTURE_TRUNCATED, for the caller to report.
Picture load_picture(const std::string& path, int* result = nullptr);

struct SequenceFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Where a whole record's picture bytes lie in the file.
struct SequenceRecord {
  std::uint64_t offset = 0;      // first byte of the picture, after the 4-byte length
  std::uint32_t size = 0;        // the record's length field
};

// An open sequence file. The records are found once, at open, in one sequential read of the
// file that walks the length fields from offset 0, so showing frame k reads only frame k.
struct Sequence {
  std::unique_ptr<std::FILE, SequenceFileCloser> file;
  std::uint64_t file_size = 0;
  std::uint32_t frame_count = 0;             // the last 4 bytes of the file, as stored
  std::vector<SequenceRecord> records;       // every whole record, whatever frame_count says; the
                                             // walk stops at a record that runs past the end of
                                             // the file, one longer than max_sequence_record_bytes,
                                             // or after max_sequence_frames records
  bool walk_stopped_early = false;           // the walk stopped at such a record, not at the end
  std::vector<std::uint8_t> frame_bytes;     // read buffer, sized at open for the largest record
  bool damage_reported = false;              // for the show: a damaged frame was reported once
};

// Opens a sequence file for the rest of the run; null when it cannot be opened or read.
// A file shorter than 4 bytes has frame_count 0. The last 4 bytes are never read as a record.
std::unique_ptr<Sequence> open_sequence(const std::string& path);

// Decodes frame `index` (from 0) into destination, as decode_picture does. An index with no
// whole record (beyond the file's records, or a record that runs past the end of the file)
// gives PICTURE_NO_FRAME and a frame larger than the destination PICTURE_TOO_LARGE; neither
// writes anything. Allocates nothing: the read buffer was sized at open.
int decode_sequence_frame(Sequence& sequence, std::uint32_t index, std::span<std::uint32_t> destination);
