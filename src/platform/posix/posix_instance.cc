#include "platform/posix/posix_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace xfr {

std::string PosixInstanceLock::DefaultPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/transfer-info.lock";
  return "/tmp/transfer-info-" + std::to_string(::getuid()) + ".lock";
}

PosixInstanceLock::PosixInstanceLock(std::string lock_path)
    : path_(lock_path.empty() ? DefaultPath() : std::move(lock_path)) {
  TryLock();
}

PosixInstanceLock::~PosixInstanceLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the only descriptor drops the lock
}

bool PosixInstanceLock::TryLock() {
  if (fd_ >= 0) return true;
  // O_NOFOLLOW: in a shared /tmp another user could plant a link to a file of ours.
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return false;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool PosixInstanceLock::AnotherInstanceRunning() {
  if (TryLock()) return false;
  // Not taken: either another process holds it, or the file is unusable.
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
  ::close(fd);
  return ours;
}

std::string PosixInstanceLock::Holder() {
  // A line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 4242 00:2d:5117 0 EOF", the last number
  // of the device field the lock file's inode (waiters' lines have "->" before FLOCK).
  std::string pid;
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0) {
    std::ifstream locks("/proc/locks");
    for (std::string line; pid.empty() && std::getline(locks, line);) {
      std::istringstream fields(line);
      std::string number, type, mode, access, holder, device;
      fields >> number >> type >> mode >> access >> holder >> device;
      if (type == "FLOCK" && device.substr(device.rfind(':') + 1) == std::to_string(st.st_ino)) {
        pid = holder;
      }
    }
  }
  if (pid.empty()) return "Another process of this user holds the lock " + path_ + ".";
  std::string name;
  std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
  return "The other copy is " + (name.empty() ? std::string("a process") : name) + ", process " +
         pid + ", holding the lock " + path_ + ": use its window, or end that process (kill " +
         pid + ") if it no longer answers.";
}

}  // namespace xfr
