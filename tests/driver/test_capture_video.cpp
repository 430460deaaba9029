// Capture into one video file: the lossless file decodes to the PNG capture's frames enlarged
// by nearest neighbour and to the WAV capture's samples; MP4 and WebM carry the streams, frame
// count and duration asked for; a failed capture leaves nothing under the final name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/byte_order.h"
#include "driver/capture.h"
#include "platform/picture_decode.h"
#include "platform/video_out.h"
#include "platform/video_probe.h"
#include "testdata.h"

namespace fs = std::filesystem;

namespace {

// The bundled sample show, written once per process: ctest runs the cases side by side, each
// in a process of its own.
const fs::path& sample_show() {
  static const fs::path dir = [] {
    const fs::path d = scratch_dir("capture_video_show_" + std::to_string(getpid()));
    const std::string command = std::string(QUINDLE_TOOL) + " make-show " + (d / "show").string() + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return d / "show";
  }();
  return dir;
}

// Captures the first `frames` frames of the sample show; the show reads its files relative to
// its own folder, so the capture runs there.
int capture(const fs::path& out, int frames, int width = 1280, int height = 960, int threads = 0,
            const char* script = "script.txt") {
  CaptureOptions options;
  options.out = out.string();
  options.fps = 30;
  options.max_frames = frames;
  options.width = width;
  options.height = height;
  options.encoder_threads = threads;
  options.script_path = script;
  const fs::path was = fs::current_path();
  fs::current_path(sample_show());
  const int code = run_capture(options);
  fs::current_path(was);
  return code;
}

std::vector<std::uint32_t> enlarged(const std::vector<std::uint32_t>& pixels, int width, int height) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      out.push_back(pixels[std::size_t(nearest_source(y, 200, height)) * 320 + std::size_t(nearest_source(x, 320, width))]);
  return out;
}

std::vector<std::int16_t> wav_samples(const fs::path& wav) {
  const std::vector<unsigned char> bytes = read_file_bytes(wav);
  std::vector<std::int16_t> samples;
  for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) samples.push_back(load_le16s(bytes.data() + i));
  return samples;
}

}  // namespace

// The destination pixel's centre decides: an exact 4x keeps blocks of 4, 4.8x mixes 4 and 5.
TEST(NearestSource, PixelCentreRule) {
  struct Case {
    int d, source, destination, expected;
  };
  const Case cases[] = {
      {0, 320, 1280, 0},  {3, 320, 1280, 0},   {4, 320, 1280, 1},   {1279, 320, 1280, 319},
      {0, 200, 960, 0},   {4, 200, 960, 0},    {5, 200, 960, 1},    {14, 200, 960, 3},
      {959, 200, 960, 199}, {2, 200, 300, 1},  {0, 320, 16, 10},    {15, 320, 16, 310},
  };
  for (const Case& c : cases)
    EXPECT_EQ(nearest_source(c.d, c.source, c.destination), c.expected)
        << c.d << " of " << c.destination << " from " << c.source;
}

// 400 x 300: each source pixel becomes 1 or 2 columns and 1 or 2 rows.
TEST(CaptureVideo, LosslessFileIsThePngCaptureEnlargedWithTheWavSound) {
  const fs::path dir = scratch_dir("capture_video_lossless");
  ASSERT_EQ(capture(dir / "png", 8), 0);
  const fs::path file = dir / "show.mkv";
  ASSERT_EQ(capture(file, 8, 400, 300), 0);
  const DecodedVideo video = decode_video_file(file.string(), true);
  ASSERT_TRUE(video.opened) << file;
  EXPECT_EQ(video.video.codec, "ffv1");
  EXPECT_EQ(video.video.width, 400);
  EXPECT_EQ(video.video.height, 300);
  EXPECT_EQ(video.audio.codec, "flac");
  EXPECT_EQ(video.audio.sample_rate, 44100);
  EXPECT_EQ(video.audio.channels, 2);
  ASSERT_EQ(video.pictures.size(), 8u);
  for (std::size_t i = 0; i < video.pictures.size(); ++i) {
    const std::vector<unsigned char> bytes = read_file_bytes(dir / "png" / ("frame_00000" + std::to_string(i) + ".png"));
    const std::vector<std::uint32_t> png = decode_png(std::span<const std::uint8_t>(bytes)).pixels;
    ASSERT_EQ(png.size(), 64000u) << i;
    EXPECT_TRUE(video.pictures[i] == enlarged(png, 400, 300)) << "frame " << i;
  }
  EXPECT_EQ(video.samples, wav_samples(dir / "png" / "audio.wav"));
  EXPECT_EQ(read_file_bytes(file.string() + ".timeline.tsv"), read_file_bytes(dir / "png" / "timeline.tsv"));
}

TEST(CaptureVideo, LosslessFileIsTheSameWithOneAndSeveralThreads) {
  const fs::path dir = scratch_dir("capture_video_threads");
  ASSERT_EQ(capture(dir / "one.mkv", 6, 640, 480, 1), 0);
  ASSERT_EQ(capture(dir / "three.mkv", 6, 640, 480, 3), 0);
  EXPECT_TRUE(read_file_bytes(dir / "one.mkv") == read_file_bytes(dir / "three.mkv"));
}

// One second at 30 frames a second: the streams each format promises, every frame, and the
// length within one frame.
TEST(CaptureVideo, Mp4AndWebmCarryTheirStreamsFramesAndLength) {
  const fs::path dir = scratch_dir("capture_video_lossy");
  struct Case {
    const char* name;
    const char* video;
    const char* audio;
    int rate;
  };
  const Case cases[] = {{"show.mp4", "h264", "aac", 44100}, {"show.webm", "vp9", "opus", 48000}};
  for (const Case& c : cases) {
    ASSERT_EQ(capture(dir / c.name, 30, 640, 480), 0) << c.name;
    const DecodedVideo video = decode_video_file((dir / c.name).string(), false);
    ASSERT_TRUE(video.opened) << c.name;
    EXPECT_EQ(video.video.codec, c.video);
    EXPECT_EQ(video.video.width, 640) << c.name;
    EXPECT_EQ(video.video.height, 480) << c.name;
    EXPECT_EQ(video.video.frames, 30) << c.name;
    EXPECT_EQ(video.audio.codec, c.audio);
    EXPECT_EQ(video.audio.sample_rate, c.rate) << c.name;
    EXPECT_EQ(video.audio.channels, 2) << c.name;
    EXPECT_NEAR(video.duration_s, 1.0, 1.0 / 30) << c.name;
  }
}

// A show that cannot start: exit code 3 and no file under the final name or a temporary one.
TEST(CaptureVideo, ShowThatCannotStartLeavesNoFile) {
  const fs::path dir = scratch_dir("capture_video_no_start");
  EXPECT_EQ(capture(dir / "show.mp4", 5, 1280, 960, 0, "missing_script.txt"), 3);
  EXPECT_TRUE(fs::is_empty(dir));
}
