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
    switch (env_->NextWrite()) {
      case FaultEnv::Action::kFail:
        return Status::IOError(path_ + ": injected write fault");
      case FaultEnv::Action::kDrop:
        return Status::OK();
      case FaultEnv::Action::kWrite:
        break;
    }
    return base_->WriteAt(offset, data, n);
  }
  Status Size(std::uint64_t* size) override { return base_->Size(size); }
  Status Truncate(std::uint64_t size) override {
    switch (env_->NextWrite()) {
      case FaultEnv::Action::kFail:
        return Status::IOError(path_ + ": injected truncate fault");
      case FaultEnv::Action::kDrop:
        return Status::OK();
      case FaultEnv::Action::kWrite:
        break;
    }
    return base_->Truncate(size);
  }
  Status Sync() override { return base_->Sync(); }
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

void FaultEnv::FailWrite(int n) {
  Reset();
  fail_at_ = n;
}

void FaultEnv::CrashAfter(int n) {
  Reset();
  crash_after_ = n;
}

void FaultEnv::Reset() {
  writes_ = 0;
  fail_at_ = -1;
  crash_after_ = -1;
}

FaultEnv::Action FaultEnv::NextWrite() {
  int n = ++writes_;
  if (fail_at_ >= 0 && n == fail_at_) return Action::kFail;
  if (crash_after_ >= 0 && n > crash_after_) return Action::kDrop;
  return Action::kWrite;
}

Status FaultEnv::OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) {
  if (!denied_.empty() && path == denied_) return Status::IOError(path + ": Permission denied");
  std::unique_ptr<File> base;
  Status s = base_->OpenFile(path, read_only, &base);
  if (!s.ok()) return s;
  *file = std::make_unique<FaultFile>(this, path, std::move(base));
  return Status::OK();
}

}  // namespace xbase
