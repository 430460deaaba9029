// layer_video.cpp: the avivideo layer. Frames of the layer's video stream, chosen by the
// process clock and the stream's rate, turned upright into a surface in the frame's own pixel
// format and copied, centred and converted, onto the display surface.
#include <cmath>
#include <cstring>

#include "driver/layers.h"

namespace {

constexpr std::size_t bitmap_header_size = 40;
constexpr int centre_x = frame_width / 2;
constexpr int centre_y = frame_height / 2;

// The working surface that frames are turned upright in. It is kept from frame to frame and
// made anew only when a frame of another size or format arrives; one serves every video layer,
// since layers draw one after another.
Surface upright_frame;

std::uint32_t read_u32le(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The frame to show at this clock reading; moves start_mark on when the stream has run out.
std::uint32_t frame_index(Layer& layer, std::int64_t clock_ms) {
  const VideoStreamInfo& info = layer.video_info;
  if (layer.start_mark == -1) layer.start_mark = std::int32_t(clock_ms / 1000);
  const double seconds = double(clock_ms) * 0.001 - double(layer.start_mark);
  const double index = std::trunc(seconds * (double(info.dwRate) / double(info.dwScale)));
  // The index is compared as an unsigned 32-bit number: a negative or unrepresentable one
  // (a stream with no scale, a clock from before the start) counts as past the end.
  if (index >= 0 && index < double(info.dwLength)) return std::uint32_t(index);
  layer.start_mark = std::int32_t(clock_ms / 1000);
  return info.dwStart + 1;
}

// Copies a bitmap's rows, which follow its 40-byte header (and, for 8 bits, its palette), into
// the working surface top row first. 16- and 24-bit rows keep their bytes; 32-bit rows keep
// theirs in the display format, top byte cleared; 8-bit rows are looked up in the palette.
// False for any other depth.
bool turn_upright(const std::uint8_t* bitmap) {
  const std::int32_t w = std::int32_t(read_u32le(bitmap + 4));
  const std::int32_t stored_h = std::int32_t(read_u32le(bitmap + 8));
  const int bits = bitmap[14] | bitmap[15] << 8;
  // A negative height marks rows stored top row first.
  const bool bottom_up = stored_h > 0;
  const std::int64_t h = bottom_up ? stored_h : -std::int64_t(stored_h);
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;

  PixelFormat format;
  if (bits == 16) format = rgb555_pixel_format;
  else if (bits == 24 || bits == 8) format = bgr24_pixel_format;
  else if (bits == 32) format = display_pixel_format;
  else return false;
  if (upright_frame.width != w || upright_frame.height != int(h) || !(upright_frame.format == format))
    upright_frame = surface_create(w, int(h), format);

  const std::uint8_t* palette = bitmap + bitmap_header_size;
  const std::uint32_t used = read_u32le(bitmap + 32);
  const std::uint32_t colours = bits == 8 ? (used && used < 256 ? used : 256) : 0;
  const std::uint8_t* rows = palette + 4 * std::size_t(colours);
  const std::size_t stride = (std::size_t(w) * std::size_t(bits) + 31) / 32 * 4;
  std::uint8_t* out = surface_lock(upright_frame);
  for (std::int64_t y = 0; y < h; ++y) {
    const std::uint8_t* src = rows + std::size_t(bottom_up ? h - 1 - y : y) * stride;
    std::uint8_t* dst = out + std::size_t(y) * std::size_t(upright_frame.pitch);
    if (bits == 16 || bits == 24) {
      std::memcpy(dst, src, std::size_t(upright_frame.pitch));
      continue;
    }
    if (bits == 32) {  // the display's top byte stays 0
      for (std::int32_t x = 0; x < w; ++x, src += 4, dst += 4) std::memcpy(dst, src, 3), dst[3] = 0;
      continue;
    }
    // Entries are blue, green, red, unused; an index past the palette shows black.
    for (std::int32_t x = 0; x < w; ++x, dst += 3) {
      if (src[x] < colours) std::memcpy(dst, palette + 4 * std::size_t(src[x]), 3);
      else std::memset(dst, 0, 3);
    }
  }
  surface_unlock(upright_frame);
  return true;
}

}  // namespace

bool load_video_layer(Layer& layer, VideoLibrary& video) {
  layer.resource.video = video.open_stream(layer.param1.c_str());
  if (!layer.resource.video) return false;
  layer.video_decoder = layer.resource.video->open_frame_decoder();
  // Without its information the stream's rate and length are unknown: that counts as a
  // stream that cannot be loaded, like a missing decoder.
  if (!layer.video_decoder || !layer.resource.video->info(&layer.video_info)) {
    layer.video_decoder.reset();
    layer.resource.video.reset();
    return false;
  }
  return true;
}

// The decoder finds any frame from its key frame on, so only the layer's position moves.
void advance_video_layer(Layer& layer, const FrameContext& context) {
  if (!layer.video_decoder || !context.display || !context.process_clock) return;
  frame_index(layer, process_clock_ms(*context.process_clock));
}

void draw_video_layer(Layer& layer, const FrameContext& context) {
  if (!layer.video_decoder || !context.display || !context.process_clock) return;
  const std::uint32_t index = frame_index(layer, process_clock_ms(*context.process_clock));
  const std::uint8_t* bitmap = layer.video_decoder->get_frame(index);
  if (!bitmap || !turn_upright(bitmap)) return;

  const int w = upright_frame.width, h = upright_frame.height;
  const Area source{0, 0, w, h};
  const Area centred{centre_x - (w >> 1), centre_y - (h >> 1), centre_x + w - (w >> 1), centre_y + h - (h >> 1)};
  surface_copy_area(upright_frame, *context.display, source, centred);
}
