// cmd_pictures.cpp: pcx-decode, seq-pack and seq-info: pictures and sequence files as the
// show reads them.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/frame.h"
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

const char* picture_result_text(int result) {
  switch (result) {
    case PICTURE_OK: return "ok";
    case PICTURE_NOT_PICTURE: return "not a picture (bytes 0-3 must be 10, 5, 1, 8)";
    case PICTURE_SHORT_HEADER: return "shorter than its 128-byte header";
    case PICTURE_TOO_LARGE: return "too large";
    case PICTURE_TRUNCATED: return "truncated: decoded as far as the bytes go, the rest black";
    case PICTURE_NO_FRAME: return "no whole record";
    case PICTURE_READ_FAILED: return "cannot be read";
    case PICTURE_NO_MEMORY: return "out of memory";
    default: return "unknown result";
  }
}

}  // namespace

// Writes the decoded pixels as raw little-endian 0x00RRGGBB words, width x height x 4 bytes.
int cmd_pcx_decode(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quindle-tool pcx-decode FILE OUT\n");
    return 2;
  }
  int result = 0;
  const Picture picture = load_picture(argv[0], &result);
  if (picture.pixels.empty()) {
    std::fprintf(stderr, "quindle-tool: %s: %s\n", argv[0], picture_result_text(result));
    return 1;
  }
  std::vector<std::uint8_t> raw(picture.pixels.size() * 4);
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) store_le32(raw.data() + 4 * i, picture.pixels[i]);
  if (const std::string error = write_file(argv[1], raw); !error.empty()) {
    std::fprintf(stderr, "quindle-tool: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d x %d\n", picture.width, picture.height);
  if (result != PICTURE_OK) std::printf("warning: %s\n", picture_result_text(result));
  return 0;
}

int cmd_seq_pack(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quindle-tool seq-pack OUT PICTURES...\n");
    return 2;
  }
  std::vector<std::vector<std::uint8_t>> pictures;
  for (int i = 1; i < argc; ++i) {
    bool ok = false;
    pictures.push_back(read_bytes(argv[i], &ok));
    PictureHeader header;
    if (!ok || read_picture_header(pictures.back(), &header) != PICTURE_OK) {
      std::fprintf(stderr, "quindle-tool: %s is not a picture\n", argv[i]);
      return 1;
    }
    if (std::size_t(header.width) * std::size_t(header.height) > std::size_t(frame_pixels))
      std::fprintf(stderr, "warning: %s is %d x %d: a sequence frame shows at most %d pixels\n", argv[i],
                   header.width, header.height, frame_pixels);
  }
  const std::vector<std::uint8_t> bytes = pcx_pack_sequence(pictures);
  if (const std::string error = write_file(argv[0], bytes); !error.empty()) {
    std::fprintf(stderr, "quindle-tool: %s\n", error.c_str());
    return 1;
  }
  std::printf("%zu frames, %zu bytes\n", pictures.size(), bytes.size());
  return 0;
}

// Lists each record as the sequence layer finds it, and what would not show.
int cmd_seq_info(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: quindle-tool seq-info FILE\n");
    return 2;
  }
  std::unique_ptr<Sequence> sequence = open_sequence(argv[0]);
  if (!sequence) {
    std::fprintf(stderr, "quindle-tool: cannot read %s\n", argv[0]);
    return 1;
  }
  int problems = 0;
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
  if (sequence->records.size() < sequence->frame_count) {
    std::printf("problem: the trailer promises %u frames but the file holds %zu whole records\n",
                sequence->frame_count, sequence->records.size());
    ++problems;
  }
  std::printf("%d problem(s)\n", problems);
  return problems ? 1 : 0;
}
