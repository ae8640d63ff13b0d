// The system clock: local time of day, a monotonic clock, today's local date, sleeping.
// Thread-safe.
#pragma once

#include "platform/clock.h"

namespace xfr {

class PosixClock : public Clock {
 public:
  double SecondsSinceMidnight() override;
  double MonotonicSeconds() override;
  Date Today() override;
  void Sleep(std::chrono::milliseconds duration) override;
};

}  // namespace xfr
