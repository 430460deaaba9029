// PNG and JPEG pictures against the PCX path on the same image: the interop PCX files and the
// pixels they must give (tests/data/pcx), turned into PNG and JPEG variants by ImageMagick.
// Also alpha, damage, the size limit on both sides, 24-bit PCX, the layers' loaders and the
// 256-colour quantisation round trip.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/limits.h"
#include "driver/layers.h"
#include "driver/picture_file.h"
#include "testdata.h"
#include "tools/picture_convert.h"

namespace fs = std::filesystem;

namespace {

const fs::path& work_dir() {
  static const fs::path dir = scratch_dir("picture_formats_" + std::to_string(getpid()));
  return dir;
}

// Runs ImageMagick's convert with the arguments into output ("FORMAT:name" forces the format);
// the output file's path.
fs::path convert(const std::string& arguments, const std::string& output) {
  const std::size_t colon = output.find(':');
  const std::string format = colon == std::string::npos ? "" : output.substr(0, colon + 1);
  const fs::path out = work_dir() / output.substr(colon == std::string::npos ? 0 : colon + 1);
  const std::string command = "convert " + arguments + " '" + format + out.string() + "' 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return out;
}

std::vector<std::uint32_t> raw_pixels(const fs::path& bgr0) {
  const std::vector<unsigned char> bytes = read_file_bytes(bgr0);
  std::vector<std::uint32_t> pixels(bytes.size() / 4);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = std::uint32_t(bytes[4 * i]) | std::uint32_t(bytes[4 * i + 1]) << 8 | std::uint32_t(bytes[4 * i + 2]) << 16;
  return pixels;
}

// The photo interop picture as a true-colour PNG, the source of every variant.
fs::path photo_png() {
  static const fs::path png = convert(
      "-size 320x200 -depth 8 bgra:" + testdata_path("pcx/photo320x200_pil.bgr0").string() + " -alpha off",
      "PNG24:photo.png");
  return png;
}

struct Loaded {
  Picture picture;
  int result = -1;
  std::string problem;
};

Loaded load(const fs::path& path) {
  Loaded l;
  l.picture = load_any_picture(path.string(), &l.result, &l.problem);
  return l;
}

double rms_difference(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    for (int shift : {0, 8, 16}) {
      const double d = double(a[i] >> shift & 0xFF) - double(b[i] >> shift & 0xFF);
      sum += d * d;
    }
  return std::sqrt(sum / (3.0 * double(a.size())));
}

}  // namespace

// Lossless variants give exactly the pixels the PCX path gives for the same image.
TEST(PictureFormats, PngVariantsGiveThePcxPixels) {
  const std::vector<std::uint32_t> expected = raw_pixels(testdata_path("pcx/photo320x200_pil.bgr0"));
  const Loaded pcx = load(testdata_path("pcx/photo320x200_pil.pcx"));
  ASSERT_EQ(pcx.picture.pixels, expected);
  const std::string photo = photo_png().string();
  const std::pair<std::string, std::string> variants[] = {
      {photo, "PNG24:plain.png"},
      {photo + " -interlace PNG", "PNG24:interlaced.png"},
      {photo + " -depth 16", "PNG48:sixteen.png"},
      {photo, "PNG8:paletted.png"},
  };
  for (const auto& [arguments, output] : variants) {
    const Loaded png = load(convert(arguments, output));
    EXPECT_EQ(png.result, PICTURE_OK) << output << ": " << png.problem;
    EXPECT_EQ(png.picture.width, 320) << output;
    EXPECT_EQ(png.picture.height, 200) << output;
    EXPECT_TRUE(png.picture.pixels == expected) << output;
  }
}

