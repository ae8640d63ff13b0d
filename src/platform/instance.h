// The single-instance test: whether another copy of the program is running. The Linux
// implementation holds a lock that the system releases when the process dies.
#pragma once

namespace xfr {

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // True when another running instance holds the lock (this one could not take it).
  virtual bool AnotherInstanceRunning() = 0;
};

}  // namespace xfr
