// layer_video.cpp: the avivideo layer. Frames of the layer's video stream, chosen by the
// process clock and the stream's rate, turned upright into a surface in the frame's own pixel
// format, converted to the display format and copied, centred and clipped, into the frame.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/byte_order.h"
#include "driver/layers.h"

namespace {

constexpr std::size_t bitmap_header_size = 40;
constexpr int centre_x = frame_width / 2;
constexpr int centre_y = frame_height / 2;

// The working surfaces: frames are turned upright in the first and converted to the display
// format in the second. They are kept from frame to frame and made anew only when a frame of
// another size or format arrives; one pair serves every video layer, since layers draw one
// after another.
Surface upright_frame;
Surface display_frame;

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
  const std::int32_t w = std::int32_t(load_le32(bitmap + 4));
  const std::int32_t stored_h = std::int32_t(load_le32(bitmap + 8));
  const int bits = load_le16(bitmap + 14);
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
  const std::uint32_t used = load_le32(bitmap + 32);
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
      for (std::int32_t x = 0; x < w; ++x, src += 4, dst += 4) {
        std::memcpy(dst, src, 3);
        dst[3] = 0;
      }
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

// Puts the upright frame into the frame, its centre on the frame's centre, clipped to the
// frame: the visible part is converted to the display format in display_frame, whose rows are
// then copied as bytes, so no surface is ever read as 32-bit words.
void copy_centred(std::span<std::uint32_t> frame) {
  const int left = centre_x - (upright_frame.width >> 1), top = centre_y - (upright_frame.height >> 1);
  const int x0 = std::max(left, 0), x1 = std::min(left + upright_frame.width, frame_width);
  const int y0 = std::max(top, 0), y1 = std::min(top + upright_frame.height, frame_height);
  if (x0 >= x1 || y0 >= y1) return;
  const int w = x1 - x0, h = y1 - y0;
  if (display_frame.width != w || display_frame.height != h) display_frame = surface_create(w, h, display_pixel_format);
  surface_copy_area(upright_frame, display_frame, {x0 - left, y0 - top, x1 - left, y1 - top}, {0, 0, w, h});
  for (int y = 0; y < h; ++y)
    std::memcpy(&frame[std::size_t(y0 + y) * frame_width + std::size_t(x0)],
                display_frame.pixels.data() + std::size_t(y) * std::size_t(display_frame.pitch), std::size_t(w) * 4);
}

}  // namespace

LayerLoad load_video_layer(Layer& layer, VideoLibrary& video) {
  LayerLoad load;
  layer.resource.video = video.open_stream(layer.param1.c_str());
  if (!layer.resource.video) {
    load.failure = LAYER_LOAD_VIDEO;
    load.detail = video.open_problem();
    return load;
  }
  layer.video_decoder = layer.resource.video->open_frame_decoder();
  // Without its information the stream's rate and length are unknown: that counts as a
  // stream that cannot be loaded, like a missing decoder.
  if (!layer.video_decoder || !layer.resource.video->info(&layer.video_info)) {
    load.failure = LAYER_LOAD_VIDEO;
    load.detail = layer.video_decoder ? "its stream information cannot be read" : layer.resource.video->decoder_problem();
    layer.video_decoder.reset();
    layer.resource.video.reset();
  }
  return load;
}

// The decoder finds any frame from its key frame on, so only the layer's position moves.
void advance_video_layer(Layer& layer, const FrameContext& context) {
  if (!layer.video_decoder || !context.process_clock) return;
  frame_index(layer, process_clock_ms(*context.process_clock));
}

void draw_video_layer(Layer& layer, const FrameContext& context) {
  if (!layer.video_decoder || !context.process_clock) return;
  const std::uint32_t index = frame_index(layer, process_clock_ms(*context.process_clock));
  const std::uint8_t* bitmap = layer.video_decoder->get_frame(index);
  if (!bitmap || !turn_upright(bitmap)) return;
  copy_centred(context.frame);
}
