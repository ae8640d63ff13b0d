// The single-instance lock on Linux: an exclusive flock() on a per-user file, taken when the
// object is made and held until it is destroyed or the process ends (the kernel drops the lock
// with the process, however it dies). The file is $XDG_RUNTIME_DIR/transfer-info.lock, or
// /tmp/transfer-info-<uid>.lock without a runtime directory. Not thread-safe.
#pragma once

#include <string>

#include "platform/instance.h"

namespace xfr {

class PosixInstanceLock : public InstanceLock {
 public:
  // Tries to take the lock on `lock_path` (DefaultPath() when empty).
  explicit PosixInstanceLock(std::string lock_path = {});
  ~PosixInstanceLock() override;
  PosixInstanceLock(const PosixInstanceLock&) = delete;
  PosixInstanceLock& operator=(const PosixInstanceLock&) = delete;

  // True while another process holds the lock. When this one does not hold it yet, it tries
  // again, so an instance that has ended since no longer counts. A lock file that cannot be
  // opened, or that belongs to another user, counts as no other instance: the program runs
  // rather than refusing to start.
  bool AnotherInstanceRunning() override;
  // The holder as the kernel lists it in /proc/locks, with its name and the lock file.
  std::string Holder() override;

  bool held() const { return fd_ >= 0; }
  static std::string DefaultPath();

 private:
  bool TryLock();

  std::string path_;
  int fd_ = -1;
};

}  // namespace xfr
