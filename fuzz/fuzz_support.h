// fuzz_support.h: what the harnesses share. The readers under test take file names, so each
// input is handed to them as a file that lives in memory (no disk writes per execution), and
// the layer harnesses draw through a frame context whose clocks they set themselves.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "driver/layers.h"
#include "platform/clock.h"
#include "platform/pixels.h"
#include "platform/video_ffmpeg.h"

// A file in memory whose contents are replaced by each input; path() names it for open().
class MemoryFile {
 public:
  explicit MemoryFile(const char* name) : fd_(memfd_create(name, 0)) {
    if (fd_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() { close(fd_); }

  const std::string& path() const { return path_; }

  void assign(const std::uint8_t* data, std::size_t size) {
    if (ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, off_t(done));
      if (n <= 0) std::abort();
      done += std::size_t(n);
    }
  }

 private:
  int fd_;
  std::string path_;
};

// Frame, work buffer and clocks as the frame loop hands them to the layers.
struct FuzzFrame {
  std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(frame_pixels);
  std::vector<std::uint32_t> work = std::vector<std::uint32_t>(frame_pixels);
  VirtualClock clock;
  Timer show_timer;

  FuzzFrame() { timer_start(show_timer, clock); }

  // The context at `seconds` of show time (process clock and show timer read the same clock).
  FrameContext at(double seconds) {
    clock.set(seconds);
    return FrameContext{frame, work, &show_timer, &clock};
  }
};

// The show's video library (FFmpeg), made and initialised once per process.
inline VideoLibrary& fuzz_video_library() {
  static const std::unique_ptr<VideoLibrary> library = [] {
    std::unique_ptr<VideoLibrary> made = make_video_library();
    made->init();
    return made;
  }();
  return *library;
}
