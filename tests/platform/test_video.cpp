// The video-file role over the real library: frame numbering and decoding of generated
// files, other containers, the interop files of independent encoders and damaged input; the
// avivideo layer: frame index and wrap over the process clock, centring, upright rows and
// pixel conversion onto the display surface, and loading.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>

#include "base/byte_order.h"
#include "base/limits.h"
#include "driver/layers.h"
#include "platform/video_ffmpeg.h"
#include "testdata.h"
#include "tools/avi_writer.h"
#include "tools/show_assets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Frame n: 8 blocks across the top 8 rows, block b white when bit b of n is set; below them
// a colour that follows x (blue = x) and the row (green = 2 y), so sheared or flipped rows show.
std::uint32_t row_colour(int x, int y) { return 0x400000u | std::uint32_t(2 * y & 0xff) << 8 | std::uint32_t(x & 0xff); }
void draw_numbered_frame(int width, int height, int n, std::span<std::uint32_t> pixels) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int block = x / (width / 8);
      pixels[std::size_t(y) * width + x] = y >= 8 ? row_colour(x, y) : block < 8 && (n >> block & 1) ? 0xffffffu : 0;
    }
}

std::filesystem::path write_scratch(const std::string& test, const std::string& name, const Bytes& bytes) {
  const std::filesystem::path path = scratch_dir(test) / name;
  write_file_bytes(path, bytes);
  return path;
}

std::filesystem::path numbered_avi(const std::string& name, int w, int h, int frames, const AviWriterOptions& options = {}) {
  const auto draw = [&](int n, std::span<std::uint32_t> p) { draw_numbered_frame(w, h, n, p); };
  return write_scratch("video_" + name, name + ".avi", avi_encode(w, h, frames, draw, options));
}

// A file that a video library writes its messages to, read back whole.
struct MessageFile {
  std::FILE* file = std::tmpfile();
  MessageFile() = default;
  MessageFile(const MessageFile&) = delete;
  MessageFile& operator=(const MessageFile&) = delete;
  ~MessageFile() { std::fclose(file); }
  std::string text() const {
    std::fflush(file);
    std::rewind(file);
    std::string all;
    for (int c; (c = std::fgetc(file)) != EOF;) all += char(c);
    return all;
  }
  int lines() const {
    const std::string all = text();
    return int(std::count(all.begin(), all.end(), '\n'));
  }
};

struct Dib {
  int width, height, bits;
  const std::uint8_t* rows;  // bottom row first, padded to 4 bytes
  explicit Dib(const std::uint8_t* dib)
      : width(int(dib[4] | dib[5] << 8)), height(int(dib[8] | dib[9] << 8)), bits(dib[14]), rows(dib + 40) {}
  // A pixel of the upright picture as 0x00RRGGBB (5-5-5 widened by shifting).
  std::uint32_t at(int x, int y) const {
    const std::uint8_t* p = rows + std::size_t(height - 1 - y) * ((std::size_t(width) * bits + 31) / 32 * 4) + x * bits / 8;
    const std::uint32_t c = p[0] | p[1] << 8;
    return bits == 16 ? (c >> 10 & 31) << 19 | (c >> 5 & 31) << 11 | (c & 31) << 3 : std::uint32_t(p[2]) << 16 | c;
  }
  int bar() const {  // read at picture row 4, from the centre of each block
    int n = 0;
    for (int b = 0; b < 8; ++b) {
      const std::uint32_t c = at(b * (width / 8) + width / 16, 4);
      n |= ((c >> 16 & 0xff) + (c >> 8 & 0xff) + (c & 0xff) > 384) << b;
    }
    return n;
  }
};

