// quantise.cpp: libimagequant at its best quality; the error is measured here, on the result.
#include "platform/quantise.h"

#include <libimagequant.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

struct AttrFree {
  void operator()(liq_attr* a) const { liq_attr_destroy(a); }
};
struct ImageFree {
  void operator()(liq_image* i) const { liq_image_destroy(i); }
};
struct ResultFree {
  void operator()(liq_result* r) const { liq_result_destroy(r); }
};

void measure(std::span<const std::uint32_t> pixels, QuantisedPicture* out) {
  double sum = 0;
  int largest = 0;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const std::uint8_t* entry = out->palette.data() + 3 * std::size_t(out->indices[i]);
    for (int ch = 0; ch < 3; ++ch) {
      const int source = int(pixels[i] >> (16 - 8 * ch) & 0xFF);
      const int d = std::abs(source - int(entry[ch]));
      sum += double(d) * d;
      largest = std::max(largest, d);
    }
  }
  out->rms_error = pixels.empty() ? 0 : std::sqrt(sum / (3.0 * double(pixels.size())));
  out->max_error = largest;
}

}  // namespace

bool quantise_picture(std::span<const std::uint32_t> pixels, int width, int height, bool dither,
                      QuantisedPicture* out, std::string* error) {
  const std::size_t count = std::size_t(width) * std::size_t(height);
  if (width <= 0 || height <= 0 || pixels.size() < count) {
    *error = "no pixels to quantise";
    return false;
  }
  std::vector<std::uint8_t> rgba(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    rgba[4 * i + 0] = std::uint8_t(pixels[i] >> 16);
    rgba[4 * i + 1] = std::uint8_t(pixels[i] >> 8);
    rgba[4 * i + 2] = std::uint8_t(pixels[i]);
    rgba[4 * i + 3] = 255;
  }
  std::unique_ptr<liq_attr, AttrFree> attr(liq_attr_create());
  if (!attr) {
    *error = "out of memory";
    return false;
  }
  liq_set_max_colors(attr.get(), 256);
  liq_set_speed(attr.get(), 3);
  std::unique_ptr<liq_image, ImageFree> image(liq_image_create_rgba(attr.get(), rgba.data(), width, height, 0));
  liq_result* raw = nullptr;
  if (!image || liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK) {
    *error = "the colour quantiser failed";
    return false;
  }
  std::unique_ptr<liq_result, ResultFree> result(raw);
  liq_set_dithering_level(result.get(), dither ? 1.0f : 0.0f);
  out->width = width;
  out->height = height;
  out->indices.assign(count, 0);
  if (liq_write_remapped_image(result.get(), image.get(), out->indices.data(), count) != LIQ_OK) {
    *error = "the colour quantiser failed";
    return false;
  }
  const liq_palette* palette = liq_get_palette(result.get());
  out->palette.fill(0);
  out->colours = int(palette->count);
  for (unsigned i = 0; i < palette->count && i < 256; ++i) {
    out->palette[3 * i + 0] = palette->entries[i].r;
    out->palette[3 * i + 1] = palette->entries[i].g;
    out->palette[3 * i + 2] = palette->entries[i].b;
  }
  measure(pixels.first(count), out);
  return true;
}