// Grey pictures, and alpha: below half opacity (alpha under 128) a pixel is black.
TEST(PictureFormats, GreyAndAlpha) {
  // 4 x 1 pixels of (r, g, b, a): alpha 0, 127, 128, 255.
  const std::vector<unsigned char> rgba = {200, 100, 50, 0, 200, 100, 50, 127, 200, 100, 50, 128, 10, 20, 30, 255};
  write_file_bytes(work_dir() / "alpha.rgba", rgba);
  const std::string source = "-size 4x1 -depth 8 rgba:" + (work_dir() / "alpha.rgba").string();
  const std::vector<std::uint32_t> with_alpha = {0, 0, 0xC86432, 0x0A141E};
  EXPECT_EQ(load(convert(source, "PNG32:alpha.png")).picture.pixels, with_alpha);
  EXPECT_EQ(load(convert(source + " -depth 16", "PNG64:alpha16.png")).picture.pixels, with_alpha);

  const std::vector<unsigned char> grey = {0, 64, 128, 255};
  write_file_bytes(work_dir() / "grey.gray", grey);
  const std::string grey_source = "-size 4x1 -depth 8 gray:" + (work_dir() / "grey.gray").string();
  const std::vector<std::uint32_t> grey_pixels = {0, 0x404040, 0x808080, 0xFFFFFF};
  EXPECT_EQ(load(convert(grey_source, "PNG:grey.png")).picture.pixels, grey_pixels);
  EXPECT_EQ(load(convert(grey_source + " -quality 100", "JPEG:grey.jpg")).picture.pixels, grey_pixels);

  // Paletted with a transparent entry (tRNS): the transparent colour comes out black.
  const Loaded paletted = load(convert(grey_source + " -transparent 'gray(64)'", "PNG8:paletted_trns.png"));
  EXPECT_EQ(paletted.picture.pixels, (std::vector<std::uint32_t>{0, 0, 0x808080, 0xFFFFFF}));
}

// Lossy: within a small colour error of the source, whatever the JPEG's kind.
TEST(PictureFormats, JpegVariantsAreCloseToThePcxPixels) {
  const std::vector<std::uint32_t> expected = raw_pixels(testdata_path("pcx/photo320x200_pil.bgr0"));
  const std::string photo = photo_png().string();
  struct Variant {
    std::string arguments;
    const char* output;
    double rms;
  };
  const Variant variants[] = {
      {photo + " -quality 95", "JPEG:baseline.jpg", 8},
      {photo + " -quality 95 -colorspace CMYK", "JPEG:cmyk.jpg", 10},
  };
  for (const Variant& v : variants) {
    const Loaded jpeg = load(convert(v.arguments, v.output));
    EXPECT_EQ(jpeg.result, PICTURE_OK) << v.output << ": " << jpeg.problem;
    ASSERT_EQ(jpeg.picture.pixels.size(), expected.size()) << v.output;
    EXPECT_LT(rms_difference(jpeg.picture.pixels, expected), v.rms) << v.output;
  }
}

