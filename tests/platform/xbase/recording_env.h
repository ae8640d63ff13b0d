// RecordingEnv: wraps another Env and logs, in the order they are made, every write (with its
// bytes), cut and sync through files opened from it, and every file it creates; for the
// power-loss campaign, which builds from the log the disk states a power cut can leave, and for
// the tests of write order. Not thread-safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/xbase/env.h"

namespace xbase {

class RecordingEnv final : public Env {
 public:
  struct Op {
    enum Kind { kWrite, kCut, kSync, kCreate } kind;
    std::string path;
    std::uint64_t offset = 0;  // the new size, for a cut
    std::string bytes;
  };

  explicit RecordingEnv(Env* base) : base_(base) {}
  const std::vector<Op>& ops() const { return ops_; }
  void Clear() { ops_.clear(); }
  void Add(Op op) { ops_.push_back(std::move(op)); }

  Status OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) override;
  bool FileExists(const std::string& path) override { return base_->FileExists(path); }
  Status CreateIfMissing(const std::string& path) override;
  std::vector<std::string> ListDirectory(const std::string& dir) override {
    return base_->ListDirectory(dir);
  }
  void SleepMicros(std::uint64_t micros) override { base_->SleepMicros(micros); }

 private:
  Env* base_;
  std::vector<Op> ops_;
};

}  // namespace xbase
