// The single-instance test on Windows: a named mutex in the session's namespace. Its name
// exists while any running copy holds a handle to it; Windows closes the handle however the
// process ends. Not thread-safe.
#pragma once

#include <string>

#include "platform/instance.h"

namespace xfr {

class Win32InstanceLock : public InstanceLock {
 public:
  static constexpr char kDefaultName[] = "Local\\TransferInfo.Instance";

  explicit Win32InstanceLock(std::string name = kDefaultName);
  ~Win32InstanceLock() override;
  Win32InstanceLock(const Win32InstanceLock&) = delete;
  Win32InstanceLock& operator=(const Win32InstanceLock&) = delete;

  // True while another copy holds the name. A copy that found the name taken at its start
  // asks again, so an instance that has ended since no longer counts.
  bool AnotherInstanceRunning() override;

 private:
  void Open();

  std::string name_;
  void* handle_ = nullptr;
  bool first_ = false;  // this copy made the mutex
};

}  // namespace xfr
