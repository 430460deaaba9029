// The picture layers against a virtual clock: bitmap fades, blends and holes, sequence frame
// choice and restart, and the size checks made when they load.
#include <gtest/gtest.h>

#include <string>

#include "driver/layers.h"
#include "effects/picture.h"
#include "fake_platform.h"
#include "stderr_pipe.h"
#include "testdata.h"
#include "tools/pcx_writer.h"

namespace {

// A picture whose pixels are palette index (x + y) % 4 mapped to four fixed colours, or a
// single index everywhere.
std::vector<std::uint8_t> picture_bytes(int width, int height, int single_index = -1) {
  std::vector<std::uint8_t> indices(std::size_t(width) * height), palette(768, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      indices[std::size_t(y) * width + x] = std::uint8_t(single_index >= 0 ? single_index : (x + y) % 4);
  const std::uint8_t colours[4][3] = {{0, 0, 0}, {255, 255, 255}, {200, 100, 50}, {0, 0, 1}};
  for (int i = 0; i < 4; ++i)
    for (int c = 0; c < 3; ++c) palette[std::size_t(i) * 3 + c] = colours[i][c];
  for (int i = 4; i < 256; ++i) palette[std::size_t(i) * 3] = std::uint8_t(i);  // red = index
  return pcx_encode(width, height, indices, palette);
}

struct LayerBench {
  VirtualClock clock;
  Timer timer;
  std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(frame_pixels, 0);
  std::vector<std::uint32_t> work = std::vector<std::uint32_t>(frame_pixels, 0xdeadbeef);
  LayerBench() { timer_start(timer, clock); }
  FrameContext context() {
    FrameContext c;
    c.frame = frame;
    c.work = work;
    c.show_timer = &timer;
    c.process_clock = &clock;
    return c;
  }
};

Layer bitmap_layer(const std::filesystem::path& file, const char* blend, const char* fade) {
  Layer l;
  l.type = LAYER_BITMAP;
  l.param1 = file.string();
  l.param2 = blend;
  l.param3 = fade;
  EXPECT_TRUE(load_bitmap_layer(l));
  return l;
}

}  // namespace

TEST(BitmapLayer, Fade4ReachesFullLevelAfterOneSecondAndStaysThere) {
  const auto dir = scratch_dir("bitmap_fade4");
  write_file_bytes(dir / "white.pcx", picture_bytes(320, 200, 1));
  LayerBench bench;
  Layer l = bitmap_layer(dir / "white.pcx", "no", "fade4");
  bench.clock.set(3.25);  // the layer first draws 3.25 s into the show: level 0
  draw_bitmap_layer(l, bench.context());
  EXPECT_EQ(l.local_time, 0);
  EXPECT_EQ(bench.frame[0], 0u);  // at level 0 the picture weighs nothing and black lets the frame through
  bench.clock.set(3.75);
  draw_bitmap_layer(l, bench.context());
  EXPECT_EQ(l.local_time, 128);
  EXPECT_EQ(bench.frame[0], 0x007f7f7fu);  // 255 * 128 >> 8
  bench.clock.set(4.25);
  draw_bitmap_layer(l, bench.context());
  EXPECT_EQ(l.local_time, 255);
  bench.clock.set(100.0);
  draw_bitmap_layer(l, bench.context());
  EXPECT_EQ(l.local_time, 255);
}

TEST(BitmapLayer, BlackPixelsAreHolesAndAdditiveBrightens) {
  const auto dir = scratch_dir("bitmap_blend");
  write_file_bytes(dir / "pattern.pcx", picture_bytes(320, 200));
  LayerBench bench;
  std::fill(bench.frame.begin(), bench.frame.end(), 0x00102030u);
  Layer over = bitmap_layer(dir / "pattern.pcx", "no", "no");
  draw_bitmap_layer(over, bench.context());
  EXPECT_EQ(bench.frame[0], 0x00102030u);  // index 0: black, a hole
  EXPECT_EQ(bench.frame[2], 0x00c86432u);
  EXPECT_EQ(bench.frame[3], 0x00000001u);  // blue 1 is not transparent

  std::fill(bench.frame.begin(), bench.frame.end(), 0x00102030u);
  Layer add = bitmap_layer(dir / "pattern.pcx", "additive", "x");
  draw_bitmap_layer(add, bench.context());
  EXPECT_EQ(bench.frame[0], 0x00102030u);
  EXPECT_EQ(bench.frame[2], 0x00d88462u);
  EXPECT_EQ(bench.frame[3], 0x00102031u);
}

TEST(BitmapLayer, UnknownBlendWithFadeScalesTheFrame) {
  const auto dir = scratch_dir("bitmap_scale");
  write_file_bytes(dir / "white.pcx", picture_bytes(320, 200, 1));
  LayerBench bench;
  Layer l = bitmap_layer(dir / "white.pcx", "other", "fade");  // "fade" alone: level stays 0
  std::fill(bench.frame.begin(), bench.frame.end(), 0x00808080u);
  draw_bitmap_layer(l, bench.context());
  EXPECT_EQ(bench.frame[0], 0x007f7f7fu);  // 128 * 255 >> 8
}

TEST(SequenceLayer, TenFramesAtFivePerSecondStartingAt7600MsShowFrameThreeFirst) {
  const auto dir = scratch_dir("sequence_pick");
  std::vector<std::vector<std::uint8_t>> pictures;
  for (int i = 0; i < 10; ++i) pictures.push_back(picture_bytes(320, 200, 10 + i));
  write_file_bytes(dir / "anim.seq", pcx_pack_sequence(pictures));

  Layer l;
  l.type = LAYER_SEQUENCE;
  l.param1 = (dir / "anim.seq").string();
  l.param2 = "no";
  l.param3 = "5";
  ASSERT_TRUE(load_sequence_layer(l));
  EXPECT_EQ(l.frame_count, 10u);

  LayerBench bench;
  auto shown = [&](double clock_s) {
    bench.clock.set(clock_s);
    std::fill(bench.frame.begin(), bench.frame.end(), 0u);
    draw_sequence_layer(l, bench.context());
    return int(bench.frame[0] >> 16) - 10;  // red holds the palette index
  };
  EXPECT_EQ(shown(7.6), 3);
  EXPECT_EQ(l.start_mark, 7);
  EXPECT_EQ(shown(8.0), 5);
  EXPECT_EQ(shown(8.999), 9);
  EXPECT_EQ(shown(9.0), -10);  // index 10: nothing drawn, a new start next time
  EXPECT_EQ(l.start_mark, -1);
  EXPECT_EQ(shown(9.45), 2);  // restarts on the whole second 9
}

// Frame 1 of three is cut in the middle of its stream: it is drawn as far as its data goes, and
// the damage is said once, when it is first drawn, however often it is drawn again.
TEST(SequenceLayer, DamagedFrameDrawsWhatItHoldsAndIsReportedOnce) {
  const auto dir = scratch_dir("sequence_damaged");
  std::vector<std::uint8_t> cut = picture_bytes(320, 200);
  cut.resize(cut.size() / 2);
  write_file_bytes(dir / "damaged.seq", pcx_pack_sequence(std::vector{picture_bytes(320, 200, 20), cut, picture_bytes(320, 200, 30)}));
  Layer l;
  l.param1 = (dir / "damaged.seq").string();
  l.param2 = "additive";
  l.param3 = "1";
  l.keyword = "sequence";
  l.line = 7;
  ASSERT_TRUE(load_sequence_layer(l));
  LayerBench bench;
  StderrPipe pipe;
  for (double t : {3.0, 4.0, 4.5, 5.0, 4.2}) {
    bench.clock.set(t);
    std::fill(bench.frame.begin(), bench.frame.end(), 0u);
    draw_sequence_layer(l, bench.context());
  }
  const std::string said = pipe.finish();
  std::vector<std::uint32_t> expected(frame_pixels);
  ASSERT_EQ(decode_picture(cut, expected), PICTURE_TRUNCATED);
  EXPECT_EQ(bench.frame, expected);  // frame 1 again, as far as it goes; black past the cut
  EXPECT_EQ(bench.frame[63999], 0u);
  EXPECT_EQ(said, "quindle: line 7 (sequence): " + l.param1 + ", frame 1: cut short: decoded as far as the data goes, the rest black (further damaged frames are not reported)\n");
}
