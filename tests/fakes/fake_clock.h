// A settable clock for tests: the seconds-since-midnight reading and the monotonic reading move
// together, the seconds clock restarts at 0 at midnight, and Sleep advances both (nothing really
// sleeps). Counts the sleeps so a test can tell a wait that slept from one that spun.
#pragma once

#include <chrono>
#include <cmath>
#include <functional>

#include "platform/clock.h"

namespace xfr::testing {

class FakeClock : public Clock {
 public:
  double SecondsSinceMidnight() override { return seconds_; }
  double MonotonicSeconds() override { return monotonic_; }
  Date Today() override { return today; }
  void Sleep(std::chrono::milliseconds duration) override {
    ++sleeps;
    if (on_sleep) on_sleep(duration);
    monotonic_ += duration.count() / 1000.0;
    seconds_ = std::fmod(seconds_ + duration.count() / 1000.0, 86400.0);
  }

  void SetSecondsSinceMidnight(double seconds) { seconds_ = seconds; }
  double monotonic() const { return monotonic_; }

  Date today{};
  int sleeps = 0;
  std::function<void(std::chrono::milliseconds)> on_sleep;

 private:
  double seconds_ = 12 * 3600.0;
  double monotonic_ = 1000;
};

}  // namespace xfr::testing