// Opens a file and checks the bar of every frame number, from before the start to past the
// end, in order, shuffled and backwards, against expected(number); with `exact_colours`
// also the colours below the bar (the top 5 bits of each for 16 bits).
template <class Expected>
VideoStreamInfo expect_frames(const std::filesystem::path& path, std::array<int, 3> size, Expected expected,
                              bool exact_colours = false) {
  VideoStreamInfo info;
  auto stream = make_video_library()->open_stream(path.c_str());
  EXPECT_NE(stream, nullptr) << path;
  auto decoder = stream ? stream->open_frame_decoder() : nullptr;
  EXPECT_NE(decoder, nullptr) << path;
  const bool has_info = stream ? stream->info(&info) : false;
  EXPECT_TRUE(has_info) << path;
  std::vector<std::int64_t> forward(info.dwLength + 6);
  std::iota(forward.begin(), forward.end(), std::int64_t(info.dwStart) - 3);
  std::vector<std::int64_t> numbers = forward;
  std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
  numbers.insert(numbers.begin(), forward.begin(), forward.end());
  numbers.insert(numbers.end(), forward.rbegin(), forward.rend());
  const std::uint32_t mask = size[2] == 16 ? 0xf8f8f8 : 0xffffff;
  for (std::int64_t n : numbers) {
    const std::uint8_t* bytes = decoder ? decoder->get_frame(n) : nullptr;
    EXPECT_TRUE(bytes) << path << " frame " << n;
    if (!bytes) return info;
    const Dib dib(bytes);
    EXPECT_EQ((std::array{dib.width, dib.height, dib.bits}), size);
    EXPECT_EQ(dib.bar(), expected(n)) << path.filename() << " frame " << n;
    for (int y = 8; exact_colours && y < dib.height; ++y)
      for (int x : {0, dib.width / 2, dib.width - 1})
        EXPECT_EQ(dib.at(x, y) & mask, row_colour(x, y) & mask) << x << "," << y << " frame " << n;
    if (testing::Test::HasFailure()) return info;
  }
  return info;
}

}  // namespace

// Uncompressed files as bottom-up or top-down rows, 16 bits, an odd width (rows of 483 bytes
// padded to 484), after an audio stream, without index or with one counted from the file's
// start; frames 4 and 5 dropped (they repeat frame 3) with a start of 3 and a rate fraction
// that must be read as written, not reduced.
TEST(VideoDecoder, GeneratedFilesGiveEveryFrameInAnyOrder) {
  std::vector<std::pair<int, AviWriterOptions>> cases(8, {32, {}});  // width, options
  cases[1].second.top_down = true;
  cases[2].second.bits = 16;
  cases[3].first = 161;
  cases[4].second.audio_stream_first = true;
  cases[5].second.write_index = false;
  cases[6].second.absolute_index = true;
  cases[7].second.dropped = {4, 5};
  cases[7].second.start = 3;
  cases[7].second.scale = 66667;
  cases[7].second.rate = 1000000;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [width, o] = cases[i];
    SCOPED_TRACE(i);
    const auto expected = [&](std::int64_t n) {
      const int chunk = int(std::clamp<std::int64_t>(n - o.start, 0, 9));
      return (chunk == 4 || chunk == 5) && !o.dropped.empty() ? 3 : chunk;
    };
    const auto path = numbered_avi("generated" + std::to_string(i), width, 12, 10, o);
    const VideoStreamInfo info = expect_frames(path, {width, 12, o.bits}, expected, true);
    EXPECT_EQ((std::array{info.dwScale, info.dwRate, info.dwStart, info.dwLength}), (std::array{o.scale, o.rate, o.start, 10u}));
  }
}

