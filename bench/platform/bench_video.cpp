// The avivideo layer per drawn frame of a 320x200 video: fetch (decode), conversion to the
// bitmap, upright copy and the converting area copy onto the display surface. Uncompressed
// frames come from a file generated here; Cinepak and Motion JPEG from the interop folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "driver/layers.h"
#include "platform/video_ffmpeg.h"
#include "tools/avi_writer.h"

namespace {

constexpr int video_frames = 50;

std::filesystem::path generated_video() {
  static const std::filesystem::path path = [] {
    const std::filesystem::path p = std::filesystem::temp_directory_path() / "quindle_bench_video_320x200.avi";
    const auto bytes = avi_encode(320, 200, video_frames, [](int n, std::span<std::uint32_t> pixels) {
      for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::uint32_t(i * 2654435761u + std::uint32_t(n) * 977u) & 0xffffff;
    });
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return p;
  }();
  return path;
}

std::filesystem::path video_path(const std::string& name) {
  if (name == "generated") return generated_video();
  const std::filesystem::path path = std::filesystem::path(QUINDLE_TESTDATA_DIR) / "avi" / name;
  return std::filesystem::exists(path) ? path : std::filesystem::path();
}

struct VideoLayerBench {
  std::unique_ptr<VideoLibrary> library = make_video_library();
  VirtualClock clock;
  std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(frame_pixels, 0);
  Layer layer;
  FrameContext context;

  bool load(const std::filesystem::path& path) {
    library->init();
    layer.type = LAYER_AVIVIDEO;
    layer.param1 = path.string();
    context.frame = frame;
    context.process_clock = &clock;
    return !path.empty() && load_video_layer(layer, *library);
  }
  void draw_at(std::int64_t ms) {
    clock.set((double(ms) + 0.5) / 1000.0);
    draw_video_layer(layer, context);
  }
  std::int64_t frame_ms() const { return 1000 * std::int64_t(layer.video_info.dwScale) / layer.video_info.dwRate; }
};

// Every iteration is the next frame of the video, looping as in the show (the wrap back to
// frame 1 comes once per pass).
void BM_video_layer_next_frame(benchmark::State& state, const std::string& name) {
  VideoLayerBench bench;
  if (!bench.load(video_path(name))) return state.SkipWithError("video file absent");
  std::int64_t ms = 0;
  for (auto _ : state) {
    bench.draw_at(ms);
    ms += bench.frame_ms();
  }
}
BENCHMARK_CAPTURE(BM_video_layer_next_frame, raw24, std::string("generated"));
BENCHMARK_CAPTURE(BM_video_layer_next_frame, cvid, std::string("cvid_320x200_25fps.avi"));
BENCHMARK_CAPTURE(BM_video_layer_next_frame, mjpeg, std::string("mjpeg_320x200_25fps.avi"));

// A loop faster than the video: the same frame again costs the two copies only.
void BM_video_layer_same_frame(benchmark::State& state, const std::string& name) {
  VideoLayerBench bench;
  if (!bench.load(video_path(name))) return state.SkipWithError("video file absent");
  for (auto _ : state) bench.draw_at(500);
}
BENCHMARK_CAPTURE(BM_video_layer_same_frame, raw24, std::string("generated"));

// The wrap: from the last frame back to dwStart + 1, which restarts decoding at the key frame
// before it.
void BM_video_layer_wrap(benchmark::State& state, const std::string& name) {
  VideoLayerBench bench;
  if (!bench.load(video_path(name))) return state.SkipWithError("video file absent");
  const VideoStreamInfo info = bench.layer.video_info;
  const std::int64_t past_end_ms = 1000 + 1000 * std::int64_t(info.dwLength) * info.dwScale / info.dwRate;
  for (auto _ : state) {
    state.PauseTiming();
    bench.layer.video_decoder->get_frame(info.dwStart + info.dwLength - 1);
    bench.layer.start_mark = 0;
    state.ResumeTiming();
    bench.draw_at(past_end_ms);
  }
}
BENCHMARK_CAPTURE(BM_video_layer_wrap, raw24, std::string("generated"));
BENCHMARK_CAPTURE(BM_video_layer_wrap, cvid, std::string("cvid_320x200_25fps.avi"));
BENCHMARK_CAPTURE(BM_video_layer_wrap, mjpeg, std::string("mjpeg_320x200_25fps.avi"));

}  // namespace
