// Env: everything the table engine needs from the operating system, so that tests can put a
// fault-injecting or in-memory file system under it (LevelDB's Env). Paths here are native.
//
// File is one open file: positional reads and writes, size, flush to disk, and byte-range locks
// that are compatible with the locks FoxPro takes on Windows shares as far as the host allows
// (POSIX: open file description locks, F_OFD_SETLK, so two connections in one process do not
// share locks). A File is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/xbase/status.h"

namespace xbase {

// The file name at the end of `path`, after its last '/' or '\\', for messages.
inline std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at offset into scratch; *read is how many were read (short at the end).
  virtual Status ReadAt(std::uint64_t offset, std::size_t n, char* scratch, std::size_t* read) = 0;
  virtual Status WriteAt(std::uint64_t offset, const char* data, std::size_t n) = 0;
  virtual Status Size(std::uint64_t* size) = 0;
  virtual Status Truncate(std::uint64_t size) = 0;
  virtual Status Sync() = 0;
  // Byte-range locks. TryLock does not wait: kLocked when another holder has the range.
  virtual Status TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) = 0;
  virtual Status Unlock(std::uint64_t offset, std::uint64_t length) = 0;
};

class Env {
 public:
  virtual ~Env() = default;
  // The real file system.
  static Env* Default();

  // Opens an existing file; read_only opens it without write access. kNotFound when missing.
  virtual Status OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Makes an empty file when `path` names none (an existing file is left as it is), so that it
  // can be opened for writing; for the journal and the write-ahead files beside the tables. A
  // new file gets the permission bits and the group of the file `like` when it names one (so that
  // whoever may write that file may write this one; where the system has no such bits, it gets
  // what the directory gives), and appears under its name with them already set. A new file's
  // name is on the disk when this returns.
  virtual Status CreateIfMissing(const std::string& path, const std::string& like = "") {
    return Status::NotSupported(path + ": cannot create files here");
  }
  // OK when a file could be made at `path` now: its directory is there and this user may create
  // files in it (nothing is made); else why not. OK where it cannot be told without trying.
  virtual Status CanCreate(const std::string& path) { return Status::OK(); }
  // Renames `from` to `to`, replacing any file named `to`.
  virtual Status RenameFile(const std::string& from, const std::string& to) {
    return Status::NotSupported(from + ": cannot rename files here");
  }
  // The names in directory `dir` ("" for the working directory), to find a file whose name is
  // written in another letter case; nothing when it cannot be listed.
  virtual std::vector<std::string> ListDirectory(const std::string& dir) { return {}; }
  // Sleeps; used between lock attempts.
  virtual void SleepMicros(std::uint64_t micros) = 0;
};

}  // namespace xbase
