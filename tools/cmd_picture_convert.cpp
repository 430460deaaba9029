// cmd_picture_convert.cpp: picture-decode and picture-convert: pictures of any format the show
// reads, decoded as the layers decode them or turned into the 8-bit PCX the show has always read.
#include <cstdio>

#include "base/byte_order.h"
#include "base/write_file.h"
#include "driver/picture_file.h"
#include "tools/commands.h"
#include "tools/picture_convert.h"

// Writes the decoded pixels as raw little-endian 0x00RRGGBB words, width x height x 4 bytes.
int cmd_picture_decode(const ToolArgs& args) {
  const std::string& in = args.operands[0];
  int result = PICTURE_OK;
  std::string problem;
  const Picture picture = load_any_picture(in, &result, &problem);
  if (picture.pixels.empty()) {
    std::fprintf(stderr, "quindle-tool: %s %s\n", in.c_str(), problem.c_str());
    return 1;
  }
  std::vector<std::uint8_t> raw(picture.pixels.size() * 4);
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) store_le32(raw.data() + 4 * i, picture.pixels[i]);
  if (const std::string error = write_file(args.operands[1], raw); !error.empty()) {
    std::fprintf(stderr, "quindle-tool: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d x %d\n", picture.width, picture.height);
  if (result != PICTURE_OK) {
    std::fprintf(stderr, "quindle-tool: %s %s; %s holds what was decoded\n", in.c_str(), problem.c_str(),
                 args.operands[1].c_str());
    return 1;
  }
  return 0;
}

int cmd_picture_convert(const ToolArgs& args) {
  ConvertedPicture converted;
  std::string problem;
  if (!convert_picture_to_pcx(args.operands[0], !args_flag(args, "--no-dither"), &converted, &problem)) {
    std::fprintf(stderr, "quindle-tool: %s\n", problem.c_str());
    return 1;
  }
  if (const std::string error = write_file(args.operands[1], converted.pcx); !error.empty()) {
    std::fprintf(stderr, "quindle-tool: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d x %d, %d colours, colour error %.2f on average (root mean square), %.0f at most, of 255\n",
              converted.width, converted.height, converted.colours, converted.rms_error, converted.max_error);
  const bool bitmap = converted.width == 320 && converted.height == 200;
  const bool texture = converted.width == 256 && converted.height == 256;
  if (!bitmap && !texture)
    std::printf("note: bitmap layers and sequences need 320 x 200, ipol_mesh layers 256 x 256\n");
  return 0;
}