// Refused files are not told (the show names them with their script line); the library says
// why. A file that is no AVI file is refused before FFmpeg reads it. The index gives the first
// frame 10 bytes: the stream opens, its first frame does not decode.
TEST(VideoDecoder, MissingFilesAndFilesWithoutVideoAreRefused) {
  MessageFile messages;
  auto library = make_video_library(messages.file);
  EXPECT_EQ(library->open_stream("/nonexistent/video.avi"), nullptr);
  EXPECT_EQ(library->open_problem(), "the file cannot be opened");
  EXPECT_EQ(library->open_stream(write_scratch("video_refused", "text.avi", Bytes(300, 'x')).c_str()), nullptr);
  EXPECT_EQ(library->open_problem(), "not an AVI file (it does not begin with RIFF ... AVI); save the video as AVI");
  EXPECT_EQ(messages.text(), "");
  Bytes avi = read_file_bytes(numbered_avi("first", 32, 12, 3));
  const auto idx1 = std::search(avi.begin(), avi.end(), std::begin("idx1"), std::end("idx1") - 1);
  ASSERT_NE(idx1, avi.end());
  idx1[20] = 10;
  idx1[21] = 0;
  auto stream = library->open_stream(write_scratch("video_refused", "first.avi", avi).c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(library->open_problem(), "");
  EXPECT_EQ(stream->open_frame_decoder(), nullptr);
  EXPECT_EQ(stream->decoder_problem(), "its first frame cannot be decoded: the file is damaged");
}

// Without its index a compressed file's keyframes are unknown: its frames must still come out right.
TEST(VideoInterop, EveryFileGivesTheRightFrameForEveryNumber) {
  const std::filesystem::path dir = testdata_path("avi");
  const std::tuple<const char*, std::array<int, 3>, std::array<std::uint32_t, 4>> files[] = {
      {"raw_bgr24_160x120_10fps_bu.avi", {160, 120, 24}, {1, 10, 0, 30}},
      {"raw_bgr24_80x60_25fps_td.avi", {80, 60, 24}, {1, 25, 0, 50}},
      {"raw_rgb555_160x120_25fps_bu.avi", {160, 120, 16}, {1, 25, 0, 50}},
      {"cram_160x120_25fps_100f.avi", {160, 120, 16}, {1, 25, 0, 100}},
      {"cvid_320x200_25fps.avi", {320, 200, 24}, {1, 25, 0, 75}},
      {"mjpeg_320x200_25fps.avi", {320, 200, 24}, {1, 25, 0, 75}},
      {"vfw_rle8_160x120_15fps_drop.avi", {160, 120, 24}, {66667, 1000000, 0, 45}},  // frames 10, 11 dropped
      {"vfw_rgb555_80x60_start3.avi", {80, 60, 16}, {1, 25, 3, 50}}};
  for (const auto& [name, size, scale_rate_start_length] : files) {
    SCOPED_TRACE(name);
    const std::uint32_t start = scale_rate_start_length[2], length = scale_rate_start_length[3];
    const auto expected = [&, drops = std::string(name).find("drop") != std::string::npos](std::int64_t n) {
      const int shown = int(std::clamp<std::int64_t>(n - start, 0, length - 1));
      return drops && (shown == 10 || shown == 11) ? 9 : shown;
    };
    const VideoStreamInfo info = expect_frames(dir / name, size, expected);
    EXPECT_EQ((std::array{info.dwScale, info.dwRate, info.dwStart, info.dwLength}), scale_rate_start_length);
    if (name[0] != 'c') continue;
    Bytes bytes = read_file_bytes(dir / name);
    bytes.erase(std::search(bytes.begin(), bytes.end(), std::begin("idx1"), std::end("idx1") - 1), bytes.end());
    expect_frames(write_scratch("video_interop", name, bytes), size, expected);
  }
}

// A width that is not a multiple of the converter's block (74): every row keeps its own
// pixels, left half black and right half white, none taken from the row beside it.
TEST(VideoInterop, OddWidthRowsKeepTheirOwnPixels) {
  auto stream = make_video_library()->open_stream(testdata_path("avi/mjpeg_74x16_halves.avi").c_str());
  ASSERT_NE(stream, nullptr);
  auto decoder = stream->open_frame_decoder();
  ASSERT_NE(decoder, nullptr);
  const Dib dib(decoder->get_frame(0));
  ASSERT_EQ(dib.width, 74);
  for (int y = 0; y < dib.height; ++y) {
    for (int x : {0, 5, 30, 44, 73}) {
      const std::uint32_t c = dib.at(x, y);
      const int grey = int(c >> 16 & 0xff) + int(c >> 8 & 0xff) + int(c & 0xff);
      EXPECT_EQ(grey > 384, x >= 37) << x << "," << y << " colour " << std::hex << c;
    }
  }
}

// A generated file cut every 7 bytes, interop files at 97 lengths each, and all of them with
// 6 bits flipped anywhere, in the headers and first frames, or in the index at the end: what
// opens never gives a null frame.
TEST(VideoDecoder, CutOrFlippedFilesNeverCrash) {
  auto library = make_video_library(nullptr);
  const auto path = scratch_dir("video_damaged") / "damaged.avi";
  AviWriterOptions o;
  o.audio_stream_first = true;
  o.dropped = {2};
  std::vector<Bytes> sources = {read_file_bytes(numbered_avi("damage_source", 16, 8, 6, o))};
  for (const char* name : {"cram_160x120_25fps_100f.avi", "cvid_320x200_25fps.avi", "vfw_rle8_160x120_15fps_drop.avi",
                           "mjpeg_320x200_25fps.avi"})
    sources.push_back(read_file_bytes(testdata_path(std::string("avi/") + name)));
  const auto open_damaged = [&](const Bytes& bytes) {
    write_file_bytes(path, bytes);
    auto stream = library->open_stream(path.c_str());
    auto decoder = stream ? stream->open_frame_decoder() : nullptr;
    if (!decoder) return;
    for (std::int64_t n : {5, 0, 80, 3, -2, 40, 1}) ASSERT_NE(decoder->get_frame(n), nullptr) << bytes.size();
  };
  std::mt19937 random(11);
  for (const Bytes& source : sources) {
    for (std::size_t n = 0; n < source.size(); n += &source == &sources[0] ? 7 : source.size() / 97 + 1)
      open_damaged(Bytes(source.begin(), source.begin() + std::ptrdiff_t(n)));
    for (int variant = 0; variant < 120; ++variant) {
      Bytes bytes = source;
      const std::size_t region = variant % 3 == 0 ? bytes.size() : std::min<std::size_t>(bytes.size(), 12000);
      for (int k = 0; k < 6; ++k) {
        const std::size_t at = random() % region;
        bytes[variant % 3 == 2 ? bytes.size() - 1 - at : at] ^= std::uint8_t(1u << (random() % 8));
      }
      open_damaged(bytes);
    }
  }
}

// Frame sizes on both sides of the limits: accepted ones open and decode at their size,
// the others are refused from the header with one line that names the size.
TEST(VideoLimits, FrameSizesOnBothSidesOfTheLimits) {
  const struct {
    int width, height;
    bool accepted;
  } sizes[] = {
      {max_video_side, int(max_video_pixels / max_video_side), true},
      {int(max_video_pixels / max_video_side), max_video_side, true},
      {1024, 1024, true},
      {max_video_side + 1, 1, false},
      {1, max_video_side + 1, false},
      {1024, 1025, false},
      {1025, 1024, false},
  };
  static_assert(max_video_pixels == 1024 * 1024);
  for (const auto& size : sizes) {
    const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
    SCOPED_TRACE(name);
    const auto blank = [](int, std::span<std::uint32_t>) {};
    const Bytes bytes = avi_encode(size.width, size.height, 1, blank);
    ASSERT_FALSE(bytes.empty());
    MessageFile messages;
    auto library = make_video_library(messages.file);
    auto stream = library->open_stream(write_scratch("video_limits", name + ".avi", bytes).c_str());
    if (!size.accepted) {
      EXPECT_EQ(stream, nullptr);
      EXPECT_NE(library->open_problem().find("the frames are " + name + " pixels"), std::string::npos)
          << library->open_problem();
      continue;
    }
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(messages.text(), "");
    auto decoder = stream->open_frame_decoder();
    ASSERT_NE(decoder, nullptr);
    const Dib frame(decoder->get_frame(0));
    EXPECT_EQ(frame.width, size.width);
    EXPECT_EQ(frame.height, size.height);
  }
}

// A stream of max_video_frames frames opens; one more is refused. Frames are 1 x 1 pixel.
TEST(VideoLimits, FrameCountOnBothSidesOfTheLimit) {
  for (const std::int64_t frames : {max_video_frames, max_video_frames + 1}) {
    SCOPED_TRACE(frames);
    const auto blank = [](int, std::span<std::uint32_t>) {};
    const Bytes bytes = avi_encode(1, 1, int(frames), blank);
    const auto path = write_scratch("video_frame_limit", "frames.avi", bytes);
    auto library = make_video_library(nullptr);
    auto stream = library->open_stream(path.c_str());
    EXPECT_EQ(stream != nullptr, frames <= max_video_frames);
    EXPECT_EQ(library->open_problem().empty(), frames <= max_video_frames) << library->open_problem();
  }
}

// A Cinepak file whose headers claim 16000 x 16000 pixels (the frames inside are 320 x 200)
// is refused from its header, and a 35-byte GIF named .avi is never handed to FFmpeg: both
// come back at once, each with its reason.
TEST(VideoLimits, HostileHeadersAreRefusedBeforeAnyDecoding) {
  Bytes huge = read_file_bytes(testdata_path("avi/cvid_320x200_25fps.avi"));
  for (const char* tag : {"avih", "strf"}) {
    const auto at = std::search(huge.begin(), huge.end(), tag, tag + 4);
    ASSERT_NE(at, huge.end()) << tag;
    const std::size_t field = std::size_t(at - huge.begin()) + 8 + (tag[0] == 'a' ? 32 : 4);
    store_le32(&huge[field], 16000);
    store_le32(&huge[field + 4], 16000);
  }
  const std::string gif = "GIF89a\x80\x3e\x80\x3e\x00\x00\x00,\x00\x00\x00\x00\x80\x3e\x80\x3e\x00\x02\x02D\x01\x00;";
  const struct {
    const char* name;
    Bytes bytes;
    const char* told;
  } files[] = {
      {"huge.avi", huge, "the frames are 16000x16000 pixels"},
      {"picture.avi", Bytes(gif.begin(), gif.end()), "not an AVI file"},
  };
  for (const auto& f : files) {
    auto library = make_video_library(nullptr);
    const auto started = std::chrono::steady_clock::now();
    auto stream = library->open_stream(write_scratch("video_hostile", f.name, f.bytes).c_str());
    EXPECT_EQ(stream, nullptr) << f.name;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << f.name;
    EXPECT_NE(library->open_problem().find(f.told), std::string::npos) << library->open_problem();
  }
}

// An INFO list before the frames whose tag claims a gigabyte, in a file of a few kilobytes:
// FFmpeg would allocate and clear the gigabyte before finding the file short. Opening it adds
// no more than FFmpeg's header limit to the peak memory, whatever it then decides.
TEST(VideoLimits, HeaderChunkClaimingAGigabyteAllocatesNoMoreThanTheLimit) {
  Bytes avi = read_file_bytes(numbered_avi("info_claim", 32, 12, 3));
  const char movi[] = "movi";
  const auto at = std::search(avi.begin(), avi.end(), movi, movi + 4);
  ASSERT_NE(at, avi.end());
  Bytes info(24, 0);
  std::memcpy(&info[0], "LIST", 4);
  store_le32(&info[4], 0x7ffffff0u);
  std::memcpy(&info[8], "INFO", 4);
  std::memcpy(&info[12], "ISFT", 4);
  store_le32(&info[16], 0x3fc00000u);
  std::memcpy(&info[20], "Lavf", 4);
  avi.insert(at - 8, info.begin(), info.end());
  const std::string path = write_scratch("video_hostile", "info_claim.avi", avi).string();
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  auto stream = make_video_library(nullptr)->open_stream(path.c_str());
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  const long added_kib = after.ru_maxrss - before.ru_maxrss;
  EXPECT_LT(added_kib, long(2 * max_video_header_allocation / 1024));
}

// A file cut in the middle of its frames, between two frames or inside one, opens with one
// line that says so; its frames up to the cut decode and later ones show the last that did.
TEST(VideoDamage, FileCutBeforeOpeningIsToldOnceAndPlaysWhatIsThere) {
  const Bytes whole = read_file_bytes(numbered_avi("cut_source", 32, 12, 10));
  const auto idx1 = std::search(whole.begin(), whole.end(), std::begin("idx1"), std::end("idx1") - 1);
  ASSERT_NE(idx1, whole.end());
  const std::size_t frame_bytes = 8 + 32 * 12 * 3;
  const std::size_t after_frame_5 = std::size_t(idx1 - whole.begin()) - 4 * frame_bytes;
  for (const std::size_t length : {after_frame_5, after_frame_5 + frame_bytes / 2}) {
    SCOPED_TRACE(length);
    const Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(length));
    MessageFile messages;
    auto stream = make_video_library(messages.file)->open_stream(write_scratch("video_cut", "cut.avi", cut).c_str());
    ASSERT_NE(stream, nullptr);
    auto decoder = stream->open_frame_decoder();
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(messages.lines(), 1);
    EXPECT_NE(messages.text().find("cut.avi: the file is cut"), std::string::npos) << messages.text();
    const int expected[] = {0, 1, 2, 3, 4, 5, 5, 5, 5, 5};
    for (int n = 0; n < 10; ++n) EXPECT_EQ(Dib(decoder->get_frame(n)).bar(), expected[n]) << "frame " << n;
    EXPECT_EQ(messages.lines(), 1);
  }
}

