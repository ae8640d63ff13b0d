#include "platform/win32/win32_instance.h"

#include "platform/win32/windows_api.h"

namespace xfr {

Win32InstanceLock::Win32InstanceLock(std::string name) : name_(std::move(name)) { Open(); }

Win32InstanceLock::~Win32InstanceLock() {
  if (handle_ != nullptr) ::CloseHandle(handle_);
}

void Win32InstanceLock::Open() {
  if (handle_ != nullptr) ::CloseHandle(handle_);
  handle_ = ::CreateMutexA(nullptr, FALSE, name_.c_str());
  // A mutex that cannot be made counts as no other instance: the program runs rather than
  // refusing to start.
  first_ = handle_ == nullptr || ::GetLastError() != ERROR_ALREADY_EXISTS;
}

bool Win32InstanceLock::AnotherInstanceRunning() {
  if (!first_) Open();
  return !first_;
}

}  // namespace xfr
