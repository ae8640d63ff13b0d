#include "platform/posix/posix_clock.h"

#include <ctime>
#include <thread>

namespace xfr {
namespace {

// Local broken-down time of `now`, and the fraction of its second.
std::tm LocalTime(std::chrono::system_clock::time_point now, double* fraction) {
  auto since_epoch = now.time_since_epoch();
  auto whole = std::chrono::floor<std::chrono::seconds>(since_epoch);
  if (fraction != nullptr) *fraction = std::chrono::duration<double>(since_epoch - whole).count();
  std::time_t t = static_cast<std::time_t>(whole.count());
  std::tm local{};
  ::localtime_r(&t, &local);
  return local;
}

}  // namespace

double PosixClock::SecondsSinceMidnight() {
  double fraction = 0;
  std::tm t = LocalTime(std::chrono::system_clock::now(), &fraction);
  // A leap second (tm_sec 60) stays inside the day.
  double seconds = t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec + fraction;
  return seconds < 86400.0 ? seconds : 86399.999;
}

double PosixClock::MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Date PosixClock::Today() {
  std::tm t = LocalTime(std::chrono::system_clock::now(), nullptr);
  return Date{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday};
}

void PosixClock::Sleep(std::chrono::milliseconds duration) {
  if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

}  // namespace xfr
