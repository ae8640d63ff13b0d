// The single-instance test: whether another copy of the program is running. The Linux
// implementation holds a lock that the system releases when the process dies.
#pragma once

#include <string>

namespace xfr {

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // True when another running instance holds the lock (this one could not take it).
  virtual bool AnotherInstanceRunning() = 0;
  // Once AnotherInstanceRunning said so: which process holds the lock and where the lock is, in
  // words for the note after the "already running" message; "" when the system does not say.
  virtual std::string Holder() { return {}; }
};

}  // namespace xfr
