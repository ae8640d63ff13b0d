// MemEnv: an Env whose files live in memory, for tests, the fuzz targets and benchmarks that must
// not touch the disk. Byte-range locks behave like open-file-description locks: each opened File
// is its own lock owner. Thread-safe.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/xbase/env.h"

namespace xbase {

class MemEnv final : public Env {
 public:
  MemEnv();
  ~MemEnv() override;

  // Creates or replaces a file.
  void PutFile(const std::string& path, std::string contents);
  // The current contents of a file; false when there is none.
  bool GetFile(const std::string& path, std::string* contents) const;
  void RemoveFile(const std::string& path);

  Status OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) override;
  bool FileExists(const std::string& path) override;
  Status CreateIfMissing(const std::string& path, const std::string& like) override;
  Status RenameFile(const std::string& from, const std::string& to) override;
  void SleepMicros(std::uint64_t micros) override;

  struct Node;  // one file's bytes and locks, shared by every File opened on it

 private:
  mutable std::mutex mu_;
  std::map<std::string, std::shared_ptr<Node>> files_;
};

}  // namespace xbase
