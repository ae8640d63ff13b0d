// FaultEnv: wraps another Env and injects write faults, for tests and benchmarks of the write
// path. Every WriteAt and Truncate on any file opened through it is counted, starting at 1:
//   FailWrite(n)   - the n-th write from now returns an IOError (without writing); later ones work.
//   CrashAfter(n)  - the first n writes from now reach the files; every later write is silently
//                    dropped while reporting success, as if the machine had stopped at that point.
//   DenyOpen(path) - opening or creating that file fails with "Permission denied", whoever
//                    runs the test; DenyOpen("*", true): opening any file for writing does.
//   on_write       - when set, called before each write with the file's path, the offset and
//                    the length (0 for a truncate, whose offset is the new size).
//   record         - when set, every write that reaches the files (with its bytes), cut, sync
//                    and file made is kept in log, in order: the power-loss campaign builds from
//                    it the disk states a power cut can leave.
// writes() is the number of writes seen since the last Reset(). Thread-safe but for on_write
// and the log.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/xbase/env.h"

namespace xbase {

class FaultEnv final : public Env {
 public:
  explicit FaultEnv(Env* base) : base_(base) {}

  void FailWrite(int n) { Reset(); fail_at_ = n; }
  void CrashAfter(int n) { Reset(); crash_after_ = n; }
  void DenyOpen(std::string path, bool writing = false) {
    denied_ = std::move(path), deny_writing_ = writing;
  }
  // Clears any pending fault and the write count.
  void Reset() { writes_ = 0; fail_at_ = -1; crash_after_ = -1; }
  int writes() const { return writes_.load(); }
  bool crashed() const { return crash_after_.load() >= 0 && writes_.load() > crash_after_.load(); }

  Status OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) override;
  bool FileExists(const std::string& path) override { return base_->FileExists(path); }
  Status CreateIfMissing(const std::string& path, const std::string& like) override {
    if (!base_->FileExists(path)) Record({Op::kCreate, path, 0, {}});
    return base_->CreateIfMissing(path, like);
  }
  Status CanCreate(const std::string& path) override {
    return path == denied_ ? Status::IOError(path + ": Permission denied") : base_->CanCreate(path);
  }
  Status RenameFile(const std::string& from, const std::string& to) override {
    return base_->RenameFile(from, to);
  }
  std::vector<std::string> ListDirectory(const std::string& dir) override {
    return base_->ListDirectory(dir);
  }
  void SleepMicros(std::uint64_t micros) override { base_->SleepMicros(micros); }

  // Called by the wrapped files before each write: an injected error, or OK with *drop set
  // when the write is to be dropped.
  Status NextWrite(const std::string& path, std::uint64_t offset, std::size_t n, bool* drop);

  std::function<void(const std::string& path, std::uint64_t offset, std::size_t n)> on_write;

  struct Op {
    enum Kind { kWrite, kCut, kSync, kCreate } kind;
    std::string path;
    std::uint64_t offset = 0;  // the new size, for a cut
    std::string bytes;
  };
  bool record = false;
  std::vector<Op> log;
  void Record(Op op) {
    if (record) log.push_back(std::move(op));
  }

 private:
  Env* base_;
  std::string denied_;
  bool deny_writing_ = false;
  std::atomic<int> writes_{0};
  std::atomic<int> fail_at_{-1};
  std::atomic<int> crash_after_{-1};
};

}  // namespace xbase
