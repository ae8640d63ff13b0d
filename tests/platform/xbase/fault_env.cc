#include "platform/xbase/fault_env.h"

namespace xbase {
namespace {

class FaultFile final : public File {
 public:
  FaultFile(FaultEnv* env, std::string path, std::unique_ptr<File> base)
      : env_(env), path_(std::move(path)), base_(std::move(base)) {}

  Status ReadAt(std::uint64_t offset, std::size_t n, char* scratch, std::size_t* read) override {
    return base_->ReadAt(offset, n, scratch, read);
  }
  Status WriteAt(std::uint64_t offset, const char* data, std::size_t n) override {
    bool drop = false;
    Status s = env_->NextWrite(path_, offset, n, &drop);
    if (!s.ok() || drop) return s;
    env_->Record({FaultEnv::Op::kWrite, path_, offset, std::string(data, n)});
    return base_->WriteAt(offset, data, n);
  }
  Status Size(std::uint64_t* size) override { return base_->Size(size); }
  Status Truncate(std::uint64_t size) override {
    bool drop = false;
    Status s = env_->NextWrite(path_, size, 0, &drop);
    if (!s.ok() || drop) return s;
    env_->Record({FaultEnv::Op::kCut, path_, size, {}});
    return base_->Truncate(size);
  }
  Status Sync() override {
    env_->Record({FaultEnv::Op::kSync, path_, 0, {}});
    return base_->Sync();
  }
  Status TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    return base_->TryLock(offset, length, exclusive);
  }
  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    return base_->Unlock(offset, length);
  }

 private:
  FaultEnv* env_;
  std::string path_;
  std::unique_ptr<File> base_;
};

}  // namespace

Status FaultEnv::NextWrite(const std::string& path, std::uint64_t offset, std::size_t n,
                           bool* drop) {
  if (on_write) on_write(path, offset, n);
  const int count = ++writes_;
  if (fail_at_ >= 0 && count == fail_at_) return Status::IOError(path + ": injected write fault");
  *drop = crash_after_ >= 0 && count > crash_after_;
  return Status::OK();
}

Status FaultEnv::OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) {
  if (deny_writing_ ? !read_only : !denied_.empty() && path == denied_) {
    return Status::IOError(path + ": Permission denied");
  }
  std::unique_ptr<File> base;
  Status s = base_->OpenFile(path, read_only, &base);
  if (s.ok()) *file = std::make_unique<FaultFile>(this, path, std::move(base));
  return s;
}

}  // namespace xbase
