// The system clock on Windows: local time of day and date (GetLocalTime), a monotonic clock,
// sleeping. Thread-safe.
#pragma once

#include "platform/clock.h"

namespace xfr {

class Win32Clock : public Clock {
 public:
  double SecondsSinceMidnight() override;
  double MonotonicSeconds() override;
  Date Today() override;
  void Sleep(std::chrono::milliseconds duration) override;
};

}  // namespace xfr