// A file damaged while the show plays (here cut after it was opened): one line the first time
// a frame cannot be read, none for the frames after it or on the next round; the last good
// picture stays.
TEST(VideoDamage, FileDamagedWhilePlayingIsToldOnceNotPerFrame) {
  const auto path = numbered_avi("damaged_later", 32, 12, 10);
  MessageFile messages;
  auto stream = make_video_library(messages.file)->open_stream(path.c_str());
  ASSERT_NE(stream, nullptr);
  auto decoder = stream->open_frame_decoder();
  ASSERT_NE(decoder, nullptr);
  EXPECT_EQ(Dib(decoder->get_frame(3)).bar(), 3);
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
  for (int round = 0; round < 2; ++round)
    for (int n = 0; n < 10; ++n) ASSERT_NE(decoder->get_frame(n), nullptr) << "frame " << n;
  EXPECT_EQ(messages.lines(), 1) << messages.text();
  EXPECT_NE(messages.text().find("damaged"), std::string::npos) << messages.text();
}

namespace {

constexpr std::uint32_t earlier_layers = 0x123456;  // what the frame held before the layer drew

// An avivideo layer loaded from a file of numbered frames and drawn over earlier_layers.
struct VideoLayerRun {
  std::unique_ptr<VideoLibrary> library = make_video_library();
  VirtualClock clock;
  std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(frame_pixels, 0);
  Layer layer;
  explicit VideoLayerRun(const std::filesystem::path& path) {
    layer.type = LAYER_AVIVIDEO;
    layer.param1 = path.string();
    library->init();
    SceneShelf no_scenes;
    EXPECT_TRUE(load_layer_resource(layer, *library, no_scenes)) << path;
  }
  // Draws at a process clock of `ms`.
  void draw_at(std::int64_t ms) {
    clock.set((double(ms) + 0.5) / 1000.0);
    std::fill(frame.begin(), frame.end(), earlier_layers);
    FrameContext context;
    context.frame = frame;
    context.process_clock = &clock;
    draw_video_layer(layer, context);
  }
  std::uint32_t at(int x, int y) const { return frame[std::size_t(y) * frame_width + std::size_t(x)]; }
  // The number in the bar of a frame w pixels wide drawn centred at the clock reading `ms`.
  int frame_shown_at(std::int64_t ms, int w, int h) {
    draw_at(ms);
    int n = 0;
    for (int b = 0; b < 8; ++b) n |= (at(160 - w / 2 + b * (w / 8) + w / 16, 100 - h / 2 + 4) == 0xffffffu) << b;
    return n;
  }
};

}  // namespace

