// Tests of the video-file role: the AVI layout reader, frame numbering and decoding of
// generated files, the interop files of independent encoders, and damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <random>

#include "platform/video_avi.h"
#include "platform/video_ffmpeg.h"
#include "video_test_files.h"

namespace {

AviVideoLayout layout_of(const std::filesystem::path& path) {
  AviVideoLayout layout;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_TRUE(f && avi_read_layout(f, &layout)) << path;
  if (f) std::fclose(f);
  return layout;
}

// Frame numbers from before the start to past the end: in order, shuffled, and backwards.
std::vector<std::int64_t> visiting_orders(std::int64_t first, std::int64_t last) {
  std::vector<std::int64_t> forward(std::size_t(last - first + 1));
  std::iota(forward.begin(), forward.end(), first);
  std::vector<std::int64_t> shuffled = forward, all = forward;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  all.insert(all.end(), shuffled.begin(), shuffled.end());
  all.insert(all.end(), forward.rbegin(), forward.rend());
  return all;
}

// Opens a file and checks the bar of every frame number against expected(number).
template <class Expected>
void expect_frames(const std::filesystem::path& path, int width, int height, int bits, Expected expected,
                   VideoStreamInfo* info_out = nullptr) {
  auto library = make_video_library();
  library->init();
  auto stream = library->open_stream(path.c_str());
  ASSERT_TRUE(stream) << path;
  auto decoder = stream->open_frame_decoder();
  ASSERT_TRUE(decoder) << path;
  VideoStreamInfo info;
  ASSERT_TRUE(stream->info(&info));
  if (info_out) *info_out = info;
  const std::int64_t first = std::int64_t(info.dwStart);
  for (std::int64_t n : visiting_orders(first - 3, first + info.dwLength + 2)) {
    const std::uint8_t* dib = decoder->get_frame(n);
    ASSERT_TRUE(dib) << path << " frame " << n;
    const DibView v = dib_view(dib);
    ASSERT_EQ(v.width, width);
    ASSERT_EQ(v.height, height);
    ASSERT_EQ(v.bits, bits);
    ASSERT_EQ(bar_value(dib), expected(n)) << path.filename() << " frame " << n;
  }
}

TEST(AviReadLayout, KeepsTheStreamHeaderAsWritten) {
  AviWriterOptions o;
  o.scale = 66667, o.rate = 1000000, o.start = 3, o.audio_stream_first = true, o.dropped = {2};
  const AviVideoLayout l = layout_of(write_scratch("avi_header", "a.avi", numbered_avi(16, 8, 5, o)));
  EXPECT_EQ(l.stream_number, 1);  // after the audio stream
  EXPECT_EQ(l.scale, 66667u);
  EXPECT_EQ(l.rate, 1000000u);
  EXPECT_EQ(l.start, 3u);
  EXPECT_EQ(l.length, 5u);
  EXPECT_EQ(l.width, 16);
  EXPECT_EQ(l.height, 8);
  ASSERT_EQ(l.chunks.size(), 5u);  // audio chunks are not frames
  EXPECT_EQ(l.chunks[2].size, 0u);
  EXPECT_EQ(l.chunks[3].size, 16u * 8 * 3);
}

TEST(AviReadLayout, IndexFromMoviOrFileStartAndWalkedFramesAgree) {
  const auto relative = layout_of(write_scratch("avi_index", "r.avi", numbered_avi(16, 8, 4)));
  AviWriterOptions absolute, none;
  absolute.absolute_index = true;
  none.write_index = false;
  const auto from_start = layout_of(write_scratch("avi_index", "s.avi", numbered_avi(16, 8, 4, absolute)));
  const auto walked = layout_of(write_scratch("avi_index", "w.avi", numbered_avi(16, 8, 4, none)));
  ASSERT_EQ(relative.chunks.size(), 4u);
  ASSERT_EQ(from_start.chunks.size(), 4u);
  ASSERT_EQ(walked.chunks.size(), 4u);
  EXPECT_TRUE(relative.keyframes_known);
  EXPECT_FALSE(walked.keyframes_known);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(from_start.chunks[i].offset, relative.chunks[i].offset);
    EXPECT_EQ(walked.chunks[i].offset, relative.chunks[i].offset);
    EXPECT_EQ(walked.chunks[i].key, i == 0);  // only the first is known to stand alone
  }
}

