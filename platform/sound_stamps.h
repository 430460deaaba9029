// sound_stamps.h: the song position of what is heard. The mixer stamps each slice of at most
// stamp_slice_frames samples with its position; the reader estimates which sample leaves the
// speakers now and looks up that slice's stamp. Plain records and arithmetic, no locking.
#pragma once

#include <array>
#include <cstdint>

constexpr int stamp_slice_frames = 256;
// 4096 slices of 256 frames: 23.8 s at 44100 Hz, far more than any output latency.
constexpr std::size_t stamp_ring_slots = 4096;

// The position after mixing a slice that starts at first_sample (a multiple of
// stamp_slice_frames, counted from the device's start); first_sample -1: none yet.
struct PositionStamp {
  std::int64_t first_sample = -1;
  std::int32_t order = 0;
  std::int32_t row = 0;
};

struct StampRing {
  std::array<PositionStamp, stamp_ring_slots> slots;
};

// Stores the stamp of the slice holding stamp.first_sample (overwriting an older round).
void stamp_put(StampRing& ring, const PositionStamp& stamp);

// The stamp of the slice holding sample `cursor`, or none when that slice is not mixed yet
// or was overwritten by a later one.
const PositionStamp* stamp_find(const StampRing& ring, std::int64_t cursor);

// The last buffer handed to the device: its first sample, its length and when it was asked for.
struct MixAnchor {
  std::int64_t first_sample = -1;  // -1: nothing mixed yet
  std::int64_t frames = 0;
  double at_s = 0;  // steady-clock seconds at the callback
};

// The sample leaving the speakers at now_s. When the device asks for a buffer, one buffer
// of the same size is still queued before it, and the backend adds latency_frames more; the
// buffer's first sample is heard that long after the callback, and samples follow at rate.
// The result never passes the last sample mixed; it may be negative before sound starts.
std::int64_t playback_cursor(const MixAnchor& anchor, double now_s, int rate_hz, std::int64_t latency_frames);

// Milliseconds of backend latency from the value of QUINDLE_AUDIO_LATENCY_MS (may be none):
// a whole number 0..max_ms, otherwise default_ms.
int audio_latency_from_env(const char* value, int default_ms, int max_ms);