TEST(VideoLayerIndex, Rate25StartingAt7600msShowsFrame15ThenWrapsToStartPlusOne) {
  VideoLayerRun run(numbered_avi("layer_index", 16, 12, 100));
  EXPECT_EQ(run.frame_shown_at(7600, 16, 12), 15);  // the start is the whole second 7: 0.6 s into the stream
  EXPECT_EQ(run.layer.start_mark, 7);
  EXPECT_EQ(run.frame_shown_at(8000, 16, 12), 25);
  EXPECT_EQ(run.frame_shown_at(10960, 16, 12), 99);
  EXPECT_EQ(run.frame_shown_at(11000, 16, 12), 1);  // index 100 is past the length: dwStart + 1, new start
  EXPECT_EQ(run.layer.start_mark, 11);
  EXPECT_EQ(run.frame_shown_at(11500, 16, 12), 12);
  run.layer.video_info.dwStart = 3;
  EXPECT_EQ(run.frame_shown_at(15000, 16, 12), 4);
  EXPECT_EQ(run.layer.start_mark, 15);
  run.layer.video_info.dwScale = 0;  // a stream without scale always wraps
  EXPECT_EQ(run.frame_shown_at(16000, 16, 12), 4);
  EXPECT_EQ(run.frame_shown_at(17500, 16, 12), 4);
}

