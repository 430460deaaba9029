// capture_queue.cpp: a fixed set of frame slots passed between the frame loop and the workers.
#include "driver/capture_queue.h"

#include <algorithm>

#include "base/frame.h"

CaptureQueue::CaptureQueue(int slots, int workers, std::size_t audio_samples, CaptureEncoder encode)
    : encode_(std::move(encode)), frames_(std::size_t(std::max(slots, workers + 1))) {
  for (CaptureFrame& frame : frames_) {
    frame.pixels.assign(frame_pixels, 0);
    frame.audio.reserve(audio_samples);
    free_.push_back(&frame);
  }
  pending_.assign(frames_.size(), nullptr);
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

CaptureQueue::~CaptureQueue() { finish(); }

CaptureFrame& CaptureQueue::acquire() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty(); });
  CaptureFrame* frame = free_.back();
  free_.pop_back();
  return *frame;
}

void CaptureQueue::submit(CaptureFrame& frame) {
  if (workers_.empty()) {
    const bool ok = encode_(frame);
    std::lock_guard lock(mutex_);
    failed_ = failed_ || !ok;
    free_.push_back(&frame);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    pending_[(head_ + count_) % pending_.size()] = &frame;
    ++count_;
  }
  changed_.notify_all();
}

void CaptureQueue::work() {
  for (;;) {
    CaptureFrame* frame = nullptr;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return count_ > 0 || stopping_; });
      if (count_ == 0) return;
      frame = pending_[head_];
      head_ = (head_ + 1) % pending_.size();
      --count_;
      ++busy_;
    }
    // After a failure the remaining frames are dropped: the capture is being abandoned.
    const bool ok = !failed() && encode_(*frame);
    {
      std::lock_guard lock(mutex_);
      failed_ = failed_ || !ok;
      --busy_;
      free_.push_back(frame);
    }
    changed_.notify_all();
  }
}

bool CaptureQueue::finish() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return count_ == 0 && busy_ == 0; });
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  return !failed();
}

bool CaptureQueue::failed() {
  std::lock_guard lock(mutex_);
  return failed_;
}
