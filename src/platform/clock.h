// Time as the program needs it. Thread-safe.
#pragma once

#include <chrono>

#include "platform/value.h"

namespace xfr {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since local midnight, with fractions (VB's Timer); restarts at 0 at midnight.
  virtual double SecondsSinceMidnight() = 0;
  // A clock that never goes back, in seconds; for bounded waits.
  virtual double MonotonicSeconds() = 0;
  virtual Date Today() = 0;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

}  // namespace xfr
