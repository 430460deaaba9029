// clock.h: the show's clocks. One Clock gives seconds since the process started; the
// process clock (milliseconds) and every Timer read it, so capture mode can drive them
// all from one virtual clock that advances a fixed step per frame.
#pragma once

#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since the process started; never decreases.
  virtual double now_s() = 0;
};

// Wall time from a steady clock (not CPU time), counted from the clock's creation.
class SteadyClock final : public Clock {
 public:
  SteadyClock();
  double now_s() override;

 private:
  std::int64_t origin_ns_;
};

// A clock that only moves when told: capture mode sets it to frame / fps.
class VirtualClock final : public Clock {
 public:
  double now_s() override { return now_s_; }
  void set(double seconds) { now_s_ = seconds; }

 private:
  double now_s_ = 0;
};

// Milliseconds of the process clock, truncated (1000 ticks per second).
std::int64_t process_clock_ms(Clock& clock);

// The toolkit timer: seconds since it was started, as a double.
struct Timer {
  Clock* clock = nullptr;
  double start_s = 0;
  double stop_s = 0;
  bool running = false;
};

void timer_start(Timer& timer, Clock& clock);
void timer_stop(Timer& timer);
double timer_seconds(const Timer& timer);