TEST(VideoDecoder, GeneratedFilesGiveEveryFrameInAnyOrder) {
  struct Case {
    const char* name;
    int width, bits;
    AviWriterOptions options;
  };
  std::vector<Case> cases(7, {"", 32, 24, {}});
  cases[0].name = "plain";
  cases[1].name = "top_down", cases[1].options.top_down = true;
  cases[2].name = "rgb555", cases[2].bits = cases[2].options.bits = 16;
  cases[3].name = "odd_width", cases[3].width = 161;
  cases[4].name = "audio_first", cases[4].options.audio_stream_first = true;
  cases[5].name = "no_index", cases[5].options.write_index = false;
  cases[6].name = "dropped_start3", cases[6].options.dropped = {4, 5}, cases[6].options.start = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = write_scratch("video_generated", std::string(c.name) + ".avi", numbered_avi(c.width, 12, 10, c.options));
    const int start = int(c.options.start);
    auto expected = [&](std::int64_t n) {
      const int chunk = int(std::clamp<std::int64_t>(n - start, 0, 9));
      return chunk == 4 || chunk == 5 ? (c.options.dropped.empty() ? chunk : 3) : chunk;
    };
    VideoStreamInfo info;
    expect_frames(path, c.width, 12, c.bits, expected, &info);
    EXPECT_EQ(info.dwStart, c.options.start);
    EXPECT_EQ(info.dwLength, 10u);
  }
}

TEST(VideoDecoder, RowsAndColoursSurviveTheBitmap) {
  const auto path = write_scratch("video_rows", "odd.avi", numbered_avi(161, 12, 1));
  auto stream = make_video_library()->open_stream(path.c_str());
  ASSERT_TRUE(stream);
  auto decoder = stream->open_frame_decoder();
  ASSERT_TRUE(decoder);
  const DibView v = dib_view(decoder->get_frame(0));
  EXPECT_EQ(v.stride, 484u);  // 161 * 3 padded to 4 bytes
  for (int y = 8; y < 12; ++y)
    for (int x : {0, 77, 160}) EXPECT_EQ(dib_pixel(v, x, y), 0x400000u | std::uint32_t(2 * y) << 8 | std::uint32_t(x));
}

TEST(VideoDecoder, MissingFilesAndFilesWithoutVideoAreRefused) {
  auto library = make_video_library();
  EXPECT_FALSE(library->open_stream("/nonexistent/video.avi"));
  const auto text = write_scratch("video_refused", "text.avi", std::vector<std::uint8_t>(300, 'x'));
  EXPECT_FALSE(library->open_stream(text.c_str()));
  // The index gives the first frame 10 bytes: the stream opens, its first frame does not decode.
  std::vector<std::uint8_t> avi = numbered_avi(32, 12, 3);
  const auto idx1 = std::search(avi.begin(), avi.end(), std::begin("idx1"), std::end("idx1") - 1);
  ASSERT_NE(idx1, avi.end());
  idx1[20] = 10, idx1[21] = 0;
  const auto damaged = write_scratch("video_refused", "first.avi", avi);
  auto stream = library->open_stream(damaged.c_str());
  ASSERT_TRUE(stream);
  EXPECT_FALSE(stream->open_frame_decoder());
}

// A container other than AVI: YUV4MPEG2, written here with the bar in the luma plane.
TEST(VideoDecoder, OtherContainersUseTheLibraryRateAndCount) {
  const int w = 32, h = 16, frames = 12;
  std::string y4m = "YUV4MPEG2 W32 H16 F25:1 Ip A1:1 C444\n";
  std::vector<std::uint32_t> rgb(std::size_t(w) * h);
  for (int n = 0; n < frames; ++n) {
    draw_numbered_frame(w, h, n, rgb);
    y4m += "FRAME\n";
    for (std::uint32_t c : rgb) y4m += char(c == 0xffffffu ? 235 : 16);
    y4m.append(std::size_t(2 * w * h), char(128));
  }
  const auto path = write_scratch("video_y4m", "bar.y4m", std::vector<std::uint8_t>(y4m.begin(), y4m.end()));
  VideoStreamInfo info;
  expect_frames(path, w, h, 24, [&](std::int64_t n) { return int(std::clamp<std::int64_t>(n, 0, frames - 1)); }, &info);
  EXPECT_EQ(info.dwRate, 25u);
  EXPECT_EQ(info.dwScale, 1u);
  EXPECT_EQ(info.dwStart, 0u);
  EXPECT_EQ(info.dwLength, std::uint32_t(frames));
}

