// capture_queue.h: the bounded hand-over between the capture's frame loop and its encoder
// threads. The frame loop fills a free slot with a finished frame (and the sound mixed while
// it was on screen) and submits it; the workers encode submitted slots and free them again.
// Slots are sized once, so nothing is allocated per frame. With one worker the slots are
// encoded in submission order, which a video file needs; with several, frames that go to
// separate files are encoded side by side.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct CaptureFrame {
  std::int64_t index = 0;
  std::vector<std::uint32_t> pixels;  // frame_pixels, 0x00RRGGBB, sized once
  std::vector<std::int16_t> audio;    // interleaved stereo mixed during this frame; room reserved once
};

// Encodes one frame; false when its output could not be written.
using CaptureEncoder = std::function<bool(const CaptureFrame&)>;

class CaptureQueue {
 public:
  // slots frames in flight (at least workers + 1), each with room for audio_samples
  // interleaved samples; workers threads (0: encode on the caller's thread at submit).
  CaptureQueue(int slots, int workers, std::size_t audio_samples, CaptureEncoder encode);
  ~CaptureQueue();
  CaptureQueue(const CaptureQueue&) = delete;
  CaptureQueue& operator=(const CaptureQueue&) = delete;

  // A free slot; waits while every slot is in flight.
  CaptureFrame& acquire();
  void submit(CaptureFrame& frame);
  // Waits until every submitted frame is encoded and stops the workers; false when any
  // encode failed. The queue takes no frames afterwards.
  bool finish();
  // Whether an encode has failed so far (checked by the frame loop to stop early).
  bool failed();

 private:
  void work();

  CaptureEncoder encode_;
  std::vector<CaptureFrame> frames_;
  std::vector<CaptureFrame*> free_;     // slots the frame loop may fill
  std::vector<CaptureFrame*> pending_;  // ring of submitted slots, oldest at head_
  std::size_t head_ = 0;                // next pending slot to encode
  std::size_t count_ = 0;               // pending slots
  int busy_ = 0;                        // slots being encoded
  bool stopping_ = false;
  bool failed_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> workers_;
};