// Cut files keep what was decoded and say so; a header cut short, or bytes of no known kind,
// give nothing. Sizes past the limit are refused from the header, before any allocation.
TEST(PictureFormats, DamagedFilesAndTheSizeLimit) {
  const std::vector<unsigned char> png = read_file_bytes(photo_png());
  const std::vector<unsigned char> jpeg = read_file_bytes(convert(photo_png().string() + " -quality 90", "JPEG:cut.jpg"));
  for (const auto* file : {&png, &jpeg})
    for (std::size_t cut : {std::size_t(20), std::size_t(120), file->size() / 3, file->size() - 1}) {
      const fs::path path = work_dir() / "cut.bin";
      write_file_bytes(path, {file->begin(), file->begin() + std::ptrdiff_t(cut)});
      const Loaded l = load(path);
      const bool header_whole = cut > 200;
      EXPECT_EQ(l.result, header_whole ? PICTURE_TRUNCATED : PICTURE_NOT_PICTURE) << cut << " of " << file->size();
      EXPECT_EQ(l.picture.pixels.size(), header_whole ? 64000u : 0u) << cut;
      EXPECT_FALSE(l.problem.empty()) << cut;
    }

  // 65535 x 65535 claimed in the header of a small file (past what libjpeg takes at all, so the
  // JPEG is patched to 60000 x 60000).
  std::vector<unsigned char> huge_png = png;
  for (int i : {16, 17, 20, 21}) huge_png[std::size_t(i)] = 0;
  for (int i : {18, 19, 22, 23}) huge_png[std::size_t(i)] = 0xFF;
  write_file_bytes(work_dir() / "huge.png", huge_png);
  EXPECT_EQ(load(work_dir() / "huge.png").result, PICTURE_TOO_LARGE);
  std::vector<unsigned char> huge_jpeg = jpeg;
  for (std::size_t i = 0; i + 8 < huge_jpeg.size(); ++i)
    if (huge_jpeg[i] == 0xFF && huge_jpeg[i + 1] == 0xC0) {  // the frame header: height, width at +5
      for (std::size_t k = 5; k < 9; ++k) huge_jpeg[i + k] = k % 2 ? 0xEA : 0x60;
      break;
    }
  write_file_bytes(work_dir() / "huge.jpg", huge_jpeg);
  EXPECT_EQ(load(work_dir() / "huge.jpg").result, PICTURE_TOO_LARGE);

  const std::string side = std::to_string(max_picture_side);
  const std::string past = std::to_string(max_picture_side + 1);
  EXPECT_EQ(load(convert("-size " + side + "x1 xc:red", "PNG24:at_limit.png")).result, PICTURE_OK);
  EXPECT_EQ(load(convert("-size 1x" + past + " xc:red", "PNG24:past_limit.png")).result, PICTURE_TOO_LARGE);
  EXPECT_EQ(load(convert("-size " + side + "x1 xc:red", "JPEG:at_limit.jpg")).result, PICTURE_OK);
  EXPECT_EQ(load(convert("-size " + past + "x1 xc:red", "JPEG:past_limit.jpg")).result, PICTURE_TOO_LARGE);

  write_file_bytes(work_dir() / "text.png", {'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(load(work_dir() / "text.png").result, PICTURE_NOT_PICTURE);
  EXPECT_EQ(load(work_dir() / "missing.png").result, PICTURE_READ_FAILED);
}

// A 24-bit PCX (three planes) is refused with the way to convert it.
TEST(PictureFormats, TrueColourPcxIsRefusedWithTheHint) {
  const Loaded l = load(convert(photo_png().string() + " -type TrueColor", "PCX:truecolour.pcx"));
  EXPECT_EQ(l.result, PICTURE_NOT_PICTURE);
  EXPECT_TRUE(l.picture.pixels.empty());
  EXPECT_NE(l.problem.find("picture-convert"), std::string::npos) << l.problem;
}

TEST(PictureFormats, BitmapAndIpolMeshLayersLoadPngAndJpeg) {
  const fs::path texture = convert(testdata_path("pcx/tex256x256_im.pcx").string() + " -quality 95", "JPEG:texture.jpg");
  Layer bitmap, ipol_mesh, bitmap_wrong_size, ipol_mesh_wrong_size;
  bitmap.param1 = photo_png().string();
  ipol_mesh.param1 = texture.string();
  bitmap_wrong_size.param1 = texture.string();
  ipol_mesh_wrong_size.param1 = photo_png().string();
  EXPECT_TRUE(load_bitmap_layer(bitmap));
  EXPECT_EQ(bitmap.resource.picture.size(), 64000u);
  EXPECT_TRUE(load_ipol_mesh_layer(ipol_mesh));
  EXPECT_EQ(ipol_mesh.resource.picture.size(), 65536u);
  EXPECT_FALSE(load_bitmap_layer(bitmap_wrong_size));
  EXPECT_FALSE(load_ipol_mesh_layer(ipol_mesh_wrong_size));
}

// 256 colours or fewer come back exactly; a smooth true-colour picture within a small error,
// which the conversion reports as it measured it on the written picture.
TEST(PictureFormats, QuantisationRoundTrip) {
  ConvertedPicture converted;
  std::string problem;
  ASSERT_TRUE(convert_picture_to_pcx(photo_png().string(), true, &converted, &problem)) << problem;
  EXPECT_EQ(converted.rms_error, 0.0);
  write_file_bytes(work_dir() / "photo_back.pcx", converted.pcx);
  EXPECT_EQ(load(work_dir() / "photo_back.pcx").picture.pixels, raw_pixels(testdata_path("pcx/photo320x200_pil.bgr0")));

  const fs::path smooth = convert("-size 320x200 gradient:red-blue -depth 8", "PNG24:smooth.png");
  const std::vector<std::uint32_t> source = load(smooth).picture.pixels;
  for (bool dither : {true, false}) {
    ASSERT_TRUE(convert_picture_to_pcx(smooth.string(), dither, &converted, &problem)) << problem;
    write_file_bytes(work_dir() / "smooth_back.pcx", converted.pcx);
    const Loaded back = load(work_dir() / "smooth_back.pcx");
    ASSERT_EQ(back.result, PICTURE_OK) << dither;
    const double rms = rms_difference(back.picture.pixels, source);
    EXPECT_LT(rms, 2.0) << dither;
    EXPECT_NEAR(converted.rms_error, rms, 1e-9) << dither;
  }
}
