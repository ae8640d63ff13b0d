#include "platform/win32/win32_clock.h"

#include <thread>

#include "platform/win32/windows_api.h"

namespace xfr {

double Win32Clock::SecondsSinceMidnight() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
}

double Win32Clock::MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Date Win32Clock::Today() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return Date{t.wYear, t.wMonth, t.wDay};
}

void Win32Clock::Sleep(std::chrono::milliseconds duration) {
  if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

}  // namespace xfr
