// picture_decode.cpp: libpng and libjpeg-turbo behind one result record. Both libraries report
// errors by longjmp; the functions that call setjmp hold no C++ objects of their own, so the
// jump skips no destructor.
#include "platform/picture_decode.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "base/limits.h"

PictureKind picture_kind_of(std::span<const std::uint8_t> bytes) {
  static const std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), png_signature, 8) == 0) return PictureKind::png;
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return PictureKind::jpeg;
  if (bytes.size() >= 1 && bytes[0] == 10) return PictureKind::pcx;
  return PictureKind::unknown;
}

namespace {

std::uint32_t load_be32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool side_too_large(std::uint32_t width, std::uint32_t height) {
  return width > std::uint32_t(max_picture_side) || height > std::uint32_t(max_picture_side);
}

// Pixels read as B, G, R, A bytes become 0x00RRGGBB; below half opacity, black.
void drop_alpha(std::vector<std::uint32_t>& pixels) {
  for (std::uint32_t& p : pixels) p = (p >> 24) < 128 ? 0 : p & 0xFFFFFF;
}

// ---- PNG

struct PngSource {
  std::span<const std::uint8_t> bytes;
  std::size_t at = 0;
  char message[200] = {};
};

void png_read_bytes(png_structp png, png_bytep out, png_size_t size) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (size > source->bytes.size() - source->at) png_error(png, "the file ends early");
  std::memcpy(out, source->bytes.data() + source->at, size);
  source->at += size;
}

void png_failed(png_structp png, png_const_charp message) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  std::snprintf(source->message, sizeof source->message, "%s", message);
  png_longjmp(png, 1);
}

void png_warned(png_structp, png_const_charp) {}

// Reads the picture into out->pixels; rows_done counts whole passes' rows, so a failure after
// the header leaves a partly decoded picture.
void png_decode_into(PngSource& source, DecodedPicture* out, bool* header_read) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, png_failed, png_warned);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(source.message, sizeof source.message, "out of memory");
    return;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return;
  }
  png_set_read_fn(png, &source, png_read_bytes);
  png_set_user_limits(png, png_uint_32(max_picture_side), png_uint_32(max_picture_side));
  png_set_chunk_malloc_max(png, 8 << 20);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  const int color = png_get_color_type(png, info);
  png_set_expand(png);  // palette to RGB, transparency chunks to alpha, small grey to 8 bits
  png_set_scale_16(png);
  if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (!(color & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t(width) * 4) png_error(png, "unexpected pixel layout");
  out->width = int(width);
  out->height = int(height);
  out->pixels.assign(std::size_t(width) * std::size_t(height), 0);
  *header_read = true;
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y)
      png_read_row(png, reinterpret_cast<png_bytep>(out->pixels.data() + std::size_t(y) * width), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  out->result = DecodeResult::ok;
}

// ---- JPEG

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = {};
  int warnings = 0;
};

void jpeg_failed(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

// Warnings are data that is cut or corrupt; the first one is kept as the problem.
void jpeg_noted(j_common_ptr cinfo, int level) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  if (level >= 0) return;
  if (errors->warnings++ == 0) (*cinfo->err->format_message)(cinfo, errors->message);
}

// CMYK as photo programs write it (Adobe's inverted form): each channel is colour x black.
void cmyk_to_pixels(const std::uint8_t* cmyk, std::uint32_t* row, int width, bool inverted) {
  for (int x = 0; x < width; ++x, cmyk += 4) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    row[x] = (c * k + 127) / 255 << 16 | (m * k + 127) / 255 << 8 | (y * k + 127) / 255;
  }
}

void jpeg_decode_into(std::span<const std::uint8_t> bytes, JpegErrors& errors, DecodedPicture* out,
                      std::vector<std::uint8_t>* cmyk_row, bool* header_read) {
  jpeg_decompress_struct cinfo;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = jpeg_failed;
  errors.manager.emit_message = jpeg_noted;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  if (side_too_large(cinfo.image_width, cinfo.image_height)) {
    std::snprintf(errors.message, sizeof errors.message, "%u x %u is larger than %d pixels a side",
                  cinfo.image_width, cinfo.image_height, max_picture_side);
    out->result = DecodeResult::too_large;
    jpeg_destroy_decompress(&cinfo);
    return;
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  jpeg_start_decompress(&cinfo);
  const int width = int(cinfo.output_width);
  out->width = width;
  out->height = int(cinfo.output_height);
  out->pixels.assign(std::size_t(width) * cinfo.output_height, 0);
  if (cmyk) cmyk_row->assign(std::size_t(width) * 4, 0);
  *header_read = true;
  while (cinfo.output_scanline < cinfo.output_height) {
    std::uint32_t* row = out->pixels.data() + std::size_t(cinfo.output_scanline) * std::size_t(width);
    JSAMPROW target = cmyk ? cmyk_row->data() : reinterpret_cast<JSAMPROW>(row);
    if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) break;
    if (cmyk) cmyk_to_pixels(cmyk_row->data(), row, width, cinfo.saw_Adobe_marker);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  out->result = DecodeResult::ok;
}

}  // namespace

DecodedPicture decode_png(std::span<const std::uint8_t> bytes) {
  DecodedPicture out;
  if (picture_kind_of(bytes) != PictureKind::png) {
    out.problem = "not a PNG file";
    return out;
  }
  // The size is read from the header chunk before libpng sees the file, to tell it apart.
  if (bytes.size() >= 24 && side_too_large(load_be32(bytes.data() + 16), load_be32(bytes.data() + 20))) {
    out.result = DecodeResult::too_large;
    out.problem = std::to_string(load_be32(bytes.data() + 16)) + " x " + std::to_string(load_be32(bytes.data() + 20)) +
                  " is larger than " + std::to_string(max_picture_side) + " pixels a side";
    return out;
  }
  PngSource source;
  source.bytes = bytes;
  bool header_read = false;
  png_decode_into(source, &out, &header_read);
  if (out.result != DecodeResult::ok) {
    out.result = header_read ? DecodeResult::damaged : DecodeResult::refused;
    out.problem = std::string(header_read ? "damaged PNG, decoded as far as it goes: " : "unreadable PNG: ") + source.message;
    if (!header_read) out.pixels.clear();
  }
  drop_alpha(out.pixels);
  return out;
}

DecodedPicture decode_jpeg(std::span<const std::uint8_t> bytes) {
  DecodedPicture out;
  if (picture_kind_of(bytes) != PictureKind::jpeg) {
    out.problem = "not a JPEG file";
    return out;
  }
  JpegErrors errors;
  std::vector<std::uint8_t> cmyk_row;
  bool header_read = false;
  jpeg_decode_into(bytes, errors, &out, &cmyk_row, &header_read);
  for (std::uint32_t& p : out.pixels) p &= 0xFFFFFF;  // the pad byte, also where decoding stopped
  if (out.result == DecodeResult::too_large) {
    out.problem = errors.message;
  } else if (out.result != DecodeResult::ok || errors.warnings > 0) {
    out.result = header_read ? DecodeResult::damaged : DecodeResult::refused;
    out.problem = std::string(header_read ? "damaged JPEG, decoded as far as it goes: " : "unreadable JPEG: ") + errors.message;
    if (!header_read) out.pixels.clear();
  }
  return out;
}
