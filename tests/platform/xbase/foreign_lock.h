// Locks held by another process, as another program on the share holds them: plain POSIX
// record locks (fcntl) taken in a child process. Linux only.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace xbase::table_testing {

// Held from construction to destruction; held() says whether it was granted.
class ForeignLock {
 public:
  ForeignLock(const std::string& path, std::uint64_t offset, std::uint64_t length,
              bool exclusive = true) {
    int to_child[2], from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(to_child[1]);
      close(from_child[0]);
      int fd = ::open(path.c_str(), O_RDWR);
      struct flock fl {};
      fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = static_cast<off_t>(offset);
      fl.l_len = static_cast<off_t>(length);
      char ok = fd >= 0 && fcntl(fd, F_SETLK, &fl) == 0 ? 'y' : 'n';
      (void)!write(from_child[1], &ok, 1);
      char b;
      (void)!read(to_child[0], &b, 1);
      _exit(0);
    }
    close(to_child[0]);
    close(from_child[1]);
    release_ = to_child[1];
    char ok = 0;
    held_ = read(from_child[0], &ok, 1) == 1 && ok == 'y';
    close(from_child[0]);
  }
  ~ForeignLock() { Release(); }
  // Lets the lock go (the other program ends).
  void Release() {
    if (pid_ <= 0) return;
    close(release_);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  bool held() const { return held_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool held_ = false;
};

}  // namespace xbase::table_testing
