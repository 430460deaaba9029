// Tests of the avivideo layer: frame index and wrap over the process clock, centring, upright
// rows and pixel conversion onto the display surface, and loading through the real library.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/layers.h"
#include "platform/video_ffmpeg.h"
#include "tools/show_assets.h"
#include "video_test_files.h"

namespace {

constexpr std::uint32_t earlier_layers = 0x123456;  // what the frame held before the layer drew

// A bitmap: 40-byte header, bottom row first, rows padded to 4 bytes; `top_down_bytes(x, y)`
// gives the bytes of the upright picture's pixel (x, y), y = 0 the top row.
template <class Pixel>
std::vector<std::uint8_t> make_bitmap(int w, int h, int bits, Pixel top_down_bytes, std::vector<std::uint8_t> palette = {}) {
  const std::size_t stride = (std::size_t(w) * bits + 31) / 32 * 4;
  std::vector<std::uint8_t> b(40 + palette.size() + stride * std::size_t(h), 0);
  auto put = [&](int at, std::uint32_t v) { for (int i = 0; i < 4; ++i) b[std::size_t(at + i)] = std::uint8_t(v >> 8 * i); };
  put(0, 40), put(4, std::uint32_t(w)), put(8, std::uint32_t(h)), put(32, std::uint32_t(palette.size() / 4));
  b[12] = 1, b[14] = std::uint8_t(bits);
  std::copy(palette.begin(), palette.end(), b.begin() + 40);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::vector<std::uint8_t> px = top_down_bytes(x, y);
      std::copy(px.begin(), px.end(), b.begin() + 40 + std::ptrdiff_t(palette.size() + std::size_t(h - 1 - y) * stride) + x * bits / 8);
    }
  return b;
}

// Every pixel the same bytes.
auto same(std::vector<std::uint8_t> bytes) {
  return [bytes](int, int) { return bytes; };
}

class FakeDecoder final : public FrameDecoder {
 public:
  std::vector<std::uint8_t> bitmap;
  std::vector<std::int64_t> asked;
  const std::uint8_t* get_frame(std::int64_t index) override {
    asked.push_back(index);
    return bitmap.empty() ? nullptr : bitmap.data();
  }
};

struct VideoLayerRun {
  VirtualClock clock;
  Surface display = surface_create(frame_width, frame_height, display_pixel_format);
  Layer layer;
  FakeDecoder* decoder = nullptr;

  explicit VideoLayerRun(std::vector<std::uint8_t> bitmap = make_bitmap(2, 2, 24, same({1, 2, 3}))) {
    auto fake = std::make_unique<FakeDecoder>();
    fake->bitmap = std::move(bitmap);
    decoder = fake.get();
    layer.type = LAYER_AVIVIDEO;
    layer.video_decoder = std::move(fake);
    layer.video_info = {1, 25, 0, 100, 0, 0};
  }
  // Draws at a process clock of `ms` onto a frame holding earlier_layers.
  std::int64_t draw_at(std::int64_t ms) {
    clock.set((double(ms) + 0.5) / 1000.0);
    auto* pixels = reinterpret_cast<std::uint32_t*>(surface_lock(display));
    std::fill(pixels, pixels + frame_pixels, earlier_layers);
    FrameContext context;
    context.frame = {pixels, std::size_t(frame_pixels)};
    context.display = &display;
    context.process_clock = &clock;
    draw_video_layer(layer, context);
    surface_unlock(display);
    return decoder->asked.empty() ? -1 : decoder->asked.back();
  }
  std::uint32_t at(int x, int y) const {
    std::uint32_t v;
    std::memcpy(&v, display.pixels.data() + std::size_t(y) * display.pitch + std::size_t(x) * 4, 4);
    return v;
  }
};

TEST(VideoLayerIndex, Rate25StartingAt7600msShowsFrame15ThenWrapsToFrame1) {
  VideoLayerRun run;
  EXPECT_EQ(run.draw_at(7600), 15);  // the start is the whole second 7: 0.6 s into the stream
  EXPECT_EQ(run.layer.start_mark, 7);
  EXPECT_EQ(run.draw_at(8000), 25);
  EXPECT_EQ(run.draw_at(10960), 99);
  EXPECT_EQ(run.draw_at(11000), 1);  // index 100 is past the length: dwStart + 1, new start
  EXPECT_EQ(run.layer.start_mark, 11);
  EXPECT_EQ(run.draw_at(11500), 12);
  run.layer.video_info.dwStart = 3;
  EXPECT_EQ(run.draw_at(15000), 4);
  EXPECT_EQ(run.layer.start_mark, 15);
}

TEST(VideoLayerIndex, StreamWithoutScaleAlwaysWraps) {
  VideoLayerRun run;
  run.layer.video_info.dwScale = 0;
  EXPECT_EQ(run.draw_at(1000), 1);
  EXPECT_EQ(run.draw_at(2500), 1);
}

