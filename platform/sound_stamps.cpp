// sound_stamps.cpp: the stamp ring and the playback cursor estimate.
#include "platform/sound_stamps.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

std::size_t slot_of(std::int64_t sample) {
  return std::size_t(sample / stamp_slice_frames) % stamp_ring_slots;
}

}  // namespace

void stamp_put(StampRing& ring, const PositionStamp& stamp) {
  if (stamp.first_sample >= 0) ring.slots[slot_of(stamp.first_sample)] = stamp;
}

const PositionStamp* stamp_find(const StampRing& ring, std::int64_t cursor) {
  if (cursor < 0) return nullptr;
  const PositionStamp& stamp = ring.slots[slot_of(cursor)];
  const std::int64_t slice_start = cursor - cursor % stamp_slice_frames;
  return stamp.first_sample == slice_start ? &stamp : nullptr;
}

std::int64_t playback_cursor(const MixAnchor& anchor, double now_s, int rate_hz, std::int64_t latency_frames) {
  if (anchor.first_sample < 0) return -1;
  const double elapsed_frames = std::max(0.0, now_s - anchor.at_s) * rate_hz;
  const std::int64_t heard =
      anchor.first_sample - anchor.frames - latency_frames + std::int64_t(std::floor(elapsed_frames));
  return std::min(heard, anchor.first_sample + anchor.frames - 1);
}

int audio_latency_from_env(const char* value, int default_ms, int max_ms) {
  if (!value || !*value) return default_ms;
  char* end = nullptr;
  errno = 0;
  const long ms = std::strtol(value, &end, 10);
  if (errno || *end || ms < 0 || ms > max_ms) return default_ms;
  return int(ms);
}
