// cmd_pictures.cpp: pcx-decode, seq-pack and seq-info: pictures and sequence files as the
// show reads them.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/frame.h"
#include "base/limits.h"
#include "base/write_file.h"
#include "effects/picture.h"
#include "tools/commands.h"
#include "tools/pcx_writer.h"

namespace {

std::vector<std::uint8_t> read_bytes(const char* path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  *ok = bool(in);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// Writes the decoded pixels as raw little-endian 0x00RRGGBB words, width x height x 4 bytes.
int cmd_pcx_decode(const ToolArgs& args) {
  const char* in = args.operands[0].c_str();
  const char* out_path = args.operands[1].c_str();
  int result = 0;
  const Picture picture = load_picture(in, &result);
  if (picture.pixels.empty()) {
    std::fprintf(stderr, "quindle-tool: %s: %s\n", in, picture_result_text(result));
    return 1;
  }
  std::vector<std::uint8_t> raw(picture.pixels.size() * 4);
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) store_le32(raw.data() + 4 * i, picture.pixels[i]);
  if (const std::string error = write_file(out_path, raw); !error.empty()) {
    std::fprintf(stderr, "quindle-tool: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d x %d\n", picture.width, picture.height);
  if (result != PICTURE_OK) {
    std::fprintf(stderr, "quindle-tool: %s: %s; %s holds what was decoded\n", in,
                 picture_result_text(result), out_path);
    return 1;
  }
  return 0;
}

int cmd_seq_pack(const ToolArgs& args) {
  std::vector<std::vector<std::uint8_t>> pictures;
  for (std::size_t i = 1; i < args.operands.size(); ++i) {
    const char* name = args.operands[i].c_str();
    bool ok = false;
    pictures.push_back(read_bytes(name, &ok));
    PictureHeader header;
    if (!ok || read_picture_header(pictures.back(), &header) != PICTURE_OK) {
      std::fprintf(stderr, "quindle-tool: %s is not a picture\n", name);
      return 1;
    }
    if (std::size_t(header.width) * std::size_t(header.height) > std::size_t(frame_pixels))
      std::fprintf(stderr, "warning: %s is %d x %d: a sequence frame shows at most %d pixels\n", name,
                   header.width, header.height, frame_pixels);
  }
  const std::vector<std::uint8_t> bytes = pcx_pack_sequence(pictures);
  if (const std::string error = write_file(args.operands[0], bytes); !error.empty()) {
    std::fprintf(stderr, "quindle-tool: %s\n", error.c_str());
    return 1;
  }
  std::printf("%zu frames, %zu bytes\n", pictures.size(), bytes.size());
  return 0;
}

// Lists each record as the sequence layer finds it, and what would not show.
int cmd_seq_info(const ToolArgs& args) {
  const char* path = args.operands[0].c_str();
  std::unique_ptr<Sequence> sequence = open_sequence(path);
  if (!sequence) {
    std::fprintf(stderr, "quindle-tool: cannot read %s\n", path);
    return 1;
  }
  int problems = 0;
  if (sequence->file_size < 4) {
    std::printf("problem: the file is %s: a sequence ends with a 4-byte frame count\n",
                sequence->file_size == 0 ? "empty" : "shorter than 4 bytes");
    std::printf("1 problem(s)\n");
    return 1;
  }
  std::printf("frame count: %u\n", sequence->frame_count);
  std::vector<std::uint32_t> frame(frame_pixels);
  for (std::size_t i = 0; i < sequence->records.size(); ++i) {
    const SequenceRecord& record = sequence->records[i];
    std::vector<std::uint8_t> bytes(record.size);
    std::fseek(sequence->file.get(), long(record.offset), SEEK_SET);
    const bool read = std::fread(bytes.data(), 1, bytes.size(), sequence->file.get()) == bytes.size();
    PictureHeader header;
    const int result = read ? read_picture_header(bytes, &header) : PICTURE_READ_FAILED;
    std::printf("frame %zu: offset %llu, %u bytes", i, static_cast<unsigned long long>(record.offset), record.size);
    if (result == PICTURE_OK) {
      std::printf(", %d x %d", header.width, header.height);
      const int decoded = decode_sequence_frame(*sequence, std::uint32_t(i), frame);
      if (decoded != PICTURE_OK) {
        std::printf(": %s", picture_result_text(decoded));
        ++problems;
      } else if (header.width * header.height != frame_pixels) {
        std::printf(": not 320 x 200, so not a rectangle on the screen");
        ++problems;
      }
    } else {
      std::printf(": %s", picture_result_text(result));
      ++problems;
    }
    std::printf("\n");
  }
  if (sequence->walk_stopped_early) {
    const SequenceRecord* last = sequence->records.empty() ? nullptr : &sequence->records.back();
    const unsigned long long at = last ? last->offset + last->size : 0;
    std::printf("problem: the record at offset %llu is cut short, longer than %u bytes, or beyond %u records; "
                "the walk stops there\n", at, max_sequence_record_bytes, max_sequence_frames);
    ++problems;
  }
  if (sequence->records.size() < sequence->frame_count) {
    std::printf("problem: the trailer promises %u frames but the file holds %zu whole records; the rest show black\n",
                sequence->frame_count, sequence->records.size());
    ++problems;
  } else if (sequence->records.size() > sequence->frame_count) {
    std::printf("problem: the trailer says %u frames but the file holds %zu whole records; the show plays only %u\n",
                sequence->frame_count, sequence->records.size(), sequence->frame_count);
    ++problems;
  }
  if (sequence->frame_count == 0) {
    std::printf("problem: no frames to show\n");
    ++problems;
  }
  std::printf("%d problem(s)\n", problems);
  return problems ? 1 : 0;
}