TEST(VideoInterop, EveryFileGivesTheRightFrameForEveryNumber) {
  SKIP_WITHOUT_TESTDATA(dir, "avi");
  struct File {
    const char* name;
    int width, height, bits;
    std::uint32_t scale, rate, start, length;
  };
  const File files[] = {
      {"raw_bgr24_160x120_10fps_bu.avi", 160, 120, 24, 1, 10, 0, 30},
      {"raw_bgr24_80x60_25fps_td.avi", 80, 60, 24, 1, 25, 0, 50},
      {"raw_rgb555_160x120_25fps_bu.avi", 160, 120, 16, 1, 25, 0, 50},
      {"cram_160x120_25fps_100f.avi", 160, 120, 16, 1, 25, 0, 100},
      {"cvid_320x200_25fps.avi", 320, 200, 24, 1, 25, 0, 75},
      {"mjpeg_320x200_25fps.avi", 320, 200, 24, 1, 25, 0, 75},
      {"vfw_rle8_160x120_15fps_drop.avi", 160, 120, 24, 66667, 1000000, 0, 45},
      {"vfw_rgb555_80x60_start3.avi", 80, 60, 16, 1, 25, 3, 50},
  };
  for (const File& f : files) {
    SCOPED_TRACE(f.name);
    auto expected = [&](std::int64_t n) {
      const int shown = int(std::clamp<std::int64_t>(n - f.start, 0, f.length - 1));
      return std::string(f.name).find("drop") != std::string::npos && (shown == 10 || shown == 11) ? 9 : shown;
    };
    VideoStreamInfo info;
    expect_frames(dir / f.name, f.width, f.height, f.bits, expected, &info);
    EXPECT_EQ(info.dwScale, f.scale);
    EXPECT_EQ(info.dwRate, f.rate);
    EXPECT_EQ(info.dwStart, f.start);
    EXPECT_EQ(info.dwLength, f.length);
    // Without its index a file's keyframes are unknown: frames must still come out right.
    if (f.name[0] != 'c') continue;
    std::vector<std::uint8_t> bytes = read_file_bytes(dir / f.name);
    const auto idx1 = std::search(bytes.begin(), bytes.end(), std::begin("idx1"), std::end("idx1") - 1);
    bytes.erase(idx1, bytes.end());
    expect_frames(write_scratch("video_interop", f.name, bytes), f.width, f.height, f.bits, expected);
  }
}

// Opens damaged bytes as far as they go; a decoder, once opened, never gives a null frame.
void open_damaged(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes, VideoLibrary& library) {
  write_file_bytes(path, bytes);
  auto stream = library.open_stream(path.c_str());
  if (!stream) return;
  auto decoder = stream->open_frame_decoder();
  if (!decoder) return;
  for (std::int64_t n : {5, 0, 80, 3, -2, 40, 1}) ASSERT_TRUE(decoder->get_frame(n)) << bytes.size();
}

TEST(VideoDecoder, TruncatedFilesNeverCrash) {
  auto library = make_video_library();
  const auto dir = scratch_dir("video_truncated");
  AviWriterOptions o;
  o.audio_stream_first = true, o.dropped = {2};
  const std::vector<std::uint8_t> avi = numbered_avi(16, 8, 6, o);
  for (std::size_t n = 0; n < avi.size(); n += 7)
    open_damaged(dir / "cut.avi", std::vector<std::uint8_t>(avi.begin(), avi.begin() + std::ptrdiff_t(n)), *library);
  for (const char* name : {"cram_160x120_25fps_100f.avi", "cvid_320x200_25fps.avi", "vfw_rle8_160x120_15fps_drop.avi"}) {
    const auto source = testdata_path(std::string("avi/") + name);
    if (source.empty()) continue;
    const std::vector<std::uint8_t> bytes = read_file_bytes(source);
    for (std::size_t n = 0; n < bytes.size(); n += bytes.size() / 97 + 1)
      open_damaged(dir / "cut.avi", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(n)), *library);
  }
}

TEST(VideoDecoder, FlippedBytesNeverCrash) {
  auto library = make_video_library();
  const auto dir = scratch_dir("video_flipped");
  std::vector<std::vector<std::uint8_t>> sources = {numbered_avi(16, 8, 6)};
  for (const char* name : {"cram_160x120_25fps_100f.avi", "cvid_320x200_25fps.avi", "vfw_rle8_160x120_15fps_drop.avi",
                           "mjpeg_320x200_25fps.avi"})
    if (const auto path = testdata_path(std::string("avi/") + name); !path.empty()) sources.push_back(read_file_bytes(path));
  std::mt19937 random(11);
  for (const auto& source : sources)
    for (int variant = 0; variant < 120; ++variant) {
      std::vector<std::uint8_t> bytes = source;
      // Anywhere, or in the headers and first frames, or in the index at the end.
      const std::size_t region = variant % 3 == 0 ? bytes.size() : std::min<std::size_t>(bytes.size(), 12000);
      for (int k = 0; k < 6; ++k) {
        const std::size_t at = random() % region;
        bytes[variant % 3 == 2 ? bytes.size() - 1 - at : at] ^= std::uint8_t(1u << (random() % 8));
      }
      open_damaged(dir / "flipped.avi", bytes, *library);
    }
}

}  // namespace
