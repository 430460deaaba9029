// show_video.cpp: the sample show's video, video.avi: 160x120 at 25 frames a second, 64
// uncompressed 24-bit frames of two circling wave centres whose rings interfere in rainbow
// colours. The motion repeats after 63 frames, so the loop from the last frame back to frame 1
// (where the video layer wraps to) runs on without a jump.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>

#include "tools/avi_writer.h"
#include "tools/show_assets.h"

namespace {

constexpr int video_width = 160;
constexpr int video_height = 120;
constexpr int video_frames = 64;
constexpr int loop_frames = video_frames - 1;

std::uint8_t channel(double v) { return std::uint8_t(std::lround(127.5 + 127.5 * v)); }

void draw_interference(int frame, std::span<std::uint32_t> pixels) {
  const double turn = 2 * std::numbers::pi * frame / loop_frames;  // one turn per loop
  const double ax = 80 + 48 * std::cos(turn), ay = 60 + 30 * std::sin(turn);
  const double bx = 80 - 40 * std::cos(2 * turn), by = 60 + 36 * std::sin(turn + 1.0);
  for (int y = 0; y < video_height; ++y)
    for (int x = 0; x < video_width; ++x) {
      const double a = std::hypot(x - ax, y - ay), b = std::hypot(x - bx, y - by);
      // Rings travel outward from both centres; their sum picks a hue that drifts with time.
      const double v = std::sin(a / 5.0 - 2 * turn) + std::sin(b / 7.0 - 3 * turn);
      const double hue = std::numbers::pi * v / 2 + turn;
      const double fade = 1.0 - 0.5 * std::hypot(x - 80.0, y - 60.0) / 100.0;  // darker towards the edge
      const std::uint32_t r = channel(std::sin(hue) * fade), g = channel(std::sin(hue + 2.1) * fade),
                          bl = channel(std::sin(hue + 4.2) * fade);
      pixels[std::size_t(y) * video_width + std::size_t(x)] = r << 16 | g << 8 | bl;
    }
}

}  // namespace

bool write_show_video(const std::filesystem::path& dir) {
  const std::vector<std::uint8_t> avi = avi_encode(video_width, video_height, video_frames, draw_interference);
  std::ofstream out(dir / "video.avi", std::ios::binary);
  out.write(reinterpret_cast<const char*>(avi.data()), std::streamsize(avi.size()));
  return !avi.empty() && bool(out);
}