TEST(VideoLayerDraw, Frame160x120LandsIn80_40To240_160) {
  VideoLayerRun run(make_bitmap(160, 120, 24, same({1, 2, 3})));
  run.draw_at(0);
  for (auto [x, y] : {std::pair{80, 40}, {239, 40}, {80, 159}, {239, 159}}) EXPECT_EQ(run.at(x, y), 0x030201u);
  for (auto [x, y] : {std::pair{79, 40}, {80, 39}, {240, 159}, {239, 160}}) EXPECT_EQ(run.at(x, y), earlier_layers);
}

TEST(VideoLayerDraw, Frame161WideSpans80To241WithoutShear) {
  // Blue = x: a wrong row stride would shift the rows sideways.
  VideoLayerRun run(make_bitmap(161, 120, 24, [](int x, int) { return std::vector<std::uint8_t>{std::uint8_t(x), 0, 0x40}; }));
  run.draw_at(0);
  for (int y : {40, 100, 159}) {
    EXPECT_EQ(run.at(79, y), earlier_layers);
    EXPECT_EQ(run.at(80, y), 0x400000u);
    EXPECT_EQ(run.at(240, y), 0x4000a0u);
    EXPECT_EQ(run.at(241, y), earlier_layers);
  }
}

TEST(VideoLayerDraw, FirstBitmapRowLandsAtTheBottom) {
  VideoLayerRun run(make_bitmap(320, 200, 24, [](int, int y) {
    return y == 199 ? std::vector<std::uint8_t>{0, 0, 0xff} : std::vector<std::uint8_t>{0xff, 0, 0};
  }));
  run.draw_at(0);
  EXPECT_EQ(run.at(5, 199), 0xff0000u);
  EXPECT_EQ(run.at(5, 198), 0x0000ffu);
  EXPECT_EQ(run.at(5, 0), 0x0000ffu);
}

TEST(VideoLayerDraw, Converts16And24And32And8BitPixels) {
  auto rgb555 = [](int x, int) {
    const std::uint16_t v[] = {0x7c00, 0x03e0, 0x001f, 0x4210};
    return std::vector<std::uint8_t>{std::uint8_t(v[x]), std::uint8_t(v[x] >> 8)};
  };
  VideoLayerRun sixteen(make_bitmap(4, 2, 16, rgb555));
  sixteen.draw_at(0);
  EXPECT_EQ(sixteen.at(158, 99), 0xff0000u);
  EXPECT_EQ(sixteen.at(159, 99), 0x00ff00u);
  EXPECT_EQ(sixteen.at(160, 99), 0x0000ffu);
  EXPECT_EQ(sixteen.at(161, 100), 0x848484u);  // 16 of 31 widened by repeating the top bits

  VideoLayerRun twenty_four(make_bitmap(2, 2, 24, same({0x10, 0x20, 0x30})));
  twenty_four.draw_at(0);
  EXPECT_EQ(twenty_four.at(159, 99), 0x302010u);

  VideoLayerRun thirty_two(make_bitmap(2, 2, 32, same({0x10, 0x20, 0x30, 0x99})));
  thirty_two.draw_at(0);
  EXPECT_EQ(thirty_two.at(160, 100), 0x302010u);

  VideoLayerRun eight(make_bitmap(2, 2, 8, [](int x, int) { return std::vector<std::uint8_t>{std::uint8_t(x)}; },
                                  {0x10, 0x20, 0x30, 0, 0xaa, 0xbb, 0xcc, 0}));
  eight.draw_at(0);
  EXPECT_EQ(eight.at(159, 99), 0x302010u);
  EXPECT_EQ(eight.at(160, 99), 0xccbbaau);
}

TEST(VideoLayerDraw, NoFrameDrawsNothing) {
  VideoLayerRun run(std::vector<std::uint8_t>{});
  run.draw_at(500);
  EXPECT_EQ(run.at(160, 100), earlier_layers);
}

TEST(VideoLayerLoad, ShowVideoLoadsAndAMissingFileIsALoadingError) {
  const auto dir = scratch_dir("video_layer_load");
  ASSERT_TRUE(write_show_video(dir));
  auto library = make_video_library();
  library->init();
  Layer missing;
  missing.type = LAYER_AVIVIDEO;
  missing.param1 = (dir / "absent.avi").string();
  EXPECT_FALSE(load_layer_resource(missing, *library));
  EXPECT_FALSE(missing.resource.video);

  Layer show;
  show.type = LAYER_AVIVIDEO;
  show.param1 = (dir / "video.avi").string();
  ASSERT_TRUE(load_layer_resource(show, *library));
  EXPECT_EQ(show.video_info.dwRate, 25u);
  EXPECT_EQ(show.video_info.dwScale, 1u);
  EXPECT_EQ(show.video_info.dwLength, 64u);
  const DibView v = dib_view(show.video_decoder->get_frame(63));
  EXPECT_EQ(v.width, 160);
  EXPECT_EQ(v.height, 120);
  EXPECT_EQ(v.bits, 24);
}

}  // namespace
