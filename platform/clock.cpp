// clock.cpp: the steady wall clock and the toolkit timer.
#include "platform/clock.h"

#include <chrono>
#include <cmath>

namespace {

std::int64_t steady_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

SteadyClock::SteadyClock() : origin_ns_(steady_ns()) {}

double SteadyClock::now_s() { return double(steady_ns() - origin_ns_) * 1e-9; }

std::int64_t process_clock_ms(Clock& clock) { return std::int64_t(std::floor(clock.now_s() * 1000.0)); }

void timer_start(Timer& timer, Clock& clock) {
  timer.clock = &clock;
  timer.start_s = clock.now_s();
  timer.running = true;
}

void timer_stop(Timer& timer) {
  if (!timer.running) return;
  timer.stop_s = timer.clock->now_s();
  timer.running = false;
}

double timer_seconds(const Timer& timer) {
  if (!timer.clock) return 0;
  return (timer.running ? timer.clock->now_s() : timer.stop_s) - timer.start_s;
}
