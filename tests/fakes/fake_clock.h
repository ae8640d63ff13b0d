// A settable clock for tests: the seconds-since-midnight reading and the monotonic reading move
// together, the seconds clock restarts at 0 at midnight, and Sleep advances both (nothing really
// sleeps) unless auto-advance is turned off. Counts the sleeps so a test can tell a wait that
// slept from one that spun.
#pragma once

#include <chrono>
#include <cmath>
#include <functional>

#include "platform/clock.h"

namespace xfr::testing {

class FakeClock : public Clock {
 public:
  static constexpr double kDaySeconds = 86400;

  explicit FakeClock(double seconds_since_midnight = 12 * 3600.0)
      : seconds_(seconds_since_midnight) {}

  double SecondsSinceMidnight() override {
    ++readings;
    return seconds_;
  }
  double MonotonicSeconds() override { return monotonic_; }
  Date Today() override { return today; }
  void Sleep(std::chrono::milliseconds duration) override {
    ++sleeps;
    slept += duration;
    if (on_sleep) on_sleep(duration);
    if (auto_advance) Advance(duration.count() / 1000.0);
  }

  // Moves both clocks on; the seconds clock wraps at midnight.
  void Advance(double seconds) {
    monotonic_ += seconds;
    seconds_ = std::fmod(seconds_ + seconds, kDaySeconds);
  }
  void SetSecondsSinceMidnight(double seconds) { seconds_ = seconds; }
  double monotonic() const { return monotonic_; }

  Date today{};
  bool auto_advance = true;
  int sleeps = 0;
  int readings = 0;
  std::chrono::milliseconds slept{0};
  std::function<void(std::chrono::milliseconds)> on_sleep;

 private:
  double seconds_;
  double monotonic_ = 1000;
};

}  // namespace xfr::testing
