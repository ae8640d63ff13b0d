// Env::Default on POSIX: positional IO with pread/pwrite, fsync, and open file description
// byte-range locks (F_OFD_SETLK), which belong to the open file rather than to the process, so
// two tables open on the same file in one process lock against each other as FoxPro's do.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/xbase/env.h"

namespace xbase {
namespace {

Status PosixError(const std::string& context, int err) {
  std::string msg = context + ": " + std::strerror(err);
  if (err == ENOENT) return Status::NotFound(msg);
  return Status::IOError(msg);
}

class PosixFile final : public File {
 public:
  PosixFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

  Status ReadAt(std::uint64_t offset, std::size_t n, char* scratch, std::size_t* read) override {
    std::size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, scratch + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        *read = done;
        return PosixError(path_, errno);
      }
      if (r == 0) break;
      done += static_cast<std::size_t>(r);
    }
    *read = done;
    return Status::OK();
  }

  Status WriteAt(std::uint64_t offset, const char* data, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd_, data + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return PosixError(path_, errno);
      }
      done += static_cast<std::size_t>(r);
    }
    return Status::OK();
  }

  Status Size(std::uint64_t* size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return PosixError(path_, errno);
    *size = static_cast<std::uint64_t>(st.st_size);
    return Status::OK();
  }

  Status Truncate(std::uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return PosixError(path_, errno);
    return Status::OK();
  }

  Status Sync() override {
    // The data and what reading it back needs (the size), not the times.
    if (::fdatasync(fd_) != 0) return PosixError(path_, errno);
    return Status::OK();
  }

  Status TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    return Fcntl(exclusive ? F_WRLCK : F_RDLCK, offset, length);
  }

  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    return Fcntl(F_UNLCK, offset, length);
  }

 private:
  Status Fcntl(short type, std::uint64_t offset, std::uint64_t length) {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;  // required for OFD locks
    while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EACCES) {
        return Status::Locked(path_ + ": bytes " + std::to_string(offset) + "+" +
                              std::to_string(length) + " are locked by another program");
      }
      return PosixError(path_ + ": lock", errno);
    }
    return Status::OK();
  }

  std::string path_;
  int fd_;
};

// Creates `path` with the permission bits (read and write only) and the group of `model`. The
// group needs this user to belong to it (a directory with its set-group-ID bit gives it anyway).
Status MakeLike(const std::string& path, const struct stat& model, int flags) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0600);
  if (fd < 0) return PosixError(path, errno);
  (void)!::fchown(fd, static_cast<uid_t>(-1), model.st_gid);
  const bool mode_set = ::fchmod(fd, model.st_mode & 0666) == 0;
  const int err = errno;
  ::close(fd);
  return mode_set ? Status::OK() : PosixError(path, err);
}

class PosixEnv final : public Env {
 public:
  Status OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) override {
    // No look at the kind of file: a directory is refused here (for writing) or at the first
    // read, a pipe or device at the first read or as a table too short, each with its error.
    int fd = ::open(path.c_str(), (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return PosixError(path, errno);
    *file = std::make_unique<PosixFile>(path, fd);
    return Status::OK();
  }

  Status CreateIfMissing(const std::string& path, const std::string& like) override {
    if (::access(path.c_str(), F_OK) == 0) return Status::OK();
    Status s = Create(path, like);
    // The new name is synced with its directory, so that a file synced afterwards is found
    // again after a power loss.
    return s.ok() ? SyncDirectoryOf(path) : s;
  }

  Status Create(const std::string& path, const std::string& like) {
    struct stat model;
    if (like.empty() || ::stat(like.c_str(), &model) != 0) {
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0) return PosixError(path, errno);
      ::close(fd);
      return Status::OK();
    }
    // Made under another name with the bits and group of `like`, then linked in, so that another
    // program never finds it under its name before it may open it; when another program linked
    // its own first, that one is kept. Where the file system has no links it is made in place.
    const std::string temp = path + "." + std::to_string(::getpid()) + ".new";
    Status s = MakeLike(temp, model, O_TRUNC);
    if (!s.ok()) return s;
    if (::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
      s = MakeLike(path, model, O_EXCL);
      if (!s.ok() && ::access(path.c_str(), F_OK) == 0) s = Status::OK();
    }
    ::unlink(temp.c_str());
    return s;
  }

  static std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
  }

  static Status SyncDirectoryOf(const std::string& path) {
    const std::string dir = DirectoryOf(path);
    int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) return PosixError(dir, errno);
    const int synced = ::fsync(dir_fd);
    const int err = errno;
    ::close(dir_fd);
    return synced == 0 ? Status::OK() : PosixError(dir, err);
  }

  Status CanCreate(const std::string& path) override {
    const std::string dir = DirectoryOf(path);
    if (::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
      return PosixError(path, errno);
    }
    return Status::OK();
  }

  Status RenameFile(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return PosixError(from, errno);
    return SyncDirectoryOf(to);
  }

  bool FileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  std::vector<std::string> ListDirectory(const std::string& dir) override {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.empty() ? "." : dir.c_str())) {
      while (dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
      ::closedir(d);
    }
    return names;
  }

  void SleepMicros(std::uint64_t micros) override {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(micros / 1000000);
    ts.tv_nsec = static_cast<long>((micros % 1000000) * 1000);
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv* env = new PosixEnv;
  return env;
}

}  // namespace xbase