// 160 x 120 lands in 80, 40 .. 240, 160 and 161 pixels span 80 .. 241: each probe left of,
// at and right of the frame's edges and middle, above it, on its rows below the bar and below
// it shows earlier_layers outside and the frame's colour inside (blue = x, green = 2 y: no
// shear, the first bitmap row at the bottom), 5-5-5 widened by repeating the top bits.
TEST(VideoLayerDraw, CentredUprightAndConvertedTo32Bits) {
  for (auto [w, h, bits] : {std::array{160, 120, 24}, {161, 12, 24}, {160, 120, 16}}) {
    AviWriterOptions o;
    o.bits = bits;
    VideoLayerRun run(numbered_avi("layer_draw", w, h, 1, o));
    run.draw_at(500);
    const int left = 160 - w / 2, top = 100 - h / 2;
    for (int x : {left - 1, left, left + w / 2, left + w - 1, left + w})
      for (int y : {top - 1, top + 8, top + h - 1, top + h}) {
        const std::uint32_t c = row_colour(x - left, y - top);
        const bool inside = x >= left && x < left + w && y >= top && y < top + h;
        EXPECT_EQ(run.at(x, y), !inside ? earlier_layers : bits == 16 ? (c & 0xf8f8f8) | (c >> 5 & 0x070707) : c)
            << w << "x" << h << "x" << bits << " at " << x << "," << y;
      }
  }
}

// A decoder that has no frame to give: the layer draws nothing.
TEST(VideoLayerDraw, NoFrameDrawsNothing) {
  struct NoFrames final : FrameDecoder {
    const std::uint8_t* get_frame(std::int64_t) override { return nullptr; }
  };
  VideoLayerRun run(numbered_avi("layer_none", 16, 12, 2));
  run.layer.video_decoder = std::make_unique<NoFrames>();
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
  SceneShelf no_scenes;
  EXPECT_FALSE(load_layer_resource(missing, *library, no_scenes));
  EXPECT_FALSE(missing.resource.video);
  const VideoLayerRun show(dir / "video.avi");
  EXPECT_EQ((std::array{show.layer.video_info.dwRate, show.layer.video_info.dwScale, show.layer.video_info.dwLength}),
            (std::array<std::uint32_t, 3>{25, 1, 64}));
  const Dib frame(show.layer.video_decoder->get_frame(63));
  EXPECT_EQ((std::array{frame.width, frame.height, frame.bits}), (std::array{160, 120, 24}));
}
